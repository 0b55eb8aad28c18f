#include "ZRFoundation/CodeSigning/ZRMachOFile.h"

#include "ZRFoundation/CodeSigning/ZRMachOFormat.h"

#include <algorithm>
#include <cstdio>

namespace {

using namespace ZRMachOFormat;

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

bool isZeroFill(std::uint32_t sectionFlags) {
    const std::uint32_t type = sectionFlags & sectionTypeMask;
    return type == sectionZeroFill || type == sectionGigabyteZeroFill || type == sectionThreadLocalZeroFill;
}

class SliceParser {
public:
    SliceParser(std::span<const std::uint8_t> bytes, std::uint64_t fileOffset, std::string place,
                ZRReadingMode mode)
        : _reader(bytes)
        , _place(std::move(place))
        , _mode(mode) {
        _slice.bytes = bytes;
        _slice.fileOffset = fileOffset;
    }

    ZRCodeSigningResult<ZRMachOSlice> parse() {
        if (auto header = readHeader(); !header) {
            return header.error();
        }
        auto commands = _mode == ZRReadingMode::validating ? readLoadCommands() : findCodeSignature();
        if (!commands) {
            return commands.error();
        }
        if (_mode == ZRReadingMode::validating) {
            findStrictProblems();
        }
        return std::move(_slice);
    }

private:
    ZRCodeSigningError error(const std::string& text) const { return badFormat(_place + text); }

    ZRCodeSigningResult<void> readHeader();
    ZRCodeSigningResult<void> readLoadCommands();
    ZRCodeSigningResult<void> findCodeSignature();
    ZRCodeSigningResult<void> readCodeSignatureCommand(std::uint64_t offset, const std::string& commandPlace);
    template <typename Command, typename SectionLayout>
    ZRCodeSigningResult<void> readSegment(std::uint64_t offset, std::uint64_t commandSize,
                                          const std::string& commandPlace);
    void findStrictProblems();

