#include "ZRFoundation/CodeSigning/ZRCodeDirectory.h"

#include "ZRFoundation/CodeSigning/ZRByteView.h"
#include "ZRFoundation/CodeSigning/ZRCodeSigningDigest.h"

#include <algorithm>

namespace {

using namespace ZRMachOFormat;

constexpr std::uint64_t baseHeaderSize = ZRByteView::encodedSize<CodeDirectoryHeader>();
/// Pages larger than 16 MiB are not something any signer writes.
constexpr std::uint8_t largestPageSizeShift = 24;
constexpr std::uint32_t maximumScatterEntries = 65536;

/// The group of header fields a directory of `version` has, when the directory holds it.
template <typename Group>
std::optional<Group> readGroup(const ZRByteView& directory, std::uint32_t version) {
    return version >= Group::version ? directory.read<Group>(Group::offset) : std::nullopt;
}

} // namespace

ZRCodeSigningResult<ZRCodeDirectory> ZRCodeDirectory::parse(std::span<const std::uint8_t> blob,
                                                            const std::string& place, ZRReadingMode mode) {
    const bool validating = mode == ZRReadingMode::validating;
    auto failed = [&](std::string text) {
        return ZRCodeSigningError{ZROSStatus::errSecCSSignatureFailed, place + text};
    };
    const auto blobHeader = ZRByteView(blob).read<BlobHeader>(0);
    if (!blobHeader || blobHeader->magic != magic) {
        return failed("is not a code directory");
    }
    if (blobHeader->length > blob.size() || blobHeader->length < baseHeaderSize) {
        return failed("has an invalid length");
    }
    const ZRByteView reader(blob.first(blobHeader->length));
    const auto header = reader.read<CodeDirectoryHeader>(0);
    if (!header) {
        return failed("has an invalid length");
    }
    ZRCodeDirectory directory;
    directory._bytes = reader.bytes();
    directory._version = header->version;
    if (validating && (directory._version < earliestVersion || directory._version > latestVersion)) {
        return ZRCodeSigningError{ZROSStatus::errSecCSSignatureUnsupported,
                                  place + "has unsupported version " + std::to_string(directory._version)};
    }
    if (validating && !reader.contains(0, codeDirectoryHeaderSize(directory._version))) {
        return failed("is shorter than its version's header");
    }
    directory._flags = header->flags;
    directory._hashOffset = header->hashOffset;
    directory._specialSlotCount = header->specialSlotCount;
    directory._codeSlotCount = header->codeSlotCount;
    directory._codeLimit = header->codeLimit;
    directory._hashSize = header->hashSize;
    directory._hashType = header->hashType;
    directory._platform = header->platform;
    directory._pageSizeShift = header->pageSizeShift;

    if (validating && !ZRCodeSigningDigest::isSupported(directory._hashType)) {
        return ZRCodeSigningError{ZROSStatus::errSecCSSignatureUnsupported,
                                  place + "has unknown hash type " + std::to_string(directory._hashType)};
    }
    if (validating && directory._hashSize != ZRCodeSigningDigest::storedSize(directory._hashType)) {
        return failed("hash size does not fit its hash type");
    }
    const auto identifier = reader.cString(header->identifierOffset, reader.size());
    if (!identifier || (validating && header->identifierOffset < baseHeaderSize)) {
        return failed("identifier is out of range");
    }
    directory._identifier = *identifier;

    if (directory._version >= teamVersion) {
        const auto team = readGroup<CodeDirectoryTeam>(reader, directory._version);
        if (!team) {
            return failed("team identifier is out of range");
        }
        if (team->teamOffset != 0) {
            const auto name = reader.cString(team->teamOffset, reader.size());
            if (!name || (validating && team->teamOffset < baseHeaderSize)) {
                return failed("team identifier is out of range");
            }
            directory._teamIdentifier = *name;
        }
    }
    if (const auto limit = readGroup<CodeDirectoryCodeLimit64>(reader, directory._version);
        limit && limit->codeLimit64 != 0) {
        directory._codeLimit = limit->codeLimit64;
    }
    if (const auto segment = readGroup<CodeDirectoryExecSegment>(reader, directory._version)) {
        directory._execSegmentBase = segment->execSegmentBase;
        directory._execSegmentLimit = segment->execSegmentLimit;
        directory._execSegmentFlags = segment->execSegmentFlags;
    }
    const auto runtime = readGroup<CodeDirectoryRuntime>(reader, directory._version);
    if (runtime) {
        directory._runtimeVersion = runtime->runtime;
    }

    // Hash slots: the special slots sit below hashOffset, the code slots from it on. Zero-byte
    // hashes (only a lenient read gets this far with them) would let any count fit.
    const std::uint64_t hashSize = directory._hashSize;
    const std::uint64_t specialBytes = std::uint64_t{directory._specialSlotCount} * hashSize;
    const std::uint64_t codeBytes = std::uint64_t{directory._codeSlotCount} * hashSize;
    if (hashSize == 0 || directory._hashOffset < baseHeaderSize ||
        specialBytes > directory._hashOffset - baseHeaderSize ||
        !reader.contains(directory._hashOffset, codeBytes)) {
        if (validating) {
            return failed("hash slots are out of range");
        }
        directory._specialSlotCount = 0;
        directory._codeSlotCount = 0;
    }
    if (!validating) {
        return directory;
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

    if (const auto scatter = readGroup<CodeDirectoryScatter>(reader, directory._version);
        scatter && scatter->scatterOffset != 0) {
        std::uint64_t pages = 0;
        for (std::uint32_t index = 0;; ++index) {
            const auto entry = index <= maximumScatterEntries
                                   ? reader.read<ScatterEntry>(scatter->scatterOffset +
                                                               std::uint64_t{index} *
                                                                   ZRByteView::encodedSize<ScatterEntry>())
                                   : std::nullopt;
            if (!entry) {
                return failed("scatter vector is out of range");
            }
            if (entry->count == 0) {
                break;
            }
            if (entry->base != pages) {
                return failed("scatter vector is not contiguous");
            }
            pages += entry->count;
        }
        if (pages != directory._codeSlotCount) {
            return failed("scatter vector does not cover the code slots");
        }
    }
    if (runtime && runtime->preEncryptOffset != 0 && !reader.contains(runtime->preEncryptOffset, codeBytes)) {
        return failed("pre-encryption hashes are out of range");
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
