#pragma once

#include <string>
#include <string_view>

/// Joins texts into one string with a single allocation. Prefer it to chains of `+` that start
/// with a literal: besides the copies they make, GCC 12 reports impossible overlaps for them in
/// optimised builds.
namespace ZRConcatenation {

template <typename... Parts>
std::string concatenated(const Parts&... parts) {
    std::string result;
    result.reserve((std::string_view(parts).size() + ...));
    (result.append(std::string_view(parts)), ...);
    return result;
}

} // namespace ZRConcatenation
