#pragma once

#include <cstdint>
#include <span>
#include <vector>

/// Writes pbzx streams for tests: the magic, a flags word, then chunks as the test adds them,
/// well formed or not.
class PbzxWriter {
public:
    /// Apple's tools write 16 MiB chunks and put that size in the header's flags.
    static constexpr std::uint64_t defaultChunkSize = 16 * 1024 * 1024;

    explicit PbzxWriter(std::uint64_t headerFlags = defaultChunkSize);

    /// A chunk of `bytes` as one xz stream.
    PbzxWriter& addCompressedChunk(std::span<const std::uint8_t> bytes);
    /// A chunk holding `bytes` as they are (its stored length equals its size).
    PbzxWriter& addStoredChunk(std::span<const std::uint8_t> bytes);
    /// A chunk with the given header fields and contents, whether they agree or not.
    PbzxWriter& addChunk(std::uint64_t size, std::uint64_t length, std::span<const std::uint8_t> contents);

    const std::vector<std::uint8_t>& bytes() const { return _bytes; }

    /// `bytes` as a whole stream of xz chunks of up to `chunkSize` bytes each.
    static std::vector<std::uint8_t> encode(std::span<const std::uint8_t> bytes,
                                            std::uint64_t chunkSize = defaultChunkSize);
    /// `bytes` compressed as one xz stream (CRC64 check, preset 6).
    static std::vector<std::uint8_t> xz(std::span<const std::uint8_t> bytes);

private:
    std::vector<std::uint8_t> _bytes;
};
