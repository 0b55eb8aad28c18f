#include "Code/Model/DeveloperPanelModel.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

using EndpointType = DeveloperPanelModel::RemoteEndpointType;
using PanelProtocol = DeveloperPanelModel::NetworkProtocol;
using Endpoint = ConnectionInformation::NetworkInformation::RemoteEndpoint;

std::vector<Endpoint> endpointsOf(const DeveloperPanelModel& panel) {
    const auto connection = panel.connectionInformation();
    return connection ? connection->networkInformation()->remoteEndpoints() : std::vector<Endpoint>{};
}

TEST(DeveloperPanelModel, BuildsTheSimulatedConnectionOnlyWhenSwitchedOn) {
    DeveloperPanelModel panel;
    // Whatever else is entered, no connection without the switch.
    panel.setPortsString("443");
    EXPECT_EQ(panel.connectionInformation(), nullptr);
    panel.setPortsString("");
    panel.setSimulateConnection(true);
    const auto empty = panel.connectionInformation();
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(*empty, ConnectionInformation(ConnectionInformation::ProcessInformation("/"),
                                            ConnectionInformation::NetworkInformation(false, {}, std::nullopt,
                                                                                      PortSet::allPorts())));
    // Every read is a new record.
    EXPECT_NE(panel.connectionInformation(), empty);

    panel.setIsIncoming(true);
    panel.setNetworkProtocol(PanelProtocol::udp);
    panel.setRemoteEndpointType(EndpointType::host);
    panel.setRemoteEndpointArgument(" api.example.com ");
    panel.setPortsString("53");
    // The argument is used as typed.
    EXPECT_EQ(*panel.connectionInformation()->networkInformation(),
              ConnectionInformation::NetworkInformation(true, {Endpoint::host(" api.example.com ")},
                                                        NetworkProtocol::udp, PortSet::withPort(53)));
}

TEST(DeveloperPanelModel, MapsEveryEndpointKindAndProtocol) {
    DeveloperPanelModel panel;
    panel.setSimulateConnection(true);
    panel.setRemoteEndpointArgument("example.com");
    const struct {
        EndpointType type;
        std::vector<Endpoint> endpoints;
        bool acceptsArgument;
    } rows[] = {
        {EndpointType::none, {}, false},
        {EndpointType::host, {Endpoint::host("example.com")}, true},
        {EndpointType::domain, {Endpoint::domain("example.com")}, true},
        // Text that is no address gives an endpoint without addresses, which no address rule matches.
        {EndpointType::ipAddresses, {Endpoint::ipAddresses({})}, true},
        {EndpointType::localNetwork, {Endpoint::localNetwork()}, false},
        {EndpointType::berkeleyPacketFilter, {Endpoint::berkeleyPacketFilter()}, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(static_cast<int>(row.type));
        panel.setRemoteEndpointType(row.type);
        EXPECT_EQ(endpointsOf(panel), row.endpoints);
        EXPECT_EQ(panel.remoteEndpointTypeAcceptsArgument(), row.acceptsArgument);
        EXPECT_EQ(panel.remoteEndpointArgument(), "example.com") << "kept whatever the kind";
        EXPECT_EQ(DeveloperPanelModel::remoteEndpointTypeFromRawValue(static_cast<int>(row.type)), row.type);
    }
    EXPECT_FALSE(DeveloperPanelModel::remoteEndpointTypeFromRawValue(6).has_value());
    EXPECT_FALSE(DeveloperPanelModel::remoteEndpointTypeFromRawValue(-1).has_value());

    panel.setRemoteEndpointType(EndpointType::ipAddresses);
    panel.setRemoteEndpointArgument("192.168.0.0/16, 10.0.0.1");
    EXPECT_EQ(endpointsOf(panel),
              std::vector<Endpoint>{Endpoint::ipAddresses(
                  *NQIPAddressSet::addressSetFromDisplayString("10.0.0.1, 192.168.0.0/16"))});

    EXPECT_EQ(DeveloperPanelModel::modelNetworkProtocol(PanelProtocol::any), std::nullopt);
    EXPECT_EQ(DeveloperPanelModel::modelNetworkProtocol(PanelProtocol::tcp), NetworkProtocol::tcp);
    EXPECT_EQ(DeveloperPanelModel::modelNetworkProtocol(PanelProtocol::icmp), NetworkProtocol::icmp);
    EXPECT_EQ(DeveloperPanelModel::networkProtocolFromRawValue(3), PanelProtocol::icmp);
    EXPECT_FALSE(DeveloperPanelModel::networkProtocolFromRawValue(4).has_value());
}

TEST(DeveloperPanelModel, SimulatesOnePortOrAll) {
    for (const auto& [text, port] :
         {std::pair{"443", 443}, {"+443", 443}, {"0", 0}, {"00080", 80}, {"65535", 65535}}) {
        EXPECT_EQ(DeveloperPanelModel::portsFromString(text),
                  PortSet::withPort(static_cast<std::uint16_t>(port)));
    }
    for (const char* text :
         {"", "443-444", "443,80", "https", " 443", "443 ", "+", "-", "4 43", "\u0664\u0664\u0663", "-1",
          "-443", "65536", "70000", "99999999999999999999999"}) {
        EXPECT_TRUE(DeveloperPanelModel::portsFromString(text).isAllPorts()) << text;
    }
}

TEST(DeveloperPanelModel, AnnouncesEveryAssignment) {
    DeveloperPanelModel panel;
    std::vector<std::string> announced;
    panel.setChangeHandler([&](std::string_view key) { announced.emplace_back(key); });

    panel.setSimulateConnection(true);
    panel.setSimulateConnection(true); // unchanged, still announced
    panel.setPortsString("443");
    panel.postConnectionInformationDidChange();
    EXPECT_EQ(announced,
              (std::vector<std::string>{"simulateConnection", "simulateConnection", "portsString", ""}));

    // Reset announces each of the five entries, also those already at their initial value, and
    // leaves the switch on.
    announced.clear();
    panel.setIsIncoming(true);
    announced.clear();
    panel.reset();
    EXPECT_EQ(announced,
              (std::vector<std::string>{"isIncoming", "remoteEndpointType", "remoteEndpointArgument",
                                        "networkProtocol", "portsString"}));
    EXPECT_TRUE(panel.simulateConnection());
    EXPECT_FALSE(panel.isIncoming());
    EXPECT_EQ(panel.portsString(), "");
    EXPECT_TRUE(panel.connectionInformation()->networkInformation()->ports().isAllPorts());
}

TEST(DeveloperPanelModel, LetsAHandlerReplaceItselfAndReadTheState) {
    DeveloperPanelModel panel;
    int calls = 0;
    std::shared_ptr<const ConnectionInformation> seen;
    panel.setChangeHandler([&](std::string_view) {
        ++calls;
        seen = panel.connectionInformation();
        panel.setChangeHandler(nullptr);
    });
    panel.setSimulateConnection(true);
    panel.setIsIncoming(true);
    EXPECT_EQ(calls, 1);
    ASSERT_NE(seen, nullptr);
    EXPECT_FALSE(seen->networkInformation()->isIncoming());
}

} // namespace
