#include "Code/Presentation/HTMLText.h"

#include "ZRFoundation/Text/ZRUnicodeText.h"

#include <vector>

namespace {

constexpr std::string_view addressPlaceholder = "%@";

bool isLineBreak(char32_t c) {
    return (c >= U'\n' && c <= U'\r') || c == U'\u0085' || c == U'\u2028' || c == U'\u2029';
}

// One "[text](address)" as written; offsets into the text searched.
struct MarkdownLink {
    std::size_t start = 0;
    std::size_t end = 0;
    std::string_view text;
    std::string_view address;
};

// Finds the links of a text from left to right, each search going on after the previous link,
// in time linear in the text: no stretch of it is scanned more than twice.
class MarkdownLinkScanner {
public:
    explicit MarkdownLinkScanner(std::string_view text)
        : _text(text) {}

    std::optional<MarkdownLink> next() {
        while (_position < _text.size()) {
            const std::size_t open = _text.find('[', _position);
            if (open == std::string_view::npos) {
                break;
            }
            const std::size_t close = endOfLinkText(open + 1);
            if (close == _text.size()) {
                break;
            }
            if (_text[close] != ']' || close + 1 == _text.size() || _text[close + 1] != '(') {
                // A "[" that ends the text is where the next search starts; anything else is passed.
                _position = _text[close] == '[' ? close : close + 1;
                continue;
            }
            const std::size_t addressStart = close + 2;
            const std::size_t addressEnd = endOfAddress(addressStart);
            if (addressEnd == _text.size() || _text[addressEnd] != ')') {
                _position = close + 1;
                continue;
            }
            _position = addressEnd + 1;
            return MarkdownLink{open, addressEnd + 1, _text.substr(open + 1, close - open - 1),
                                _text.substr(addressStart, addressEnd - addressStart)};
        }
        _position = _text.size();
        return std::nullopt;
    }

private:
    // The first "[", "]" or line break at or after `offset`, or the end of the text.
    std::size_t endOfLinkText(std::size_t offset) const {
        while (offset < _text.size()) {
            const char c = _text[offset];
            if (c == '[' || c == ']') {
                return offset;
            }
            if (static_cast<unsigned char>(c) < 0x80) {
                if (isLineBreak(static_cast<char32_t>(c))) {
                    return offset;
                }
                ++offset;
                continue;
            }
            if (isLineBreak(ZRUnicodeText::characterAt(_text, offset))) {
                return offset;
            }
            offset += ZRUnicodeText::characterLengthAt(_text, offset);
        }
        return _text.size();
    }

    // The first ")" or white space at or after `offset`, or the end of the text. Addresses of
    // failed links can overlap (think "[a](x[a](x[a](x…" without a ")"), so the last answer is
    // kept: it holds for every offset up to it.
    std::size_t endOfAddress(std::size_t offset) {
        if (_lastAddressScanStart <= offset && offset <= _lastAddressEnd) {
            return _lastAddressEnd;
        }
        _lastAddressScanStart = offset;
        while (offset < _text.size()) {
            const char c = _text[offset];
            if (c == ')') {
                break;
            }
            const std::size_t length = ZRUnicodeText::characterLengthAt(_text, offset);
            if (ZRUnicodeText::isWhitespaceOrNewline(static_cast<unsigned char>(c) < 0x80
                                                         ? static_cast<char32_t>(c)
                                                         : ZRUnicodeText::characterAt(_text, offset))) {
                break;
            }
            offset += length;
        }
        _lastAddressEnd = offset;
        return offset;
    }

    std::string_view _text;
    std::size_t _position = 0;
    std::size_t _lastAddressScanStart = std::string_view::npos;
    std::size_t _lastAddressEnd = 0;
};

void appendAnchor(std::string& html, std::string_view address, std::string_view text) {
    html.append("<a href=\"").append(address).append("\">").append(text).append("</a>");
}

// Positions of every occurrence of `value` in `text`, overlapping ones included, as a mask
// (Knuth–Morris–Pratt, so a value like "aaaa…" costs no more than any other).
std::vector<bool> occurrenceMask(std::string_view text, std::string_view value) {
    std::vector<bool> mask(text.size(), false);
    if (value.empty() || value.size() > text.size()) {
        return mask;
    }
    std::vector<std::size_t> border(value.size(), 0);
    for (std::size_t i = 1, k = 0; i < value.size(); ++i) {
        while (k > 0 && value[i] != value[k]) {
            k = border[k - 1];
        }
        if (value[i] == value[k]) {
            ++k;
        }
        border[i] = k;
    }
    std::size_t markedUpTo = 0;
    for (std::size_t i = 0, k = 0; i < text.size(); ++i) {
        while (k > 0 && text[i] != value[k]) {
            k = border[k - 1];
        }
        if (text[i] == value[k]) {
            ++k;
        }
        if (k == value.size()) {
            const std::size_t start = i + 1 - value.size();
            for (std::size_t at = std::max(start, markedUpTo); at <= i; ++at) {
                mask[at] = true;
            }
            markedUpTo = i + 1;
            k = border[k - 1];
        }
    }
    return mask;
}

void appendEscaped(std::string& result, char c, bool markdownToo) {
    switch (c) {
    case '&':
        result += "&amp;";
        return;
    case '<':
        result += "&lt;";
        return;
    case '>':
        result += "&gt;";
        return;
    case '"':
        result += "&quot;";
        return;
    case '\'':
        result += "&#39;";
        return;
    default:
        break;
    }
    if (markdownToo) {
        switch (c) {
        case '[':
            result += "&#91;";
            return;
        case ']':
            result += "&#93;";
            return;
        case '(':
            result += "&#40;";
            return;
        case ')':
            result += "&#41;";
            return;
        default:
            break;
        }
    }
    result += c;
}

} // namespace

