#pragma once

#include <optional>
#include <string>
#include <string_view>

/// An sRGB colour with components from 0 to 1, as the page's style sheet needs it: parsed from
/// "#RGB", "#RRGGBB" or "#RRGGBBAA", blended toward black or white, and written back as "#rrggbb".
struct PageColor {
    double red = 0;
    double green = 0;
    double blue = 0;
    double alpha = 1;

    /// "#RGB" (each digit doubled), "#RRGGBB" or "#RRGGBBAA"; none for any other text.
    static std::optional<PageColor> colorWithHexString(std::string_view text);
    /// A neutral grey of the given white level.
    static PageColor grey(double white) { return {white, white, white, 1}; }
    static PageColor white() { return grey(1); }
    /// The accent colour used where the desktop reports none.
    static PageColor defaultAccent() { return {0, 0.48, 1.0, 1}; }

    /// Blended with white by `level` (0: unchanged, 1: white).
    PageColor highlightWithLevel(double level) const;
    /// Blended with black by `level` (0: unchanged, 1: black).
    PageColor shadowWithLevel(double level) const;
    /// "#rrggbb" in lower case, each component times 255 truncated toward zero; alpha is omitted.
    std::string hexString() const;
};
