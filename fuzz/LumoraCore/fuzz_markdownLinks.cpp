// Markdown links in third-party texts from fuzz input: no crash, every anchor made points to an
// address the link rules accept and holds link text without brackets or line breaks, turning each
// anchor back into "[text](address)" gives the text back, and a substituted value never keeps a
// character of link syntax.
//
// Input: text, a 0 byte, a value substituted into it. Without a 0 byte there is no value.

#include "Code/Presentation/HTMLText.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

void require(bool condition) {
    if (!condition) {
        std::abort();
    }
}

// The escaped text has no "<" or '"' of its own, so every anchor is one the conversion made.
std::string restoredMarkdown(std::string_view html) {
    constexpr std::string_view open = "<a href=\"";
    std::string markdown;
    std::size_t position = 0;
    for (;;) {
        const auto start = html.find(open, position);
        if (start == std::string_view::npos) {
            break;
        }
        const auto addressEnd = html.find("\">", start + open.size());
        require(addressEnd != std::string_view::npos);
        const auto textEnd = html.find("</a>", addressEnd + 2);
        require(textEnd != std::string_view::npos);
        const auto address = html.substr(start + open.size(), addressEnd - start - open.size());
        const auto text = html.substr(addressEnd + 2, textEnd - addressEnd - 2);
        require(isLinkableAddress(address));
        require(text.find_first_of("[]\n\r") == std::string_view::npos);
        markdown.append(html.substr(position, start - position));
        markdown.append("[").append(text).append("](").append(address).append(")");
        position = textEnd + 4;
    }
    markdown.append(html.substr(position));
    return markdown;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const auto separator = input.find('\0');
    const auto text = input.substr(0, separator);
    const auto value = separator == std::string_view::npos ? std::string_view() : input.substr(separator + 1);

    const std::string escaped = escapeHTML(text);
    require(restoredMarkdown(linkifyMarkdown(escaped)) == escaped);

    const std::string withValue = escapeHTMLWithSubstitutedValue(text, value);
    require(restoredMarkdown(linkifyMarkdown(withValue)) == withValue);
    const std::string escapedValue = escapeHTMLAndMarkdown(value);
    require(escapedValue.find_first_of("[]()<>\"'") == std::string::npos);
    if (!value.empty()) {
        require(escapeHTMLWithSubstitutedValue(value, value) == escapedValue);
    }

    (void)paragraphsHTML(text);
    (void)linkedFormatHTML(text, value);
    (void)collapseWhitespace(text);
    return 0;
}
