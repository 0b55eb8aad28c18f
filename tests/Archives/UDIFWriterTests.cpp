#include "Code/Archives/ArchiveFormat.h"
#include "SevenZipFixtures.h"
#include "Support/TemporaryFolder.h"
#include "tools/ArchiveFixtures/FixtureCommand.h"
#include "tools/ArchiveFixtures/UDIFWriter.h"

#include <algorithm>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace {

using ChunkType = UDIFWriter::ChunkType;

/// The files of the volume, by path inside it.
const std::map<std::string, std::string>& volumeFiles() {
    static const std::map<std::string, std::string> files = [] {
        std::string large;
        for (int line = 0; line < 3000; ++line) {
            large.append("line ").append(std::to_string(line)).append(" of a file spanning several chunks\n");
        }
        return std::map<std::string, std::string>{{"ReadMe.txt", "Read me first.\n"},
                                                  {"Folder/Nested/Large.txt", large},
                                                  {"Folder/Empty.txt", ""},
                                                  // Whole chunks of zeros, which become zero-fill chunks.
                                                  {"Folder/Zeros.bin", std::string(2560 * 1024, '\0')}};
    }();
    return files;
}

std::vector<std::uint8_t> exampleVolume(const TemporaryFolder& work) {
    for (const auto& [path, contents] : volumeFiles()) {
        work.write("source/" + path, contents);
    }
    return UDIFWriter::hfsVolumeFromFolder(work.path() / "source", "Example", work.path());
}

using SevenZipFixtures::readFile;
using SevenZipFixtures::writeBytes;

struct ChunkLayout {
    const char* name;
    std::vector<ChunkType> dataChunkTypes;
    std::uint64_t sectorsPerChunk;
};

class UDIFWriterImage : public testing::TestWithParam<ChunkLayout> {};

TEST_P(UDIFWriterImage, IsReadBackBySevenZip) {
    const auto& layout = GetParam();
    TemporaryFolder work;
    const UDIFWriter writer(exampleVolume(work), layout.dataChunkTypes, layout.sectorsPerChunk);
    const auto image = work.path() / "Example.dmg";
    writer.write(image);

    // Every requested type is used, and the volume's empty stretches become zero-fill chunks.
    for (const auto type : layout.dataChunkTypes) {
        EXPECT_TRUE(std::any_of(writer.chunks().begin(), writer.chunks().end(),
                                [type](const UDIFWriter::Chunk& chunk) { return chunk.type == type; }));
    }
    EXPECT_TRUE(
        std::any_of(writer.chunks().begin(), writer.chunks().end(),
                    [](const UDIFWriter::Chunk& chunk) { return chunk.type == ChunkType::zeroFill; }));

    std::string error;
    EXPECT_EQ(ArchiveFormats::recognizeFile(image, error), ArchiveFormat::diskImage);

    const auto listing = FixtureCommand::run({"7zz", "l", "-slt", image.string()});
    ASSERT_EQ(listing.exitCode, 0) << listing.output;
    for (const auto& [path, contents] : volumeFiles()) {
        EXPECT_THAT(listing.output, testing::HasSubstr("Path = Example/" + path + "\n"));
    }

    const auto extraction =
        FixtureCommand::run({"7zz", "x", "-o" + (work.path() / "out").string(), image.string()});
    ASSERT_EQ(extraction.exitCode, 0) << extraction.output;
    for (const auto& [path, contents] : volumeFiles()) {
        EXPECT_EQ(readFile(work.path() / "out" / "Example" / path), contents) << path;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, UDIFWriterImage,
    testing::Values(ChunkLayout{"Zlib", {ChunkType::zlib}, 2048},
                    ChunkLayout{"Bzip2", {ChunkType::bzip2}, 2048},
                    ChunkLayout{"Raw", {ChunkType::raw}, 2048},
                    ChunkLayout{"MixedSmallChunks", {ChunkType::zlib, ChunkType::bzip2, ChunkType::raw}, 8}),
    caseName);

TEST(UDIFWriter, PadsTheVolumeToWholeSectorsAndEndsTheTableAtTheLastSector) {
    const std::vector<std::uint8_t> volume(1000, 7);
    const UDIFWriter writer(volume, {ChunkType::raw}, 1);
    EXPECT_EQ(writer.sectorCount(), 2U);
    ASSERT_EQ(writer.chunks().size(), 2U);
    EXPECT_EQ(writer.chunks()[1].firstSector, 1U);
    EXPECT_EQ(writer.chunks()[1].compressedOffset, 512U);
    EXPECT_EQ(writer.dataFork().size(), 1024U);
    EXPECT_EQ(writer.dataFork()[1023], 0);
    const auto image = writer.bytes();
    const std::string trailer(image.end() - 512, image.end() - 508);
    EXPECT_EQ(trailer, "koly");
}

/// Damaged images, kept as fixtures for the extraction's error handling: a truncated download is no
/// disk image at all, one with a chunk past the end of its data fork still is one.
struct Damage {
    const char* name;
    bool truncated;
};

class UDIFWriterDamagedImage : public testing::TestWithParam<Damage> {};

TEST_P(UDIFWriterDamagedImage, IsRefusedBySevenZip) {
    TemporaryFolder work;
    UDIFWriter writer(exampleVolume(work));
    auto bytes = writer.bytes();
    if (GetParam().truncated) {
        bytes.resize(bytes.size() / 2);
    } else {
        std::find_if(writer.chunks().begin(), writer.chunks().end(), [](const UDIFWriter::Chunk& chunk) {
            return chunk.type == ChunkType::zlib;
        })->compressedOffset = writer.dataFork().size() + 1024 * 1024;
        bytes = writer.bytes();
    }
    const auto image = work.path() / "Damaged.dmg";
    writeBytes(image, bytes);
    std::string error;
    EXPECT_EQ(ArchiveFormats::recognizeFile(image, error).has_value(), !GetParam().truncated);
    const auto extraction =
        FixtureCommand::run({"7zz", "x", "-o" + (work.path() / "out").string(), image.string()});
    EXPECT_NE(extraction.exitCode, 0) << extraction.output;
}

INSTANTIATE_TEST_SUITE_P(Cases, UDIFWriterDamagedImage,
                         testing::Values(Damage{"TruncatedDownload", true},
                                         Damage{"ChunkPastTheEndOfTheDataFork", false}),
                         caseName);

} // namespace
