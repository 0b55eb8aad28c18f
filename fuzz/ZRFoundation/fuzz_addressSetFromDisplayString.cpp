// Any bytes: no crash, no exception, and every parsed set reads back from its own text.

#include "ZRFoundation/IPAddress/NQIPAddressSet.h"

#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const auto set = NQIPAddressSet::addressSetFromDisplayString(text);
    if (!set) {
        return 0;
    }
    const auto reparsed = NQIPAddressSet::addressSetFromDisplayString(set->displayString());
    if (!reparsed || !(*reparsed == *set) || set->isEmpty()) {
        std::abort();
    }
    (void)set->numberOfAddresses();
    (void)set->intersectsSet(NQIPAddressSet::localNetworkAddresses());
    return 0;
}
