#include "ZRFoundation/Text/ZRUTF8.h"

#include <algorithm>
#include <cstdint>

#include <unicode/utf8.h>

namespace ZRUTF8 {

namespace {

struct Sequence {
    std::size_t length = 1;
    bool isWellFormed = true;
};

// The sequence at `offset`: a well-formed character, or a maximal subpart of an ill-formed one
// (ICU's U8_NEXT consumes exactly that much). The window of at most four bytes keeps ICU's 32-bit
// offsets small whatever the text's length.
Sequence sequenceAt(std::string_view text, std::size_t offset) {
    const auto* window = reinterpret_cast<const std::uint8_t*>(text.data() + offset);
    if (window[0] < 0x80) {
        return {};
    }
    const auto windowLength = static_cast<std::int32_t>(std::min<std::size_t>(4, text.size() - offset));
    std::int32_t consumed = 0;
    UChar32 character = 0;
    U8_NEXT(window, consumed, windowLength, character);
    return {static_cast<std::size_t>(consumed), character >= 0};
}

} // namespace

bool isValid(std::string_view text) {
    for (std::size_t offset = 0; offset < text.size();) {
        const auto sequence = sequenceAt(text, offset);
        if (!sequence.isWellFormed) {
            return false;
        }
        offset += sequence.length;
    }
    return true;
}

std::string replacingInvalidSequences(std::string_view text) {
    std::string result;
    result.reserve(text.size());
    for (std::size_t offset = 0; offset < text.size();) {
        const auto sequence = sequenceAt(text, offset);
        if (sequence.isWellFormed) {
            result.append(text.substr(offset, sequence.length));
        } else {
            result.append("\xEF\xBF\xBD");
        }
        offset += sequence.length;
    }
    return result;
}

std::string percentEncodingInvalidBytes(std::string_view bytes) {
    static constexpr char digits[] = "0123456789ABCDEF";
    std::string result;
    result.reserve(bytes.size());
    const auto appendEncoded = [&](unsigned char byte) {
        result.push_back('%');
        result.push_back(digits[byte >> 4]);
        result.push_back(digits[byte & 0x0F]);
    };
    for (std::size_t offset = 0; offset < bytes.size();) {
        const auto sequence = sequenceAt(bytes, offset);
        if (!sequence.isWellFormed) {
            for (std::size_t i = 0; i < sequence.length; ++i) {
                appendEncoded(static_cast<unsigned char>(bytes[offset + i]));
            }
        } else if (bytes[offset] == '%') {
            appendEncoded('%');
        } else {
            result.append(bytes.substr(offset, sequence.length));
        }
        offset += sequence.length;
    }
    return result;
}

std::optional<std::vector<char32_t>> codePoints(std::string_view text) {
    std::vector<char32_t> result;
    result.reserve(text.size());
    for (std::size_t offset = 0; offset < text.size();) {
        const auto window = text.substr(offset, 4);
        const auto* bytes = reinterpret_cast<const std::uint8_t*>(window.data());
        std::int32_t length = 0;
        UChar32 character = 0;
        U8_NEXT(bytes, length, static_cast<std::int32_t>(window.size()), character);
        if (character < 0) {
            return std::nullopt;
        }
        result.push_back(static_cast<char32_t>(character));
        offset += static_cast<std::size_t>(length);
    }
    return result;
}

} // namespace ZRUTF8
