#include "ZRFoundation/URL/ZRURL.h"

#include <algorithm>
#include <cctype>
#include <vector>

#include <uriparser/Uri.h>

namespace {

bool isUnreservedPathCharacter(unsigned char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '.' || c == '_' || c == '~' || c == '/' || c == '!' || c == '$' || c == '&' || c == '\'' ||
           c == '(' || c == ')' || c == '*' || c == '+' || c == ',' || c == ';' || c == '=' || c == ':' ||
           c == '@';
}

std::string rangeText(const UriTextRangeA& range) {
    if (range.first == nullptr || range.afterLast == nullptr || range.afterLast < range.first) {
        return {};
    }
    return std::string(range.first, range.afterLast);
}

// Parses `text` and hands the parsed URI to `use`; false when the text is not a URI reference.
template <typename Use>
bool withParsedURI(std::string_view text, Use&& use) {
    UriUriA uri;
    const char* errorPosition = nullptr;
    if (uriParseSingleUriExA(&uri, text.data(), text.data() + text.size(), &errorPosition) != URI_SUCCESS) {
        return false;
    }
    use(uri);
    uriFreeUriMembersA(&uri);
    return true;
}

} // namespace

std::string ZRURL::percentEncoded(std::string_view text, bool (*keep)(unsigned char)) {
    static constexpr char digits[] = "0123456789ABCDEF";
    std::string encoded;
    encoded.reserve(text.size());
    for (const char character : text) {
        const auto c = static_cast<unsigned char>(character);
        if (keep(c)) {
            encoded += character;
        } else {
            encoded += '%';
            encoded += digits[c >> 4];
            encoded += digits[c & 0xF];
        }
    }
    return encoded;
}

ZRURL ZRURL::fileURL(const std::filesystem::path& path, bool isDirectory) {
    std::filesystem::path absolute = path.is_absolute() ? path : std::filesystem::absolute(path);
    std::string text = absolute.lexically_normal().string();
    while (text.size() > 1 && text.back() == '/') {
        text.pop_back();
    }
    ZRURL url;
    url._path = text;
    url._isFileURL = true;
    url._isDirectory = isDirectory;
    url._text =
        "file://" + percentEncoded(text, isUnreservedPathCharacter) + (isDirectory && text != "/" ? "/" : "");
    return url;
}

std::optional<ZRURL> ZRURL::URLWithString(std::string_view text) {
    if (text.empty()) {
        return std::nullopt;
    }
    ZRURL url;
    bool isFile = false;
    if (!withParsedURI(text, [&](const UriUriA& uri) {
            std::string scheme = rangeText(uri.scheme);
            std::transform(scheme.begin(), scheme.end(), scheme.begin(),
                           [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
            isFile = scheme == "file";
        })) {
        return std::nullopt;
    }
    url._text = std::string(text);
    if (isFile) {
        // The decoded file name is never longer than the URL text.
        std::vector<char> filename(text.size() + 1, '\0');
        const std::string terminated(text);
        if (uriUriStringToUnixFilenameA(terminated.c_str(), filename.data()) == URI_SUCCESS) {
            std::string path = filename.data();
            url._isDirectory = path.size() > 1 && path.back() == '/';
            while (path.size() > 1 && path.back() == '/') {
                path.pop_back();
            }
            url._path = path;
            url._isFileURL = true;
        }
    }
    return url;
}

std::string ZRURL::scheme() const {
    std::string result;
    withParsedURI(_text, [&](const UriUriA& uri) { result = rangeText(uri.scheme); });
    return result;
}

std::string ZRURL::host() const {
    std::string result;
    withParsedURI(_text, [&](const UriUriA& uri) { result = rangeText(uri.hostText); });
    return result;
}

std::string ZRURL::lastPathComponent() const {
    if (_isFileURL) {
        return std::filesystem::path(_path).filename().string();
    }
    std::string result;
    withParsedURI(_text, [&](const UriUriA& uri) {
        for (const UriPathSegmentA* segment = uri.pathHead; segment != nullptr; segment = segment->next) {
            const std::string part = rangeText(segment->text);
            if (!part.empty()) {
                result = part;
            }
        }
    });
    return result;
}
