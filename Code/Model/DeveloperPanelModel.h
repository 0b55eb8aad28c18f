#pragma once

#include "Code/Model/ConnectionInformation.h"
#include "Code/Model/NetworkProtocol.h"
#include "Code/Model/PortSet.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

/// The state of the developer panel, which simulates one connection so that the document page
/// shows only the declared connections that cover it. The panel's window binds its controls to
/// these properties; every assignment is announced through the change handler, which stands for
/// the notification `connectionInformationDidChange`.
class DeveloperPanelModel {
public:
    /// The kinds of remote endpoint, by the raw values of the window's pop-up menu.
    enum class RemoteEndpointType : std::uint8_t {
        none = 0,
        host = 1,
        domain = 2,
        ipAddresses = 3,
        localNetwork = 4,
        berkeleyPacketFilter = 5,
    };
    /// The panel's protocol choice, by the raw values of its pop-up menu; `any` is no protocol.
    enum class NetworkProtocol : std::uint8_t { any = 0, tcp = 1, udp = 2, icmp = 3 };

    static constexpr std::string_view connectionInformationDidChange =
        "DeveloperPanelWindowControllerConnectionInformationDidChangeNotification";

    // The observable properties' keys, as handed to the change handler.
    static constexpr std::string_view simulateConnectionKey = "simulateConnection";
    static constexpr std::string_view isIncomingKey = "isIncoming";
    static constexpr std::string_view remoteEndpointTypeKey = "remoteEndpointType";
    static constexpr std::string_view remoteEndpointArgumentKey = "remoteEndpointArgument";
    static constexpr std::string_view networkProtocolKey = "networkProtocol";
    static constexpr std::string_view portsStringKey = "portsString";

    /// Called after every assignment to a property, also when the value does not change, with the
    /// property's key; with an empty key for announcements of the window itself.
    using ChangeHandler = std::function<void(std::string_view changedKey)>;

    static std::optional<RemoteEndpointType> remoteEndpointTypeFromRawValue(int rawValue);
    static std::optional<NetworkProtocol> networkProtocolFromRawValue(int rawValue);
    /// The model's protocol for the panel's choice; none for `any`.
    static std::optional<::NetworkProtocol> modelNetworkProtocol(NetworkProtocol networkProtocol);
    /// The ports of a simulated connection: the one port a decimal number (an optional sign, then
    /// digits, nothing else) names; all ports for anything else, including numbers that are not
    /// ports (negative, or above 65535).
    static PortSet portsFromString(std::string_view portsString);

    bool simulateConnection() const { return _simulateConnection; }
    void setSimulateConnection(bool simulateConnection);
    bool isIncoming() const { return _isIncoming; }
    void setIsIncoming(bool isIncoming);
    RemoteEndpointType remoteEndpointType() const { return _remoteEndpointType; }
    void setRemoteEndpointType(RemoteEndpointType remoteEndpointType);
    /// Host name, domain or address text, for the endpoint kinds that take one; used as typed.
    const std::string& remoteEndpointArgument() const { return _remoteEndpointArgument; }
    void setRemoteEndpointArgument(std::string remoteEndpointArgument);
    NetworkProtocol networkProtocol() const { return _networkProtocol; }
    void setNetworkProtocol(NetworkProtocol networkProtocol);
    /// The remote port as typed.
    const std::string& portsString() const { return _portsString; }
    void setPortsString(std::string portsString);

    /// True for the endpoint kinds that take an argument: host, domain and addresses.
    bool remoteEndpointTypeAcceptsArgument() const;

    /// The simulated connection; null while simulation is off. Every call builds a new record.
    std::shared_ptr<const ConnectionInformation> connectionInformation() const;

    /// Sets every entry but the simulation switch back to its initial value, announcing each.
    void reset();

    void setChangeHandler(ChangeHandler handler) { _changeHandler = std::move(handler); }
    /// Announces a change that no property assignment caused (the window was shown or closed).
    void postConnectionInformationDidChange() const { announce({}); }

private:
    void announce(std::string_view key) const;

    bool _simulateConnection = false;
    bool _isIncoming = false;
    RemoteEndpointType _remoteEndpointType = RemoteEndpointType::none;
    std::string _remoteEndpointArgument;
    NetworkProtocol _networkProtocol = NetworkProtocol::any;
    std::string _portsString;
    ChangeHandler _changeHandler;
};
