// Any bytes as an executable through the whole validation: structure, signature, chain, pages
// and requirement. Only the outcome's consistency is checked.

#include "ZRFoundation/CodeSigning/ZRCodeSignatureChecker.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const auto request = ZRCodeSignatureChecker::requestForOptions("fuzz", 0);
    const auto outcome = ZRCodeSignatureValidator::validate({data, size}, request);
    if (outcome.creationError && outcome.status == 0) {
        std::abort();
    }
    try {
        (void)ZRCodeSignatureChecker::resultForValidation(outcome, "fuzz", 0);
    } catch (const ZRCodeSignatureCheckError&) {
    }
    return 0;
}
