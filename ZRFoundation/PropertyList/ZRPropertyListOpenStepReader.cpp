// Old-style (OpenStep) property lists and .strings files. The bytes are first turned into UTF-8
// (UTF-16 little or big endian when a byte order mark, or a zero byte pattern of ASCII text,
// says so), then parsed by recursive descent. Recursion only happens for arrays and
// dictionaries and stops at the depth limit.
//
// Escapes in quoted strings: \a \b \f \n \r \t \v \" \' \\ \?, a backslash before a line break,
// \U or \u with one to four hexadecimal digits (a UTF-16 unit; a high surrogate must be followed
// by an escaped low one), and one to three octal digits naming a Latin-1 character.

#include "ZRFoundation/PropertyList/ZRPropertyListReader.h"
#include "ZRFoundation/PropertyList/ZRPropertyListReaderSupport.h"
#include "ZRFoundation/Text/ZRHexadecimal.h"
#include "ZRFoundation/Text/ZRUnicodeConversion.h"

#include <algorithm>
#include <new>

namespace ZRPropertyListReader {

using namespace ZRPropertyListReaderSupport;
using ZRUnicodeConversion::isHighSurrogate;
using ZRUnicodeConversion::isLowSurrogate;

namespace {

struct DecodedText {
    std::string text;
    std::string error;
};

std::string utf16ToUTF8(std::span<const std::uint8_t> bytes, bool bigEndian, std::string& error) {
    if (bytes.size() % 2 != 0) {
        error = "UTF-16 text has an odd number of bytes";
        return {};
    }
    std::u16string units(bytes.size() / 2, u'\0');
    for (std::size_t i = 0; i < units.size(); ++i) {
        const std::uint8_t first = bytes[2 * i];
        const std::uint8_t second = bytes[2 * i + 1];
        units[i] = static_cast<char16_t>(bigEndian ? (first << 8) | second : (second << 8) | first);
    }
    std::string text;
    text.reserve(units.size());
    if (const auto invalid = ZRUnicodeConversion::appendUTF8FromUTF16(text, units)) {
        error = "Unpaired UTF-16 surrogate at byte offset " + std::to_string(*invalid * 2);
        return {};
    }
    return text;
}

std::size_t lineOfOffset(std::string_view text, std::size_t offset) {
    return static_cast<std::size_t>(
               std::count(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(offset), '\n')) +
           1;
}

// The text as UTF-8, after removing a byte order mark.
DecodedText decodedText(std::span<const std::uint8_t> bytes) {
    DecodedText decoded;
    const auto startsWith = [&](std::initializer_list<std::uint8_t> prefix) {
        return bytes.size() >= prefix.size() && std::equal(prefix.begin(), prefix.end(), bytes.begin());
    };
    if (startsWith({0xFF, 0xFE})) {
        decoded.text = utf16ToUTF8(bytes.subspan(2), false, decoded.error);
    } else if (startsWith({0xFE, 0xFF})) {
        decoded.text = utf16ToUTF8(bytes.subspan(2), true, decoded.error);
    } else if (bytes.size() >= 2 && bytes.size() % 2 == 0 && bytes[0] == 0 && bytes[1] != 0) {
        decoded.text = utf16ToUTF8(bytes, true, decoded.error);
    } else if (bytes.size() >= 2 && bytes.size() % 2 == 0 && bytes[0] != 0 && bytes[1] == 0) {
        decoded.text = utf16ToUTF8(bytes, false, decoded.error);
    } else {
        if (startsWith({0xEF, 0xBB, 0xBF})) {
            bytes = bytes.subspan(3);
        }
        decoded.text.assign(bytes.begin(), bytes.end());
        if (const auto invalid = ZRUnicodeConversion::firstMalformedUTF8Offset(decoded.text)) {
            decoded.error = "Invalid UTF-8 at line " + std::to_string(lineOfOffset(decoded.text, *invalid));
        }
    }
    return decoded;
}

bool isUnquotedCharacter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
           c == '$' || c == '+' || c == '/' || c == ':' || c == '.' || c == '-';
}

bool isWhitespace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}

class OpenStepParser {
public:
    OpenStepParser(std::string_view text, const Limits& limits)
        : _text(text)
        , _limits(limits) {}

