#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

/// Base64 with the standard alphabet and padding.
namespace ZRBase64 {

std::string encode(std::span<const std::uint8_t> bytes);

/// Decodes text in which white space may appear anywhere (as property-list data elements wrap
/// their lines). Padding is optional; any other character, or '=' before the end, fails.
std::optional<std::vector<std::uint8_t>> decode(std::string_view text);

} // namespace ZRBase64
