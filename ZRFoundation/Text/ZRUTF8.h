#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

/// Bytes that ought to be UTF-8 but come from outside (file names, signatures, declaration files),
/// made safe for writers that accept only well-formed UTF-8.
namespace ZRUTF8 {

/// Whether every byte belongs to a well-formed UTF-8 sequence (no overlong forms, surrogates or
/// values above U+10FFFF).
bool isValid(std::string_view text);

/// The text with every ill-formed part replaced by U+FFFD, one replacement character for each
/// maximal subpart of an ill-formed sequence (the Unicode Standard's recommended practice, chapter
/// 3, "U+FFFD Substitution of Maximal Subparts"): "\xE2\x82" becomes one U+FFFD, "\xC0\xAF" two.
/// Well-formed text comes back unchanged.
std::string replacingInvalidSequences(std::string_view text);

/// The exact bytes as ASCII-safe text: '%' and every byte outside a well-formed sequence written
/// as %XX (uppercase hexadecimal), well-formed sequences kept as they are. Percent-decoding the
/// result gives back the original bytes.
std::string percentEncodingInvalidBytes(std::string_view bytes);

/// The code points of well-formed UTF-8; none when any part is ill-formed.
std::optional<std::vector<char32_t>> codePoints(std::string_view text);

} // namespace ZRUTF8
