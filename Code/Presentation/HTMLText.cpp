#include "Code/Presentation/HTMLText.h"

#include "ZRFoundation/Text/ZRUnicodeText.h"

#include <memory>
#include <mutex>

#include <unicode/regex.h>
#include <unicode/unistr.h>

namespace {

// Link text may not contain "["; the address is the shortest run of non-space characters closed
// by ")".
constexpr char markdownLinkPattern[] = R"(\[([^\[]*)\]\((\S*?)\))";
constexpr std::int32_t maximumMatchingSteps = 2000;

bool isLinkableAddress(std::string_view address) {
    std::string lower;
    for (const char c : address.substr(0, 8)) {
        lower += static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    }
    return lower.starts_with("http://") || lower.starts_with("https://") || lower.starts_with("mailto:");
}

const icu::RegexPattern* compiledLinkPattern() {
    static std::once_flag once;
    static std::unique_ptr<icu::RegexPattern> pattern;
    std::call_once(once, [] {
        UErrorCode status = U_ZERO_ERROR;
        UParseError parseError;
        pattern.reset(icu::RegexPattern::compile(icu::UnicodeString::fromUTF8(markdownLinkPattern),
                                                 parseError, status));
        if (U_FAILURE(status)) {
            pattern.reset();
        }
    });
    return pattern.get();
}

std::string toUTF8(const icu::UnicodeString& text) {
    std::string result;
    text.toUTF8String(result);
    return result;
}

} // namespace

std::string collapseWhitespace(std::string_view text) {
    std::string result;
    std::string piece;
    const auto flush = [&] {
        if (!piece.empty()) {
            result += (result.empty() ? "" : " ") + piece;
            piece.clear();
        }
    };
    std::size_t offset = 0;
    while (offset < text.size()) {
        const std::size_t length = ZRUnicodeText::characterLengthAt(text, offset);
        if (ZRUnicodeText::isWhitespaceOrNewline(ZRUnicodeText::characterAt(text, offset))) {
            flush();
        } else {
            piece.append(text.substr(offset, length));
        }
        offset += length;
    }
    flush();
    return result;
}

std::string linkifyMarkdown(std::string_view text) {
    const icu::RegexPattern* pattern = compiledLinkPattern();
    if (pattern == nullptr || text.find('[') == std::string_view::npos) {
        return std::string(text);
    }
    const icu::UnicodeString input =
        icu::UnicodeString::fromUTF8(icu::StringPiece(text.data(), static_cast<std::int32_t>(text.size())));
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::RegexMatcher> matcher(pattern->matcher(input, status));
    if (U_FAILURE(status)) {
        return std::string(text);
    }
    // Crafted texts can make the lazy address scan quadratic: give up (and link nothing) after
    // about this many milliseconds of matching.
    matcher->setTimeLimit(maximumMatchingSteps, status);
    std::string result;
    std::int32_t copied = 0;
    while (matcher->find(status) && U_SUCCESS(status)) {
        const std::int32_t start = matcher->start(status);
        const std::int32_t end = matcher->end(status);
        const std::string address = toUTF8(matcher->group(2, status));
        if (!isLinkableAddress(address)) {
            continue;
        }
        result += toUTF8(input.tempSubStringBetween(copied, start));
        result += "<a href=\"" + address + "\">" + toUTF8(matcher->group(1, status)) + "</a>";
        copied = end;
    }
    if (U_FAILURE(status)) {
        return std::string(text);
    }
    result += toUTF8(input.tempSubStringBetween(copied, input.length()));
    return result;
}

std::string paragraphsHTML(std::string_view text) {
    const std::string linked = linkifyMarkdown(text);
    std::string result;
    std::size_t start = 0;
    while (start <= linked.size()) {
        const auto end = linked.find('\n', start);
        const std::string line =
            linked.substr(start, end == std::string::npos ? std::string::npos : end - start);
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
        switch (c) {
        case '&':
            result += "&amp;";
            break;
        case '<':
            result += "&lt;";
            break;
        case '>':
            result += "&gt;";
            break;
        case '"':
            result += "&quot;";
            break;
        case '\'':
            result += "&#39;";
            break;
        default:
            result += c;
        }
    }
    return result;
}
