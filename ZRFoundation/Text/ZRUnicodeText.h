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

} // namespace ZRUnicodeText
