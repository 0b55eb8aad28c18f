// Any bytes as a Mach-O or universal file, validated and read leniently: no crash, no read outside
// the input, and every slice either reader accepts lies inside the input with its signature
// inside the slice.

#include "ZRFoundation/CodeSigning/ZREmbeddedSignature.h"
#include "ZRFoundation/CodeSigning/ZRMachOFile.h"

#include <cstdlib>

namespace {

bool inside(std::span<const std::uint8_t> part, std::span<const std::uint8_t> whole) {
    return part.empty() ||
           (part.data() >= whole.data() && part.data() + part.size() <= whole.data() + whole.size());
}

void checkSlices(std::span<const std::uint8_t> bytes, ZRReadingMode mode) {
    const auto file = ZRMachOFile::parse(bytes, mode);
    if (!file) {
        return;
    }
    for (const auto& slice : file->slices()) {
        if (!inside(slice.bytes, bytes) || !inside(slice.signatureBytes(), slice.bytes) ||
            !inside(slice.infoPlistBytes(), slice.bytes)) {
            std::abort();
        }
        const auto signature = ZREmbeddedSignature::parse(slice.signatureBytes(), mode);
        (void)slice.architectureName();
        if (signature) {
            (void)signature->bestCodeDirectory().cdhash();
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> bytes(data, size);
    checkSlices(bytes, ZRReadingMode::validating);
    checkSlices(bytes, ZRReadingMode::lenient);
    return 0;
}
