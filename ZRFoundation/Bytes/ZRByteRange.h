#pragma once

#include <cstdint>

/// The one range check every reader of untrusted bytes makes.
namespace ZRByteRange {

/// True when [offset, offset + length) lies inside a buffer of `size` bytes. Offsets and lengths
/// come from files, so `offset + length` is never formed: it could wrap around.
constexpr bool fits(std::uint64_t offset, std::uint64_t length, std::uint64_t size) {
    return offset <= size && length <= size - offset;
}

} // namespace ZRByteRange
