#include "ZRFoundation/Image/ZRIconFile.h"

#include "ZRFoundation/Bytes/ZRByteReader.h"

#include <algorithm>
#include <array>

namespace ZRIconFile {

namespace {

constexpr std::array<std::uint8_t, 8> pngSignature{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
constexpr std::uint64_t entryHeaderSize = 8;

// Width and height from the PNG's first chunk, which must be IHDR.
std::optional<std::pair<std::uint32_t, std::uint32_t>> pngSize(std::span<const std::uint8_t> png) {
    ZRByteReader reader(png);
    const auto signature = reader.readBytes(pngSignature.size());
    if (!signature || !std::equal(signature->begin(), signature->end(), pngSignature.begin())) {
        return std::nullopt;
    }
    const auto chunkLength = reader.readBigEndian(4);
    const auto chunkType = reader.readBytes(4);
    const auto width = reader.readBigEndian(4);
    const auto height = reader.readBigEndian(4);
    if (!chunkLength || *chunkLength < 13 || !chunkType || !width || !height ||
        !std::equal(chunkType->begin(), chunkType->end(), "IHDR")) {
        return std::nullopt;
    }
    return std::pair{static_cast<std::uint32_t>(*width), static_cast<std::uint32_t>(*height)};
}

} // namespace

std::vector<PNGEntry> pngEntries(std::span<const std::uint8_t> bytes) {
    ZRByteReader reader(bytes);
    const auto magic = reader.readBytes(4);
    const auto declaredLength = reader.readBigEndian(4);
    if (!magic || !std::equal(magic->begin(), magic->end(), "icns") || !declaredLength ||
        *declaredLength < entryHeaderSize) {
        return {};
    }
    // Entries beyond the declared length are not part of the file; bytes missing from a short
    // file simply end the walk.
    const std::uint64_t end = std::min<std::uint64_t>(*declaredLength, bytes.size());
    std::vector<PNGEntry> entries;
    while (reader.position() + entryHeaderSize <= end) {
        const auto type = reader.readBytes(4);
        const auto length = reader.readBigEndian(4);
        if (!type || !length || *length < entryHeaderSize ||
            *length - entryHeaderSize > end - reader.position()) {
            break;
        }
        const auto data = reader.readBytes(*length - entryHeaderSize);
        if (!data) {
            break;
        }
        if (const auto size = pngSize(*data)) {
            entries.push_back({std::string(type->begin(), type->end()), size->first, size->second, *data});
        }
    }
    return entries;
}

std::optional<std::vector<std::uint8_t>> pngClosestToSize(std::span<const std::uint8_t> bytes,
                                                          std::uint32_t size) {
    const auto entries = pngEntries(bytes);
    const PNGEntry* best = nullptr;
    const auto distance = [size](const PNGEntry& entry) {
        const std::uint64_t side = std::max(entry.width, entry.height);
        return side > size ? side - size : size - side;
    };
    for (const auto& entry : entries) {
        if (!best || distance(entry) < distance(*best) ||
            (distance(entry) == distance(*best) &&
             std::max(entry.width, entry.height) > std::max(best->width, best->height))) {
            best = &entry;
        }
    }
    if (!best) {
        return std::nullopt;
    }
    return std::vector<std::uint8_t>(best->png.begin(), best->png.end());
}

} // namespace ZRIconFile
