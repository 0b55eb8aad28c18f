#pragma once

#include "ZRFoundation/CodeSigning/ZRByteView.h"

#include <array>
#include <cstdint>
#include <string>

/// Mach-O and code-signature structures as they lie in a file: magic numbers, command, slot and
/// flag values, and the layouts the readers decode with ZRByteView::read. Each layout lists its
/// fields in file order; the byte order is the view's. Mach-O headers and load commands use the
/// slice's byte order, universal headers are big-endian (unless their magic reads swapped), and
/// everything inside a code signature is big-endian.
namespace ZRMachOFormat {

// MARK: Magic numbers, as the first four bytes read big-endian.

inline constexpr std::uint32_t machMagic32 = 0xfeedface;
inline constexpr std::uint32_t machMagic64 = 0xfeedfacf;
inline constexpr std::uint32_t machCigam32 = 0xcefaedfe;
inline constexpr std::uint32_t machCigam64 = 0xcffaedfe;
inline constexpr std::uint32_t fatMagic = 0xcafebabe;
inline constexpr std::uint32_t fatMagic64 = 0xcafebabf;
inline constexpr std::uint32_t fatCigam = 0xbebafeca;
inline constexpr std::uint32_t fatCigam64 = 0xbfbafeca;

inline constexpr bool isThinMagic(std::uint32_t magic) {
    return magic == machMagic32 || magic == machMagic64 || magic == machCigam32 || magic == machCigam64;
}
inline constexpr bool isUniversalMagic(std::uint32_t magic) {
    return magic == fatMagic || magic == fatMagic64 || magic == fatCigam || magic == fatCigam64;
}

// MARK: Load commands and sections.

inline constexpr std::uint32_t loadCommandSegment = 0x1;
inline constexpr std::uint32_t loadCommandSegment64 = 0x19;
inline constexpr std::uint32_t loadCommandCodeSignature = 0x1d;

inline constexpr std::uint32_t sectionTypeMask = 0xff;
inline constexpr std::uint32_t sectionZeroFill = 0x1;
inline constexpr std::uint32_t sectionGigabyteZeroFill = 0xc;
inline constexpr std::uint32_t sectionThreadLocalZeroFill = 0x12;

// MARK: Code-signature blobs.

inline constexpr std::uint32_t requirementMagic = 0xfade0c00;
inline constexpr std::uint32_t requirementSetMagic = 0xfade0c01;
inline constexpr std::uint32_t codeDirectoryMagic = 0xfade0c02;
inline constexpr std::uint32_t embeddedSignatureMagic = 0xfade0cc0;
inline constexpr std::uint32_t detachedSignatureMagic = 0xfade0cc1;
inline constexpr std::uint32_t entitlementsMagic = 0xfade7171;
inline constexpr std::uint32_t derEntitlementsMagic = 0xfade7172;
inline constexpr std::uint32_t launchConstraintMagic = 0xfade8181;
/// The wrapper around the CMS signature.
inline constexpr std::uint32_t blobWrapperMagic = 0xfade0b01;

// MARK: SuperBlob slots. Special slot n also names the hash stored n hashes below a code
// directory's hash offset.

inline constexpr std::uint32_t codeDirectorySlot = 0;
inline constexpr std::uint32_t infoSlot = 1;
inline constexpr std::uint32_t requirementsSlot = 2;
inline constexpr std::uint32_t resourceDirectorySlot = 3;
inline constexpr std::uint32_t topDirectorySlot = 4;
inline constexpr std::uint32_t entitlementsSlot = 5;
inline constexpr std::uint32_t representationSpecificSlot = 6;
inline constexpr std::uint32_t derEntitlementsSlot = 7;
inline constexpr std::uint32_t launchConstraintSelfSlot = 8;
inline constexpr std::uint32_t launchConstraintParentSlot = 9;
inline constexpr std::uint32_t launchConstraintResponsibleSlot = 10;
inline constexpr std::uint32_t libraryConstraintSlot = 11;
/// Alternate code directories sit in 0x1000 onwards, read until the first empty slot.
inline constexpr std::uint32_t firstAlternateCodeDirectorySlot = 0x1000;
inline constexpr std::uint32_t alternateCodeDirectorySlotCount = 5;
inline constexpr std::uint32_t signatureSlot = 0x10000;
inline constexpr std::uint32_t identificationSlot = 0x10001;
inline constexpr std::uint32_t ticketSlot = 0x10002;

// MARK: Code directory versions, flags and execution-segment flags.

inline constexpr std::uint32_t earliestCodeDirectoryVersion = 0x20001;
inline constexpr std::uint32_t scatterVersion = 0x20100;
inline constexpr std::uint32_t teamVersion = 0x20200;
inline constexpr std::uint32_t codeLimit64Version = 0x20300;
inline constexpr std::uint32_t execSegmentVersion = 0x20400;
inline constexpr std::uint32_t runtimeVersion = 0x20500;
inline constexpr std::uint32_t linkageVersion = 0x20600;
/// Later versions are accepted as long as they only append fields.
inline constexpr std::uint32_t latestCodeDirectoryVersion = 0x2F000;

inline constexpr std::uint32_t codeDirectoryFlagHost = 0x1;
inline constexpr std::uint32_t codeDirectoryFlagAdhoc = 0x2;
inline constexpr std::uint32_t codeDirectoryFlagForceHard = 0x100;
inline constexpr std::uint32_t codeDirectoryFlagForceKill = 0x200;
inline constexpr std::uint32_t codeDirectoryFlagForceExpiration = 0x400;
inline constexpr std::uint32_t codeDirectoryFlagRestrict = 0x800;
inline constexpr std::uint32_t codeDirectoryFlagEnforcement = 0x1000;
inline constexpr std::uint32_t codeDirectoryFlagLibraryValidation = 0x2000;
inline constexpr std::uint32_t codeDirectoryFlagRuntime = 0x10000;
inline constexpr std::uint32_t codeDirectoryFlagLinkerSigned = 0x20000;

inline constexpr std::uint64_t execSegmentMainBinary = 0x1;
inline constexpr std::uint64_t execSegmentAllowUnsigned = 0x10;
inline constexpr std::uint64_t execSegmentDebugger = 0x20;
inline constexpr std::uint64_t execSegmentJIT = 0x40;
inline constexpr std::uint64_t execSegmentSkipLibraryValidation = 0x80;
inline constexpr std::uint64_t execSegmentCanLoadCdHash = 0x100;
inline constexpr std::uint64_t execSegmentCanExecCdHash = 0x200;

/// A segment or section name: up to 16 bytes, NUL-padded when shorter.
using Name = std::array<char, 16>;
inline std::string nameString(const Name& name) {
    std::size_t length = 0;
    while (length < name.size() && name[length] != '\0') {
        ++length;
    }
    return std::string(name.data(), length);
}

// MARK: Mach-O layouts.

struct MachHeader {
    std::uint32_t magic = 0;
    std::int32_t cpuType = 0;
    std::int32_t cpuSubtype = 0;
    std::uint32_t fileType = 0;
    std::uint32_t commandCount = 0;
    std::uint32_t commandsSize = 0;
    std::uint32_t flags = 0;

