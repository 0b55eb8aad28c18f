#include "tools/ArchiveFixtures/PbzxWriter.h"

#include "tools/ArchiveFixtures/BigEndianBytes.h"

#include <algorithm>
#include <stdexcept>

#include <lzma.h>

PbzxWriter::PbzxWriter(std::uint64_t headerFlags) {
    BigEndianBytes::appendText(_bytes, "pbzx");
    BigEndianBytes::append64(_bytes, headerFlags);
}

PbzxWriter& PbzxWriter::addCompressedChunk(std::span<const std::uint8_t> bytes) {
    const auto compressed = xz(bytes);
    return addChunk(bytes.size(), compressed.size(), compressed);
}

PbzxWriter& PbzxWriter::addStoredChunk(std::span<const std::uint8_t> bytes) {
    return addChunk(bytes.size(), bytes.size(), bytes);
}

PbzxWriter& PbzxWriter::addChunk(std::uint64_t size, std::uint64_t length,
                                 std::span<const std::uint8_t> contents) {
    BigEndianBytes::append64(_bytes, size);
    BigEndianBytes::append64(_bytes, length);
    BigEndianBytes::appendBytes(_bytes, contents);
    return *this;
}

std::vector<std::uint8_t> PbzxWriter::encode(std::span<const std::uint8_t> bytes, std::uint64_t chunkSize) {
    PbzxWriter writer(chunkSize);
    for (std::size_t offset = 0; offset < bytes.size(); offset += chunkSize) {
        writer.addCompressedChunk(
            bytes.subspan(offset, std::min<std::size_t>(chunkSize, bytes.size() - offset)));
    }
    return writer.bytes();
}

std::vector<std::uint8_t> PbzxWriter::xz(std::span<const std::uint8_t> bytes) {
    std::vector<std::uint8_t> compressed(lzma_stream_buffer_bound(bytes.size()));
    std::size_t written = 0;
    if (lzma_easy_buffer_encode(6, LZMA_CHECK_CRC64, nullptr, bytes.data(), bytes.size(), compressed.data(),
                                &written, compressed.size()) != LZMA_OK) {
        throw std::runtime_error("xz compression failed");
    }
    compressed.resize(written);
    return compressed;
}
