#include "ZRFoundation/CodeSigning/ZRCodeDirectory.h"

#include "ZRFoundation/CodeSigning/ZRByteView.h"
#include "ZRFoundation/CodeSigning/ZRCodeSigningDigest.h"

#include <algorithm>

namespace {

constexpr std::uint64_t baseHeaderSize = 44;
constexpr std::uint32_t scatterVersion = 0x20100;
constexpr std::uint32_t teamVersion = 0x20200;
constexpr std::uint32_t codeLimit64Version = 0x20300;
constexpr std::uint32_t execSegmentVersion = 0x20400;
constexpr std::uint32_t hardenedRuntimeVersion = 0x20500;
constexpr std::uint32_t linkageVersion = 0x20600;
/// Pages larger than 16 MiB are not something any signer writes.
constexpr std::uint8_t largestPageSizeShift = 24;
constexpr std::uint64_t scatterEntrySize = 24;
constexpr std::uint32_t maximumScatterEntries = 65536;

std::uint64_t headerSizeForVersion(std::uint32_t version) {
    if (version >= linkageVersion) {
        return 108;
    }
    if (version >= hardenedRuntimeVersion) {
        return 96;
    }
    if (version >= execSegmentVersion) {
        return 88;
    }
    if (version >= codeLimit64Version) {
        return 64;
    }
    if (version >= teamVersion) {
        return 52;
    }
    if (version >= scatterVersion) {
        return 48;
    }
    return baseHeaderSize;
}

} // namespace

