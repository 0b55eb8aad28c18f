#include "Code/Archives/PbzxDecoder.h"

#include <cstddef>
#include <cstdint>
#include <span>

// Any bytes as a pbzx payload, decoded in memory. The limits are small enough that a crafted
// stream cannot make a run slow, and the sink only counts what it is handed.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const PbzxDecoder decoder(
        {.maximumOutputSize = 8 * 1024 * 1024, .maximumRatio = 1024, .decoderMemoryLimit = 64 * 1024 * 1024});
    std::uint64_t received = 0;
    try {
        const auto decoded =
            decoder.decode(std::span(data, size),
                           [&received](std::span<const std::uint8_t> piece) { received += piece.size(); });
        if (decoded != received) {
            __builtin_trap();
        }
    } catch (const PbzxDecoder::Error&) {
    }
    return 0;
}
