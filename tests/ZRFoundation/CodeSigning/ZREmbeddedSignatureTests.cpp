#include "Support/CodeSigningFixtures.h"
#include "ZRFoundation/CodeSigning/ZRByteView.h"
#include "ZRFoundation/CodeSigning/ZRCodeSignatureValidator.h"
#include "ZRFoundation/CodeSigning/ZREmbeddedSignature.h"
#include "ZRFoundation/CodeSigning/ZRMachOFile.h"
#include "ZRFoundation/CodeSigning/ZRMachOFormat.h"
#include "tools/FixtureSigner/FixtureTamper.h"

#include <gtest/gtest.h>

namespace {

using namespace CodeSigningFixtures;

void putBig(std::vector<std::uint8_t>& bytes, std::size_t offset, std::uint32_t value) {
    for (int index = 0; index < 4; ++index) {
        bytes[offset + index] = static_cast<std::uint8_t>(value >> (24 - 8 * index));
    }
}

/// The signature bytes of a signed fixture, copied out of the file.
std::vector<std::uint8_t> signatureOf(const std::vector<std::uint8_t>& file) {
    const auto parsed = ZRMachOFile::parse(file);
    const auto bytes = parsed->slices().front().signatureBytes();
    return {bytes.begin(), bytes.end()};
}

ZRCodeSigningError errorOf(const std::vector<std::uint8_t>& signature) {
    const auto parsed = ZREmbeddedSignature::parse(signature);
    return parsed ? ZRCodeSigningError{0, ""} : parsed.error();
}

class EmbeddedSignature : public ::testing::Test {
protected:
    std::vector<std::uint8_t> file = FixtureSigner::sign(executable(), developerIDOptions());
    std::vector<std::uint8_t> signature = signatureOf(file);
    /// Offset of the first code directory inside the signature.
    std::uint32_t directoryOffset() const {
        return static_cast<std::uint32_t>(signature[16] << 24 | signature[17] << 16 | signature[18] << 8 |
                                          signature[19]);
    }
};

TEST_F(EmbeddedSignature, ReadsBothCodeDirectoriesAndPicksSHA256) {
    const auto parsed = ZREmbeddedSignature::parse(signature);
    ASSERT_TRUE(parsed) << parsed.error().description;
    ASSERT_EQ(parsed->codeDirectories().size(), 2U);
    EXPECT_EQ(parsed->codeDirectorySlots()[1], 0x1000U);
    EXPECT_EQ(parsed->bestCodeDirectory().hashType(), 2);
    const auto& directory = parsed->bestCodeDirectory();
    EXPECT_EQ(directory.identifier(), "com.example.fixture");
    EXPECT_EQ(directory.teamIdentifier(), "FIXTURE123");
    EXPECT_EQ(directory.version(), 0x20400U);
    EXPECT_EQ(directory.pageSizeShift(), 12);
    EXPECT_EQ(directory.cdhash().size(), 20U);
    EXPECT_TRUE(directory.hasSpecialSlot(1));
    EXPECT_TRUE(directory.hasSpecialSlot(2));
    EXPECT_FALSE(directory.hasSpecialSlot(3));
    ASSERT_TRUE(parsed->cmsSignature());
    EXPECT_FALSE(parsed->cmsSignature()->empty());
}

TEST_F(EmbeddedSignature, RefusesADamagedIndex) {
    auto badMagic = signature;
    badMagic[0] = 0;
    EXPECT_EQ(errorOf(badMagic).status, ZROSStatus::errSecCSSignatureFailed);

    auto hugeCount = signature;
    putBig(hugeCount, 8, 0x7fffffff);
    EXPECT_NE(errorOf(hugeCount).description.find("entries"), std::string::npos);

    auto longLength = signature;
    putBig(longLength, 4, 0x7fffffff);
    EXPECT_EQ(errorOf(longLength).status, ZROSStatus::errSecCSSignatureFailed);

    auto outside = signature;
    putBig(outside, 16, 0x7ffffff0);
    EXPECT_NE(errorOf(outside).description.find("out of range"), std::string::npos);

    auto overlapping = signature;
    putBig(overlapping, 24, directoryOffset()); // requirements on top of the code directory
    EXPECT_NE(errorOf(overlapping).description.find("overlaps"), std::string::npos);

    auto duplicate = signature;
    putBig(duplicate, 20, 0); // second entry also claims slot 0
    EXPECT_NE(errorOf(duplicate).description.find("twice"), std::string::npos);
}

TEST_F(EmbeddedSignature, WithoutASlotZeroDirectoryTheCodeIsUnsigned) {
    auto moved = signature;
    putBig(moved, 12, 0x7000);
    EXPECT_EQ(errorOf(moved).status, ZROSStatus::errSecCSUnsigned);
}

TEST_F(EmbeddedSignature, RefusesTwoDirectoriesWithOneHashType) {
    auto options = developerIDOptions();
    options.hashTypes = {2, 2};
    options.codeDirectoryHashAttributes = false;
    const auto twice = signatureOf(FixtureSigner::sign(executable(), options));
    EXPECT_EQ(errorOf(twice).status, ZROSStatus::errSecCSSignatureInvalid);
}

TEST_F(EmbeddedSignature, ChecksCodeDirectoryIntegrity) {
    const std::uint32_t directory = directoryOffset();
    auto version = signature;
    putBig(version, directory + 8, 0x30000);
    EXPECT_EQ(errorOf(version).status, ZROSStatus::errSecCSSignatureUnsupported);
    auto old = signature;
    putBig(old, directory + 8, 0x10000);
    EXPECT_EQ(errorOf(old).status, ZROSStatus::errSecCSSignatureUnsupported);

    auto hashType = signature;
    hashType[directory + 37] = 9;
    EXPECT_EQ(errorOf(hashType).status, ZROSStatus::errSecCSSignatureUnsupported);

    auto hashSize = signature;
    hashSize[directory + 36] = 32; // SHA-1 directory claiming 32-byte hashes
    EXPECT_EQ(errorOf(hashSize).status, ZROSStatus::errSecCSSignatureFailed);

    auto identifier = signature;
    putBig(identifier, directory + 20, 0x7fffffff);
    EXPECT_NE(errorOf(identifier).description.find("identifier"), std::string::npos);

    auto slots = signature;
    putBig(slots, directory + 28, 0x7fffffff);
    EXPECT_NE(errorOf(slots).description.find("hash slots"), std::string::npos);

    auto specials = signature;
    putBig(specials, directory + 24, 0x7fffffff);
    EXPECT_NE(errorOf(specials).description.find("hash slots"), std::string::npos);

    auto limit = signature;
    putBig(limit, directory + 32, 100); // one page, but four code slots
    EXPECT_NE(errorOf(limit).description.find("code slot count"), std::string::npos);

    auto team = signature;
    putBig(team, directory + 48, 0x7fffffff);
    EXPECT_NE(errorOf(team).description.find("team"), std::string::npos);
}

TEST_F(EmbeddedSignature, HandlesAllPageSizesAndAShortLastPage) {
    TemporaryFolder folder;
    for (const std::uint8_t shift : {std::uint8_t{0}, std::uint8_t{12}, std::uint8_t{14}}) {
        auto options = developerIDOptions();
        options.pageSizeShift = shift;
        for (const std::uint8_t type :
             {std::uint8_t{1}, std::uint8_t{2}, std::uint8_t{3}, std::uint8_t{4}, std::uint8_t{5}}) {
            options.hashTypes = {type};
            const auto bytes = FixtureSigner::sign(executable(), options);
            const auto parsed = ZREmbeddedSignature::parse(signatureOf(bytes));
            ASSERT_TRUE(parsed) << parsed.error().description;
            EXPECT_EQ(parsed->bestCodeDirectory().pageSizeShift(), shift);
            auto request = ZRCodeSignatureValidator::Request();
            request.executable = write(folder, "page", bytes);
            request.extraTrustAnchors = fixtureAnchors();
            EXPECT_EQ(ZRCodeSignatureValidator::validate(request).status, 0)
                << "page size shift " << int(shift) << ", hash type " << int(type);
        }
    }
}

} // namespace

