#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

/// A transport protocol, by its IP protocol number.
enum class NetworkProtocol : std::uint16_t { tcp = 6, udp = 17, icmp = 1 };

/// 6, 17 and 1 map to their protocols; every other number to none.
std::optional<NetworkProtocol> networkProtocolFromRawValue(std::uint16_t rawValue);
constexpr std::uint16_t rawValue(NetworkProtocol networkProtocol) {
    return static_cast<std::uint16_t>(networkProtocol);
}
/// "TCP", "UDP" or "ICMP".
std::string_view networkProtocolText(NetworkProtocol networkProtocol);
