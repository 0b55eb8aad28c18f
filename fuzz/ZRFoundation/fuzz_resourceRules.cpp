// Rule patterns and paths from any bytes: a pattern compiles or is refused, and matching never
// crashes and ends within its budget. The input is "pattern\npath".

#include "ZRFoundation/CodeSigning/ZRResourceRule.h"

#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const auto split = input.find('\n');
    const auto pattern = input.substr(0, split);
    const auto path = split == std::string_view::npos ? std::string_view() : input.substr(split + 1);
    const auto rule = ZRResourceRule::rule(pattern, 1.0, ZRResourceRule::nested);
    if (rule) {
        ZRResourceRule::MatchBudget budget;
        (void)rule->match(path, budget);
    }
    return 0;
}
