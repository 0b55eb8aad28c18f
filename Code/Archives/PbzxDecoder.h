#pragma once

#include "ZRFoundation/Support/ZRError.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <span>
#include <string>

/// Decodes pbzx streams, the payload format of newer installer packages: the magic "pbzx" and an
/// 8-byte big-endian flags word, then chunks, each an 8-byte big-endian uncompressed size, an
/// 8-byte big-endian stored length and that many bytes: one xz stream, or the bytes themselves
/// when the stored length equals the uncompressed size.
///
/// Decoding streams: it holds a small buffer and one xz decoder whatever the size of the stream,
/// never a whole chunk. Hostile streams end in an `Error`, never in a read past the input.
class PbzxDecoder {
public:
    class Error : public ZRError {
    public:
        explicit Error(std::string description)
            : _description(std::move(description)) {}
        std::string errorDescription() const override { return _description; }

    private:
        std::string _description;
    };

    /// What a decoding may produce.
    struct Limits {
        /// The most bytes the whole stream may decode to.
        std::uint64_t maximumOutputSize;
        /// The most bytes of output per byte of input read so far.
        std::uint64_t maximumRatio;
        /// The most memory one chunk's xz decoder may use.
        std::uint64_t decoderMemoryLimit = 256 * 1024 * 1024;
    };

    /// The largest uncompressed size and stored length a chunk may declare. Apple's tools write
    /// 16 MiB chunks.
    static constexpr std::uint64_t maximumChunkSize = 64 * 1024 * 1024;

    /// Receives the decoded bytes in order, a piece at a time; it may throw to stop decoding.
    using Sink = std::function<void(std::span<const std::uint8_t>)>;

    explicit PbzxDecoder(Limits limits)
        : _limits(limits) {}

    /// Decodes the stream in `input` into `sink` and returns the number of bytes decoded.
    std::uint64_t decode(std::span<const std::uint8_t> input, const Sink& sink) const;
    /// Decodes the stream read from `inputDescriptor` (from its current position to its end)
    /// into `outputDescriptor`. Neither descriptor needs to be seekable.
    std::uint64_t decode(int inputDescriptor, int outputDescriptor) const;
    /// Decodes the file at `input` into a new file at `output` (replacing a file there). The
    /// output file is removed when decoding fails.
    std::uint64_t decodeFile(const std::filesystem::path& input, const std::filesystem::path& output) const;

private:
    Limits _limits;
};
