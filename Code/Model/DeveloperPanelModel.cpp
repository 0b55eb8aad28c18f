#include "Code/Model/DeveloperPanelModel.h"

#include <limits>

namespace {

using NetworkInformation = ConnectionInformation::NetworkInformation;
using RemoteEndpoint = NetworkInformation::RemoteEndpoint;

// The value of "[+-]digits", or none for any other text and for values that overflow.
std::optional<std::int64_t> decimalInteger(std::string_view text) {
    bool negative = false;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    if (text.empty()) {
        return std::nullopt;
    }
    std::int64_t value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        if (value > (std::numeric_limits<std::int64_t>::max() - (c - '0')) / 10) {
            return std::nullopt;
        }
        value = value * 10 + (c - '0');
    }
    return negative ? -value : value;
}

} // namespace

std::optional<DeveloperPanelModel::RemoteEndpointType>
DeveloperPanelModel::remoteEndpointTypeFromRawValue(int rawValue) {
    if (rawValue < 0 || rawValue > static_cast<int>(RemoteEndpointType::berkeleyPacketFilter)) {
        return std::nullopt;
    }
    return static_cast<RemoteEndpointType>(rawValue);
}

std::optional<DeveloperPanelModel::NetworkProtocol>
DeveloperPanelModel::networkProtocolFromRawValue(int rawValue) {
    if (rawValue < 0 || rawValue > static_cast<int>(NetworkProtocol::icmp)) {
        return std::nullopt;
    }
    return static_cast<NetworkProtocol>(rawValue);
}

std::optional<::NetworkProtocol> DeveloperPanelModel::modelNetworkProtocol(NetworkProtocol networkProtocol) {
    switch (networkProtocol) {
    case NetworkProtocol::any:
        return std::nullopt;
    case NetworkProtocol::tcp:
        return ::NetworkProtocol::tcp;
    case NetworkProtocol::udp:
        return ::NetworkProtocol::udp;
    case NetworkProtocol::icmp:
        return ::NetworkProtocol::icmp;
    }
    return std::nullopt;
}

PortSet DeveloperPanelModel::portsFromString(std::string_view portsString) {
    const auto value = decimalInteger(portsString);
    if (!value || *value < 0 || *value > std::numeric_limits<std::uint16_t>::max()) {
        return PortSet::allPorts();
    }
    return PortSet::withPort(static_cast<std::uint16_t>(*value));
}

void DeveloperPanelModel::setSimulateConnection(bool simulateConnection) {
    _simulateConnection = simulateConnection;
    announce(simulateConnectionKey);
}

void DeveloperPanelModel::setIsIncoming(bool isIncoming) {
    _isIncoming = isIncoming;
    announce(isIncomingKey);
}

void DeveloperPanelModel::setRemoteEndpointType(RemoteEndpointType remoteEndpointType) {
    _remoteEndpointType = remoteEndpointType;
    announce(remoteEndpointTypeKey);
}

void DeveloperPanelModel::setRemoteEndpointArgument(std::string remoteEndpointArgument) {
    _remoteEndpointArgument = std::move(remoteEndpointArgument);
    announce(remoteEndpointArgumentKey);
}

void DeveloperPanelModel::setNetworkProtocol(NetworkProtocol networkProtocol) {
    _networkProtocol = networkProtocol;
    announce(networkProtocolKey);
}

void DeveloperPanelModel::setPortsString(std::string portsString) {
    _portsString = std::move(portsString);
    announce(portsStringKey);
}

bool DeveloperPanelModel::remoteEndpointTypeAcceptsArgument() const {
    switch (_remoteEndpointType) {
    case RemoteEndpointType::host:
    case RemoteEndpointType::domain:
    case RemoteEndpointType::ipAddresses:
        return true;
    case RemoteEndpointType::none:
    case RemoteEndpointType::localNetwork:
    case RemoteEndpointType::berkeleyPacketFilter:
        return false;
    }
    return false;
}

std::shared_ptr<const ConnectionInformation> DeveloperPanelModel::connectionInformation() const {
    if (!_simulateConnection) {
        return nullptr;
    }
    std::vector<RemoteEndpoint> endpoints;
    switch (_remoteEndpointType) {
    case RemoteEndpointType::none:
        break;
    case RemoteEndpointType::host:
        endpoints.push_back(RemoteEndpoint::host(_remoteEndpointArgument));
        break;
    case RemoteEndpointType::domain:
        endpoints.push_back(RemoteEndpoint::domain(_remoteEndpointArgument));
        break;
    case RemoteEndpointType::ipAddresses:
        endpoints.push_back(RemoteEndpoint::ipAddresses(
            NQIPAddressSet::addressSetFromDisplayString(_remoteEndpointArgument).value_or(NQIPAddressSet())));
        break;
    case RemoteEndpointType::localNetwork:
        endpoints.push_back(RemoteEndpoint::localNetwork());
        break;
    case RemoteEndpointType::berkeleyPacketFilter:
        endpoints.push_back(RemoteEndpoint::berkeleyPacketFilter());
        break;
    }
    // The matcher never looks at the process; "/" stands for "some process".
    return std::make_shared<const ConnectionInformation>(
        ConnectionInformation::ProcessInformation("/"),
        NetworkInformation(_isIncoming, std::move(endpoints), modelNetworkProtocol(_networkProtocol),
                           portsFromString(_portsString)));
}

void DeveloperPanelModel::reset() {
    setIsIncoming(false);
    setRemoteEndpointType(RemoteEndpointType::none);
    setRemoteEndpointArgument({});
    setNetworkProtocol(NetworkProtocol::any);
    setPortsString({});
}

void DeveloperPanelModel::announce(std::string_view key) const {
    // A copy, so that a handler may replace itself while it runs.
    if (const auto handler = _changeHandler) {
        handler(key);
    }
}
