#pragma once

#include "ZRFoundation/CodeSigning/ZRCodeSigningResult.h"
#include "ZRFoundation/CodeSigning/ZRMachOSlice.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

/// A thin (32- or 64-bit, either byte order) or universal Mach-O file, validated at construction:
/// every load command, segment, section and code signature range lies inside its slice and
/// nothing overlaps. The object views the bytes it was made from; they must outlive it.
class ZRMachOFile {
public:
    static constexpr std::uint32_t maximumSliceCount = 64;

    /// The validated file, or an error with errSecCSBadObjectFormat naming the place. Bytes that
    /// are no Mach-O at all give errSecCSUnsigned's sibling: see isMachO.
    static ZRCodeSigningResult<ZRMachOFile> parse(std::span<const std::uint8_t> bytes);
    /// True when the bytes start with a thin or universal Mach-O magic.
    static bool isMachO(std::span<const std::uint8_t> bytes);

    bool isUniversal() const { return _isUniversal; }
    const std::vector<ZRMachOSlice>& slices() const { return _slices; }
    /// Problems strict validation refuses: trailing bytes, non-zero or oversized gaps between
    /// universal slices, and each slice's own strict problem.
    const std::optional<std::string>& strictProblem() const { return _strictProblem; }

private:
    ZRMachOFile() = default;

    bool _isUniversal = false;
    std::vector<ZRMachOSlice> _slices;
    std::optional<std::string> _strictProblem;
};
