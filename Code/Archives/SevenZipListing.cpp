// SevenZipListing: a line reader over 7-Zip's listing text and the parser of its blocks.
#include "Code/Archives/SevenZipListing.h"

#include <algorithm>
#include <limits>

namespace {

constexpr std::string_view pathKey = "Path = ";
constexpr std::string_view separator = " = ";
/// The line between the archive blocks and the entry blocks, and the line before the archive
/// blocks.
constexpr std::string_view entriesStart = "----------";
constexpr std::string_view archivesStart = "--";

/// "-rwxr-xr-x", "drwxr-xr-x", "lrwxrwxrwx": a type character, then nine permission characters.
bool looksLikeMode(std::string_view text) {
    return text.size() == 10 && std::all_of(text.begin() + 1, text.end(), [](char character) {
               return std::string_view("rwxsStT-").find(character) != std::string_view::npos;
           });
}

/// Windows attribute letters ("D", "A", "RHS") as 7-Zip prints them before the unix mode.
bool isAttributeLetters(std::string_view text) {
    return !text.empty() && std::all_of(text.begin(), text.end(),
                                        [](char character) { return character >= 'A' && character <= 'Z'; });
}

class Parser {
public:
    Parser(std::string_view text, std::size_t maximumEntries)
        : _text(text)
        , _maximumEntries(maximumEntries) {}

    /// What `run` fills; kept apart from the listing's private members.
    struct Contents {
        std::vector<SevenZipListing::Entry> entries;
        std::vector<SevenZipListing::Archive> archives;
    };

    SevenZipListing::ParseResult run(Contents& contents) {
        skipBlankLines();
        if (_failed) {
            return failure();
        }
        const bool bare = _position >= _text.size() || _text.substr(_position).starts_with(pathKey);
        if (!bare && !(skipBanner() && readArchives(contents.archives))) {
            return failure();
        }
        if (!readEntries(contents.entries, bare)) {
            return failure();
        }
        return {};
    }

private:
    /// The next line without its line break; none at the end of the text or when the line is too
    /// long (which fails the parse).
    std::optional<std::string_view> nextLine() {
        if (_failed || _position >= _text.size()) {
            return std::nullopt;
        }
        const std::size_t end = std::min(_text.find('\n', _position), _text.size());
        ++_lineNumber;
        if (end - _position > SevenZipListing::maximumLineLength) {
            fail("the line is longer than " + std::to_string(SevenZipListing::maximumLineLength) + " bytes");
            return std::nullopt;
        }
        const auto line = _text.substr(_position, end - _position);
        _position = end + 1;
        return line;
    }

    std::optional<std::string_view> peekLine() {
        const auto position = _position;
        const auto lineNumber = _lineNumber;
        const auto line = nextLine();
        _position = position;
        _lineNumber = lineNumber;
        return line;
    }

    void skipBlankLines() {
        while (const auto line = peekLine()) {
            if (!line->empty()) {
                return;
            }
            nextLine();
        }
    }

    bool fail(const std::string& message) {
        if (!_failed) {
            _failed = true;
            _error = "line " + std::to_string(_lineNumber) + ": " + message;
        }
        return false;
    }

    SevenZipListing::ParseResult failure() const { return {std::nullopt, _error}; }

    bool skipBanner() {
        while (const auto line = nextLine()) {
            if (*line == archivesStart) {
                return true;
            }
        }
        return _failed ? false : fail("the listing holds no archive (no line \"--\")");
    }

    /// The archive blocks up to the entries' start. Values may span lines between "{" and "}"
    /// (an archive's comment, a volume's description); they are skipped.
    bool readArchives(std::vector<SevenZipListing::Archive>& archives) {
        enum class Section { properties, errors, warnings };
        Section section = Section::properties;
        bool inBlock = false;
        while (const auto line = nextLine()) {
            if (*line == entriesStart) {
                return true;
            }
            if (line->empty()) {
                inBlock = false;
                continue;
            }
            if (!inBlock) {
                archives.emplace_back();
                inBlock = true;
                section = Section::properties;
            }
            auto& archive = archives.back();
            if (*line == "ERRORS:") {
                section = Section::errors;
            } else if (*line == "WARNINGS:") {
                section = Section::warnings;
            } else if (const auto at = line->find(separator); at != std::string_view::npos) {
                section = Section::properties;
                const auto key = line->substr(0, at);
                const auto value = line->substr(at + separator.size());
                if (key == "Path") {
                    archive.path = value;
                } else if (key == "Type") {
                    archive.type = value;
                } else if (value.empty() && peekLine() == "{" && !skipBracedValue()) {
                    return false;
                }
            } else if (section == Section::errors) {
                archive.errors.emplace_back(*line);
            } else {
                archive.warnings.emplace_back(*line);
            }
        }
        // The listing ends without entries: 7-Zip stops there when it could not read them.
        return !_failed;
    }