    Result parse();

private:
    bool atEnd() const { return _position >= _text.size(); }
    char current() const { return _text[_position]; }
    bool skipWhitespaceAndComments();

    std::optional<ZRPropertyList> value(std::size_t depth);
    std::optional<ZRPropertyList> stringsFile();
    std::optional<ZRPropertyList> dictionary(std::size_t depth, bool isStringsFile);
    std::optional<ZRPropertyList> array(std::size_t depth);
    std::optional<ZRPropertyList> data();
    std::optional<std::string> string();
    std::optional<std::string> quotedString();
    std::optional<std::string> unquotedString();
    bool escape(std::string& text);
    std::optional<char32_t> unicodeEscapeUnit();
    bool expect(char c, const char* what);
    bool countElement();

    std::nullopt_t fail(const std::string& description);
    std::nullopt_t failAt(const std::string& description, std::size_t offset);
    std::nullopt_t unexpectedCharacter();

    std::string_view _text;
    const Limits& _limits;
    std::size_t _position = 0;
    std::size_t _elementCount = 0;
    std::string _error;
};

std::nullopt_t OpenStepParser::failAt(const std::string& description, std::size_t offset) {
    if (_error.empty()) {
        _error =
            description + " at line " + std::to_string(lineOfOffset(_text, std::min(offset, _text.size())));
    }
    return std::nullopt;
}

std::nullopt_t OpenStepParser::fail(const std::string& description) {
    return failAt(description, _position);
}

std::nullopt_t OpenStepParser::unexpectedCharacter() {
    return atEnd() ? fail("Unexpected end of input")
                   : fail("Unexpected character " + quotedCharacter(current()));
}

bool OpenStepParser::countElement() {
    if (++_elementCount > _limits.maximumElementCount) {
        fail(tooManyElementsDescription(_limits.maximumElementCount));
        return false;
    }
    return true;
}

bool OpenStepParser::skipWhitespaceAndComments() {
    while (!atEnd()) {
        if (isWhitespace(current())) {
            ++_position;
        } else if (_text.substr(_position, 2) == "//") {
            const auto end = _text.find('\n', _position);
            _position = end == std::string_view::npos ? _text.size() : end + 1;
        } else if (_text.substr(_position, 2) == "/*") {
            const auto end = _text.find("*/", _position + 2);
            if (end == std::string_view::npos) {
                fail("Unterminated comment");
                return false;
            }
            _position = end + 2;
        } else {
            break;
        }
    }
    return true;
}

bool OpenStepParser::expect(char c, const char* what) {
    if (!skipWhitespaceAndComments()) {
        return false;
    }
    if (atEnd() || current() != c) {
        fail(std::string("Expected ") + what +
             (atEnd() ? " but found the end" : " but found " + quotedCharacter(current())));
        return false;
    }
    ++_position;
    return true;
}

Result OpenStepParser::parse() {
    if (!skipWhitespaceAndComments()) {
        return failure(Format::OpenStep, _error);
    }
    if (atEnd()) {
        // An empty strings file is an empty table.
        return success(Format::OpenStep, ZRPropertyList::dictionary({}));
    }
    const std::size_t start = _position;
    auto first = value(0);
    if (first && skipWhitespaceAndComments() && !atEnd()) {
        if (!first->isString()) {
            unexpectedCharacter();
            return failure(Format::OpenStep, _error);
        }
        // "key" = "value"; ... without braces: a strings file. Read again as one.
        _position = start;
        _elementCount = 0;
        first = stringsFile();
    }
    // A trailing comment that never ends fails even after a complete value.
    if (!first || !_error.empty()) {
        return failure(Format::OpenStep, _error);
    }
    return success(Format::OpenStep, std::move(*first));
}

