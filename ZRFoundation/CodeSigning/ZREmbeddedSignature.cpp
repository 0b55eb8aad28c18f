#include "ZRFoundation/CodeSigning/ZREmbeddedSignature.h"

#include "ZRFoundation/CodeSigning/ZRByteView.h"
#include "ZRFoundation/CodeSigning/ZRCodeSigningDigest.h"

#include <algorithm>
#include <cstdio>

namespace {

using namespace ZRMachOFormat;

constexpr std::uint64_t superBlobHeaderSize = ZRByteView::encodedSize<SuperBlobHeader>();
constexpr std::uint64_t indexEntrySize = ZRByteView::encodedSize<BlobIndex>();
constexpr std::uint64_t blobHeaderSize = ZRByteView::encodedSize<BlobHeader>();

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

bool overlapsAny(const std::map<std::uint32_t, std::span<const std::uint8_t>>& blobs,
                 std::span<const std::uint8_t> blob) {
    return std::any_of(blobs.begin(), blobs.end(), [&](const auto& entry) {
        const auto& other = entry.second;
        return blob.data() < other.data() + other.size() && other.data() < blob.data() + blob.size();
    });
}

} // namespace

ZRCodeSigningResult<void> ZREmbeddedSignature::addCodeDirectory(std::uint32_t slot, ZRReadingMode mode) {
    auto directory = ZRCodeDirectory::parse(_blobs.at(slot), "code directory " + slotName(slot) + ": ", mode);
    if (!directory) {
        return directory.error();
    }
    if (mode == ZRReadingMode::validating) {
        for (const auto& other : _codeDirectories) {
            if (other.hashType() == directory->hashType()) {
                return ZRCodeSigningError{ZROSStatus::errSecCSSignatureInvalid,
                                          "code directory " + slotName(slot) + " repeats a hash type"};
            }
        }
    }
    _codeDirectories.push_back(std::move(directory).value());
    _codeDirectorySlots.push_back(slot);
    return {};
}

ZRCodeSigningResult<ZREmbeddedSignature> ZREmbeddedSignature::parse(std::span<const std::uint8_t> bytes,
                                                                    ZRReadingMode mode) {
    const bool validating = mode == ZRReadingMode::validating;
    const ZRByteView reader(bytes);
    const auto magic = reader.u32(0);
    ZREmbeddedSignature signature;
    if (!validating && magic == codeDirectoryMagic) {
        // Some tools store a bare code directory where the SuperBlob belongs.
        signature._blobs.emplace(codeDirectorySlot, bytes);
        if (auto added = signature.addCodeDirectory(codeDirectorySlot, mode); !added) {
            return added.error();
        }
        return signature;
    }
    if (magic != superBlobMagic && (validating || magic != detachedSignatureMagic)) {
        return failed("embedded signature has no SuperBlob magic");
    }
    const auto header = reader.read<SuperBlobHeader>(0);
    // The load command may reserve more space than the SuperBlob uses: the rest is padding.
    if (!header || header->length > bytes.size() || header->length < superBlobHeaderSize) {
        return failed("embedded signature has an invalid length");
    }
    if (header->count > maximumIndexCount ||
        header->count > (header->length - superBlobHeaderSize) / indexEntrySize) {
        return failed("embedded signature index declares " + std::to_string(header->count) + " entries");
    }
    const ZRByteView blobReader(bytes.first(header->length));
    const std::uint64_t indexEnd = superBlobHeaderSize + std::uint64_t{header->count} * indexEntrySize;

    for (std::uint32_t index = 0; index < header->count; ++index) {
        const auto entry = blobReader.read<BlobIndex>(superBlobHeaderSize + index * indexEntrySize);
        const auto blobHeader = entry ? blobReader.read<BlobHeader>(entry->offset) : std::nullopt;
        const auto blob = blobHeader ? blobReader.span(entry->offset, blobHeader->length) : std::nullopt;
        const std::string place = "embedded signature blob " + slotName(entry ? entry->slot : 0);
        if (!blob) {
            if (validating) {
                return failed(place + " is out of range");
            }
            signature._unreadableBlobs.push_back(failed(place + " is out of range"));
            break;
        }
        if (!validating) {
            signature._blobs.emplace(entry->slot, *blob);
            continue;
        }
        if (entry->offset < indexEnd || blob->size() < blobHeaderSize) {
            return failed(place + " is out of range");
        }
        if (overlapsAny(signature._blobs, *blob)) {
            return failed(place + " overlaps another blob");
        }
        if (!signature._blobs.emplace(entry->slot, *blob).second) {
            return failed(place + " appears twice");
        }
    }

    if (validating && !signature._blobs.contains(codeDirectorySlot)) {
        return ZRCodeSigningError{ZROSStatus::errSecCSUnsigned, "embedded signature has no code directory"};
    }
    const auto addDirectory = [&](std::uint32_t slot) -> ZRCodeSigningResult<void> {
        auto added = signature.addCodeDirectory(slot, mode);
        if (!added && !validating) {
            signature._unreadableBlobs.push_back(added.error());
            return {};
        }
        return added;
    };
    if (signature._blobs.contains(codeDirectorySlot)) {
        if (auto added = addDirectory(codeDirectorySlot); !added) {
            return added.error();
        }
    }
    for (std::uint32_t slot = firstAlternateSlot;
         slot < firstAlternateSlot + alternateSlotCount && signature._blobs.contains(slot); ++slot) {
        if (auto added = addDirectory(slot); !added) {
            return added.error();
        }
    }
    if (signature._codeDirectories.empty()) {
        return signature._unreadableBlobs.empty()
                   ? ZRCodeSigningError{ZROSStatus::errSecCSUnsigned,
                                        "embedded signature has no code directory"}
                   : signature._unreadableBlobs.front();
    }
    for (std::size_t index = 1; index < signature._codeDirectories.size(); ++index) {
        if (hashPriority(signature._codeDirectories[index].hashType()) >
            hashPriority(signature._codeDirectories[signature._bestIndex].hashType())) {
            signature._bestIndex = index;
        }
    }

    if (const auto wrapper = signature.blob(signatureSlot)) {
        const auto wrapperHeader = ZRByteView(*wrapper).read<BlobHeader>(0);
        if (!wrapperHeader || wrapperHeader->magic != blobWrapperMagic) {
            if (validating) {
                return failed("signature blob has the wrong magic");
            }
            signature._unreadableBlobs.push_back(failed("signature blob has the wrong magic"));
        } else {
            signature._cms = wrapper->subspan(blobHeaderSize);
        }
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
