#include "ZRFoundation/PropertyList/ZRPropertyListReaderSupport.h"

#include "ZRFoundation/Text/ZRConcatenation.h"
#include "ZRFoundation/Text/ZRHexadecimal.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <limits>

namespace ZRPropertyListReaderSupport {

Result failure(Format format, std::string description) {
    return Result{std::nullopt, std::move(description), format};
}

Result success(Format format, ZRPropertyList value) {
    return Result{std::move(value), {}, format};
}

std::string inputTooLargeDescription(std::size_t maximumInputSize) {
    return "Input larger than " + std::to_string(maximumInputSize) + " bytes";
}

std::string nestingTooDeepDescription(std::size_t maximumDepth) {
    return "Nesting deeper than " + std::to_string(maximumDepth) + " levels";
}

std::string tooManyElementsDescription(std::size_t maximumElementCount) {
    return "More than " + std::to_string(maximumElementCount) + " elements";
}

std::string quotedCharacter(char c) {
    if (c >= 0x20 && c < 0x7F) {
        return std::string("'") + c + "'";
    }
    char buffer[8];
    std::snprintf(buffer, sizeof buffer, "0x%02X", static_cast<unsigned>(static_cast<unsigned char>(c)));
    return buffer;
}

std::string quotedExcerpt(std::string_view text) {
    constexpr std::size_t maximumLength = 40;
    if (text.size() > maximumLength) {
        return ZRConcatenation::concatenated("'", text.substr(0, maximumLength), "...'");
    }
    return ZRConcatenation::concatenated("'", text, "'");
}

std::string_view trimmingWhitespace(std::string_view text) {
    const auto isSpace = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; };
    while (!text.empty() && isSpace(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && isSpace(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

namespace {

std::optional<int> digitValue(char c, int base) {
    const auto value = ZRHexadecimal::digitValue(c);
    return value && *value < base ? value : std::nullopt;
}

bool equalsIgnoringCase(std::string_view text, std::string_view lowercase) {
    return text.size() == lowercase.size() &&
           std::equal(text.begin(), text.end(), lowercase.begin(), [](char a, char b) {
               return (a >= 'A' && a <= 'Z' ? static_cast<char>(a - 'A' + 'a') : a) == b;
           });
}

} // namespace

std::optional<std::int64_t> integerFromText(std::string_view text) {
    text = trimmingWhitespace(text);
    bool negative = false;
    if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text.remove_prefix(2);
    }
    if (text.empty()) {
        return std::nullopt;
    }
    constexpr std::uint64_t negativeLimit = std::uint64_t{1} << 63;
    const std::uint64_t limit = negative ? negativeLimit : negativeLimit - 1;
    std::uint64_t magnitude = 0;
    for (const char c : text) {
        const auto digit = digitValue(c, base);
        if (!digit ||
            magnitude > (limit - static_cast<std::uint64_t>(*digit)) / static_cast<std::uint64_t>(base)) {
            return std::nullopt;
        }
        magnitude = magnitude * static_cast<std::uint64_t>(base) + static_cast<std::uint64_t>(*digit);
    }
    if (negative) {
        // Two's complement negation of a magnitude up to 2^63.
        return static_cast<std::int64_t>(~magnitude + 1);
    }
    return static_cast<std::int64_t>(magnitude);
}

std::optional<double> realFromText(std::string_view text) {
    text = trimmingWhitespace(text);
    bool negative = false;
    std::string_view unsignedText = text;
    if (!unsignedText.empty() && (unsignedText.front() == '-' || unsignedText.front() == '+')) {
        negative = unsignedText.front() == '-';
        unsignedText.remove_prefix(1);
    }
    if (equalsIgnoringCase(unsignedText, "nan")) {
        return std::numeric_limits<double>::quiet_NaN();
    }
    if (equalsIgnoringCase(unsignedText, "inf") || equalsIgnoringCase(unsignedText, "infinity")) {
        return negative ? -std::numeric_limits<double>::infinity() : std::numeric_limits<double>::infinity();
    }
    if (unsignedText.empty() ||
        !((unsignedText.front() >= '0' && unsignedText.front() <= '9') || unsignedText.front() == '.')) {
        return std::nullopt;
    }
    double value = 0;
    const char* end = unsignedText.data() + unsignedText.size();
    const auto result = std::from_chars(unsignedText.data(), end, value, std::chars_format::general);
    if (result.ec != std::errc() || result.ptr != end) {
        return std::nullopt;
    }
    return negative ? -value : value;
}

} // namespace ZRPropertyListReaderSupport