ZRCodeSigningResult<ZRCodeDirectory> ZRCodeDirectory::parse(std::span<const std::uint8_t> blob,
                                                            const std::string& place) {
    auto failed = [&](std::string text) {
        return ZRCodeSigningError{ZROSStatus::errSecCSSignatureFailed, place + text};
    };
    const ZRByteView outer(blob);
    if (outer.u32(0) != magic) {
        return failed("is not a code directory");
    }
    const auto length = outer.u32(4);
    if (!length || *length > blob.size() || *length < baseHeaderSize) {
        return failed("has an invalid length");
    }
    const ZRByteView reader(blob.first(*length));
    ZRCodeDirectory directory;
    directory._bytes = reader.bytes();
    directory._version = *reader.u32(8);
    if (directory._version < earliestVersion || directory._version > latestVersion) {
        return ZRCodeSigningError{ZROSStatus::errSecCSSignatureUnsupported,
                                  place + "has unsupported version " + std::to_string(directory._version)};
    }
    if (!reader.contains(0, headerSizeForVersion(directory._version))) {
        return failed("is shorter than its version's header");
    }
    directory._flags = *reader.u32(12);
    directory._hashOffset = *reader.u32(16);
    const std::uint32_t identifierOffset = *reader.u32(20);
    directory._specialSlotCount = *reader.u32(24);
    directory._codeSlotCount = *reader.u32(28);
    directory._codeLimit = *reader.u32(32);
    directory._hashSize = *reader.u8(36);
    directory._hashType = *reader.u8(37);
    directory._platform = *reader.u8(38);
    directory._pageSizeShift = *reader.u8(39);

    if (!ZRCodeSigningDigest::isSupported(directory._hashType)) {
        return ZRCodeSigningError{ZROSStatus::errSecCSSignatureUnsupported,
                                  place + "has unknown hash type " + std::to_string(directory._hashType)};
    }
    if (directory._hashSize != ZRCodeSigningDigest::storedSize(directory._hashType)) {
        return failed("hash size does not fit its hash type");
    }
    const auto identifier = reader.cString(identifierOffset, reader.size());
    if (identifierOffset < baseHeaderSize || !identifier) {
        return failed("identifier is out of range");
    }
    directory._identifier = *identifier;

    if (directory._version >= teamVersion) {
        const std::uint32_t teamOffset = *reader.u32(48);
        if (teamOffset != 0) {
            const auto team = reader.cString(teamOffset, reader.size());
            if (teamOffset < baseHeaderSize || !team) {
                return failed("team identifier is out of range");
            }
            directory._teamIdentifier = *team;
        }
    }
    if (directory._version >= codeLimit64Version) {
        const std::uint64_t codeLimit64 = *reader.u64(56);
        if (codeLimit64 != 0) {
            directory._codeLimit = codeLimit64;
        }
    }
    if (directory._version >= execSegmentVersion) {
        directory._execSegmentBase = *reader.u64(64);
        directory._execSegmentLimit = *reader.u64(72);
        directory._execSegmentFlags = *reader.u64(80);
    }
    if (directory._version >= hardenedRuntimeVersion) {
        directory._runtimeVersion = *reader.u32(88);
    }

    // Hash slots: the special slots sit below hashOffset, the code slots from it on.
    const std::uint64_t hashSize = directory._hashSize;
    const std::uint64_t specialBytes = std::uint64_t{directory._specialSlotCount} * hashSize;
    const std::uint64_t codeBytes = std::uint64_t{directory._codeSlotCount} * hashSize;
    if (directory._hashOffset < baseHeaderSize || specialBytes > directory._hashOffset - baseHeaderSize ||
        !reader.contains(directory._hashOffset, codeBytes)) {
        return failed("hash slots are out of range");
    }

    if (directory._pageSizeShift != 0 && directory._pageSizeShift > largestPageSizeShift) {
        return failed("page size is out of range");
    }
    std::uint64_t expectedSlots = directory._codeLimit > 0 ? 1 : 0;
    if (directory._pageSizeShift != 0) {
        const std::uint64_t pageSize = std::uint64_t{1} << directory._pageSizeShift;
        expectedSlots = directory._codeLimit / pageSize + (directory._codeLimit % pageSize != 0 ? 1 : 0);
    }
    if (expectedSlots != directory._codeSlotCount) {
        return failed("code slot count does not match the code limit");
    }

    if (directory._version >= scatterVersion) {
        const std::uint32_t scatterOffset = *reader.u32(44);
        if (scatterOffset != 0) {
            std::uint64_t pages = 0;
            std::uint32_t entry = 0;
            for (;; ++entry) {
                const std::uint64_t entryOffset = scatterOffset + std::uint64_t{entry} * scatterEntrySize;
                const auto count = reader.u32(entryOffset);
                if (!count || !reader.contains(entryOffset, scatterEntrySize) ||
                    entry > maximumScatterEntries) {
                    return failed("scatter vector is out of range");
                }
                if (*count == 0) {
                    break;
                }
                const std::uint64_t base = *reader.u32(entryOffset + 4);
                if (base != pages) {
                    return failed("scatter vector is not contiguous");
                }
                pages += *count;
            }
            if (pages != directory._codeSlotCount) {
                return failed("scatter vector does not cover the code slots");
            }
        }
    }
    if (directory._version >= hardenedRuntimeVersion) {
        const std::uint32_t preEncryptOffset = *reader.u32(92);
        if (preEncryptOffset != 0 && !reader.contains(preEncryptOffset, codeBytes)) {
            return failed("pre-encryption hashes are out of range");
        }
    }
    return directory;
}

std::span<const std::uint8_t> ZRCodeDirectory::codeSlotHash(std::uint32_t index) const {
    return _bytes.subspan(_hashOffset + std::uint64_t{index} * _hashSize, _hashSize);
}

std::optional<std::span<const std::uint8_t>> ZRCodeDirectory::specialSlotHash(std::uint32_t slot) const {
    if (slot == 0 || slot > _specialSlotCount) {
        return std::nullopt;
    }
    return _bytes.subspan(_hashOffset - std::uint64_t{slot} * _hashSize, _hashSize);
}

bool ZRCodeDirectory::hasSpecialSlot(std::uint32_t slot) const {
    const auto hash = specialSlotHash(slot);
    return hash && std::any_of(hash->begin(), hash->end(), [](std::uint8_t byte) { return byte != 0; });
}

std::vector<std::uint8_t> ZRCodeDirectory::fullHash() const {
    const std::uint8_t type =
        _hashType == ZRCodeSigningDigest::sha256Truncated ? ZRCodeSigningDigest::sha256 : _hashType;
    return ZRCodeSigningDigest::digest(type, _bytes);
}

std::vector<std::uint8_t> ZRCodeDirectory::cdhash() const {
    auto hash = fullHash();
    hash.resize(std::min<std::size_t>(hash.size(), 20));
    return hash;
}
