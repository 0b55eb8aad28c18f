#pragma once

#include <string>
#include <string_view>

namespace ZRUnicodeText {

/// True for Unicode white space and line breaks: the space separators (category Zs), the line
/// and paragraph separators, tab, the line feed to carriage return controls and NEL.
bool isWhitespaceOrNewline(char32_t c);

/// The UTF-8 text without any white space or line break character. Malformed UTF-8 bytes are
/// kept as they are.
std::string removingWhitespaceAndNewlines(std::string_view text);

/// The character that starts at `offset` (U+FFFD for a malformed sequence) and its length in
/// bytes (at least 1).
char32_t characterAt(std::string_view text, std::size_t offset);
std::size_t characterLengthAt(std::string_view text, std::size_t offset);

/// True for tab and the Unicode space separators (category Zs); line breaks are not included.
bool isWhitespace(char32_t c);

/// The text without white space (as `isWhitespace` defines it) at either end.
std::string trimmingWhitespace(std::string_view text);

/// Full Unicode case mapping in the root locale.
std::string uppercased(std::string_view text);
std::string lowercased(std::string_view text);

/// The text with its first character upper-cased (full Unicode mapping), the rest unchanged.
std::string capitalizingFirstCharacter(std::string_view text);

/// Every occurrence of `target` replaced by `replacement`.
std::string replacingOccurrences(std::string_view text, std::string_view target,
                                 std::string_view replacement);

/// Orders names the way the desktop's file browser lists them: by the collation of the user's
/// first preferred language, ignoring letter case and character width, with embedded numbers
/// ordered by value ("File 2" before "File 10"). Negative, zero or positive like `strcmp`.
int localizedStandardCompare(std::string_view a, std::string_view b);
/// The same for the collation of an explicit locale ("de", "sv-SE"); unknown locales fall back
/// to the root collation.
int localizedStandardCompare(std::string_view a, std::string_view b, std::string_view localeIdentifier);

} // namespace ZRUnicodeText
