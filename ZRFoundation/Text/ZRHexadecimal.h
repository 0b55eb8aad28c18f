#pragma once

#include <optional>

/// Hexadecimal digits as the readers of outside text meet them (either letter case).
namespace ZRHexadecimal {

/// 0–15 for "0"–"9", "a"–"f" and "A"–"F"; none for any other character.
constexpr std::optional<int> digitValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return std::nullopt;
}

} // namespace ZRHexadecimal
