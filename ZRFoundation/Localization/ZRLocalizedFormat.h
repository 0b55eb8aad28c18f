#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

/// Fills a localized format string. Supports "%@" (text), the integer conversions "%d", "%i",
/// "%u", "%ld", "%lu", "%lld", "%llu", "%zu", "%%", and positional forms such as "%2$@" that let a
/// translation reorder its arguments. It never fails: an unknown conversion is copied as written,
/// a missing argument writes nothing, and a number given for "%@" (or text for an integer
/// conversion) is written in its plain form.
namespace ZRLocalizedFormat {

using Argument = std::variant<std::string, std::int64_t, std::uint64_t>;

std::string format(std::string_view formatText, const std::vector<Argument>& arguments);

} // namespace ZRLocalizedFormat
