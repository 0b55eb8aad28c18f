#pragma once

#include "ZRFoundation/CodeSigning/ZRCodeDirectory.h"
#include "ZRFoundation/CodeSigning/ZRCodeSigningResult.h"
#include "ZRFoundation/CodeSigning/ZRMachOFormat.h"
#include "ZRFoundation/CodeSigning/ZRReadingMode.h"

#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <vector>

/// The embedded signature SuperBlob of one slice (magic 0xfade0cc0): its index validated (every
/// blob inside, no overlaps, no duplicate slots), the code directories of slot 0 and the
/// alternate slots 0x1000–0x1004, and the other blobs by slot. Views the bytes it was made from.
///
/// Read leniently, a detached SuperBlob (0xfade0cc1) or a bare code directory is accepted too,
/// directories are read leniently and may lack slot 0, blobs need only lie inside the SuperBlob
/// (the first of a slot wins), and a blob or directory that cannot be read is left out and listed
/// in unreadableBlobs(); an entry outside the SuperBlob ends the index. Only a signature without
/// any readable code directory is refused.
class ZREmbeddedSignature {
public:
    static constexpr std::uint32_t superBlobMagic = ZRMachOFormat::embeddedSignatureMagic;
    static constexpr std::uint32_t requirementSetMagic = ZRMachOFormat::requirementSetMagic;
    static constexpr std::uint32_t entitlementsMagic = ZRMachOFormat::entitlementsMagic;
    static constexpr std::uint32_t derEntitlementsMagic = ZRMachOFormat::derEntitlementsMagic;
    static constexpr std::uint32_t blobWrapperMagic = ZRMachOFormat::blobWrapperMagic;
    static constexpr std::uint32_t codeDirectorySlot = ZRMachOFormat::codeDirectorySlot;
    static constexpr std::uint32_t firstAlternateSlot = ZRMachOFormat::firstAlternateCodeDirectorySlot;
    static constexpr std::uint32_t alternateSlotCount = ZRMachOFormat::alternateCodeDirectorySlotCount;
    static constexpr std::uint32_t signatureSlot = ZRMachOFormat::signatureSlot;
    static constexpr std::uint32_t maximumIndexCount = 10000;

    /// Errors: errSecCSUnsigned without a slot-0 code directory, errSecCSSignatureInvalid for two
    /// code directories with one hash type, the code directory's own errors, errSecCSSignatureFailed
    /// for a damaged index.
    static ZRCodeSigningResult<ZREmbeddedSignature> parse(std::span<const std::uint8_t> bytes,
                                                          ZRReadingMode mode = ZRReadingMode::validating);

    /// Slot 0 first, then the alternates in slot order.
    const std::vector<ZRCodeDirectory>& codeDirectories() const { return _codeDirectories; }
    const std::vector<std::uint32_t>& codeDirectorySlots() const { return _codeDirectorySlots; }
    /// The directory with the strongest hash (SHA-384, SHA-512, SHA-256, truncated SHA-256, SHA-1).
    const ZRCodeDirectory& bestCodeDirectory() const { return _codeDirectories[_bestIndex]; }
    /// The whole blob stored under a slot (header included), when present.
    std::optional<std::span<const std::uint8_t>> blob(std::uint32_t slot) const;
    /// The CMS bytes inside the signature wrapper; empty for an ad-hoc wrapper; nothing when the
    /// signature has no wrapper at all.
    std::optional<std::span<const std::uint8_t>> cmsSignature() const { return _cms; }
    /// Read leniently: why blobs or code directories were left out (empty when nothing was).
    const std::vector<ZRCodeSigningError>& unreadableBlobs() const { return _unreadableBlobs; }

private:
    ZREmbeddedSignature() = default;

    ZRCodeSigningResult<void> addCodeDirectory(std::uint32_t slot, ZRReadingMode mode);

    std::vector<ZRCodeDirectory> _codeDirectories;
    std::vector<std::uint32_t> _codeDirectorySlots;
    std::size_t _bestIndex = 0;
    std::map<std::uint32_t, std::span<const std::uint8_t>> _blobs;
    std::optional<std::span<const std::uint8_t>> _cms;
    std::vector<ZRCodeSigningError> _unreadableBlobs;
};
