#pragma once

#include <cstdint>

/// How much a reader of signed code insists on.
enum class ZRReadingMode : std::uint8_t {
    /// Everything the object will later hand out is validated; any fault refuses the input.
    validating,
    /// Only what describing the code needs is read, so that a damaged file can still be described:
    /// checks that guard nothing being described are skipped, and damaged pieces are left out and
    /// listed instead of refusing the whole input. Objects read this way describe, never validate.
    lenient,
};
