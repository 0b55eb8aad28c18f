#include "ZRFoundation/CodeSigning/ZRMachOFile.h"

#include <algorithm>
#include <cstdio>

namespace {

constexpr std::uint32_t machMagic32 = 0xfeedface;
constexpr std::uint32_t machMagic64 = 0xfeedfacf;
constexpr std::uint32_t machCigam32 = 0xcefaedfe;
constexpr std::uint32_t machCigam64 = 0xcffaedfe;
constexpr std::uint32_t fatMagic = 0xcafebabe;
constexpr std::uint32_t fatMagic64 = 0xcafebabf;
constexpr std::uint32_t fatCigam = 0xbebafeca;
constexpr std::uint32_t fatCigam64 = 0xbfbafeca;

constexpr std::uint32_t loadCommandSegment = 0x1;
constexpr std::uint32_t loadCommandSegment64 = 0x19;
constexpr std::uint32_t loadCommandCodeSignature = 0x1d;
constexpr std::uint32_t sectionTypeMask = 0xff;
constexpr std::uint32_t sectionZeroFill = 0x1;
constexpr std::uint32_t sectionGigabyteZeroFill = 0xc;
constexpr std::uint32_t sectionThreadLocalZeroFill = 0x12;
/// More commands than this in a few kilobytes of header is not a real executable.
constexpr std::uint32_t maximumLoadCommandCount = 65536;

ZRCodeSigningError badFormat(std::string description) {
    return ZRCodeSigningError{ZROSStatus::errSecCSBadObjectFormat, std::move(description)};
}

std::string hex(std::uint64_t value) {
    char text[24];
    std::snprintf(text, sizeof text, "0x%llx", static_cast<unsigned long long>(value));
    return text;
}

bool overlaps(const ZRMachOSlice::Range& a, const ZRMachOSlice::Range& b) {
    return a.size > 0 && b.size > 0 && a.offset < b.offset + b.size && b.offset < a.offset + a.size;
}

struct SliceParser {
    ZRByteView reader;
    ZRMachOSlice slice;
    std::string place;

