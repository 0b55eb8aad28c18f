#pragma once

#include <cstdint>
#include <span>
#include <vector>

/// Compression the archive fixtures share.
namespace FixtureCompression {

/// `bytes` as one zlib stream (header, deflate data at the best level, Adler-32), as disk image
/// chunks and xar tables and files hold them.
std::vector<std::uint8_t> zlibCompressed(std::span<const std::uint8_t> bytes);

} // namespace FixtureCompression
