// Any bytes as an embedded signature SuperBlob, validated and read leniently: every accepted code
// directory must answer its accessors from inside its own bytes, and requirement sets decode
// without crashing.

#include "ZRFoundation/CodeSigning/ZRCodeRequirement.h"
#include "ZRFoundation/CodeSigning/ZREmbeddedSignature.h"

#include <cstdlib>

namespace {

void checkDirectory(const ZRCodeDirectory& directory, ZRReadingMode mode) {
    for (std::uint32_t slot = 0; slot <= directory.specialSlotCount() + 1 && slot < 64; ++slot) {
        (void)directory.hasSpecialSlot(slot);
    }
    for (std::uint32_t page = 0; page < directory.codeSlotCount() && page < 64; ++page) {
        const auto hash = directory.codeSlotHash(page);
        if (hash.data() < directory.bytes().data() ||
            hash.data() + hash.size() > directory.bytes().data() + directory.bytes().size()) {
            std::abort();
        }
    }
    // A lenient directory may name a hash type nobody knows, and then has no cdhash.
    if (mode == ZRReadingMode::validating && directory.cdhash().size() != 20) {
        std::abort();
    }
}

void checkSignature(std::span<const std::uint8_t> bytes, ZRReadingMode mode) {
    const auto signature = ZREmbeddedSignature::parse(bytes, mode);
    if (!signature) {
        (void)ZRCodeDirectory::parse(bytes, "", mode);
        return;
    }
    for (const auto& directory : signature->codeDirectories()) {
        checkDirectory(directory, mode);
    }
    if (const auto requirements = signature->blob(2)) {
        if (const auto set = ZRCodeRequirement::requirementSet(*requirements)) {
            for (const auto& [type, requirement] : *set) {
                (void)requirement.text();
            }
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    checkSignature({data, size}, ZRReadingMode::validating);
    checkSignature({data, size}, ZRReadingMode::lenient);
    return 0;
}
