// Any bytes: no crash, every entry lies inside the input and starts with a PNG signature.

#include "ZRFoundation/Image/ZRIconFile.h"

#include <cstdint>
#include <cstdlib>
#include <span>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> bytes(data, size);
    for (const auto& entry : ZRIconFile::pngEntries(bytes)) {
        if (entry.png.data() < data || entry.png.data() + entry.png.size() > data + size ||
            entry.png.size() < 24 || entry.png[0] != 0x89) {
            std::abort();
        }
    }
    (void)ZRIconFile::pngClosestToSize(bytes, 128);
    return 0;
}