    std::optional<ZRCodeSigningError> parseSegment(std::uint64_t commandOffset, std::uint64_t commandSize,
                                                   bool is64, unsigned commandIndex);
    std::optional<ZRCodeSigningError> parse();
    void findStrictProblems(const ZRMachOSlice::Range& commandsArea);
    ZRCodeSigningError error(const std::string& text) const { return badFormat(place + text); }
};

std::optional<ZRCodeSigningError> SliceParser::parseSegment(std::uint64_t commandOffset,
                                                            std::uint64_t commandSize, bool is64,
                                                            unsigned commandIndex) {
    const std::string commandPlace = "load command " + std::to_string(commandIndex);
    const std::uint64_t headerSize = is64 ? 72 : 56;
    const std::uint64_t sectionSize = is64 ? 80 : 68;
    if (commandSize < headerSize) {
        return error(commandPlace + " is too small for a segment");
    }
    ZRMachOSlice::Segment segment;
    segment.name = *reader.fixedString(commandOffset + 8, 16);
    std::uint32_t sectionCount = 0;
    if (is64) {
        segment.fileOffset = *reader.u64(commandOffset + 40);
        segment.fileSize = *reader.u64(commandOffset + 48);
        sectionCount = *reader.u32(commandOffset + 64);
    } else {
        segment.fileOffset = *reader.u32(commandOffset + 32);
        segment.fileSize = *reader.u32(commandOffset + 36);
        sectionCount = *reader.u32(commandOffset + 48);
    }
    if (!reader.contains(segment.fileOffset, segment.fileSize)) {
        return error(commandPlace + " (segment " + segment.name + ") extends past the end of the slice");
    }
    if (sectionCount > (commandSize - headerSize) / sectionSize) {
        return error(commandPlace + " (segment " + segment.name + ") has more sections than fit");
    }
    for (std::uint32_t index = 0; index < sectionCount; ++index) {
        const std::uint64_t sectionOffset = commandOffset + headerSize + index * sectionSize;
        const std::string sectionName = *reader.fixedString(sectionOffset, 16);
        const std::uint64_t size = is64 ? *reader.u64(sectionOffset + 40) : *reader.u32(sectionOffset + 36);
        const std::uint32_t fileOffset = *reader.u32(sectionOffset + (is64 ? 48 : 40));
        const std::uint32_t flags = *reader.u32(sectionOffset + (is64 ? 64 : 56));
        const std::uint32_t type = flags & sectionTypeMask;
        if (type == sectionZeroFill || type == sectionGigabyteZeroFill ||
            type == sectionThreadLocalZeroFill) {
            continue;
        }
        if (fileOffset < segment.fileOffset ||
            !ZRByteView::rangeFits(fileOffset - segment.fileOffset, size, segment.fileSize)) {
            return error(commandPlace + " section " + segment.name + "," + sectionName +
                         " lies outside its segment");
        }
        if (segment.name == "__TEXT" && sectionName == "__info_plist") {
            slice.infoPlistSection = ZRMachOSlice::Range{fileOffset, size};
        }
    }
    for (const auto& other : slice.segments) {
        if (overlaps({other.fileOffset, other.fileSize}, {segment.fileOffset, segment.fileSize})) {
            return error(commandPlace + " (segment " + segment.name + ") overlaps segment " + other.name);
        }
    }
    if (segment.name == "__TEXT") {
        slice.textSegment = ZRMachOSlice::Range{segment.fileOffset, segment.fileSize};
    }
    slice.segments.push_back(std::move(segment));
    return std::nullopt;
}

std::optional<ZRCodeSigningError> SliceParser::parse() {
    const auto magic = ZRByteView(reader.bytes(), ZRByteView::ByteOrder::Big).u32(0);
    if (!magic) {
        return error("is too short for a Mach-O header");
    }
    switch (*magic) {
    case machMagic32:
    case machMagic64:
        slice.byteOrder = ZRByteView::ByteOrder::Big;
        break;
    case machCigam32:
    case machCigam64:
        slice.byteOrder = ZRByteView::ByteOrder::Little;
        break;
    default:
        return error("has no Mach-O magic");
    }
    slice.is64Bit = *magic == machMagic64 || *magic == machCigam64;
    reader = ZRByteView(reader.bytes(), slice.byteOrder);
    const std::uint64_t headerSize = slice.is64Bit ? 32 : 28;
    if (!reader.contains(0, headerSize)) {
        return error("is too short for its Mach-O header");
    }
    slice.cpuType = static_cast<std::int32_t>(*reader.u32(4));
    slice.cpuSubtype = static_cast<std::int32_t>(*reader.u32(8));
    slice.fileType = *reader.u32(12);
    const std::uint32_t commandCount = *reader.u32(16);
    const std::uint32_t commandsSize = *reader.u32(20);
    if (!reader.contains(headerSize, commandsSize)) {
        return error("load commands extend past the end of the slice");
    }
    if (commandCount > maximumLoadCommandCount || commandCount > commandsSize / 8) {
        return error("declares " + std::to_string(commandCount) + " load commands in " +
                     std::to_string(commandsSize) + " bytes");
    }
    const std::uint64_t commandsEnd = headerSize + commandsSize;
    std::uint64_t offset = headerSize;
    for (std::uint32_t index = 0; index < commandCount; ++index) {
        const std::string commandPlace = "load command " + std::to_string(index);
        const auto command = reader.u32(offset);
        const auto commandSize = reader.u32(offset + 4);
        if (!command || !commandSize || offset + 8 > commandsEnd) {
            return error(commandPlace + " extends past the end of the load commands");
        }
        if (*commandSize < 8 || *commandSize % 4 != 0) {
            return error(commandPlace + " has an invalid size " + std::to_string(*commandSize));
        }
        if (!ZRByteView::rangeFits(offset, *commandSize, commandsEnd)) {
            return error(commandPlace + " extends past the end of the load commands");
        }
        if (*command == loadCommandSegment || *command == loadCommandSegment64) {
            if (auto failure = parseSegment(offset, *commandSize, *command == loadCommandSegment64, index)) {
                return failure;
            }
        } else if (*command == loadCommandCodeSignature) {
            if (*commandSize != 16) {
                return error(commandPlace + " (LC_CODE_SIGNATURE) has size " + std::to_string(*commandSize));
            }
            if (slice.codeSignature) {
                return error(commandPlace + " is a second LC_CODE_SIGNATURE");
            }
            const std::uint32_t dataOffset = *reader.u32(offset + 8);
            const std::uint32_t dataSize = *reader.u32(offset + 12);
            if (!reader.contains(dataOffset, dataSize)) {
                return error(commandPlace + " (LC_CODE_SIGNATURE) extends past the end of the slice");
            }
            slice.codeSignature = ZRMachOSlice::Range{dataOffset, dataSize};
        }
        offset += *commandSize;
    }
    const ZRMachOSlice::Range commandsArea{0, commandsEnd};
    if (slice.codeSignature && overlaps(*slice.codeSignature, commandsArea)) {
        return error("code signature overlaps the load commands");
    }
    findStrictProblems(commandsArea);
    return std::nullopt;
}

void SliceParser::findStrictProblems(const ZRMachOSlice::Range&) {
    const ZRMachOSlice::Segment* linkEdit = nullptr;
    const ZRMachOSlice::Segment* lastInFile = nullptr;
    for (const auto& segment : slice.segments) {
        if (segment.name == "__LINKEDIT") {
            linkEdit = &segment;
        }
        if (segment.fileSize > 0 &&
            (lastInFile == nullptr ||
             segment.fileOffset + segment.fileSize > lastInFile->fileOffset + lastInFile->fileSize)) {
            lastInFile = &segment;
        }
    }
    if (linkEdit == nullptr) {
        if (slice.codeSignature) {
            slice.strictProblem = place + "has a code signature but no __LINKEDIT segment";
        }
        return;
    }
    const std::uint64_t linkEditEnd = linkEdit->fileOffset + linkEdit->fileSize;
    if (lastInFile != linkEdit) {
        slice.strictProblem = place + "__LINKEDIT is not the last segment";
    } else if (linkEditEnd != reader.size()) {
        slice.strictProblem = place + "has " +
                              std::to_string(reader.size() - std::min(reader.size(), linkEditEnd)) +
                              " bytes after __LINKEDIT";
    } else if (slice.codeSignature &&
               (slice.codeSignature->offset < linkEdit->fileOffset ||
                slice.codeSignature->offset + slice.codeSignature->size != linkEditEnd)) {
        slice.strictProblem = place + "code signature is not at the end of __LINKEDIT";
    }
}

std::optional<ZRCodeSigningError> parseSlice(std::span<const std::uint8_t> bytes, std::uint64_t fileOffset,
                                             std::string place, ZRMachOSlice& slice) {
    SliceParser parser{ZRByteView(bytes), ZRMachOSlice{}, std::move(place)};
    parser.slice.bytes = bytes;
    parser.slice.fileOffset = fileOffset;
    if (auto failure = parser.parse()) {
        return failure;
    }
    slice = std::move(parser.slice);
    return std::nullopt;
}

} // namespace