std::optional<ZRPropertyList> OpenStepParser::value(std::size_t depth) {
    if (!skipWhitespaceAndComments()) {
        return std::nullopt;
    }
    if (atEnd()) {
        return fail("Unexpected end of input");
    }
    const char c = current();
    if (c == '{' || c == '(') {
        if (depth >= _limits.maximumDepth) {
            return fail(nestingTooDeepDescription(_limits.maximumDepth));
        }
        if (!countElement()) {
            return std::nullopt;
        }
        ++_position;
        return c == '{' ? dictionary(depth, false) : array(depth);
    }
    if (!countElement()) {
        return std::nullopt;
    }
    if (c == '<') {
        ++_position;
        return data();
    }
    if (c == '"' || c == '\'' || isUnquotedCharacter(c)) {
        auto text = string();
        return text ? std::optional(ZRPropertyList::string(std::move(*text))) : std::nullopt;
    }
    return unexpectedCharacter();
}

std::optional<ZRPropertyList> OpenStepParser::stringsFile() {
    if (!countElement()) {
        return std::nullopt;
    }
    return dictionary(0, true);
}

// Entries up to '}' (braced) or the end of the text (a strings file). In a strings file a key
// followed directly by ';' maps to itself.
std::optional<ZRPropertyList> OpenStepParser::dictionary(std::size_t depth, bool isStringsFile) {
    ZRPropertyListDictionary entries;
    while (true) {
        if (!skipWhitespaceAndComments()) {
            return std::nullopt;
        }
        if (atEnd()) {
            if (isStringsFile) {
                break;
            }
            return fail("Unterminated dictionary");
        }
        if (!isStringsFile && current() == '}') {
            ++_position;
            break;
        }
        auto key = string();
        if (!key) {
            return std::nullopt;
        }
        if (!skipWhitespaceAndComments()) {
            return std::nullopt;
        }
        if (isStringsFile && !atEnd() && current() == ';') {
            ++_position;
            if (!countElement()) {
                return std::nullopt;
            }
            entries.set(*key, ZRPropertyList::string(*key));
            continue;
        }
        if (!expect('=', "'='")) {
            return std::nullopt;
        }
        auto entryValue = value(depth + 1);
        if (!entryValue || !expect(';', "';'")) {
            return std::nullopt;
        }
        // Duplicate keys: the last value wins.
        entries.set(std::move(*key), std::move(*entryValue));
    }
    return ZRPropertyList::dictionary(std::move(entries));
}

std::optional<ZRPropertyList> OpenStepParser::array(std::size_t depth) {
    ZRPropertyList::Array elements;
    while (true) {
        if (!skipWhitespaceAndComments()) {
            return std::nullopt;
        }
        if (!atEnd() && current() == ')') {
            ++_position;
            break;
        }
        auto element = value(depth + 1);
        if (!element || !skipWhitespaceAndComments()) {
            return std::nullopt;
        }
        elements.push_back(std::move(*element));
        if (!atEnd() && current() == ',') {
            ++_position;
        } else if (atEnd() || current() != ')') {
            return atEnd() ? fail("Unterminated array")
                           : fail("Expected ',' or ')' but found " + quotedCharacter(current()));
        }
    }
    return ZRPropertyList::array(std::move(elements));
}

std::optional<ZRPropertyList> OpenStepParser::data() {
    ZRPropertyList::Data bytes;
    int highNibble = -1; // none yet
    while (true) {
        if (atEnd()) {
            return fail("Unterminated data");
        }
        const char c = current();
        ++_position;
        if (c == '>') {
            break;
        }
        if (isWhitespace(c)) {
            continue;
        }
        const auto digit = ZRHexadecimal::digitValue(c);
        if (!digit) {
            --_position;
            return fail("Unexpected character " + quotedCharacter(c) + " in data");
        }
        if (highNibble >= 0) {
            bytes.push_back(static_cast<std::uint8_t>((highNibble << 4) | *digit));
            highNibble = -1;
        } else {
            highNibble = *digit;
        }
    }
    if (highNibble >= 0) {
        return fail("Odd number of hexadecimal digits in data");
    }
    return ZRPropertyList::data(std::move(bytes));
}

std::optional<std::string> OpenStepParser::string() {
    if (atEnd()) {
        return fail("Unexpected end of input");
    }
    if (current() == '"' || current() == '\'') {
        return quotedString();
    }
    if (isUnquotedCharacter(current())) {
        return unquotedString();
    }
    return unexpectedCharacter();
}

