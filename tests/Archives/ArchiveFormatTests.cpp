#include "Code/Archives/ArchiveFormat.h"
#include "SevenZipFixtures.h"
#include "Support/SpecialFiles.h"
#include "Support/TemporaryFolder.h"

#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

std::vector<std::uint8_t> bytes(std::string_view text) {
    return {text.begin(), text.end()};
}

/// A 512-byte disk image trailer with the given version and size fields.
std::vector<std::uint8_t> kolyTrailer(std::uint8_t version = 4, std::uint16_t size = 512) {
    std::vector<std::uint8_t> trailer(512, 0);
    std::copy_n("koly", 4, trailer.begin());
    trailer[7] = version;
    trailer[10] = static_cast<std::uint8_t>(size >> 8);
    trailer[11] = static_cast<std::uint8_t>(size & 0xff);
    return trailer;
}

std::vector<std::uint8_t> tarHead(std::string_view magic) {
    std::vector<std::uint8_t> head(512, 0);
    std::copy(magic.begin(), magic.end(), head.begin() + 257);
    return head;
}

struct Recognition {
    const char* name;
    std::vector<std::uint8_t> head;
    std::vector<std::uint8_t> trailer;
    std::optional<ArchiveFormat> expected;
};

class ArchiveFormatRecognition : public testing::TestWithParam<Recognition> {};

TEST_P(ArchiveFormatRecognition, GoesByTheBytes) {
    EXPECT_EQ(ArchiveFormats::recognize(GetParam().head, GetParam().trailer), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ArchiveFormatRecognition,
    testing::ValuesIn(std::vector<Recognition>{
        {"DiskImageByItsTrailer", bytes("anything at all"), kolyTrailer(), ArchiveFormat::diskImage},
        // A zip's head wins nothing over the trailer: a disk image may begin with any bytes.
        {"DiskImageWhateverItsHead", bytes("PK\x03\x04"), kolyTrailer(), ArchiveFormat::diskImage},
        {"KolyOfAnotherVersion", bytes("x"), kolyTrailer(3), std::nullopt},
        {"KolyOfAnotherSize", bytes("x"), kolyTrailer(4, 511), std::nullopt},
        {"KolyInAShortFile", bytes("x"), bytes("koly\0\0\0\x04"), std::nullopt},
        {"Zip", bytes("PK\x03\x04rest"), {}, ArchiveFormat::zip},
        {"EmptyZip", bytes("PK\x05\x06"), {}, ArchiveFormat::zip},
        {"Xar", bytes("xar!\0\x1c"), {}, ArchiveFormat::xar},
        {"PosixTar", tarHead(std::string_view("ustar\0", 6)), {}, ArchiveFormat::tar},
        {"GnuTar", tarHead("ustar  "), {}, ArchiveFormat::tar},
        {"CpioPortable", bytes("070707000000"), {}, ArchiveFormat::cpio},
        {"CpioNew", bytes("070701000000"), {}, ArchiveFormat::cpio},
        {"CpioBinaryBigEndian", bytes("\x71\xc7"), {}, ArchiveFormat::cpio},
        {"Gzip", bytes("\x1f\x8b\x08"), {}, ArchiveFormat::gzip},
        {"Bzip2", bytes("BZh9"), {}, ArchiveFormat::bzip2},
        {"Bzip2WithoutBlockSize", bytes("BZhx"), {}, std::nullopt},
        {"Xz",
         bytes(std::string_view("\xfd"
                                "7zXZ\0",
                                6)),
         {},
         ArchiveFormat::xz},
        {"Zstd", bytes("\x28\xb5\x2f\xfd"), {}, ArchiveFormat::zstd},
        {"TextNamedDmg", bytes("this is not a disk image\n"), bytes("this is not a disk image\n"),
         std::nullopt},
        {"Empty", {}, {}, std::nullopt},
        {"TruncatedMagic", bytes("PK\x03"), {}, std::nullopt}}),
    caseName);

TEST(ArchiveFormatFile, ReadsTheStartAndTheEndOfRegularFilesOnly) {
    const TemporaryFolder folder;
    // A disk image's trailer is found behind a long data fork.
    const auto image = folder.path() / "Example.dmg";
    {
        std::ofstream file(image, std::ios::binary);
        const std::string data(100'000, 'd');
        file.write(data.data(), static_cast<std::streamsize>(data.size()));
        const auto trailer = kolyTrailer();
        file.write(reinterpret_cast<const char*>(trailer.data()),
                   static_cast<std::streamsize>(trailer.size()));
    }
    std::string error;
    EXPECT_EQ(ArchiveFormats::recognizeFile(image, error), ArchiveFormat::diskImage);
    EXPECT_TRUE(error.empty());

    const auto text = folder.path() / "notes.dmg";
    std::ofstream(text) << "hello";
    EXPECT_EQ(ArchiveFormats::recognizeFile(text, error), std::nullopt);
    EXPECT_TRUE(error.empty()) << "a file of another kind is no error";

    // Nothing that is not a regular file is read, and nothing blocks.
    for (const auto kind : SpecialFiles::availableKinds()) {
        const auto special = folder.path() / ("special-" + SpecialFiles::name(kind) + ".dmg");
        ASSERT_TRUE(SpecialFiles::replaceWith(special, kind));
        EXPECT_EQ(ArchiveFormats::recognizeFile(special, error), std::nullopt) << SpecialFiles::name(kind);
        EXPECT_FALSE(error.empty()) << SpecialFiles::name(kind);
    }
    EXPECT_EQ(ArchiveFormats::recognizeFile(folder.path() / "missing.zip", error), std::nullopt);
    EXPECT_FALSE(error.empty());
}

} // namespace
