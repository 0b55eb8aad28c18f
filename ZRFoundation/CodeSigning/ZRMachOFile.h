#pragma once

#include "ZRFoundation/CodeSigning/ZRCodeSigningResult.h"
#include "ZRFoundation/CodeSigning/ZRMachOSlice.h"
#include "ZRFoundation/CodeSigning/ZRReadingMode.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

/// A thin (32- or 64-bit, either byte order) or universal Mach-O file, validated at construction:
/// every load command, segment, section and code signature range lies inside its slice and
/// nothing overlaps. The object views the bytes it was made from; they must outlive it.
///
/// Read leniently, only the headers and the first usable LC_CODE_SIGNATURE of each slice are
/// read: the walk over load commands ends at the first damaged one, segments are not examined,
/// universal slices placed outside the file are skipped, and a slice that cannot be read is
/// listed in unreadableSlices() instead of refusing the file.
class ZRMachOFile {
public:
    static constexpr std::uint32_t maximumSliceCount = 64;

    /// The validated file, or an error with errSecCSBadObjectFormat naming the place. Bytes that
    /// are no Mach-O at all give errSecCSUnsigned's sibling: see isMachO. Read leniently, only a
    /// file too short for its magic or a universal slice table running past the end is refused.
    static ZRCodeSigningResult<ZRMachOFile> parse(std::span<const std::uint8_t> bytes,
                                                  ZRReadingMode mode = ZRReadingMode::validating);
    /// True when the bytes start with a thin or universal Mach-O magic.
    static bool isMachO(std::span<const std::uint8_t> bytes);

    bool isUniversal() const { return _isUniversal; }
    const std::vector<ZRMachOSlice>& slices() const { return _slices; }
    /// Problems strict validation refuses: trailing bytes, non-zero or oversized gaps between
    /// universal slices, and each slice's own strict problem. Not looked for in lenient reading.
    const std::optional<std::string>& strictProblem() const { return _strictProblem; }
    /// Read leniently: why each slice missing from slices() could not be read.
    const std::vector<ZRCodeSigningError>& unreadableSlices() const { return _unreadableSlices; }

private:
    ZRMachOFile() = default;

    bool _isUniversal = false;
    std::vector<ZRMachOSlice> _slices;
    std::optional<std::string> _strictProblem;
    std::vector<ZRCodeSigningError> _unreadableSlices;
};
