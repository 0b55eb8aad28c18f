#pragma once

#include <cstdint>
#include <optional>
#include <span>

/// A cursor over untrusted bytes. Every read checks the remaining length first (offsets are 64-bit
/// and additions are checked for overflow), so a caller can never read outside the span it was
/// given. Failed reads return nothing and leave the position unchanged.
class ZRByteReader {
public:
    explicit ZRByteReader(std::span<const std::uint8_t> bytes)
        : _bytes(bytes) {}

    std::uint64_t size() const { return _bytes.size(); }
    std::uint64_t position() const { return _position; }
    std::uint64_t remaining() const { return size() - _position; }
    bool atEnd() const { return _position == size(); }

    /// True when `count` bytes can be read from `offset`.
    bool contains(std::uint64_t offset, std::uint64_t count) const;
    /// Moves to `offset`; false (and no move) when it lies beyond the end.
    bool seek(std::uint64_t offset);
    bool skip(std::uint64_t count);

    std::optional<std::uint8_t> readUInt8();
    std::optional<std::uint8_t> peekUInt8() const;
    /// An unsigned big-endian integer of 1 to 8 bytes.
    std::optional<std::uint64_t> readBigEndian(std::uint64_t width);
    std::optional<std::span<const std::uint8_t>> readBytes(std::uint64_t count);

    /// The bytes [offset, offset + count) without moving, or nothing when they lie outside.
    std::optional<std::span<const std::uint8_t>> bytesAt(std::uint64_t offset, std::uint64_t count) const;

private:
    std::span<const std::uint8_t> _bytes;
    std::uint64_t _position = 0;
};
