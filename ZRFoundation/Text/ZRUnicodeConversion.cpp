#include "ZRFoundation/Text/ZRUnicodeConversion.h"

namespace ZRUnicodeConversion {

void appendUTF8(std::string& text, char32_t scalar) {
    const auto byte = [](char32_t value) { return static_cast<char>(static_cast<unsigned char>(value)); };
    if (scalar < 0x80) {
        text += byte(scalar);
    } else if (scalar < 0x800) {
        text += byte(0xC0 | (scalar >> 6));
        text += byte(0x80 | (scalar & 0x3F));
    } else if (scalar < 0x10000) {
        text += byte(0xE0 | (scalar >> 12));
        text += byte(0x80 | ((scalar >> 6) & 0x3F));
        text += byte(0x80 | (scalar & 0x3F));
    } else {
        text += byte(0xF0 | (scalar >> 18));
        text += byte(0x80 | ((scalar >> 12) & 0x3F));
        text += byte(0x80 | ((scalar >> 6) & 0x3F));
        text += byte(0x80 | (scalar & 0x3F));
    }
}

std::optional<std::size_t> appendUTF8FromUTF16(std::string& text, std::u16string_view units) {
    for (std::size_t i = 0; i < units.size(); ++i) {
        const char32_t unit = units[i];
        if (isLowSurrogate(unit)) {
            return i;
        }
        if (!isHighSurrogate(unit)) {
            appendUTF8(text, unit);
            continue;
        }
        if (i + 1 == units.size() || !isLowSurrogate(units[i + 1])) {
            return i;
        }
        const char32_t low = units[++i];
        appendUTF8(text, 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
    }
    return std::nullopt;
}

namespace {

// Length of the sequence starting at `offset`, or 0 when it is malformed.
std::size_t wellFormedSequenceLength(std::string_view text, std::size_t offset) {
    const auto at = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = at(offset);
    if (lead < 0x80) {
        return 1;
    }
    std::size_t length = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        low = lead == 0xE0 ? 0xA0 : 0x80;  // no overlong forms
        high = lead == 0xED ? 0x9F : 0xBF; // no surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        low = lead == 0xF0 ? 0x90 : 0x80;  // no overlong forms
        high = lead == 0xF4 ? 0x8F : 0xBF; // nothing above U+10FFFF
    } else {
        return 0;
    }
    if (length > text.size() - offset) {
        return 0;
    }
    if (at(offset + 1) < low || at(offset + 1) > high) {
        return 0;
    }
    for (std::size_t i = 2; i < length; ++i) {
        if (at(offset + i) < 0x80 || at(offset + i) > 0xBF) {
            return 0;
        }
    }
    return length;
}

} // namespace

std::optional<std::size_t> firstMalformedUTF8Offset(std::string_view text) {
    std::size_t offset = 0;
    while (offset < text.size()) {
        const std::size_t length = wellFormedSequenceLength(text, offset);
        if (length == 0) {
            return offset;
        }
        offset += length;
    }
    return std::nullopt;
}

} // namespace ZRUnicodeConversion
