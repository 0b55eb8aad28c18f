#pragma once

#include "ZRFoundation/Bytes/ZRByteRange.h"

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <type_traits>

/// A checked view over untrusted bytes. Every read names an absolute offset and fails (returns
/// nothing) instead of reading past the end; offset + length overflow is a failure too.
///
/// Whole structures are read with read<Layout>(offset). A layout is a plain struct that lists its
/// fields in file order through a member
///     template <typename Visit> constexpr void fields(Visit&& visit) { visit(a); visit(b); … }
/// with fields of unsigned integer types, std::int32_t, or std::array<char, N> for fixed-width
/// names. Its encoded size is the sum of its field sizes (no padding), so the field list is the
/// only place a layout is spelled out.
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
    static constexpr bool rangeFits(std::uint64_t offset, std::uint64_t length, std::uint64_t size) {
        return ZRByteRange::fits(offset, length, size);
    }
    bool contains(std::uint64_t offset, std::uint64_t length) const {
        return rangeFits(offset, length, size());
    }

    /// The number of bytes a layout occupies in a file.
    template <typename Layout>
    static constexpr std::uint64_t encodedSize() {
        Layout layout{};
        std::uint64_t total = 0;
        layout.fields([&](auto& field) { total += sizeof(field); });
        return total;
    }

    /// The layout stored at offset, every field decoded in this view's byte order; nothing when
    /// any of its bytes lie outside the view.
    template <typename Layout>
    [[nodiscard]] std::optional<Layout> read(std::uint64_t offset) const {
        if (!contains(offset, encodedSize<Layout>())) {
            return std::nullopt;
        }
        Layout layout{};
        std::uint64_t position = offset;
        layout.fields([&](auto& field) {
            decodeField(position, field);
            position += sizeof(field);
        });
        return layout;
    }

    [[nodiscard]] std::optional<std::uint8_t> u8(std::uint64_t offset) const;
    [[nodiscard]] std::optional<std::uint16_t> u16(std::uint64_t offset) const;
    [[nodiscard]] std::optional<std::uint32_t> u32(std::uint64_t offset) const;
    [[nodiscard]] std::optional<std::uint64_t> u64(std::uint64_t offset) const;

    [[nodiscard]] std::optional<std::span<const std::uint8_t>> span(std::uint64_t offset,
                                                                    std::uint64_t length) const;
    /// A reader over a sub-range with the same byte order.
    [[nodiscard]] std::optional<ZRByteView> subReader(std::uint64_t offset, std::uint64_t length) const;
    /// A NUL-terminated string starting at offset; the terminator must be inside the buffer
    /// within maximumLength bytes.
    [[nodiscard]] std::optional<std::string> cString(std::uint64_t offset,
                                                     std::uint64_t maximumLength = 4096) const;
    /// A fixed-width field padded with NULs (Mach-O segment and section names).
    [[nodiscard]] std::optional<std::string> fixedString(std::uint64_t offset, std::uint64_t width) const;

private:
    /// Reads without a range check: callers have checked [offset, offset + width) already.
    std::uint64_t uncheckedUnsigned(std::uint64_t offset, unsigned width) const;
    std::optional<std::uint64_t> readUnsigned(std::uint64_t offset, unsigned width) const;

    template <typename Field>
    void decodeField(std::uint64_t offset, Field& field) const {
        if constexpr (std::is_integral_v<Field>) {
            static_assert(sizeof(Field) <= 8);
            field = static_cast<Field>(uncheckedUnsigned(offset, sizeof(Field)));
        } else {
            static_assert(std::is_same_v<typename Field::value_type, char>, "names are arrays of char");
            for (std::size_t index = 0; index < field.size(); ++index) {
                field[index] = static_cast<char>(_bytes[offset + index]);
            }
        }
    }

    std::span<const std::uint8_t> _bytes;
    ByteOrder _order = ByteOrder::Big;
};
