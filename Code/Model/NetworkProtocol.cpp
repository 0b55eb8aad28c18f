#include "Code/Model/NetworkProtocol.h"

std::optional<NetworkProtocol> networkProtocolFromRawValue(std::uint16_t value) {
    switch (value) {
    case 6:
        return NetworkProtocol::tcp;
    case 17:
        return NetworkProtocol::udp;
    case 1:
        return NetworkProtocol::icmp;
    default:
        return std::nullopt;
    }
}

std::string_view networkProtocolText(NetworkProtocol networkProtocol) {
    switch (networkProtocol) {
    case NetworkProtocol::tcp:
        return "TCP";
    case NetworkProtocol::udp:
        return "UDP";
    case NetworkProtocol::icmp:
        return "ICMP";
    }
    return "";
}
