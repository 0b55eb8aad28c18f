#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

/// Writes xar archives (flat installer packages) for tests: the 28-byte header, the
/// zlib-compressed XML table of contents, then the heap, which starts with the SHA-1 of the
/// compressed table. Each file's data is stored zlib-compressed ("application/x-gzip") with
/// SHA-1 checksums of the stored and the extracted bytes.
class XarWriter {
public:
    /// `path` may name folders ("Example.pkg/Payload"); they are made as needed.
    XarWriter& addFile(const std::string& path, std::span<const std::uint8_t> contents);
    XarWriter& addFile(const std::string& path, const std::string& contents);

    std::vector<std::uint8_t> bytes() const;
    /// The table of contents, before compression.
    std::string tableOfContents() const;

private:
    struct Entry {
        std::string name{};
        bool isDirectory = false;
        std::uint64_t heapOffset = 0;
        std::uint64_t storedLength = 0;
        std::uint64_t size = 0;
        std::string storedChecksum{};
        std::string extractedChecksum{};
        std::vector<Entry> children{};
    };

    Entry& entryAt(const std::string& path);
    void appendEntry(std::string& text, const Entry& entry, std::uint64_t& nextIdentifier, int depth) const;

    Entry _root{.isDirectory = true};
    /// File data after the table's checksum.
    std::vector<std::uint8_t> _heapData;
};
