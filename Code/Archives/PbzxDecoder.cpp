#include "Code/Archives/PbzxDecoder.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <limits>
#include <vector>

#include <fcntl.h>
#include <lzma.h>
#include <unistd.h>

namespace {

constexpr std::size_t headerSize = 12;
constexpr std::size_t chunkHeaderSize = 16;
/// The size of the pieces read from the input and handed to the sink.
constexpr std::size_t bufferSize = 64 * 1024;

std::uint64_t bigEndian64(const std::uint8_t* bytes) {
    std::uint64_t value = 0;
    for (int index = 0; index < 8; ++index) {
        value = value << 8 | bytes[index];
    }
    return value;
}

std::uint64_t saturatingProduct(std::uint64_t left, std::uint64_t right) {
    if (left != 0 && right > std::numeric_limits<std::uint64_t>::max() / left) {
        return std::numeric_limits<std::uint64_t>::max();
    }
    return left * right;
}

std::string chunkName(std::uint64_t number) {
    std::string name = "chunk ";
    name.append(std::to_string(number));
    return name;
}

/// Where the stream's bytes come from. `read` fills `into` fully unless the input ends first.
class Input {
public:
    virtual ~Input() = default;
    virtual std::size_t read(std::uint8_t* into, std::size_t count) = 0;
};

class MemoryInput : public Input {
public:
    explicit MemoryInput(std::span<const std::uint8_t> bytes)
        : _bytes(bytes) {}
    std::size_t read(std::uint8_t* into, std::size_t count) override {
        const std::size_t available = std::min(count, _bytes.size() - _offset);
        std::copy_n(_bytes.begin() + static_cast<std::ptrdiff_t>(_offset), available, into);
        _offset += available;
        return available;
    }

private:
    std::span<const std::uint8_t> _bytes;
    std::size_t _offset = 0;
};

class DescriptorInput : public Input {
public:
    explicit DescriptorInput(int descriptor)
        : _descriptor(descriptor) {}
    std::size_t read(std::uint8_t* into, std::size_t count) override {
        std::size_t total = 0;
        while (total < count) {
            const ssize_t got = ::read(_descriptor, into + total, count - total);
            if (got < 0 && errno == EINTR) {
                continue;
            }
            if (got < 0) {
                std::string description = "the pbzx stream could not be read: ";
                description.append(std::strerror(errno));
                throw PbzxDecoder::Error(description);
            }
            if (got == 0) {
                break;
            }
            total += static_cast<std::size_t>(got);
        }
        return total;
    }

private:
    int _descriptor;
};

/// Ends an xz decoder however its chunk ends.
class XzDecoder {
public:
    explicit XzDecoder(std::uint64_t memoryLimit) {
        if (lzma_stream_decoder(&stream, memoryLimit, 0) != LZMA_OK) {
            throw PbzxDecoder::Error("the xz decoder could not be set up");
        }
    }
    ~XzDecoder() { lzma_end(&stream); }
    XzDecoder(const XzDecoder&) = delete;
    XzDecoder& operator=(const XzDecoder&) = delete;

    lzma_stream stream = LZMA_STREAM_INIT;
};

/// One decoding: the counts the limits apply to and the buffers, read chunk by chunk.
class Decoding {
public:
    Decoding(Input& input, const PbzxDecoder::Sink& sink, const PbzxDecoder::Limits& limits)
        : _input(input)
        , _sink(sink)
        , _limits(limits)
        , _inputBuffer(bufferSize)
        , _outputBuffer(bufferSize) {}

    std::uint64_t run() {
        readHeader();
        for (std::uint64_t number = 1;; ++number) {
            std::array<std::uint8_t, chunkHeaderSize> header{};
            const std::size_t got = read(header.data(), header.size());
            if (got == 0) {
                return _produced;
            }
            if (got < header.size()) {
                throw PbzxDecoder::Error("truncated chunk header (" + chunkName(number) + ")");
            }
            decodeChunk(number, bigEndian64(header.data()), bigEndian64(header.data() + 8));
        }
    }

private:
    std::size_t read(std::uint8_t* into, std::size_t count) {
        const std::size_t got = _input.read(into, count);
        _consumed += got;
        return got;
    }

