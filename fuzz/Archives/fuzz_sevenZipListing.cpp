#include "Code/Archives/SevenZipListing.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

// 7-Zip's listing of a hostile archive: any text, with a small entry bound so that many short
// blocks reach the refusal too.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const auto result = SevenZipListing::parse(text, 64);
    if (result.listing) {
        for (const auto& entry : result.listing->entries()) {
            (void)(entry.path.size() + entry.linkTarget.size() + entry.size);
        }
    }
    return 0;
}
