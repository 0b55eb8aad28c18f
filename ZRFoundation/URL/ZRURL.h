#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

/// A URL value: a file URL (which knows whether it names a directory, written with a trailing
/// slash) or any other URL parsed from text. Text is parsed by uriparser; what it does not accept
/// as a URI reference is not a URL.
class ZRURL {
public:
    /// A file URL for an absolute or relative path (made absolute against the current folder).
    static ZRURL fileURL(const std::filesystem::path& path, bool isDirectory);
    /// A URL from its text: an absolute URI or a relative reference. None for text that is not
    /// a URI reference (spaces, stray characters, bad percent escapes, empty text).
    static std::optional<ZRURL> URLWithString(std::string_view text);

    /// `text` with every byte that `keep` refuses written as "%XX" (upper-case hexadecimal).
    static std::string percentEncoded(std::string_view text, bool (*keep)(unsigned char));

    const std::string& absoluteString() const { return _text; }
    std::string scheme() const;
    std::string host() const;
    bool isFileURL() const { return _isFileURL; }
    /// For a file URL: the path, without the trailing slash of a directory URL. Made on each call:
    /// the URL keeps the path as one string, since a path object keeps a list of its components
    /// beside it, several hundred bytes for every URL a loaded document holds.
    std::filesystem::path path() const { return _path; }
    /// The same path as the string it is kept as.
    const std::string& pathString() const { return _path; }
    bool hasDirectoryPath() const { return _isDirectory; }
    std::string lastPathComponent() const;

    bool operator==(const ZRURL& other) const { return _text == other._text; }

private:
    ZRURL() = default;
    std::string _text;
    std::string _path;
    bool _isFileURL = false;
    bool _isDirectory = false;
};

template <>
struct std::hash<ZRURL> {
    std::size_t operator()(const ZRURL& url) const noexcept {
        return std::hash<std::string>{}(url.absoluteString());
    }
};
