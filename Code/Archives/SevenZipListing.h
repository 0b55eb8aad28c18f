// SevenZipListing: the entries of an archive as 7-Zip's technical listing (`7zz l -slt`) prints
// them, read from that text with bounds on its size and shape.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class SevenZipListing {
public:
    /// One `Path = ` block of the listing.
    struct Entry {
        /// As printed: the archive's bytes, UTF-8 when the archive's names are (7-Zip prints a
        /// name it cannot convert as its raw bytes, and a line break in a name as '_').
        std::string path;
        bool isDirectory = false;
        bool isSymbolicLink = false;
        bool isEncrypted = false;
        std::uint64_t size = 0;
        std::uint64_t packedSize = 0;
        /// Printed for tar, cpio, ISO and HFS+ links; zip archives keep a link's target as its
        /// data, which the listing does not show (their `Size` is the target's length).
        std::string linkTarget;
        std::string hardLinkTarget;
        /// "2026-12-08 03:26:25.0605669" and the like; empty when the archive has none.
        std::string modified;
        /// The unix mode as printed ("-rwxr-xr-x", "lrwxrwxrwx"), when the archive keeps one.
        std::string mode;

        bool operator==(const Entry&) const = default;
    };

    /// The block 7-Zip prints about an archive it opened (one per level, such as a disk image
    /// and the volume inside it), when the listing was made without `-ba`.
    struct Archive {
        std::string path;
        std::string type;
        /// The lines 7-Zip printed under "ERRORS:" and "WARNINGS:".
        std::vector<std::string> errors;
        std::vector<std::string> warnings;

        bool operator==(const Archive&) const = default;
    };

    /// A listing, or why the text was refused.
    struct ParseResult;

    static constexpr std::size_t defaultMaximumEntries = 1'000'000;
    static constexpr std::size_t maximumLineLength = 64 * 1024;

    /// Reads the standard output of `7zz l -slt` with or without `-ba`. Without it, the text up to
    /// the line "--" (the program's banner) is skipped and the archive blocks are read up to the
    /// line "----------"; text after the entries (the error counts) is ignored. With it, the text
    /// must hold nothing but entry blocks. Refuses more than `maximumEntries` entries, lines
    /// longer than `maximumLineLength`, a block that does not begin with `Path = `, a line in an
    /// entry block that is not `Key = value`, and sizes that are not decimal numbers.
    static ParseResult parse(std::string_view text, std::size_t maximumEntries = defaultMaximumEntries);

    const std::vector<Entry>& entries() const { return _entries; }
    /// Empty for a listing made with `-ba`.
    const std::vector<Archive>& archives() const { return _archives; }

private:
    std::vector<Entry> _entries;
    std::vector<Archive> _archives;
};

struct [[nodiscard]] SevenZipListing::ParseResult {
    std::optional<SevenZipListing> listing;
    /// Why the text was refused, naming the line; empty when `listing` is set.
    std::string error;
};