    template <typename Visit>
    constexpr void fields(Visit&& visit) {
        visit(magic), visit(cpuType), visit(cpuSubtype), visit(fileType), visit(commandCount),
            visit(commandsSize), visit(flags);
    }
    bool operator==(const MachHeader&) const = default;
};

/// The 64-bit header: the 32-bit one followed by a reserved word.
struct MachHeader64 {
    MachHeader header;
    std::uint32_t reserved = 0;

    template <typename Visit>
    constexpr void fields(Visit&& visit) {
        header.fields(visit);
        visit(reserved);
    }
    bool operator==(const MachHeader64&) const = default;
};

struct FatHeader {
    std::uint32_t magic = 0;
    std::uint32_t architectureCount = 0;

    template <typename Visit>
    constexpr void fields(Visit&& visit) {
        visit(magic), visit(architectureCount);
    }
    bool operator==(const FatHeader&) const = default;
};

struct FatArch {
    std::int32_t cpuType = 0;
    std::int32_t cpuSubtype = 0;
    std::uint32_t offset = 0;
    std::uint32_t size = 0;
    /// log2 of the slice's alignment.
    std::uint32_t alignment = 0;

    template <typename Visit>
    constexpr void fields(Visit&& visit) {
        visit(cpuType), visit(cpuSubtype), visit(offset), visit(size), visit(alignment);
    }
    bool operator==(const FatArch&) const = default;
};

struct FatArch64 {
    std::int32_t cpuType = 0;
    std::int32_t cpuSubtype = 0;
    std::uint64_t offset = 0;
    std::uint64_t size = 0;
    std::uint32_t alignment = 0;
    std::uint32_t reserved = 0;

    template <typename Visit>
    constexpr void fields(Visit&& visit) {
        visit(cpuType), visit(cpuSubtype), visit(offset), visit(size), visit(alignment), visit(reserved);
    }
    bool operator==(const FatArch64&) const = default;
};

/// The start of every load command.
struct LoadCommand {
    std::uint32_t command = 0;
    std::uint32_t commandSize = 0;