std::optional<std::string> OpenStepParser::unquotedString() {
    const std::size_t start = _position;
    while (!atEnd() && isUnquotedCharacter(current())) {
        ++_position;
    }
    return std::string(_text.substr(start, _position - start));
}

std::optional<std::string> OpenStepParser::quotedString() {
    const std::size_t start = _position;
    const char quote = current();
    ++_position;
    std::string text;
    while (true) {
        if (atEnd()) {
            return failAt("Unterminated string", start);
        }
        const char c = current();
        ++_position;
        if (c == quote) {
            return text;
        }
        if (c != '\\') {
            text += c;
        } else if (!escape(text)) {
            return std::nullopt;
        }
    }
}

// One to four hexadecimal digits after \U.
std::optional<char32_t> OpenStepParser::unicodeEscapeUnit() {
    char32_t unit = 0;
    std::size_t digits = 0;
    while (digits < 4 && !atEnd()) {
        const auto digit = ZRHexadecimal::digitValue(current());
        if (!digit) {
            break;
        }
        unit = unit * 16 + static_cast<char32_t>(*digit);
        ++digits;
        ++_position;
    }
    if (digits == 0) {
        return fail("Invalid escape '\\U' without hexadecimal digits");
    }
    return unit;
}

bool OpenStepParser::escape(std::string& text) {
    if (atEnd()) {
        fail("Unterminated string");
        return false;
    }
    const char c = current();
    ++_position;
    static constexpr std::string_view simpleEscapes = "abfnrtv";
    static constexpr std::string_view simpleValues = "\a\b\f\n\r\t\v";
    if (const auto found = simpleEscapes.find(c); found != std::string_view::npos) {
        text += simpleValues[found];
        return true;
    }
    if (c == '"' || c == '\'' || c == '\\' || c == '?' || c == '\n') {
        text += c;
        return true;
    }
    if (c >= '0' && c <= '7') {
        unsigned value = static_cast<unsigned>(c - '0');
        for (int i = 0; i < 2 && !atEnd() && current() >= '0' && current() <= '7'; ++i) {
            value = value * 8 + static_cast<unsigned>(current() - '0');
            ++_position;
        }
        if (value > 0xFF) {
            fail("Octal escape out of range");
            return false;
        }
        ZRUnicodeConversion::appendUTF8(text, value);
        return true;
    }
    if (c == 'U' || c == 'u') {
        const auto unit = unicodeEscapeUnit();
        if (!unit) {
            return false;
        }
        if (isLowSurrogate(*unit)) {
            fail("Unpaired surrogate in '\\U' escape");
            return false;
        }
        if (!isHighSurrogate(*unit)) {
            ZRUnicodeConversion::appendUTF8(text, *unit);
            return true;
        }
        if (_text.substr(_position, 2) != "\\U" && _text.substr(_position, 2) != "\\u") {
            fail("Unpaired surrogate in '\\U' escape");
            return false;
        }
        _position += 2;
        const auto low = unicodeEscapeUnit();
        if (!low || !isLowSurrogate(*low)) {
            fail("Unpaired surrogate in '\\U' escape");
            return false;
        }
        ZRUnicodeConversion::appendUTF8(text, 0x10000 + ((*unit - 0xD800) << 10) + (*low - 0xDC00));
        return true;
    }
    --_position;
    fail(c > 0x20 && c < 0x7F ? "Invalid escape '\\" + std::string(1, c) + "'"
                              : "Invalid escape before " + quotedCharacter(c));
    return false;
}

} // namespace

Result readOpenStep(std::span<const std::uint8_t> bytes, const Limits& limits) {
    if (bytes.size() > limits.maximumInputSize) {
        return failure(Format::OpenStep, inputTooLargeDescription(limits.maximumInputSize));
    }
    try {
        const DecodedText decoded = decodedText(bytes);
        if (!decoded.error.empty()) {
            return failure(Format::OpenStep, decoded.error);
        }
        OpenStepParser parser(decoded.text, limits);
        return parser.parse();
    } catch (const std::bad_alloc&) {
        return failure(Format::OpenStep, "Out of memory");
    } catch (const std::length_error&) {
        return failure(Format::OpenStep, "Out of memory");
    }
}

} // namespace ZRPropertyListReader
