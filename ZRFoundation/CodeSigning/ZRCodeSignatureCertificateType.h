#pragma once

#include <cstdint>

/// The kind of certificate a signature was made with.
enum class ZRCodeSignatureCertificateType : std::uint8_t {
    none = 0,
    adhoc = 1,
    developerID = 2,
    development = 3,
    macAppStore = 4,
    apple = 5,
    other = 6,
};
