#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <string_view>
#include <vector>

/// Appends and patches the big-endian fields Apple's container formats are made of.
namespace BigEndianBytes {

inline void append(std::vector<std::uint8_t>& bytes, std::uint64_t value, std::size_t width) {
    for (std::size_t index = width; index > 0; --index) {
        bytes.push_back(static_cast<std::uint8_t>(value >> (8 * (index - 1))));
    }
}

inline void append16(std::vector<std::uint8_t>& bytes, std::uint16_t value) {
    append(bytes, value, 2);
}
inline void append32(std::vector<std::uint8_t>& bytes, std::uint32_t value) {
    append(bytes, value, 4);
}
inline void append64(std::vector<std::uint8_t>& bytes, std::uint64_t value) {
    append(bytes, value, 8);
}

// Through resize and memcpy: GCC 12's optimiser warns falsely (-Wstringop-overflow) about
// inserting a range into a vector that may be empty.
inline void appendBytes(std::vector<std::uint8_t>& bytes, std::span<const std::uint8_t> more) {
    if (more.empty()) {
        return;
    }
    const std::size_t offset = bytes.size();
    bytes.resize(offset + more.size());
    std::memcpy(bytes.data() + offset, more.data(), more.size());
}

inline void appendText(std::vector<std::uint8_t>& bytes, std::string_view text) {
    appendBytes(bytes, std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
}

/// Overwrites `width` bytes at `offset` (which the caller keeps inside `bytes`).
inline void put(std::vector<std::uint8_t>& bytes, std::size_t offset, std::uint64_t value,
                std::size_t width) {
    for (std::size_t index = 0; index < width; ++index) {
        bytes[offset + index] = static_cast<std::uint8_t>(value >> (8 * (width - 1 - index)));
    }
}

inline std::uint64_t read(std::span<const std::uint8_t> bytes, std::size_t offset, std::size_t width) {
    std::uint64_t value = 0;
    for (std::size_t index = 0; index < width; ++index) {
        value = value << 8 | bytes[offset + index];
    }
    return value;
}

} // namespace BigEndianBytes
