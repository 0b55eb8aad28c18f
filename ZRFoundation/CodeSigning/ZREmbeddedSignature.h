#pragma once

#include "ZRFoundation/CodeSigning/ZRCodeDirectory.h"
#include "ZRFoundation/CodeSigning/ZRCodeSigningResult.h"

#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <vector>

/// The embedded signature SuperBlob of one slice (magic 0xfade0cc0): its index validated (every
/// blob inside, no overlaps, no duplicate slots), the code directories of slot 0 and the
/// alternate slots 0x1000–0x1004, and the other blobs by slot. Views the bytes it was made from.
class ZREmbeddedSignature {
public:
    static constexpr std::uint32_t superBlobMagic = 0xfade0cc0;
    static constexpr std::uint32_t requirementSetMagic = 0xfade0c01;
    static constexpr std::uint32_t entitlementsMagic = 0xfade7171;
    static constexpr std::uint32_t derEntitlementsMagic = 0xfade7172;
    static constexpr std::uint32_t blobWrapperMagic = 0xfade0b01;
    static constexpr std::uint32_t codeDirectorySlot = 0;
    static constexpr std::uint32_t firstAlternateSlot = 0x1000;
    static constexpr std::uint32_t alternateSlotCount = 5;
    static constexpr std::uint32_t signatureSlot = 0x10000;
    static constexpr std::uint32_t maximumIndexCount = 10000;

    /// Errors: errSecCSUnsigned without a slot-0 code directory, errSecCSSignatureInvalid for two
    /// code directories with one hash type, the code directory's own errors, errSecCSSignatureFailed
    /// for a damaged index.
    static ZRCodeSigningResult<ZREmbeddedSignature> parse(std::span<const std::uint8_t> bytes);

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

private:
    ZREmbeddedSignature() = default;

    std::vector<ZRCodeDirectory> _codeDirectories;
    std::vector<std::uint32_t> _codeDirectorySlots;
    std::size_t _bestIndex = 0;
    std::map<std::uint32_t, std::span<const std::uint8_t>> _blobs;
    std::optional<std::span<const std::uint8_t>> _cms;
};
