#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

/// The fuzz input read as a stream of choices: past its end every byte reads as 0, so a target
/// never needs to check how much is left.
class FuzzByteSource {
public:
    FuzzByteSource(const std::uint8_t* data, std::size_t size)
        : _data(data)
        , _size(size) {}
    bool empty() const { return _offset >= _size; }
    std::uint8_t byte() { return empty() ? 0 : _data[_offset++]; }
    /// Up to 23 raw bytes, any of them possibly not UTF-8.
    std::string text() {
        const std::size_t length = byte() % 24;
        std::string result;
        for (std::size_t i = 0; i < length && !empty(); ++i) {
            result += static_cast<char>(byte());
        }
        return result;
    }

private:
    const std::uint8_t* _data;
    std::size_t _size;
    std::size_t _offset = 0;
};
