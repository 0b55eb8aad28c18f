#pragma once

#include "ZRFoundation/CodeSigning/ZRCodeSigningResult.h"
#include "ZRFoundation/CodeSigning/ZRMachOFormat.h"
#include "ZRFoundation/CodeSigning/ZRReadingMode.h"

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

/// A code directory blob (magic 0xfade0c02), checked for internal integrity at construction:
/// supported version and hash type, identifier and team strings, hash, scatter and pre-encrypt
/// ranges inside the blob, and the number of code slots matching the code limit. Views the bytes
/// it was made from.
///
/// Read leniently, only the length, the identifier and the team identifier must be sound: version,
/// hash type, page size and scatter vector are not judged, header fields the blob is too short for
/// read as zero, and slot counts whose hashes would lie outside the blob read as zero, so that the
/// accessors still stay inside the blob.
class ZRCodeDirectory {
public:
    static constexpr std::uint32_t magic = ZRMachOFormat::codeDirectoryMagic;
    static constexpr std::uint32_t earliestVersion = ZRMachOFormat::earliestCodeDirectoryVersion;
    static constexpr std::uint32_t latestVersion = ZRMachOFormat::latestCodeDirectoryVersion;
    static constexpr std::uint32_t flagAdhoc = ZRMachOFormat::codeDirectoryFlagAdhoc;
    static constexpr std::uint32_t flagRuntime = ZRMachOFormat::codeDirectoryFlagRuntime;
    static constexpr std::uint32_t flagLinkerSigned = ZRMachOFormat::codeDirectoryFlagLinkerSigned;

    enum SpecialSlot : std::uint32_t {
        infoSlot = ZRMachOFormat::infoSlot,
        requirementsSlot = ZRMachOFormat::requirementsSlot,
        resourceDirectorySlot = ZRMachOFormat::resourceDirectorySlot,
        topDirectorySlot = ZRMachOFormat::topDirectorySlot,
        entitlementsSlot = ZRMachOFormat::entitlementsSlot,
        representationSpecificSlot = ZRMachOFormat::representationSpecificSlot,
        derEntitlementsSlot = ZRMachOFormat::derEntitlementsSlot,
    };

    /// `place` prefixes error texts ("code directory 0x1000: ").
    static ZRCodeSigningResult<ZRCodeDirectory> parse(std::span<const std::uint8_t> blob,
                                                      const std::string& place,
                                                      ZRReadingMode mode = ZRReadingMode::validating);

    std::span<const std::uint8_t> bytes() const { return _bytes; }
    std::uint32_t version() const { return _version; }
    std::uint32_t flags() const { return _flags; }
    std::uint8_t hashType() const { return _hashType; }
    std::uint8_t hashSize() const { return _hashSize; }
    std::uint8_t platform() const { return _platform; }
    /// log2 of the page size; 0 means the whole code is one page.
    std::uint8_t pageSizeShift() const { return _pageSizeShift; }
    std::uint32_t specialSlotCount() const { return _specialSlotCount; }
    std::uint32_t codeSlotCount() const { return _codeSlotCount; }
    /// The number of bytes the page hashes cover (the 64-bit limit when one is set).
    std::uint64_t codeLimit() const { return _codeLimit; }
    const std::string& identifier() const { return _identifier; }
    const std::optional<std::string>& teamIdentifier() const { return _teamIdentifier; }
    std::uint64_t execSegmentBase() const { return _execSegmentBase; }
    std::uint64_t execSegmentLimit() const { return _execSegmentLimit; }
    std::uint64_t execSegmentFlags() const { return _execSegmentFlags; }
    std::uint32_t runtimeVersion() const { return _runtimeVersion; }

    std::span<const std::uint8_t> codeSlotHash(std::uint32_t index) const;
    /// The hash for special slot n (1-based), or nothing when the directory has fewer slots.
    std::optional<std::span<const std::uint8_t>> specialSlotHash(std::uint32_t slot) const;
    /// True when slot n exists and its hash is not all zeros (a slot left empty by the signer).
    bool hasSpecialSlot(std::uint32_t slot) const;

    /// The directory's own-type digest of its bytes, untruncated.
    std::vector<std::uint8_t> fullHash() const;
    /// The code directory hash: fullHash truncated to 20 bytes.
    std::vector<std::uint8_t> cdhash() const;

private:
    ZRCodeDirectory() = default;

    std::span<const std::uint8_t> _bytes;
    std::uint32_t _version = 0;
    std::uint32_t _flags = 0;
    std::uint32_t _hashOffset = 0;
    std::uint32_t _specialSlotCount = 0;
    std::uint32_t _codeSlotCount = 0;
    std::uint64_t _codeLimit = 0;
    std::uint8_t _hashSize = 0;
    std::uint8_t _hashType = 0;
    std::uint8_t _platform = 0;
    std::uint8_t _pageSizeShift = 0;
    std::string _identifier;
    std::optional<std::string> _teamIdentifier;
    std::uint64_t _execSegmentBase = 0;
    std::uint64_t _execSegmentLimit = 0;
    std::uint64_t _execSegmentFlags = 0;
    std::uint32_t _runtimeVersion = 0;
};
