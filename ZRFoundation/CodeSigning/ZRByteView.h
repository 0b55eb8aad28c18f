#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

/// A checked view over untrusted bytes. Every read names an absolute offset and fails (returns
/// nothing) instead of reading past the end; offset + length overflow is a failure too.
class ZRByteView {
public:
    enum class ByteOrder : std::uint8_t { Big, Little };

    ZRByteView() = default;
    explicit ZRByteView(std::span<const std::uint8_t> bytes, ByteOrder order = ByteOrder::Big)
        : _bytes(bytes)
        , _order(order) {}

    std::uint64_t size() const { return _bytes.size(); }
    ByteOrder byteOrder() const { return _order; }
    std::span<const std::uint8_t> bytes() const { return _bytes; }

    /// True when [offset, offset + length) lies inside a buffer of `size` bytes, without overflow.
    static bool rangeFits(std::uint64_t offset, std::uint64_t length, std::uint64_t size) {
        return offset <= size && length <= size - offset;
    }
    bool contains(std::uint64_t offset, std::uint64_t length) const {
        return rangeFits(offset, length, size());
    }

    std::optional<std::uint8_t> u8(std::uint64_t offset) const;
    std::optional<std::uint16_t> u16(std::uint64_t offset) const;
    std::optional<std::uint32_t> u32(std::uint64_t offset) const;
    std::optional<std::uint64_t> u64(std::uint64_t offset) const;

    std::optional<std::span<const std::uint8_t>> span(std::uint64_t offset, std::uint64_t length) const;
    /// A reader over a sub-range with the same byte order.
    std::optional<ZRByteView> subReader(std::uint64_t offset, std::uint64_t length) const;
    /// A NUL-terminated string starting at offset; the terminator must be inside the buffer
    /// within maximumLength bytes.
    std::optional<std::string> cString(std::uint64_t offset, std::uint64_t maximumLength = 4096) const;
    /// A fixed-width field padded with NULs (Mach-O segment and section names).
    std::optional<std::string> fixedString(std::uint64_t offset, std::uint64_t width) const;

private:
    std::optional<std::uint64_t> readUnsigned(std::uint64_t offset, unsigned width) const;

    std::span<const std::uint8_t> _bytes;
    ByteOrder _order = ByteOrder::Big;
};