    template <typename Visit>
    constexpr void fields(Visit&& visit) {
        visit(command), visit(commandSize);
    }
    bool operator==(const LoadCommand&) const = default;
};

/// LC_CODE_SIGNATURE and the other commands that point into __LINKEDIT.
struct LinkEditDataCommand {
    std::uint32_t command = 0;
    std::uint32_t commandSize = 0;
    std::uint32_t dataOffset = 0;
    std::uint32_t dataSize = 0;

    template <typename Visit>
    constexpr void fields(Visit&& visit) {
        visit(command), visit(commandSize), visit(dataOffset), visit(dataSize);
    }
    bool operator==(const LinkEditDataCommand&) const = default;
};

/// LC_SEGMENT; its sections follow it inside the command.
struct SegmentCommand {
    std::uint32_t command = 0;
    std::uint32_t commandSize = 0;
    Name name{};
    std::uint32_t virtualAddress = 0;
    std::uint32_t virtualSize = 0;
    std::uint32_t fileOffset = 0;
    std::uint32_t fileSize = 0;
    std::int32_t maximumProtection = 0;
    std::int32_t initialProtection = 0;
    std::uint32_t sectionCount = 0;
    std::uint32_t flags = 0;

    template <typename Visit>
    constexpr void fields(Visit&& visit) {
        visit(command), visit(commandSize), visit(name), visit(virtualAddress), visit(virtualSize),
            visit(fileOffset), visit(fileSize), visit(maximumProtection), visit(initialProtection),
            visit(sectionCount), visit(flags);
    }
    bool operator==(const SegmentCommand&) const = default;
};

struct SegmentCommand64 {
    std::uint32_t command = 0;
    std::uint32_t commandSize = 0;
    Name name{};
    std::uint64_t virtualAddress = 0;
    std::uint64_t virtualSize = 0;
    std::uint64_t fileOffset = 0;
    std::uint64_t fileSize = 0;
    std::int32_t maximumProtection = 0;
    std::int32_t initialProtection = 0;
    std::uint32_t sectionCount = 0;
    std::uint32_t flags = 0;

    template <typename Visit>
    constexpr void fields(Visit&& visit) {
        visit(command), visit(commandSize), visit(name), visit(virtualAddress), visit(virtualSize),
            visit(fileOffset), visit(fileSize), visit(maximumProtection), visit(initialProtection),
            visit(sectionCount), visit(flags);
    }
    bool operator==(const SegmentCommand64&) const = default;
};

struct Section {
    Name name{};
    Name segmentName{};
    std::uint32_t address = 0;
    std::uint32_t size = 0;
    std::uint32_t fileOffset = 0;
    std::uint32_t alignment = 0;
    std::uint32_t relocationOffset = 0;
    std::uint32_t relocationCount = 0;
    std::uint32_t flags = 0;
    std::uint32_t reserved1 = 0;
    std::uint32_t reserved2 = 0;

    template <typename Visit>
    constexpr void fields(Visit&& visit) {
        visit(name), visit(segmentName), visit(address), visit(size), visit(fileOffset), visit(alignment),
            visit(relocationOffset), visit(relocationCount), visit(flags), visit(reserved1), visit(reserved2);
    }
    bool operator==(const Section&) const = default;
};

struct Section64 {
    Name name{};
    Name segmentName{};
    std::uint64_t address = 0;
    std::uint64_t size = 0;
    std::uint32_t fileOffset = 0;
    std::uint32_t alignment = 0;
    std::uint32_t relocationOffset = 0;
    std::uint32_t relocationCount = 0;
    std::uint32_t flags = 0;
    std::uint32_t reserved1 = 0;
    std::uint32_t reserved2 = 0;
    std::uint32_t reserved3 = 0;

    template <typename Visit>
    constexpr void fields(Visit&& visit) {
        visit(name), visit(segmentName), visit(address), visit(size), visit(fileOffset), visit(alignment),
            visit(relocationOffset), visit(relocationCount), visit(flags), visit(reserved1), visit(reserved2),
            visit(reserved3);
    }
    bool operator==(const Section64&) const = default;
};

// MARK: Code-signature layouts (always big-endian).

/// The start of every blob: its magic and its whole length, header included.
struct BlobHeader {
    std::uint32_t magic = 0;
    std::uint32_t length = 0;

