#pragma once

#include <cstdint>
#include <vector>

/// Damages signed fixtures in the ways the verifier must notice. Each function works on the
/// first slice at `sliceOffset` and returns false when the file lacks the part to damage.
class FixtureTamper {
public:
    /// Flips a byte of the second page of code.
    static bool flipCodeByte(std::vector<std::uint8_t>& file, std::uint64_t sliceOffset = 0);
    /// Flips a byte of the requirement set, which special slot 2 binds.
    static bool flipRequirementsByte(std::vector<std::uint8_t>& file, std::uint64_t sliceOffset = 0);
    /// Flips a byte inside the CMS signature value.
    static bool flipCMSSignatureByte(std::vector<std::uint8_t>& file, std::uint64_t sliceOffset = 0);
    /// Replaces the signer's digest algorithm by an unassigned one.
    static bool setUnknownSignerDigest(std::vector<std::uint8_t>& file, std::uint64_t sliceOffset = 0);
    /// The file range of a SuperBlob entry (slot) in the first slice, or {0, 0}.
    static std::pair<std::uint64_t, std::uint64_t> blobRange(const std::vector<std::uint8_t>& file,
                                                             std::uint64_t sliceOffset, std::uint32_t slot);
};
