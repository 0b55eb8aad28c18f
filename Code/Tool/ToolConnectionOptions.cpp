#include "Code/Tool/ToolConnectionOptions.h"

#include "ZRFoundation/IPAddress/NQIPAddressSet.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <limits>
#include <string_view>

namespace {

using EndpointType = DeveloperPanelModel::RemoteEndpointType;

// The panel reads any other text as "any port"; on the command line that would hide a typo.
bool isPortNumber(std::string_view text) {
    unsigned value = 0;
    const auto* end = text.data() + text.size();
    const auto [last, error] = std::from_chars(text.data(), end, value);
    return error == std::errc() && last == end && value <= std::numeric_limits<std::uint16_t>::max();
}

} // namespace

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
        } else if (!isPortNumber(*text)) {
            problem = "--port takes a port number from 0 to 65535, not '" + *text + "'";
        } else {
            _panel.setPortsString(*text);
        }
    } else {
        return false;
    }
    return true;
}
