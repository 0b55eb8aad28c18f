#include "ZRFoundation/Localization/ZRLocalizedFormat.h"

#include <array>

namespace ZRLocalizedFormat {

namespace {

std::string argumentText(const Argument& argument) {
    if (const auto* text = std::get_if<std::string>(&argument)) {
        return *text;
    }
    if (const auto* value = std::get_if<std::int64_t>(&argument)) {
        return std::to_string(*value);
    }
    return std::to_string(std::get<std::uint64_t>(argument));
}

// Length modifiers and conversions accepted after "%" (and after a position "N$").
constexpr std::array<std::string_view, 12> conversions{"@",  "d",   "i",   "u",   "ld", "li",
                                                       "lu", "lld", "lli", "llu", "zu", "zd"};

std::size_t conversionLength(std::string_view rest) {
    std::size_t best = 0;
    for (const auto conversion : conversions) {
        if (rest.substr(0, conversion.size()) == conversion && conversion.size() > best) {
            best = conversion.size();
        }
    }
    return best;
}

} // namespace

std::string format(std::string_view formatText, const std::vector<Argument>& arguments) {
    std::string result;
    result.reserve(formatText.size());
    std::size_t nextArgument = 0;
    std::size_t index = 0;
    while (index < formatText.size()) {
        const char c = formatText[index];
        if (c != '%') {
            result += c;
            ++index;
            continue;
        }
        const std::string_view rest = formatText.substr(index + 1);
        if (!rest.empty() && rest.front() == '%') {
            result += '%';
            index += 2;
            continue;
        }
        // An optional position "N$" (1-based).
        std::size_t digits = 0;
        std::size_t position = 0;
        while (digits < rest.size() && digits < 4 && rest[digits] >= '0' && rest[digits] <= '9') {
            position = position * 10 + static_cast<std::size_t>(rest[digits] - '0');
            ++digits;
        }
        const bool positional = digits > 0 && digits < rest.size() && rest[digits] == '$' && position > 0;
        const std::size_t specifierStart = positional ? digits + 1 : 0;
        const std::size_t length = conversionLength(rest.substr(specifierStart));
        if (length == 0) {
            result += '%';
            ++index;
            continue;
        }
        const std::size_t argumentIndex = positional ? position - 1 : nextArgument++;
        if (argumentIndex < arguments.size()) {
            result += argumentText(arguments[argumentIndex]);
        }
        index += 1 + specifierStart + length;
    }
    return result;
}

} // namespace ZRLocalizedFormat
