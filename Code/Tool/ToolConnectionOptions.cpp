#include "Code/Tool/ToolConnectionOptions.h"

#include "ZRFoundation/IPAddress/NQIPAddressSet.h"

#include <algorithm>

namespace {
using EndpointType = DeveloperPanelModel::RemoteEndpointType;
}

ToolConnectionOptions::ToolConnectionOptions() {
    _panel.setSimulateConnection(true);
}

bool ToolConnectionOptions::consume(const std::vector<std::string>& arguments, std::size_t& index,
                                    std::optional<std::string>& problem) {
    const std::string& argument = arguments[index];
    const auto value = [&]() -> std::optional<std::string> {
        if (index + 1 >= arguments.size()) {
            return std::nullopt;
        }
        return arguments[++index];
    };
    const auto setEndpoint = [&](EndpointType type, std::optional<std::string> endpointArgument) {
        if (_endpointGiven) {
            problem = "give at most one of --host, --domain, --ip, --local-network and --bpf";
            return;
        }
        _endpointGiven = true;
        _panel.setRemoteEndpointType(type);
        if (endpointArgument) {
            _panel.setRemoteEndpointArgument(*endpointArgument);
        }
    };
    if (argument == "--incoming") {
        _panel.setIsIncoming(true);
    } else if (argument == "--local-network") {
        setEndpoint(EndpointType::localNetwork, std::nullopt);
    } else if (argument == "--bpf") {
        setEndpoint(EndpointType::berkeleyPacketFilter, std::nullopt);
    } else if (argument == "--host" || argument == "--domain" || argument == "--ip") {
        const auto text = value();
        if (!text) {
            problem = argument + " needs a value";
        } else if (argument == "--ip" && !NQIPAddressSet::addressSetFromDisplayString(*text)) {
            problem = "'" + *text + "' is not an address, range or network";
        } else {
            setEndpoint(argument == "--host"
                            ? EndpointType::host
                            : (argument == "--domain" ? EndpointType::domain : EndpointType::ipAddresses),
                        text);
        }
    } else if (argument == "--protocol") {
        const auto text = value();
        const std::vector<std::string> names{"any", "tcp", "udp", "icmp"};
        const auto found = text ? std::find(names.begin(), names.end(), *text) : names.end();
        if (found == names.end()) {
            problem = "--protocol takes any, tcp, udp or icmp";
        } else {
            _panel.setNetworkProtocol(
                *DeveloperPanelModel::networkProtocolFromRawValue(static_cast<int>(found - names.begin())));
        }
    } else if (argument == "--port") {
        const auto text = value();
        if (!text) {
            problem = "--port needs a port number";
        } else {
            _panel.setPortsString(*text);
        }
    } else {
        return false;
    }
    return true;
}
