// Any bytes as a Mach-O or universal file: no crash, no read outside the input, and every slice
// the parser accepts lies inside the input with its signature inside the slice.

#include "ZRFoundation/CodeSigning/ZREmbeddedSignature.h"
#include "ZRFoundation/CodeSigning/ZRMachOFile.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> bytes(data, size);
    const auto file = ZRMachOFile::parse(bytes);
    if (!file) {
        return 0;
    }
    for (const auto& slice : file->slices()) {
        if (slice.bytes.data() < data || slice.bytes.data() + slice.bytes.size() > data + size) {
            std::abort();
        }
        const auto signature = ZREmbeddedSignature::parse(slice.signatureBytes());
        (void)slice.infoPlistBytes();
        (void)slice.architectureName();
        if (signature) {
            (void)signature->bestCodeDirectory().cdhash();
        }
    }
    return 0;
}