    template <typename Visit>
    constexpr void fields(Visit&& visit) {
        visit(magic), visit(length);
    }
    bool operator==(const BlobHeader&) const = default;
};

/// The SuperBlob header; `count` BlobIndex entries follow it.
struct SuperBlobHeader {
    std::uint32_t magic = 0;
    std::uint32_t length = 0;
    std::uint32_t count = 0;

    template <typename Visit>
    constexpr void fields(Visit&& visit) {
        visit(magic), visit(length), visit(count);
    }
    bool operator==(const SuperBlobHeader&) const = default;
};

struct BlobIndex {
    std::uint32_t slot = 0;
    /// From the start of the SuperBlob.
    std::uint32_t offset = 0;

    template <typename Visit>
    constexpr void fields(Visit&& visit) {
        visit(slot), visit(offset);
    }
    bool operator==(const BlobIndex&) const = default;
};

/// The fields every code directory version has. Offsets are from the start of the directory.
struct CodeDirectoryHeader {
    std::uint32_t magic = 0;
    std::uint32_t length = 0;
    std::uint32_t version = 0;
    std::uint32_t flags = 0;
    std::uint32_t hashOffset = 0;
    std::uint32_t identifierOffset = 0;
    std::uint32_t specialSlotCount = 0;
    std::uint32_t codeSlotCount = 0;
    std::uint32_t codeLimit = 0;
    std::uint8_t hashSize = 0;
    std::uint8_t hashType = 0;
    std::uint8_t platform = 0;
    /// log2 of the page size; 0 means the whole code is one page.
    std::uint8_t pageSizeShift = 0;
    std::uint32_t spare2 = 0;

    template <typename Visit>
    constexpr void fields(Visit&& visit) {
        visit(magic), visit(length), visit(version), visit(flags), visit(hashOffset), visit(identifierOffset),
            visit(specialSlotCount), visit(codeSlotCount), visit(codeLimit), visit(hashSize), visit(hashType),
            visit(platform), visit(pageSizeShift), visit(spare2);
    }
    bool operator==(const CodeDirectoryHeader&) const = default;
};

// Each later version appends one group of fields right after the previous one: `offset` is where
// the group starts, `version` the first version that has it.

struct CodeDirectoryScatter {
    static constexpr std::uint32_t version = scatterVersion;
    static constexpr std::uint64_t offset = ZRByteView::encodedSize<CodeDirectoryHeader>();
    std::uint32_t scatterOffset = 0;

    template <typename Visit>
    constexpr void fields(Visit&& visit) {
        visit(scatterOffset);
    }
    bool operator==(const CodeDirectoryScatter&) const = default;
};

struct CodeDirectoryTeam {
    static constexpr std::uint32_t version = teamVersion;
    static constexpr std::uint64_t offset =
        CodeDirectoryScatter::offset + ZRByteView::encodedSize<CodeDirectoryScatter>();
    std::uint32_t teamOffset = 0;

    template <typename Visit>
    constexpr void fields(Visit&& visit) {
        visit(teamOffset);
    }
    bool operator==(const CodeDirectoryTeam&) const = default;
};

struct CodeDirectoryCodeLimit64 {
    static constexpr std::uint32_t version = codeLimit64Version;
    static constexpr std::uint64_t offset =
        CodeDirectoryTeam::offset + ZRByteView::encodedSize<CodeDirectoryTeam>();
    std::uint32_t spare3 = 0;
    /// Replaces the 32-bit code limit when not zero.
    std::uint64_t codeLimit64 = 0;

    template <typename Visit>
    constexpr void fields(Visit&& visit) {
        visit(spare3), visit(codeLimit64);
    }
    bool operator==(const CodeDirectoryCodeLimit64&) const = default;
};

struct CodeDirectoryExecSegment {
    static constexpr std::uint32_t version = execSegmentVersion;
    static constexpr std::uint64_t offset =
        CodeDirectoryCodeLimit64::offset + ZRByteView::encodedSize<CodeDirectoryCodeLimit64>();
    std::uint64_t execSegmentBase = 0;
    std::uint64_t execSegmentLimit = 0;
    std::uint64_t execSegmentFlags = 0;

    template <typename Visit>
    constexpr void fields(Visit&& visit) {
        visit(execSegmentBase), visit(execSegmentLimit), visit(execSegmentFlags);
    }
    bool operator==(const CodeDirectoryExecSegment&) const = default;
};

struct CodeDirectoryRuntime {
    static constexpr std::uint32_t version = runtimeVersion;
    static constexpr std::uint64_t offset =
        CodeDirectoryExecSegment::offset + ZRByteView::encodedSize<CodeDirectoryExecSegment>();
    std::uint32_t runtime = 0;
    std::uint32_t preEncryptOffset = 0;

