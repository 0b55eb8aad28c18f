#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

/// Reading the PNG images of an icon file (.icns). An icon file is the magic "icns", its total
/// length, and entries of a four-character type, a length that includes the 8-byte entry header,
/// and data. Entries holding a PNG image (the common case since high-resolution icons) are
/// returned; older bitmap formats are skipped. Lengths are checked against the file, so a damaged
/// or hostile file yields fewer entries, never a read outside the bytes.
namespace ZRIconFile {

struct PNGEntry {
    std::string type;
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    /// Points into the bytes handed in.
    std::span<const std::uint8_t> png;
};

/// The PNG entries in file order; empty for anything that is not an icon file.
std::vector<PNGEntry> pngEntries(std::span<const std::uint8_t> bytes);

/// The PNG entry whose larger side is closest to `size` pixels (the larger image on a tie), copied.
std::optional<std::vector<std::uint8_t>> pngClosestToSize(std::span<const std::uint8_t> bytes,
                                                          std::uint32_t size);

} // namespace ZRIconFile
