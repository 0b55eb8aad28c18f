// Any bytes as an embedded signature SuperBlob: every accepted code directory must answer its
// accessors from inside its own bytes, and requirement sets decode without crashing.

#include "ZRFoundation/CodeSigning/ZRCodeRequirement.h"
#include "ZRFoundation/CodeSigning/ZREmbeddedSignature.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto signature = ZREmbeddedSignature::parse({data, size});
    if (!signature) {
        (void)ZRCodeDirectory::parse({data, size}, "");
        return 0;
    }
    for (const auto& directory : signature->codeDirectories()) {
        for (std::uint32_t slot = 0; slot <= directory.specialSlotCount() + 1; ++slot) {
            (void)directory.hasSpecialSlot(slot);
        }
        for (std::uint32_t page = 0; page < directory.codeSlotCount() && page < 64; ++page) {
            const auto hash = directory.codeSlotHash(page);
            if (hash.data() < directory.bytes().data() ||
                hash.data() + hash.size() > directory.bytes().data() + directory.bytes().size()) {
                std::abort();
            }
        }
        if (directory.cdhash().size() != 20) {
            std::abort();
        }
    }
    if (const auto requirements = signature->blob(2)) {
        if (const auto set = ZRCodeRequirement::requirementSet(*requirements)) {
            for (const auto& [type, requirement] : *set) {
                (void)requirement.text();
            }
        }
    }
    return 0;
}
