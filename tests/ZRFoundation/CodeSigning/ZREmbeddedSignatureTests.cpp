#include "CodeSigningTestSupport.h"
#include "ZRFoundation/CodeSigning/ZRByteView.h"
#include "ZRFoundation/CodeSigning/ZRCodeSignatureValidator.h"
#include "ZRFoundation/CodeSigning/ZREmbeddedSignature.h"
#include "ZRFoundation/CodeSigning/ZRMachOFile.h"
#include "ZRFoundation/CodeSigning/ZRMachOFormat.h"
#include "tools/FixtureSigner/FixtureTamper.h"

#include <gmock/gmock.h>
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

/// A field of a signature set to a value it may not hold, and how the parser must refuse it.
struct Damage {
    std::size_t offset;
    std::uint32_t value;
    std::int32_t status; // 0 for any refusal
    const char* problem; // part of the description
    bool oneByte = false;
};

void expectRefused(const std::vector<std::uint8_t>& signature, std::initializer_list<Damage> damages) {
    ASSERT_EQ(errorOf(signature).status, 0) << "the unchanged signature must parse";
    for (const auto& damage : damages) {
        auto bytes = signature;
        if (damage.oneByte) {
            bytes[damage.offset] = static_cast<std::uint8_t>(damage.value);
        } else {
            putBig(bytes, damage.offset, damage.value);
        }
        const auto error = errorOf(bytes);
        EXPECT_NE(error.status, 0) << "offset " << damage.offset;
        if (damage.status != 0) {
            EXPECT_EQ(error.status, damage.status) << "offset " << damage.offset;
        }
        EXPECT_THAT(error.description, testing::HasSubstr(damage.problem)) << "offset " << damage.offset;
    }
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
    const auto& directory = parsed->bestCodeDirectory();
    EXPECT_EQ(std::tuple(directory.hashType(), directory.identifier(), directory.teamIdentifier(),
                         directory.version(), directory.pageSizeShift(), directory.cdhash().size()),
              std::tuple(2, "com.example.fixture", "FIXTURE123", 0x20400U, 12, 20U));
    EXPECT_TRUE(directory.hasSpecialSlot(1) && directory.hasSpecialSlot(2) && !directory.hasSpecialSlot(3));
    EXPECT_FALSE(parsed->cmsSignature().value().empty());
}

TEST_F(EmbeddedSignature, RefusesADamagedIndex) {
    using namespace ZROSStatus;
    expectRefused(signature, {{0, 0, errSecCSSignatureFailed, "", true}, // the magic
                              {8, 0x7fffffff, 0, "entries"},
                              {4, 0x7fffffff, errSecCSSignatureFailed, ""}, // the length
                              {16, 0x7ffffff0, 0, "out of range"},
                              {24, directoryOffset(), 0, "overlaps"}, // requirements on the code directory
                              {20, 0, 0, "twice"}});                  // a second entry claims slot 0
}

TEST_F(EmbeddedSignature, WithoutASlotZeroDirectoryTheCodeIsUnsigned) {
    expectRefused(signature, {{12, 0x7000, ZROSStatus::errSecCSUnsigned, ""}});
}

TEST_F(EmbeddedSignature, RefusesTwoDirectoriesWithOneHashType) {
    auto options = developerIDOptions();
    options.hashTypes = {2, 2};
    options.codeDirectoryHashAttributes = false;
    const auto twice = signatureOf(FixtureSigner::sign(executable(), options));
    EXPECT_EQ(errorOf(twice).status, ZROSStatus::errSecCSSignatureInvalid);
}

TEST_F(EmbeddedSignature, ChecksCodeDirectoryIntegrity) {
    using namespace ZROSStatus;
    const std::uint32_t directory = directoryOffset();
    expectRefused(signature, {{directory + 8, 0x30000, errSecCSSignatureUnsupported, ""}, // version
                              {directory + 8, 0x10000, errSecCSSignatureUnsupported, ""},
                              {directory + 37, 9, errSecCSSignatureUnsupported, "", true}, // hash type
                              // A SHA-1 directory claiming 32-byte hashes.
                              {directory + 36, 32, errSecCSSignatureFailed, "", true},
                              {directory + 20, 0x7fffffff, 0, "identifier"},
                              {directory + 28, 0x7fffffff, 0, "hash slots"},
                              {directory + 24, 0x7fffffff, 0, "hash slots"},
                              {directory + 32, 100, 0, "code slot count"}, // one page, but four code slots
                              {directory + 48, 0x7fffffff, 0, "team"}});
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
            EXPECT_EQ(CodeSigningTestSupport::validate(write(folder, "page", bytes)).status, 0)
                << "page size shift " << int(shift) << ", hash type " << int(type);
        }
    }
}

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
    EXPECT_THAT(lenient->unreadableBlobs()[0].description, testing::HasSubstr("code directory 0x1000"));
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
    EXPECT_EQ(std::tuple(directory.codeSlotCount(), directory.specialSlotCount(), directory.identifier()),
              std::tuple(0U, 0U, "com.example.fixture"));
    EXPECT_FALSE(directory.specialSlotHash(1));
    EXPECT_TRUE(lenient->unreadableBlobs().empty());

    // With zero-byte hashes any slot count would seem to fit.
    auto sizeless = signature;
    sizeless[directoryOffset() + 36] = 0;
    putBig(sizeless, directoryOffset() + 24, 0x40000000); // special slot count
    const auto withoutHashes = ZREmbeddedSignature::parse(sizeless, ZRReadingMode::lenient);
    ASSERT_TRUE(withoutHashes) << withoutHashes.error().description;
    const auto& hashless = withoutHashes->codeDirectories()[0];
    EXPECT_EQ(std::tuple(hashless.specialSlotCount(), hashless.codeSlotCount()), std::tuple(0U, 0U));
}

} // namespace
