#pragma once

#include "ZRFoundation/CodeSigning/ZRByteView.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

/// One architecture of a Mach-O file, as validated by ZRMachOFile. All offsets are relative to
/// the start of the slice; `bytes` views the caller's buffer. A slice read leniently has only its
/// header fields and code signature range: no segments, sections or strict problem.
struct ZRMachOSlice {
    struct Segment {
        std::string name;
        std::uint64_t fileOffset = 0;
        std::uint64_t fileSize = 0;
    };
    struct Range {
        std::uint64_t offset = 0;
        std::uint64_t size = 0;
    };

    std::int32_t cpuType = 0;
    std::int32_t cpuSubtype = 0;
    std::uint32_t fileType = 0;
    bool is64Bit = false;
    ZRByteView::ByteOrder byteOrder = ZRByteView::ByteOrder::Little;
    /// Position of the slice in its file.
    std::uint64_t fileOffset = 0;
    std::span<const std::uint8_t> bytes;
    std::vector<Segment> segments;
    /// The LC_CODE_SIGNATURE data, when the slice has one.
    std::optional<Range> codeSignature;
    /// The __TEXT,__info_plist section.
    std::optional<Range> infoPlistSection;
    /// The __TEXT segment's file range (the executable segment of a code directory).
    std::optional<Range> textSegment;
    /// Set when the layout is legal but not what a signing tool produces (something after the
    /// signature, __LINKEDIT not last): strict validation refuses such a slice.
    std::optional<std::string> strictProblem;

    std::span<const std::uint8_t> signatureBytes() const {
        return codeSignature ? bytes.subspan(codeSignature->offset, codeSignature->size)
                             : std::span<const std::uint8_t>();
    }
    std::span<const std::uint8_t> infoPlistBytes() const {
        return infoPlistSection ? bytes.subspan(infoPlistSection->offset, infoPlistSection->size)
                                : std::span<const std::uint8_t>();
    }
    /// "x86_64", "arm64", "i386", … or the CPU type in hexadecimal.
    std::string architectureName() const;
};