namespace {

/// Offset inside the signature of the SuperBlob index entry for `slot`.
std::uint64_t indexEntryOffset(const std::vector<std::uint8_t>& signature, std::uint32_t slot) {
    const ZRByteView view(signature);
    const auto header = view.read<ZRMachOFormat::SuperBlobHeader>(0);
    for (std::uint32_t index = 0; header && index < header->count; ++index) {
        const std::uint64_t offset = ZRByteView::encodedSize<ZRMachOFormat::SuperBlobHeader>() +
                                     index * ZRByteView::encodedSize<ZRMachOFormat::BlobIndex>();
        if (const auto entry = view.read<ZRMachOFormat::BlobIndex>(offset); entry && entry->slot == slot) {
            return offset;
        }
    }
    ADD_FAILURE() << "no blob in slot " << slot;
    return 0;
}

/// Offset inside the signature of the blob in `slot`.
std::uint32_t blobOffset(const std::vector<std::uint8_t>& signature, std::uint32_t slot) {
    const auto entry =
        ZRByteView(signature).read<ZRMachOFormat::BlobIndex>(indexEntryOffset(signature, slot));
    return entry ? entry->offset : 0;
}

TEST_F(EmbeddedSignature, LenientReadingKeepsTheReadableDirectoriesAndListsTheRest) {
    auto damaged = signature;
    putBig(damaged, blobOffset(signature, 0x1000) + 20, 0x7fffffff); // identifier offset
    EXPECT_FALSE(ZREmbeddedSignature::parse(damaged));
    const auto lenient = ZREmbeddedSignature::parse(damaged, ZRReadingMode::lenient);
    ASSERT_TRUE(lenient) << lenient.error().description;
    ASSERT_EQ(lenient->codeDirectories().size(), 1U);
    EXPECT_EQ(lenient->codeDirectorySlots()[0], 0U);
    ASSERT_EQ(lenient->unreadableBlobs().size(), 1U);
    EXPECT_NE(lenient->unreadableBlobs()[0].description.find("code directory 0x1000"), std::string::npos);
    EXPECT_TRUE(lenient->cmsSignature());

    // An index entry outside the SuperBlob ends the index, leaving out the CMS signature.
    auto outside = signature;
    putBig(outside, indexEntryOffset(signature, ZRMachOFormat::signatureSlot) + 4, 0x7ffffff0);
    const auto cut = ZREmbeddedSignature::parse(outside, ZRReadingMode::lenient);
    ASSERT_TRUE(cut) << cut.error().description;
    EXPECT_EQ(cut->codeDirectories().size(), 2U);
    EXPECT_FALSE(cut->cmsSignature());
    EXPECT_EQ(cut->unreadableBlobs().size(), 1U);
}

TEST_F(EmbeddedSignature, ALenientDirectoryWithHashesOutsideItHasNoSlots) {
    auto damaged = signature;
    putBig(damaged, directoryOffset() + 28, 0x7fffffff); // code slot count
    const auto lenient = ZREmbeddedSignature::parse(damaged, ZRReadingMode::lenient);
    ASSERT_TRUE(lenient) << lenient.error().description;
    const auto& directory = lenient->codeDirectories()[0];
    EXPECT_EQ(directory.codeSlotCount(), 0U);
    EXPECT_EQ(directory.specialSlotCount(), 0U);
    EXPECT_FALSE(directory.specialSlotHash(1));
    EXPECT_EQ(directory.identifier(), "com.example.fixture");
    EXPECT_TRUE(lenient->unreadableBlobs().empty());

    // With zero-byte hashes any slot count would seem to fit.
    auto sizeless = signature;
    sizeless[directoryOffset() + 36] = 0;
    putBig(sizeless, directoryOffset() + 24, 0x40000000); // special slot count
    const auto withoutHashes = ZREmbeddedSignature::parse(sizeless, ZRReadingMode::lenient);
    ASSERT_TRUE(withoutHashes) << withoutHashes.error().description;
    EXPECT_EQ(withoutHashes->codeDirectories()[0].specialSlotCount(), 0U);
    EXPECT_EQ(withoutHashes->codeDirectories()[0].codeSlotCount(), 0U);
}

} // namespace
