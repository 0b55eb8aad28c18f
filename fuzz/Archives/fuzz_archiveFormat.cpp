#include "Code/Archives/ArchiveFormat.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>

// Recognition reads a file's first and last bytes: any of them, of any length.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> bytes(data, size);
    const auto head = bytes.first(std::min(size, ArchiveFormats::headSize));
    const auto trailer = bytes.last(std::min(size, ArchiveFormats::trailerSize));
    if (const auto format = ArchiveFormats::recognize(head, trailer)) {
        (void)ArchiveFormats::name(*format);
    }
    return 0;
}
