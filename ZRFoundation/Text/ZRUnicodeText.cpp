#include "ZRFoundation/Text/ZRUnicodeText.h"

#include <algorithm>
#include <cstdint>

#include <unicode/uchar.h>
#include <unicode/utf8.h>

namespace ZRUnicodeText {

bool isWhitespaceOrNewline(char32_t c) {
    if (c == U'\t' || (c >= U'\n' && c <= U'\r') || c == 0x85) {
        return true;
    }
    const auto type = u_charType(static_cast<UChar32>(c));
    return type == U_SPACE_SEPARATOR || type == U_LINE_SEPARATOR || type == U_PARAGRAPH_SEPARATOR;
}

std::string removingWhitespaceAndNewlines(std::string_view text) {
    std::string result;
    result.reserve(text.size());
    std::size_t offset = 0;
    while (offset < text.size()) {
        const auto lead = static_cast<std::uint8_t>(text[offset]);
        if (lead < 0x80) {
            if (!isWhitespaceOrNewline(lead)) {
                result.push_back(static_cast<char>(lead));
            }
            ++offset;
            continue;
        }
        // Decode one sequence inside a window of at most four bytes, so that offsets stay small
        // whatever the text's length.
        const auto* window = reinterpret_cast<const std::uint8_t*>(text.data() + offset);
        const auto windowLength = static_cast<std::int32_t>(std::min<std::size_t>(4, text.size() - offset));
        std::int32_t consumed = 0;
        UChar32 c = 0;
        U8_NEXT(window, consumed, windowLength, c);
        if (c < 0 || !isWhitespaceOrNewline(static_cast<char32_t>(c))) {
            result.append(text.substr(offset, static_cast<std::size_t>(consumed)));
        }
        offset += static_cast<std::size_t>(consumed);
    }
    return result;
}

} // namespace ZRUnicodeText
