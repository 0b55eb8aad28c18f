#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

/// Builds minimal Mach-O executables: __PAGEZERO, __TEXT with a __text section (and an optional
/// __info_plist section), __LINKEDIT last, and an LC_CODE_SIGNATURE that reserves space at its end.
class FixtureMachOBuilder {
public:
    enum class Architecture : std::uint8_t { x86_64, arm64 };

    struct Executable {
        Architecture architecture = Architecture::x86_64;
        /// Bytes of __text, filled with a pattern derived from `seed`.
        std::uint64_t codeSize = 8192;
        std::optional<std::string> infoPlist;
        std::uint32_t seed = 1;
    };

    struct Layout {
        std::vector<std::uint8_t> bytes;
        std::uint64_t codeOffset = 0;
        std::uint64_t textSegmentSize = 0;
        std::optional<std::uint64_t> infoPlistOffset;
        std::uint64_t infoPlistSize = 0;
        /// Where the reserved signature space starts (the code limit); equals the size when unsigned.
        std::uint64_t signatureOffset = 0;
    };

    /// The slice; with signatureSize 0 it has no LC_CODE_SIGNATURE.
    static Layout build(const Executable& executable, std::uint32_t signatureSize);
    /// A universal file holding the slices in order (32-bit table, 16 KiB alignment).
    static std::vector<std::uint8_t> universal(const std::vector<std::vector<std::uint8_t>>& slices);
};