    void readHeader() {
        std::array<std::uint8_t, headerSize> header{};
        const std::size_t got = read(header.data(), header.size());
        if (got < 4 || std::memcmp(header.data(), "pbzx", 4) != 0) {
            throw PbzxDecoder::Error("not a pbzx stream");
        }
        if (got < header.size()) {
            throw PbzxDecoder::Error("truncated pbzx header");
        }
    }

    void decodeChunk(std::uint64_t number, std::uint64_t size, std::uint64_t length) {
        if (size > PbzxDecoder::maximumChunkSize) {
            throw PbzxDecoder::Error(chunkName(number) + " declares " + std::to_string(size) +
                                     " uncompressed bytes, more than the limit of " +
                                     std::to_string(PbzxDecoder::maximumChunkSize));
        }
        if (length > PbzxDecoder::maximumChunkSize) {
            throw PbzxDecoder::Error(chunkName(number) + " declares " + std::to_string(length) +
                                     " stored bytes, more than the limit of " +
                                     std::to_string(PbzxDecoder::maximumChunkSize));
        }
        if (length == size) {
            copyStoredChunk(number, length);
        } else {
            decodeXzChunk(number, size, length);
        }
    }

    /// Reads up to `count` of the chunk's remaining stored bytes into the input buffer.
    std::size_t readChunkBytes(std::uint64_t number, std::uint64_t length, std::uint64_t& remaining) {
        const auto wanted = static_cast<std::size_t>(std::min<std::uint64_t>(remaining, bufferSize));
        const std::size_t got = read(_inputBuffer.data(), wanted);
        if (got < wanted) {
            throw PbzxDecoder::Error("truncated chunk (" + chunkName(number) + " stores " +
                                     std::to_string(length) + " bytes; the stream ends after " +
                                     std::to_string(length - remaining + got) + ")");
        }
        remaining -= got;
        return got;
    }

    void copyStoredChunk(std::uint64_t number, std::uint64_t length) {
        std::uint64_t remaining = length;
        while (remaining > 0) {
            const std::size_t got = readChunkBytes(number, length, remaining);
            emit(std::span(_inputBuffer.data(), got));
        }
    }

    void decodeXzChunk(std::uint64_t number, std::uint64_t size, std::uint64_t length) {
        XzDecoder decoder(_limits.decoderMemoryLimit);
        lzma_stream& stream = decoder.stream;
        std::uint64_t remaining = length;
        std::uint64_t chunkOutput = 0;
        while (true) {
            if (stream.avail_in == 0 && remaining > 0) {
                stream.avail_in = readChunkBytes(number, length, remaining);
                stream.next_in = _inputBuffer.data();
            }
            stream.next_out = _outputBuffer.data();
            stream.avail_out = _outputBuffer.size();
            const lzma_ret result = lzma_code(&stream, remaining == 0 ? LZMA_FINISH : LZMA_RUN);
            const std::size_t decoded = _outputBuffer.size() - stream.avail_out;
            if (decoded > size - chunkOutput) {
                throw PbzxDecoder::Error(chunkName(number) + " decodes to more than its declared " +
                                         std::to_string(size) + " bytes");
            }
            chunkOutput += decoded;
            emit(std::span(_outputBuffer.data(), decoded));
            if (result == LZMA_STREAM_END) {
                if (stream.avail_in > 0 || remaining > 0) {
                    throw PbzxDecoder::Error("damaged xz data (" + chunkName(number) +
                                             " holds bytes after its xz stream)");
                }
                return;
            }
            if (result != LZMA_OK) {
                throw xzError(number, result);
            }
        }
    }