    template <typename Visit>
    constexpr void fields(Visit&& visit) {
        visit(runtime), visit(preEncryptOffset);
    }
    bool operator==(const CodeDirectoryRuntime&) const = default;
};

struct CodeDirectoryLinkage {
    static constexpr std::uint32_t version = linkageVersion;
    static constexpr std::uint64_t offset =
        CodeDirectoryRuntime::offset + ZRByteView::encodedSize<CodeDirectoryRuntime>();
    std::uint8_t linkageHashType = 0;
    std::uint8_t linkageTruncated = 0;
    std::uint16_t spare4 = 0;
    std::uint32_t linkageOffset = 0;
    std::uint32_t linkageSize = 0;

    template <typename Visit>
    constexpr void fields(Visit&& visit) {
        visit(linkageHashType), visit(linkageTruncated), visit(spare4), visit(linkageOffset),
            visit(linkageSize);
    }
    bool operator==(const CodeDirectoryLinkage&) const = default;
};

/// One entry of the scatter vector, which ends with an entry whose count is 0.
struct ScatterEntry {
    std::uint32_t count = 0;
    /// The first page of this run, in pages.
    std::uint32_t base = 0;
    std::uint64_t targetOffset = 0;
    std::uint64_t spare = 0;

    template <typename Visit>
    constexpr void fields(Visit&& visit) {
        visit(count), visit(base), visit(targetOffset), visit(spare);
    }
    bool operator==(const ScatterEntry&) const = default;
};

/// The bytes of a code directory header of `version`: the fixed fields and every group that
/// version has.
constexpr std::uint64_t codeDirectoryHeaderSize(std::uint32_t version) {
    if (version >= CodeDirectoryLinkage::version) {
        return CodeDirectoryLinkage::offset + ZRByteView::encodedSize<CodeDirectoryLinkage>();
    }
    if (version >= CodeDirectoryRuntime::version) {
        return CodeDirectoryRuntime::offset + ZRByteView::encodedSize<CodeDirectoryRuntime>();
    }
    if (version >= CodeDirectoryExecSegment::version) {
        return CodeDirectoryExecSegment::offset + ZRByteView::encodedSize<CodeDirectoryExecSegment>();
    }
    if (version >= CodeDirectoryCodeLimit64::version) {
        return CodeDirectoryCodeLimit64::offset + ZRByteView::encodedSize<CodeDirectoryCodeLimit64>();
    }
    if (version >= CodeDirectoryTeam::version) {
        return CodeDirectoryTeam::offset + ZRByteView::encodedSize<CodeDirectoryTeam>();
    }
    if (version >= CodeDirectoryScatter::version) {
        return CodeDirectoryScatter::offset + ZRByteView::encodedSize<CodeDirectoryScatter>();
    }
    return ZRByteView::encodedSize<CodeDirectoryHeader>();
}

// The sizes the format defines; a field list that drifts from them fails to compile.
static_assert(ZRByteView::encodedSize<MachHeader>() == 28);
static_assert(ZRByteView::encodedSize<MachHeader64>() == 32);
static_assert(ZRByteView::encodedSize<FatHeader>() == 8);
static_assert(ZRByteView::encodedSize<FatArch>() == 20);
static_assert(ZRByteView::encodedSize<FatArch64>() == 32);
static_assert(ZRByteView::encodedSize<LoadCommand>() == 8);
static_assert(ZRByteView::encodedSize<LinkEditDataCommand>() == 16);
static_assert(ZRByteView::encodedSize<SegmentCommand>() == 56);
static_assert(ZRByteView::encodedSize<SegmentCommand64>() == 72);
static_assert(ZRByteView::encodedSize<Section>() == 68);
static_assert(ZRByteView::encodedSize<Section64>() == 80);
static_assert(ZRByteView::encodedSize<SuperBlobHeader>() == 12);
static_assert(ZRByteView::encodedSize<BlobIndex>() == 8);
static_assert(ZRByteView::encodedSize<ScatterEntry>() == 24);
static_assert(codeDirectoryHeaderSize(earliestCodeDirectoryVersion) == 44);
static_assert(codeDirectoryHeaderSize(scatterVersion) == 48);
static_assert(codeDirectoryHeaderSize(teamVersion) == 52);
static_assert(codeDirectoryHeaderSize(codeLimit64Version) == 64);
static_assert(codeDirectoryHeaderSize(execSegmentVersion) == 88);
static_assert(codeDirectoryHeaderSize(runtimeVersion) == 96);
static_assert(codeDirectoryHeaderSize(linkageVersion) == 108);

} // namespace ZRMachOFormat
