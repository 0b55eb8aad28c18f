// Any bytes as a compiled requirement and as requirement text: decoding never crashes, and what
// decodes prints as text that compiles back to the same text.

#include "ZRFoundation/CodeSigning/ZRCodeRequirement.h"

#include <cstdlib>
#include <string_view>

namespace {

void checkRoundTrip(const ZRCodeRequirement& requirement) {
    const auto text = requirement.text();
    const auto again = ZRCodeRequirement::fromText(text);
    if (!again) {
        // Names the text syntax cannot carry (control characters in an identifier) are allowed.
        return;
    }
    const auto reparsed = ZRCodeRequirement::fromBlob(again->blob());
    if (!reparsed || reparsed->text() != again->text()) {
        std::abort();
    }
    (void)requirement.evaluate({});
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (const auto requirement = ZRCodeRequirement::fromBlob({data, size})) {
        checkRoundTrip(*requirement);
    }
    (void)ZRCodeRequirement::requirementSet({data, size});
    if (const auto requirement =
            ZRCodeRequirement::fromText(std::string_view(reinterpret_cast<const char*>(data), size))) {
        checkRoundTrip(*requirement);
    }
    return 0;
}
