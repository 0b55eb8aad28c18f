// Resource envelopes from any bytes: parsed or refused, never a crash; a parsed envelope answers
// rule lookups for any path.

#include "ZRFoundation/CodeSigning/ZRCodeResources.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string failure;
    const auto envelope = ZRCodeResources::codeResourcesFromData(std::span(data, size), &failure);
    if (!envelope) {
        return 0;
    }
    for (const char* path : {"Resources/Lumora.plist", "Resources/en.lproj/Lumora.strings", "Info.plist",
                             "MacOS/helper", "XPCServices/Sync.xpc", ""}) {
        (void)envelope->rules().ruleForPath(path);
    }
    for (const auto& [path, seal] : envelope->seals()) {
        (void)envelope->rules().ruleForPath(path);
    }
    return 0;
}