    ZRByteView _reader;
    ZRMachOSlice _slice;
    std::string _place;
    ZRReadingMode _mode;
    std::uint32_t _commandCount = 0;
    std::uint64_t _commandsStart = 0;
    std::uint64_t _commandsEnd = 0;
};

ZRCodeSigningResult<void> SliceParser::readHeader() {
    // The magic tells the byte order, so it is read before the order is known.
    const auto magic = ZRByteView(_reader.bytes()).u32(0);
    if (!magic) {
        return error("is too short for a Mach-O header");
    }
    if (!isThinMagic(*magic)) {
        return error("has no Mach-O magic");
    }
    _slice.byteOrder = *magic == machMagic32 || *magic == machMagic64 ? ZRByteView::ByteOrder::Big
                                                                      : ZRByteView::ByteOrder::Little;
    _slice.is64Bit = *magic == machMagic64 || *magic == machCigam64;
    _reader = ZRByteView(_reader.bytes(), _slice.byteOrder);
    std::optional<MachHeader> header;
    if (_slice.is64Bit) {
        if (const auto header64 = _reader.read<MachHeader64>(0)) {
            header = header64->header;
        }
        _commandsStart = ZRByteView::encodedSize<MachHeader64>();
    } else {
        header = _reader.read<MachHeader>(0);
        _commandsStart = ZRByteView::encodedSize<MachHeader>();
    }
    if (!header) {
        return error("is too short for its Mach-O header");
    }
    _slice.cpuType = header->cpuType;
    _slice.cpuSubtype = header->cpuSubtype;
    _slice.fileType = header->fileType;
    _commandCount = header->commandCount;
    if (!_reader.contains(_commandsStart, header->commandsSize)) {
        return error("load commands extend past the end of the slice");
    }
    _commandsEnd = _commandsStart + header->commandsSize;
    return {};
}

ZRCodeSigningResult<void> SliceParser::readLoadCommands() {
    const std::uint64_t commandsSize = _commandsEnd - _commandsStart;
    if (_commandCount > maximumLoadCommandCount ||
        _commandCount > commandsSize / ZRByteView::encodedSize<LoadCommand>()) {
        return error("declares " + std::to_string(_commandCount) + " load commands in " +
                     std::to_string(commandsSize) + " bytes");
    }
    std::uint64_t offset = _commandsStart;
    for (std::uint32_t index = 0; index < _commandCount; ++index) {
        const std::string commandPlace = "load command " + std::to_string(index);
        const auto command =
            ZRByteView::rangeFits(offset, ZRByteView::encodedSize<LoadCommand>(), _commandsEnd)
                ? _reader.read<LoadCommand>(offset)
                : std::nullopt;
        if (!command) {
            return error(commandPlace + " extends past the end of the load commands");
        }
        if (command->commandSize < ZRByteView::encodedSize<LoadCommand>() || command->commandSize % 4 != 0) {
            return error(commandPlace + " has an invalid size " + std::to_string(command->commandSize));
        }
        if (!ZRByteView::rangeFits(offset, command->commandSize, _commandsEnd)) {
            return error(commandPlace + " extends past the end of the load commands");
        }
        ZRCodeSigningResult<void> read;
        if (command->command == loadCommandSegment) {
            read = readSegment<SegmentCommand, Section>(offset, command->commandSize, commandPlace);
        } else if (command->command == loadCommandSegment64) {
            read = readSegment<SegmentCommand64, Section64>(offset, command->commandSize, commandPlace);
        } else if (command->command == loadCommandCodeSignature) {
            if (command->commandSize != ZRByteView::encodedSize<LinkEditDataCommand>()) {
                return error(commandPlace + " (LC_CODE_SIGNATURE) has size " +
                             std::to_string(command->commandSize));
            }
            if (_slice.codeSignature) {
                return error(commandPlace + " is a second LC_CODE_SIGNATURE");
            }
            read = readCodeSignatureCommand(offset, commandPlace);
        }
        if (!read) {
            return read;
        }
        offset += command->commandSize;
    }
    const ZRMachOSlice::Range commandsArea{0, _commandsEnd};
    if (_slice.codeSignature && overlaps(*_slice.codeSignature, commandsArea)) {
        return error("code signature overlaps the load commands");
    }
    return {};
}

ZRCodeSigningResult<void> SliceParser::findCodeSignature() {
    std::uint64_t offset = _commandsStart;
    for (std::uint32_t index = 0; index < _commandCount; ++index) {
        const auto command = _reader.read<LoadCommand>(offset);
        if (!command || command->commandSize < ZRByteView::encodedSize<LoadCommand>() ||
            !ZRByteView::rangeFits(offset, command->commandSize, _commandsEnd)) {
            // The commands before the damage are all a description can use.
            return {};
        }
        if (command->command == loadCommandCodeSignature &&
            command->commandSize >= ZRByteView::encodedSize<LinkEditDataCommand>()) {
            return readCodeSignatureCommand(offset, "load command " + std::to_string(index));
        }
        offset += command->commandSize;
    }
    return {};
}

ZRCodeSigningResult<void> SliceParser::readCodeSignatureCommand(std::uint64_t offset,
                                                                const std::string& commandPlace) {
    const auto command = _reader.read<LinkEditDataCommand>(offset);
    if (!command || !_reader.contains(command->dataOffset, command->dataSize)) {
        return error(commandPlace + " (LC_CODE_SIGNATURE) extends past the end of the slice");
    }
    _slice.codeSignature = ZRMachOSlice::Range{command->dataOffset, command->dataSize};
    return {};
}

template <typename Command, typename SectionLayout>
ZRCodeSigningResult<void> SliceParser::readSegment(std::uint64_t offset, std::uint64_t commandSize,
                                                   const std::string& commandPlace) {
    constexpr std::uint64_t headerSize = ZRByteView::encodedSize<Command>();
    constexpr std::uint64_t sectionSize = ZRByteView::encodedSize<SectionLayout>();
    const auto command = commandSize >= headerSize ? _reader.read<Command>(offset) : std::nullopt;
    if (!command) {
        return error(commandPlace + " is too small for a segment");
    }
    ZRMachOSlice::Segment segment{nameString(command->name), command->fileOffset, command->fileSize};
    if (!_reader.contains(segment.fileOffset, segment.fileSize)) {
        return error(commandPlace + " (segment " + segment.name + ") extends past the end of the slice");
    }
    if (command->sectionCount > (commandSize - headerSize) / sectionSize) {
        return error(commandPlace + " (segment " + segment.name + ") has more sections than fit");
    }
    for (std::uint32_t index = 0; index < command->sectionCount; ++index) {
        const auto section = _reader.read<SectionLayout>(offset + headerSize + index * sectionSize);
        if (!section) {
            return error(commandPlace + " (segment " + segment.name + ") has more sections than fit");
        }
        if (isZeroFill(section->flags)) {
            continue;
        }
        const std::string sectionName = nameString(section->name);
        if (section->fileOffset < segment.fileOffset ||
            !ZRByteView::rangeFits(section->fileOffset - segment.fileOffset, section->size,
                                   segment.fileSize)) {
            return error(commandPlace + " section " + segment.name + "," + sectionName +
                         " lies outside its segment");
        }
        if (segment.name == "__TEXT" && sectionName == "__info_plist") {
            _slice.infoPlistSection = ZRMachOSlice::Range{section->fileOffset, section->size};
        }
    }
    for (const auto& other : _slice.segments) {
        if (overlaps({other.fileOffset, other.fileSize}, {segment.fileOffset, segment.fileSize})) {
            return error(commandPlace + " (segment " + segment.name + ") overlaps segment " + other.name);
        }
    }
    if (segment.name == "__TEXT") {
        _slice.textSegment = ZRMachOSlice::Range{segment.fileOffset, segment.fileSize};
    }
    _slice.segments.push_back(std::move(segment));
    return {};
}

void SliceParser::findStrictProblems() {
    const ZRMachOSlice::Segment* linkEdit = nullptr;
    const ZRMachOSlice::Segment* lastInFile = nullptr;
    for (const auto& segment : _slice.segments) {
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
        if (_slice.codeSignature) {
            _slice.strictProblem = _place + "has a code signature but no __LINKEDIT segment";
        }
        return;
    }
    const std::uint64_t linkEditEnd = linkEdit->fileOffset + linkEdit->fileSize;
    if (lastInFile != linkEdit) {
        _slice.strictProblem = _place + "__LINKEDIT is not the last segment";
    } else if (linkEditEnd != _reader.size()) {
        _slice.strictProblem = _place + "has " +
                               std::to_string(_reader.size() - std::min(_reader.size(), linkEditEnd)) +
                               " bytes after __LINKEDIT";
    } else if (_slice.codeSignature &&
               (_slice.codeSignature->offset < linkEdit->fileOffset ||
                _slice.codeSignature->offset + _slice.codeSignature->size != linkEditEnd)) {
        _slice.strictProblem = _place + "code signature is not at the end of __LINKEDIT";
    }
}

/// Where a universal header places one slice.
struct Placement {
    std::int32_t cpuType = 0;
    std::uint64_t offset = 0;
    std::uint64_t size = 0;
    std::uint32_t alignment = 0;
};

std::optional<Placement> readPlacement(const ZRByteView& reader, std::uint64_t entry, bool is64) {
    if (is64) {
        const auto arch = reader.read<FatArch64>(entry);
        return arch ? std::optional(Placement{arch->cpuType, arch->offset, arch->size, arch->alignment})
                    : std::nullopt;
    }
    const auto arch = reader.read<FatArch>(entry);
    return arch ? std::optional(Placement{arch->cpuType, arch->offset, arch->size, arch->alignment})
                : std::nullopt;
}

/// What strict validation refuses in the placement of universal slices: misalignment, gaps that
/// are too large or not zero, and bytes after the last slice.
std::optional<std::string> universalLayoutProblem(std::span<const std::uint8_t> bytes, std::uint64_t tableEnd,
                                                  std::vector<Placement> placements) {
    std::sort(placements.begin(), placements.end(), [](auto& a, auto& b) { return a.offset < b.offset; });
    std::uint64_t position = tableEnd;
    for (const auto& placement : placements) {
        const std::uint64_t alignment = std::uint64_t{1} << placement.alignment;
        if (placement.offset % alignment != 0) {
            return "a slice is not aligned as the universal header says";
        }
        const auto gap = bytes.subspan(position, placement.offset - position);
        if (gap.size() >= alignment ||
            std::any_of(gap.begin(), gap.end(), [](std::uint8_t byte) { return byte != 0; })) {
            return "the gap before the slice at " + hex(placement.offset) + " is too large or not zero";
        }
        position = placement.offset + placement.size;
    }
    if (position != bytes.size()) {
        return "the file has bytes after its last slice";
    }
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
    return magic && (isThinMagic(*magic) || isUniversalMagic(*magic));
}

ZRCodeSigningResult<ZRMachOFile> ZRMachOFile::parse(std::span<const std::uint8_t> bytes, ZRReadingMode mode) {
    const bool lenient = mode == ZRReadingMode::lenient;
    const auto magic = ZRByteView(bytes).u32(0);
    if (!magic) {
        return badFormat("file is too short for a Mach-O header");
    }
    ZRMachOFile file;
    if (!isUniversalMagic(*magic)) {
        auto slice = SliceParser(bytes, 0, "", mode).parse();
        if (!slice) {
            if (!lenient) {
                return slice.error();
            }
            file._unreadableSlices.push_back(slice.error());
            return file;
        }
        file._strictProblem = slice->strictProblem;
        file._slices.push_back(std::move(slice).value());
        return file;
    }

    file._isUniversal = true;
    const bool is64 = *magic == fatMagic64 || *magic == fatCigam64;
    const ZRByteView reader(bytes, *magic == fatMagic || *magic == fatMagic64
                                       ? ZRByteView::ByteOrder::Big
                                       : ZRByteView::ByteOrder::Little);
    const auto header = reader.read<FatHeader>(0);
    const std::uint32_t count = header ? header->architectureCount : 0;
    if (!lenient && (count == 0 || count > maximumSliceCount)) {
        return badFormat("universal header declares " + (header ? std::to_string(count) : "no") + " slices");
    }
    const std::uint64_t entrySize =
        is64 ? ZRByteView::encodedSize<FatArch64>() : ZRByteView::encodedSize<FatArch>();
    const std::uint64_t tableStart = ZRByteView::encodedSize<FatHeader>();
    const std::uint64_t tableEnd = tableStart + std::uint64_t{count} * entrySize;
    if (!header || !reader.contains(0, tableEnd)) {
        return badFormat("universal header's slice table extends past the end of the file");
    }
    std::vector<Placement> placements;
    for (std::uint32_t index = 0; index < count; ++index) {
        const std::string place = "slice " + std::to_string(index) + " ";
        const auto placement = readPlacement(reader, tableStart + index * entrySize, is64);
        if (!placement || !reader.contains(placement->offset, placement->size) ||
            (!lenient && placement->offset < tableEnd)) {
            if (lenient) {
                // A slice the file does not hold (a truncated copy) has nothing to describe.
                continue;
            }
            return badFormat(place + "extends outside the file");
        }
        if (lenient) {
            auto slice =
                SliceParser(bytes.subspan(placement->offset, placement->size), placement->offset, place, mode)
                    .parse();
            if (slice) {
                file._slices.push_back(std::move(slice).value());
            } else {
                file._unreadableSlices.push_back(slice.error());
            }
            continue;
        }
        if (placement->alignment > 31) {
            return badFormat(place + "has alignment 2^" + std::to_string(placement->alignment));
        }
        for (const auto& other : placements) {
            if (overlaps({other.offset, other.size}, {placement->offset, placement->size})) {
                return badFormat(place + "overlaps another slice");
            }
        }
        auto slice =
            SliceParser(bytes.subspan(placement->offset, placement->size), placement->offset, place, mode)
                .parse();
        if (!slice) {
            return slice.error();
        }
        if (placement->cpuType != slice->cpuType) {
            return badFormat(place + "CPU type differs from the universal header's");
        }
        if (slice->strictProblem && !file._strictProblem) {
            file._strictProblem = slice->strictProblem;
        }
        placements.push_back(*placement);
        file._slices.push_back(std::move(slice).value());
    }
    if (!lenient && !file._strictProblem) {
        file._strictProblem = universalLayoutProblem(bytes, tableEnd, std::move(placements));
    }
    return file;
}