std::string collapseWhitespace(std::string_view text) {
    std::string result;
    result.reserve(text.size());
    bool pendingSpace = false;
    std::size_t offset = 0;
    while (offset < text.size()) {
        const std::size_t length = ZRUnicodeText::characterLengthAt(text, offset);
        if (ZRUnicodeText::isWhitespaceOrNewline(ZRUnicodeText::characterAt(text, offset))) {
            pendingSpace = !result.empty();
        } else {
            if (pendingSpace) {
                result += ' ';
                pendingSpace = false;
            }
            result.append(text.substr(offset, length));
        }
        offset += length;
    }
    return result;
}

bool isLinkableAddress(std::string_view address) {
    std::string scheme;
    for (const char c : address.substr(0, 8)) {
        scheme += static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    }
    if (!scheme.starts_with("http://") && !scheme.starts_with("https://") && !scheme.starts_with("mailto:")) {
        return false;
    }
    std::size_t offset = 0;
    while (offset < address.size()) {
        const char32_t c = ZRUnicodeText::characterAt(address, offset);
        if (c < U' ' || c == char32_t{0x7F} || ZRUnicodeText::isWhitespaceOrNewline(c)) {
            return false;
        }
        offset += ZRUnicodeText::characterLengthAt(address, offset);
    }
    return true;
}

std::string linkifyMarkdown(std::string_view text) {
    std::string result;
    result.reserve(text.size());
    std::size_t copied = 0;
    MarkdownLinkScanner scanner(text);
    while (const auto link = scanner.next()) {
        if (!isLinkableAddress(link->address)) {
            continue;
        }
        result.append(text.substr(copied, link->start - copied));
        appendAnchor(result, link->address, link->text);
        copied = link->end;
    }
    result.append(text.substr(copied));
    return result;
}

std::optional<std::string> linkedFormatHTML(std::string_view format, std::string_view address) {
    std::string result;
    std::size_t copied = 0;
    MarkdownLinkScanner scanner(format);
    while (const auto link = scanner.next()) {
        const bool takesAddress = link->address == addressPlaceholder;
        if (takesAddress && !isLinkableAddress(address)) {
            return std::nullopt;
        }
        if (!takesAddress && !isLinkableAddress(link->address)) {
            continue;
        }
        result.append(format.substr(copied, link->start - copied));
        appendAnchor(result, takesAddress ? escapeHTML(address) : std::string(link->address), link->text);
        copied = link->end;
    }
    result.append(format.substr(copied));
    return result;
}

std::string paragraphsHTML(std::string_view text) {
    const std::string linked = linkifyMarkdown(text);
    std::string result;
    std::size_t start = 0;
    while (start <= linked.size()) {
        const auto end = linked.find('\n', start);
        const std::string_view line = std::string_view(linked).substr(
            start, end == std::string::npos ? std::string::npos : end - start);
        if (!line.empty()) {
            result.append(result.empty() ? "" : "\n").append("<p>").append(line).append("</p>");
        }
        if (end == std::string::npos) {
            break;
        }
        start = end + 1;
    }
    return result;
}

std::string escapeHTML(std::string_view text) {
    std::string result;
    result.reserve(text.size());
    for (const char c : text) {
        appendEscaped(result, c, false);
    }
    return result;
}

std::string escapeHTMLAndMarkdown(std::string_view text) {
    std::string result;
    result.reserve(text.size());
    for (const char c : text) {
        appendEscaped(result, c, true);
    }
    return result;
}

std::string escapeHTMLWithSubstitutedValue(std::string_view text, std::string_view value) {
    if (value.empty()) {
        return escapeHTML(text);
    }
    const auto mask = occurrenceMask(text, value);
    std::string result;
    result.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        appendEscaped(result, text[i], mask[i]);
    }
    return result;
}

std::string isolatedHTML(std::string_view html) {
    std::string result;
    result.reserve(html.size() + 11);
    return result.append("<bdi>").append(html).append("</bdi>");
}
