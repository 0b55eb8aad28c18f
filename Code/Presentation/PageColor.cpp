#include "Code/Presentation/PageColor.h"

#include "ZRFoundation/Text/ZRHexadecimal.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

std::optional<int> hexPair(char high, char low) {
    const auto first = ZRHexadecimal::digitValue(high);
    const auto second = ZRHexadecimal::digitValue(low);
    if (!first || !second) {
        return std::nullopt;
    }
    return *first * 16 + *second;
}

double blend(double component, double target, double level) {
    return component + (target - component) * level;
}

// Component times 255, truncated. The small allowance keeps a component that was parsed from a
// two-digit pair (n / 255) from losing one step to rounding when it is multiplied back.
int byteValue(double component) {
    const double scaled = std::clamp(component, 0.0, 1.0) * 255.0 + 1e-9;
    return static_cast<int>(std::trunc(std::min(scaled, 255.0)));
}

} // namespace

std::optional<PageColor> PageColor::colorWithHexString(std::string_view text) {
    if (text.empty() || text.front() != '#') {
        return std::nullopt;
    }
    std::string digits(text.substr(1));
    if (digits.size() == 3) {
        digits = {digits[0], digits[0], digits[1], digits[1], digits[2], digits[2]};
    } else if (digits.size() != 6 && digits.size() != 8) {
        return std::nullopt;
    }
    int components[4] = {0, 0, 0, 255};
    for (std::size_t index = 0; index * 2 < digits.size(); ++index) {
        const auto value = hexPair(digits[index * 2], digits[index * 2 + 1]);
        if (!value) {
            return std::nullopt;
        }
        components[index] = *value;
    }
    return PageColor{components[0] / 255.0, components[1] / 255.0, components[2] / 255.0,
                     components[3] / 255.0};
}

PageColor PageColor::highlightWithLevel(double level) const {
    return {blend(red, 1, level), blend(green, 1, level), blend(blue, 1, level), alpha};
}

PageColor PageColor::shadowWithLevel(double level) const {
    return {blend(red, 0, level), blend(green, 0, level), blend(blue, 0, level), alpha};
}

std::string PageColor::hexString() const {
    char text[8];
    std::snprintf(text, sizeof text, "#%02x%02x%02x", byteValue(red), byteValue(green), byteValue(blue));
    return text;
}
