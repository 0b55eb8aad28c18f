#include "Code/Tool/TerminalText.h"

#include "Code/Tool/ToolJSON.h"
#include "ZRFoundation/Text/ZRUTF8.h"

#include <cstdint>

namespace {

void appendHex(std::string& text, std::uint8_t value) {
    static constexpr char digits[] = "0123456789abcdef";
    text.push_back(digits[value >> 4]);
    text.push_back(digits[value & 0x0F]);
}

} // namespace

std::string TerminalText::escaped(std::string_view text) {
    const std::string wellFormed = ZRUTF8::replacingInvalidSequences(text);
    std::string result;
    result.reserve(wellFormed.size());
    for (std::size_t offset = 0; offset < wellFormed.size(); ++offset) {
        const auto byte = static_cast<std::uint8_t>(wellFormed[offset]);
        // In well-formed UTF-8 the C1 controls are exactly the pairs C2 80..C2 9F.
        if (byte == 0xC2 && offset + 1 < wellFormed.size() &&
            static_cast<std::uint8_t>(wellFormed[offset + 1]) <= 0x9F) {
            result += "\\u{";
            appendHex(result, static_cast<std::uint8_t>(wellFormed[++offset]));
            result += '}';
        } else if (byte == '\t') {
            result += "\\t";
        } else if (byte == '\n') {
            result += "\\n";
        } else if (byte == '\r') {
            result += "\\r";
        } else if (byte == '\\') {
            result += "\\\\";
        } else if (byte < 0x20 || byte == 0x7F) {
            result += "\\x";
            appendHex(result, byte);
        } else {
            result.push_back(static_cast<char>(byte));
        }
    }
    return result;
}

TerminalText& TerminalText::operator<<(std::string_view text) {
    _text += escaped(text);
    return *this;
}

TerminalText& TerminalText::operator<<(Layout layout) {
    _text.push_back(layout == Layout::newline ? '\n' : '\t');
    return *this;
}

TerminalText& TerminalText::operator<<(const TerminalText& text) {
    _text += text._text;
    return *this;
}

TerminalText& TerminalText::appendJSON(const nlohmann::ordered_json& value) {
    const std::string text = ToolJSON::dump(value, -1);
    for (std::size_t offset = 0; offset < text.size(); ++offset) {
        const auto byte = static_cast<std::uint8_t>(text[offset]);
        if (byte == 0xC2 && offset + 1 < text.size() && static_cast<std::uint8_t>(text[offset + 1]) <= 0x9F) {
            _text += "\\u00";
            appendHex(_text, static_cast<std::uint8_t>(text[++offset]));
        } else if (byte == 0x7F) {
            _text += "\\u007f";
        } else {
            _text.push_back(static_cast<char>(byte));
        }
    }
    return *this;
}
