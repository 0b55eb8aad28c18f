#include "tools/ArchiveFixtures/FixtureCompression.h"

#include <stdexcept>

#include <zlib.h>

std::vector<std::uint8_t> FixtureCompression::zlibCompressed(std::span<const std::uint8_t> bytes) {
    std::vector<std::uint8_t> compressed(compressBound(static_cast<uLong>(bytes.size())));
    auto length = static_cast<uLongf>(compressed.size());
    if (compress2(compressed.data(), &length, bytes.data(), static_cast<uLong>(bytes.size()), 9) != Z_OK) {
        throw std::runtime_error("zlib compression failed");
    }
    compressed.resize(length);
    return compressed;
}