std::string ZRMachOSlice::architectureName() const {
    constexpr std::int32_t abi64 = 0x01000000;
    constexpr std::int32_t abi64_32 = 0x02000000;
    switch (cpuType) {
    case 7:
        return "i386";
    case 7 | abi64:
        return (cpuSubtype & 0xff) == 8 ? "x86_64h" : "x86_64";
    case 12:
        return "arm";
    case 12 | abi64:
        return (cpuSubtype & 0xff) == 2 ? "arm64e" : "arm64";
    case 12 | abi64_32:
        return "arm64_32";
    case 18:
        return "ppc";
    case 18 | abi64:
        return "ppc64";
    default:
        return hex(static_cast<std::uint32_t>(cpuType));
    }
}

bool ZRMachOFile::isMachO(std::span<const std::uint8_t> bytes) {
    const auto magic = ZRByteView(bytes).u32(0);
    if (!magic) {
        return false;
    }
    switch (*magic) {
    case machMagic32:
    case machMagic64:
    case machCigam32:
    case machCigam64:
    case fatMagic:
    case fatMagic64:
    case fatCigam:
    case fatCigam64:
        return true;
    default:
        return false;
    }
}

ZRCodeSigningResult<ZRMachOFile> ZRMachOFile::parse(std::span<const std::uint8_t> bytes) {
    const ZRByteView bigEndian(bytes);
    const auto magic = bigEndian.u32(0);
    if (!magic) {
        return badFormat("file is too short for a Mach-O header");
    }
    ZRMachOFile file;
    if (*magic != fatMagic && *magic != fatMagic64 && *magic != fatCigam && *magic != fatCigam64) {
        ZRMachOSlice slice;
        if (auto failure = parseSlice(bytes, 0, "", slice)) {
            return *failure;
        }
        file._strictProblem = slice.strictProblem;
        file._slices.push_back(std::move(slice));
        return file;
    }

    file._isUniversal = true;
    const bool is64 = *magic == fatMagic64 || *magic == fatCigam64;
    const ZRByteView reader(bytes, *magic == fatMagic || *magic == fatMagic64
                                       ? ZRByteView::ByteOrder::Big
                                       : ZRByteView::ByteOrder::Little);
    const auto count = reader.u32(4);
    const std::uint64_t entrySize = is64 ? 32 : 20;
    if (!count || *count == 0 || *count > maximumSliceCount) {
        return badFormat("universal header declares " + (count ? std::to_string(*count) : "no") + " slices");
    }
    const std::uint64_t tableEnd = 8 + *count * entrySize;
    if (!reader.contains(0, tableEnd)) {
        return badFormat("universal header's slice table extends past the end of the file");
    }
    struct Placement {
        std::uint64_t offset, size, alignment;
    };
    std::vector<Placement> placements;
    for (std::uint32_t index = 0; index < *count; ++index) {
        const std::uint64_t entry = 8 + index * entrySize;
        const std::string place = "slice " + std::to_string(index) + " ";
        const std::uint64_t offset = is64 ? *reader.u64(entry + 8) : *reader.u32(entry + 8);
        const std::uint64_t size = is64 ? *reader.u64(entry + 16) : *reader.u32(entry + 12);
        const std::uint32_t alignment = *reader.u32(entry + (is64 ? 24 : 16));
        if (!reader.contains(offset, size) || offset < tableEnd) {
            return badFormat(place + "extends outside the file");
        }
        if (alignment > 31) {
            return badFormat(place + "has alignment 2^" + std::to_string(alignment));
        }
        for (const auto& other : placements) {
            if (overlaps({other.offset, other.size}, {offset, size})) {
                return badFormat(place + "overlaps another slice");
            }
        }
        ZRMachOSlice slice;
        if (auto failure = parseSlice(bytes.subspan(offset, size), offset, place, slice)) {
            return *failure;
        }
        const auto headerCpuType = static_cast<std::int32_t>(*reader.u32(entry));
        if (headerCpuType != slice.cpuType) {
            return badFormat(place + "CPU type differs from the universal header's");
        }
        if (slice.strictProblem && !file._strictProblem) {
            file._strictProblem = slice.strictProblem;
        }
        placements.push_back({offset, size, std::uint64_t{1} << alignment});
        file._slices.push_back(std::move(slice));
    }
    if (!file._strictProblem) {
        std::vector<Placement> sorted = placements;
        std::sort(sorted.begin(), sorted.end(), [](auto& a, auto& b) { return a.offset < b.offset; });
        std::uint64_t position = tableEnd;
        for (const auto& placement : sorted) {
            if (placement.offset % placement.alignment != 0) {
                file._strictProblem = "a slice is not aligned as the universal header says";
                break;
            }
            const auto gap = bytes.subspan(position, placement.offset - position);
            if (gap.size() >= placement.alignment ||
                std::any_of(gap.begin(), gap.end(), [](std::uint8_t byte) { return byte != 0; })) {
                file._strictProblem =
                    "the gap before the slice at " + hex(placement.offset) + " is too large or not zero";
                break;
            }
            position = placement.offset + placement.size;
        }
        if (!file._strictProblem && position != bytes.size()) {
            file._strictProblem = "the file has bytes after its last slice";
        }
    }
    return file;
}
