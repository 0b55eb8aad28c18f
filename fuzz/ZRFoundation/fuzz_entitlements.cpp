// Any bytes as the payload of both entitlements blobs, the XML and the DER form: reading either
// must end in a dictionary or an error, and a dictionary read from DER must hold only the value
// kinds that form can carry.

#include "ZRFoundation/CodeSigning/ZREntitlements.h"

#include <cstdlib>
#include <vector>

namespace {

std::vector<std::uint8_t> blob(std::uint32_t magic, const std::uint8_t* data, std::size_t size) {
    std::vector<std::uint8_t> bytes;
    const auto length = static_cast<std::uint32_t>(size + 8);
    for (const std::uint32_t word : {magic, length}) {
        for (int shift = 24; shift >= 0; shift -= 8) {
            bytes.push_back(static_cast<std::uint8_t>(word >> shift));
        }
    }
    bytes.insert(bytes.end(), data, data + size);
    return bytes;
}

bool holdsOnlyDERKinds(const ZRPropertyList& value) {
    if (const auto* array = value.arrayValue()) {
        for (const auto& item : *array) {
            if (!holdsOnlyDERKinds(item)) {
                return false;
            }
        }
        return true;
    }
    if (const auto* dictionary = value.dictionaryValue()) {
        for (const auto& [key, item] : *dictionary) {
            if (!holdsOnlyDERKinds(item)) {
                return false;
            }
        }
        return true;
    }
    return value.isBoolean() || value.isString() || value.isInteger();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // The raw input too, so that headers with lengths beyond the input are tried.
    (void)ZREntitlements::readXMLBlob({data, size});
    (void)ZREntitlements::readDERBlob({data, size});
    (void)ZREntitlements::readXMLBlob(blob(0xfade7171, data, size));
    const auto der = blob(0xfade7172, data, size);
    if (const auto read = ZREntitlements::readDERBlob(der)) {
        if (!holdsOnlyDERKinds(ZRPropertyList::dictionary(*read))) {
            std::abort();
        }
    }
    const auto made = ZREntitlements::make(std::nullopt, std::span<const std::uint8_t>(der), 0);
    if (made.error && (made.appSandbox || made.networkClient || made.networkServer)) {
        std::abort();
    }
    return 0;
}
