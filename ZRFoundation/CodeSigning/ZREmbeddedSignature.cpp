#include "ZRFoundation/CodeSigning/ZREmbeddedSignature.h"

#include "ZRFoundation/CodeSigning/ZRByteView.h"
#include "ZRFoundation/CodeSigning/ZRCodeSigningDigest.h"

#include <algorithm>
#include <cstdio>

namespace {

constexpr std::uint64_t superBlobHeaderSize = 12;
constexpr std::uint64_t indexEntrySize = 8;

ZRCodeSigningError failed(std::string text) {
    return ZRCodeSigningError{ZROSStatus::errSecCSSignatureFailed, std::move(text)};
}

std::string slotName(std::uint32_t slot) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%x", slot);
    return text;
}

int hashPriority(std::uint8_t hashType) {
    switch (hashType) {
    case ZRCodeSigningDigest::sha384:
        return 5;
    case ZRCodeSigningDigest::sha512:
        return 4;
    case ZRCodeSigningDigest::sha256:
        return 3;
    case ZRCodeSigningDigest::sha256Truncated:
        return 2;
    case ZRCodeSigningDigest::sha1:
        return 1;
    default:
        return 0;
    }
}

} // namespace

ZRCodeSigningResult<ZREmbeddedSignature> ZREmbeddedSignature::parse(std::span<const std::uint8_t> bytes) {
    const ZRByteView reader(bytes);
    if (reader.u32(0) != superBlobMagic) {
        return failed("embedded signature has no SuperBlob magic");
    }
    const auto length = reader.u32(4);
    const auto count = reader.u32(8);
    // The load command may reserve more space than the SuperBlob uses: the rest is padding.
    if (!length || !count || *length > bytes.size() || *length < superBlobHeaderSize) {
        return failed("embedded signature has an invalid length");
    }
    if (*count > maximumIndexCount || *count > (*length - superBlobHeaderSize) / indexEntrySize) {
        return failed("embedded signature index declares " + std::to_string(*count) + " entries");
    }
    const ZRByteView blobReader(bytes.first(*length));
    const std::uint64_t indexEnd = superBlobHeaderSize + std::uint64_t{*count} * indexEntrySize;

    ZREmbeddedSignature signature;
    struct Extent {
        std::uint64_t offset, size;
    };
    std::vector<Extent> extents;
    for (std::uint32_t index = 0; index < *count; ++index) {
        const std::uint32_t slot = *blobReader.u32(superBlobHeaderSize + index * indexEntrySize);
        const std::uint32_t offset = *blobReader.u32(superBlobHeaderSize + index * indexEntrySize + 4);
        const auto blobLength = blobReader.u32(std::uint64_t{offset} + 4);
        const std::string place = "embedded signature blob " + slotName(slot);
        if (offset < indexEnd || !blobLength || *blobLength < 8 ||
            !blobReader.contains(offset, *blobLength)) {
            return failed(place + " is out of range");
        }
        for (const auto& extent : extents) {
            if (offset < extent.offset + extent.size && extent.offset < offset + std::uint64_t{*blobLength}) {
                return failed(place + " overlaps another blob");
            }
        }
        if (!signature._blobs.emplace(slot, *blobReader.span(offset, *blobLength)).second) {
            return failed(place + " appears twice");
        }
        extents.push_back({offset, *blobLength});
    }

    const auto addDirectory = [&](std::uint32_t slot) -> std::optional<ZRCodeSigningError> {
        auto directory =
            ZRCodeDirectory::parse(signature._blobs.at(slot), "code directory " + slotName(slot) + ": ");
        if (!directory) {
            return directory.error();
        }
        for (const auto& other : signature._codeDirectories) {
            if (other.hashType() == directory->hashType()) {
                return ZRCodeSigningError{ZROSStatus::errSecCSSignatureInvalid,
                                          "code directory " + slotName(slot) + " repeats a hash type"};
            }
        }
        signature._codeDirectories.push_back(std::move(directory).value());
        signature._codeDirectorySlots.push_back(slot);
        return std::nullopt;
    };
    if (!signature._blobs.contains(codeDirectorySlot)) {
        return ZRCodeSigningError{ZROSStatus::errSecCSUnsigned, "embedded signature has no code directory"};
    }
    if (auto failure = addDirectory(codeDirectorySlot)) {
        return *failure;
    }
    for (std::uint32_t slot = firstAlternateSlot;
         slot < firstAlternateSlot + alternateSlotCount && signature._blobs.contains(slot); ++slot) {
        if (auto failure = addDirectory(slot)) {
            return *failure;
        }
    }
    for (std::size_t index = 1; index < signature._codeDirectories.size(); ++index) {
        if (hashPriority(signature._codeDirectories[index].hashType()) >
            hashPriority(signature._codeDirectories[signature._bestIndex].hashType())) {
            signature._bestIndex = index;
        }
    }

    if (const auto wrapper = signature.blob(signatureSlot)) {
        if (ZRByteView(*wrapper).u32(0) != blobWrapperMagic) {
            return failed("signature blob has the wrong magic");
        }
        signature._cms = wrapper->subspan(8);
    }
    return signature;
}

std::optional<std::span<const std::uint8_t>> ZREmbeddedSignature::blob(std::uint32_t slot) const {
    const auto found = _blobs.find(slot);
    if (found == _blobs.end()) {
        return std::nullopt;
    }
    return found->second;
}