    bool skipBracedValue() {
        nextLine();
        while (const auto line = nextLine()) {
            if (*line == "}") {
                return true;
            }
        }
        return _failed ? false : fail("a value beginning with \"{\" has no closing \"}\"");
    }

    bool readEntries(std::vector<SevenZipListing::Entry>& entries, bool bare) {
        while (true) {
            skipBlankLines();
            const auto first = peekLine();
            if (!first) {
                return !_failed;
            }
            if (!first->starts_with(pathKey)) {
                // Without -ba the error and warning counts follow the last entry.
                if (!bare) {
                    return true;
                }
                nextLine();
                return fail("an entry block does not begin with \"Path = \"");
            }
            if (entries.size() >= _maximumEntries) {
                nextLine();
                return fail("the archive has more than " + std::to_string(_maximumEntries) + " entries");
            }
            entries.emplace_back();
            if (!readEntry(entries.back())) {
                return false;
            }
        }
    }

    bool readEntry(SevenZipListing::Entry& entry) {
        bool hasPath = false;
        while (const auto line = nextLine()) {
            if (line->empty()) {
                break;
            }
            const auto at = line->find(separator);
            if (at == std::string_view::npos) {
                return fail("an entry's line is not \"Key = value\"");
            }
            const auto key = line->substr(0, at);
            const auto value = line->substr(at + separator.size());
            if (key == "Path") {
                if (hasPath) {
                    return fail("an entry block has a second \"Path\"");
                }
                hasPath = true;
                entry.path = value;
            } else if (!readField(entry, key, value)) {
                return false;
            }
        }
        if (_failed) {
            return false;
        }
        if (entry.mode.starts_with('d')) {
            entry.isDirectory = true;
        }
        if (entry.mode.starts_with('l') || !entry.linkTarget.empty()) {
            entry.isSymbolicLink = true;
        }
        return true;
    }

    bool readField(SevenZipListing::Entry& entry, std::string_view key, std::string_view value) {
        if (key == "Folder") {
            entry.isDirectory = entry.isDirectory || value == "+";
        } else if (key == "Size") {
            return readNumber(value, entry.size);
        } else if (key == "Packed Size") {
            return readNumber(value, entry.packedSize);
        } else if (key == "Modified") {
            entry.modified = value;
        } else if (key == "Mode") {
            if (looksLikeMode(value)) {
                entry.mode = value;
            }
        } else if (key == "Attributes") {
            readAttributes(entry, value);
        } else if (key == "Symbolic Link" || key == "Link") {
            entry.linkTarget = value;
        } else if (key == "Hard Link") {
            entry.hardLinkTarget = value;
        } else if (key == "Encrypted") {
            entry.isEncrypted = value == "+";
        }
        return true;
    }

    /// "D drwxr-xr-x", " -rw-r--r--", "A", "V 01800000 0rw-------": Windows attribute letters,
    /// then possibly more words, the last of which may be the unix mode.
    static void readAttributes(SevenZipListing::Entry& entry, std::string_view value) {
        const auto lastSpace = value.rfind(' ');
        const auto last = lastSpace == std::string_view::npos ? value : value.substr(lastSpace + 1);
        if (looksLikeMode(last) && entry.mode.empty()) {
            entry.mode = last;
        }
        const auto first = value.substr(0, value.find(' '));
        if (isAttributeLetters(first) && first.find('D') != std::string_view::npos) {
            entry.isDirectory = true;
        }
    }

    bool readNumber(std::string_view text, std::uint64_t& number) {
        number = 0;
        for (const char digit : text) {
            if (digit < '0' || digit > '9') {
                return fail("a size is not a decimal number");
            }
            const auto value = static_cast<std::uint64_t>(digit - '0');
            if (number > (std::numeric_limits<std::uint64_t>::max() - value) / 10) {
                return fail("a size is too large");
            }
            number = number * 10 + value;
        }
        return true;
    }

    std::string_view _text;
    std::size_t _maximumEntries;
    std::size_t _position = 0;
    std::size_t _lineNumber = 0;
    bool _failed = false;
    std::string _error;
};

} // namespace

SevenZipListing::ParseResult SevenZipListing::parse(std::string_view text, std::size_t maximumEntries) {
    Parser::Contents contents;
    Parser parser(text, maximumEntries);
    auto result = parser.run(contents);
    if (!result.error.empty()) {
        return result;
    }
    SevenZipListing listing;
    listing._entries = std::move(contents.entries);
    listing._archives = std::move(contents.archives);
    result.listing = std::move(listing);
    return result;
}
