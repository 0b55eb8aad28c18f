// Any bytes: no crash, no exception, and every parsed range reads back from its own text.

#include "ZRFoundation/IPAddress/NQIPAddressRange.h"

#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const auto range = NQIPAddressRange::rangeFromDisplayString(text);
    if (!range) {
        return 0;
    }
    const auto reparsed = NQIPAddressRange::rangeFromDisplayString(range->displayString());
    if (!reparsed || !(*reparsed == *range) || range->lastAddress() < range->firstAddress()) {
        std::abort();
    }
    return 0;
}
