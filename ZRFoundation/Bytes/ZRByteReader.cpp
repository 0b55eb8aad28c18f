#include "ZRFoundation/Bytes/ZRByteReader.h"

#include "ZRFoundation/Bytes/ZRByteRange.h"

bool ZRByteReader::contains(std::uint64_t offset, std::uint64_t count) const {
    return ZRByteRange::fits(offset, count, size());
}

bool ZRByteReader::seek(std::uint64_t offset) {
    if (offset > size()) {
        return false;
    }
    _position = offset;
    return true;
}

bool ZRByteReader::skip(std::uint64_t count) {
    if (!contains(_position, count)) {
        return false;
    }
    _position += count;
    return true;
}

std::optional<std::uint8_t> ZRByteReader::peekUInt8() const {
    if (atEnd()) {
        return std::nullopt;
    }
    return _bytes[_position];
}

std::optional<std::uint8_t> ZRByteReader::readUInt8() {
    const auto byte = peekUInt8();
    if (byte) {
        ++_position;
    }
    return byte;
}

std::optional<std::uint64_t> ZRByteReader::readBigEndian(std::uint64_t width) {
    if (width == 0 || width > 8) {
        return std::nullopt;
    }
    const auto bytes = readBytes(width);
    if (!bytes) {
        return std::nullopt;
    }
    std::uint64_t value = 0;
    for (const std::uint8_t byte : *bytes) {
        value = (value << 8) | byte;
    }
    return value;
}

std::optional<std::span<const std::uint8_t>> ZRByteReader::readBytes(std::uint64_t count) {
    const auto bytes = bytesAt(_position, count);
    if (bytes) {
        _position += count;
    }
    return bytes;
}

std::optional<std::span<const std::uint8_t>> ZRByteReader::bytesAt(std::uint64_t offset,
                                                                   std::uint64_t count) const {
    if (!contains(offset, count)) {
        return std::nullopt;
    }
    return _bytes.subspan(static_cast<std::size_t>(offset), static_cast<std::size_t>(count));
}
