#pragma once

#include "tools/FixtureSigner/FixtureCertificate.h"

#include <string>

/// A test hierarchy shaped like Apple's: a root, a "Developer ID Certification Authority"
/// intermediate (marker 6.2.6), leaves for each certificate kind with the team identifier as
/// OU and user ID, a self-signed leaf, and a timestamp authority under the same root.
struct FixtureCertificateHierarchy {
    static constexpr const char* teamIdentifier = "FIXTURE123";
    static constexpr const char* developerIDMarker = "1.2.840.113635.100.6.1.13";
    static constexpr const char* developmentMarker = "1.2.840.113635.100.6.1.12";
    static constexpr const char* macAppStoreMarker = "1.2.840.113635.100.6.1.9";
    static constexpr const char* appleSoftwareMarker = "1.2.840.113635.100.6.22";
    static constexpr const char* developerIDIntermediateMarker = "1.2.840.113635.100.6.2.6";

    /// `leafValidity` shifts the leaves' validity period (seconds relative to now) for expiry tests.
    static FixtureCertificateHierarchy make(std::int64_t leafNotBeforeOffset = -86400,
                                            std::int64_t leafNotAfterOffset = 5 * 365 * 86400);

    FixtureCertificate root;
    FixtureCertificate intermediate;
    FixtureCertificate developerIDLeaf;
    FixtureCertificate developmentLeaf;
    FixtureCertificate macAppStoreLeaf;
    FixtureCertificate appleSoftwareLeaf;
    FixtureCertificate plainLeaf;
    FixtureCertificate selfSignedLeaf;
    FixtureCertificate timestampAuthority;
};
