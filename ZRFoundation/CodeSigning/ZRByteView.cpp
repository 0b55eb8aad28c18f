#include "ZRFoundation/CodeSigning/ZRByteView.h"

std::uint64_t ZRByteView::uncheckedUnsigned(std::uint64_t offset, unsigned width) const {
    std::uint64_t value = 0;
    for (unsigned index = 0; index < width; ++index) {
        const unsigned position = _order == ByteOrder::Big ? index : width - 1 - index;
        value = (value << 8) | _bytes[offset + position];
    }
    return value;
}

std::optional<std::uint64_t> ZRByteView::readUnsigned(std::uint64_t offset, unsigned width) const {
    if (!contains(offset, width)) {
        return std::nullopt;
    }
    return uncheckedUnsigned(offset, width);
}

std::optional<std::uint8_t> ZRByteView::u8(std::uint64_t offset) const {
    if (!contains(offset, 1)) {
        return std::nullopt;
    }
    return _bytes[offset];
}

std::optional<std::uint16_t> ZRByteView::u16(std::uint64_t offset) const {
    const auto value = readUnsigned(offset, 2);
    return value ? std::optional<std::uint16_t>(static_cast<std::uint16_t>(*value)) : std::nullopt;
}

std::optional<std::uint32_t> ZRByteView::u32(std::uint64_t offset) const {
    const auto value = readUnsigned(offset, 4);
    return value ? std::optional<std::uint32_t>(static_cast<std::uint32_t>(*value)) : std::nullopt;
}

std::optional<std::uint64_t> ZRByteView::u64(std::uint64_t offset) const {
    return readUnsigned(offset, 8);
}

std::optional<std::span<const std::uint8_t>> ZRByteView::span(std::uint64_t offset,
                                                              std::uint64_t length) const {
    if (!contains(offset, length)) {
        return std::nullopt;
    }
    return _bytes.subspan(offset, length);
}

std::optional<ZRByteView> ZRByteView::subReader(std::uint64_t offset, std::uint64_t length) const {
    const auto bytes = span(offset, length);
    if (!bytes) {
        return std::nullopt;
    }
    return ZRByteView(*bytes, _order);
}

std::optional<std::string> ZRByteView::cString(std::uint64_t offset, std::uint64_t maximumLength) const {
    if (offset >= size()) {
        return std::nullopt;
    }
    const std::uint64_t limit = std::min<std::uint64_t>(size() - offset, maximumLength);
    for (std::uint64_t index = 0; index < limit; ++index) {
        if (_bytes[offset + index] == 0) {
            return std::string(reinterpret_cast<const char*>(_bytes.data() + offset), index);
        }
    }
    return std::nullopt;
}

std::optional<std::string> ZRByteView::fixedString(std::uint64_t offset, std::uint64_t width) const {
    const auto bytes = span(offset, width);
    if (!bytes) {
        return std::nullopt;
    }
    std::uint64_t length = 0;
    while (length < width && (*bytes)[length] != 0) {
        ++length;
    }
    return std::string(reinterpret_cast<const char*>(bytes->data()), length);
}