    PbzxDecoder::Error xzError(std::uint64_t number, lzma_ret result) const {
        switch (result) {
        case LZMA_MEMLIMIT_ERROR:
            return PbzxDecoder::Error(chunkName(number) + " needs more than " +
                                      std::to_string(_limits.decoderMemoryLimit) +
                                      " bytes of memory to decode");
        case LZMA_MEM_ERROR:
            return PbzxDecoder::Error("out of memory decoding " + chunkName(number));
        case LZMA_BUF_ERROR:
            return PbzxDecoder::Error("damaged xz data (" + chunkName(number) +
                                      " ends inside its xz stream)");
        default:
            return PbzxDecoder::Error("damaged xz data (" + chunkName(number) + ")");
        }
    }

    void emit(std::span<const std::uint8_t> piece) {
        if (piece.empty()) {
            return;
        }
        if (piece.size() > _limits.maximumOutputSize - _produced) {
            throw PbzxDecoder::Error("output limit of " + std::to_string(_limits.maximumOutputSize) +
                                     " bytes exceeded");
        }
        if (_produced + piece.size() > saturatingProduct(_consumed, _limits.maximumRatio)) {
            throw PbzxDecoder::Error("compression ratio limit of " + std::to_string(_limits.maximumRatio) +
                                     " exceeded");
        }
        _sink(piece);
        _produced += piece.size();
    }

    Input& _input;
    const PbzxDecoder::Sink& _sink;
    const PbzxDecoder::Limits& _limits;
    std::vector<std::uint8_t> _inputBuffer;
    std::vector<std::uint8_t> _outputBuffer;
    std::uint64_t _consumed = 0;
    std::uint64_t _produced = 0;
};

void writeFully(int descriptor, std::span<const std::uint8_t> bytes) {
    std::size_t written = 0;
    while (written < bytes.size()) {
        const ssize_t count = ::write(descriptor, bytes.data() + written, bytes.size() - written);
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count <= 0) {
            std::string description = "the decoded payload could not be written: ";
            description.append(count < 0 ? std::strerror(errno) : "nothing was written");
            throw PbzxDecoder::Error(description);
        }
        written += static_cast<std::size_t>(count);
    }
}

/// Closes a descriptor when it goes.
class OpenFile {
public:
    OpenFile(const std::filesystem::path& path, int flags) {
        _descriptor = ::open(path.c_str(), flags | O_CLOEXEC | O_NOCTTY, 0644);
        if (_descriptor < 0) {
            std::string description = "cannot open ";
            description.append(path.string()).append(": ").append(std::strerror(errno));
            throw PbzxDecoder::Error(description);
        }
    }
    ~OpenFile() { ::close(_descriptor); }
    OpenFile(const OpenFile&) = delete;
    OpenFile& operator=(const OpenFile&) = delete;
    int descriptor() const { return _descriptor; }

private:
    int _descriptor = -1;
};

} // namespace

std::uint64_t PbzxDecoder::decode(std::span<const std::uint8_t> input, const Sink& sink) const {
    MemoryInput source(input);
    return Decoding(source, sink, _limits).run();
}

std::uint64_t PbzxDecoder::decode(int inputDescriptor, int outputDescriptor) const {
    DescriptorInput source(inputDescriptor);
    const Sink sink = [outputDescriptor](std::span<const std::uint8_t> piece) {
        writeFully(outputDescriptor, piece);
    };
    return Decoding(source, sink, _limits).run();
}

std::uint64_t PbzxDecoder::decodeFile(const std::filesystem::path& input,
                                      const std::filesystem::path& output) const {
    const OpenFile source(input, O_RDONLY);
    const OpenFile destination(output, O_WRONLY | O_CREAT | O_TRUNC);
    try {
        return decode(source.descriptor(), destination.descriptor());
    } catch (const Error&) {
        std::error_code ignored;
        std::filesystem::remove(output, ignored);
        throw;
    }
}
