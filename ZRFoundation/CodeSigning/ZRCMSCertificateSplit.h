#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

/// Takes the certificate set out of a CMS SignedData (BER or DER) without decoding anything else.
/// Decoding a certificate costs far more than the rest of a code signature, and the same few
/// certificates sign every application of a developer: a reader decodes the set apart, through a
/// cache, and the rest of the structure alone.
struct ZRCMSCertificateSplit {
    /// The structure without its "certificates" field, all enclosing lengths adjusted.
    std::vector<std::uint8_t> withoutCertificates;
    /// Each certificate's encoding, in order, as spans of the input.
    std::vector<std::span<const std::uint8_t>> certificates;

    /// None when the input is not laid out as a ContentInfo holding SignedData with a set of
    /// plain certificates (a reader then decodes it whole, and judges it then).
    static std::optional<ZRCMSCertificateSplit> split(std::span<const std::uint8_t> bytes);
};
