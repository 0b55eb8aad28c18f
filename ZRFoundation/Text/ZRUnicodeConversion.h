#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

/// Conversions between the Unicode encodings that property lists and string tables use. Nothing
/// here guesses: malformed input is reported, never repaired.
namespace ZRUnicodeConversion {

/// Appends the UTF-8 form of a Unicode scalar value (callers pass no surrogates).
void appendUTF8(std::string& text, char32_t scalar);

/// Appends UTF-16 code units as UTF-8. On an unpaired surrogate it returns the index of that unit
/// and leaves `text` with the units before it.
std::optional<std::size_t> appendUTF8FromUTF16(std::string& text, std::u16string_view units);

/// The offset of the first byte that does not begin or continue a well-formed UTF-8 sequence
/// (overlong forms, surrogates and values above U+10FFFF are malformed), or nothing.
std::optional<std::size_t> firstMalformedUTF8Offset(std::string_view text);

inline bool isHighSurrogate(char32_t unit) {
    return unit >= 0xD800 && unit <= 0xDBFF;
}
inline bool isLowSurrogate(char32_t unit) {
    return unit >= 0xDC00 && unit <= 0xDFFF;
}

} // namespace ZRUnicodeConversion
