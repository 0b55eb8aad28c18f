#include "Code/Archives/CancellationToken.h"
#include "Code/Archives/SevenZip.h"
#include "SevenZipFixtures.h"
#include "Support/TemporaryFolder.h"

#include <fstream>
#include <functional>
#include <random>
#include <string>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using testing::HasSubstr;

namespace {

namespace fs = std::filesystem;

using SevenZipFixtures::readFile;

/// Bytes that do not compress, always the same.
std::string noise(std::size_t size) {
    std::mt19937 generator(7);
    std::string bytes(size, '\0');
    for (auto& byte : bytes) {
        byte = static_cast<char>(generator() & 0xff);
    }
    return bytes;
}

class SevenZipExtraction : public SevenZipTest, public testing::WithParamInterface<const char*> {};

TEST_P(SevenZipExtraction, KeepsAFrameworksRelativeLinkAsALink) {
    const auto input = archive(std::string("app.") + GetParam(), SevenZipFixtures::writeTree);
    const auto output = destination();
    const auto result = _sevenZip.extract(input, output, _limits);
    ASSERT_EQ(result.failure, SevenZip::Failure::none) << result.message;
    ASSERT_TRUE(result.listing);
    EXPECT_EQ(result.listing->entries().size(), 10U);
    const auto current = output / "Fw.framework/Versions/Current";
    ASSERT_TRUE(fs::is_symlink(fs::symlink_status(current)));
    EXPECT_EQ(fs::read_symlink(current), "A");
    EXPECT_EQ(readFile(current / "Resources/info.txt"), "framework\n");
    EXPECT_NE(fs::status(output / "tool").permissions() & fs::perms::owner_exec, fs::perms::none);
    EXPECT_EQ(readFile(output / "odd/line\nbreak"), "x");
}

INSTANTIATE_TEST_SUITE_P(Formats, SevenZipExtraction, testing::Values("zip", "tar"));

TEST_F(SevenZipTest, ListsAnArchiveWhoseNameLooksLikeASwitchOrAWildcard) {
    const auto input = archive("-a*.zip", SevenZipFixtures::writeTree);
    // Another archive the wildcard would match.
    archive("-ab.zip", [](const fs::path& tree) { std::ofstream(tree / "other") << "x"; });
    const auto result = _sevenZip.list(input, _limits);
    ASSERT_EQ(result.failure, SevenZip::Failure::none) << result.message;
    EXPECT_EQ(result.listing->entries().size(), 10U);
}

TEST_F(SevenZipTest, SaysWhenAFileIsNoArchive) {
    const auto input = _folder.write("text.zip", "this is just text\n");
    const auto listed = _sevenZip.list(input, _limits);
    EXPECT_EQ(listed.failure, SevenZip::Failure::cannotOpen);
    EXPECT_EQ(listed.message, "The file cannot be opened as an archive.");
    EXPECT_EQ(_sevenZip.extract(input, destination(), _limits).failure, SevenZip::Failure::cannotOpen);
}

TEST_F(SevenZipTest, SaysWhenAnArchiveIsEncrypted) {
    const auto write = [](const fs::path& tree) { std::ofstream(tree / "secret.txt") << "secret"; };
    // Encrypted entries in a zip; encrypted names too in a 7z archive, which cannot even be listed.
    for (const auto& input :
         {archive("secret.zip", write, {"-pSECRET"}), archive("secret.7z", write, {"-pSECRET", "-mhe=on"})}) {
        const auto listed = _sevenZip.list(input, _limits);
        EXPECT_EQ(listed.failure, SevenZip::Failure::encrypted) << input << ": " << listed.message;
        const auto output = destination();
        EXPECT_EQ(_sevenZip.extract(input, output, _limits).failure, SevenZip::Failure::encrypted);
        EXPECT_TRUE(fs::is_empty(output));
    }
}

TEST_F(SevenZipTest, SaysWhenAnArchiveIsTruncated) {
    const auto write = [](const fs::path& tree) {
        std::ofstream(tree / "first.bin", std::ios::binary) << noise(100'000);
        std::ofstream(tree / "second.bin", std::ios::binary) << noise(100'000);
    };
    for (const std::string format : {"zip", "tar"}) {
        const auto whole = archive("whole." + format, write, {"-mx0"});
        const auto truncated = _folder.path() / ("truncated." + format);
        fs::copy_file(whole, truncated);
        fs::resize_file(truncated, 150'000);
        const auto output = destination();
        const auto result = _sevenZip.extract(truncated, output, _limits);
        EXPECT_EQ(result.failure, SevenZip::Failure::damaged) << format << ": " << result.message;
        EXPECT_THAT(result.message, HasSubstr("The archive is damaged"));
        EXPECT_TRUE(fs::is_empty(output));
    }
}

TEST_F(SevenZipTest, SaysWhen7ZipIsNotInstalled) {
    const auto input = archive("app.zip", SevenZipFixtures::writeTree);
    const fs::path emptyFolder = _folder.path() / "bin";
    fs::create_directory(emptyFolder);
    const SevenZip missing(std::vector<std::string>{"PATH=" + emptyFolder.string()});
    EXPECT_FALSE(missing.isInstalled());
    EXPECT_TRUE(_sevenZip.isInstalled());
    const auto listed = missing.list(input, _limits);
    EXPECT_EQ(listed.failure, SevenZip::Failure::notInstalled);
    EXPECT_EQ(listed.message, "7-Zip is not installed (the program 7zz was not found).");
    EXPECT_EQ(missing.extract(input, destination(), _limits).failure, SevenZip::Failure::notInstalled);
}

struct Escape {
    const char* name;
    const char* archiveName;
    const char* linkTarget;
    const char* message;
};

class SevenZipEscape : public SevenZipTest, public testing::WithParamInterface<Escape> {};

// A tar listing shows a link's target, so the listing check refuses it; a zip listing does not:
// 7-Zip refuses a link that climbs out itself, and rewrites an absolute target into the folder,
// which the check of what was written refuses.
TEST_P(SevenZipEscape, RefusesALinkThatLeavesTheFolder) {
    const auto input = archive(GetParam().archiveName, [&](const fs::path& tree) {
        SevenZipFixtures::writeFile(tree / "a/file", "x");
        fs::create_symlink(GetParam().linkTarget, tree / "a/link");
    });
    const auto output = destination();
    const auto result = _sevenZip.extract(input, output, _limits);
    EXPECT_EQ(result.failure, SevenZip::Failure::unsafeEntry) << result.message;
    EXPECT_THAT(result.message, HasSubstr(GetParam().message));
    EXPECT_TRUE(fs::is_empty(output));
}

INSTANTIATE_TEST_SUITE_P(Cases, SevenZipEscape,
                         testing::ValuesIn(std::vector<Escape>{
                             {"TarClimbing", "climb.tar", "../../..", "points outside the extraction folder"},
                             {"TarAbsolute", "absolute.tar", "/etc", "points outside the extraction folder"},
                             {"ZipClimbing", "climb.zip", "../../..", "points outside its folder"},
                             {"ZipAbsolute", "absolute.zip", "/etc",
                              "points outside the extraction folder"}}),
                         caseName);

TEST_F(SevenZipTest, RefusesContentsBeyondTheLimits) {
    const auto input = archive("app.tar", SevenZipFixtures::writeTree);
    auto fewEntries = _limits;
    fewEntries.contents.entryCount = 3;
    const auto listed = _sevenZip.list(input, fewEntries);
    EXPECT_EQ(listed.failure, SevenZip::Failure::limitExceeded);
    EXPECT_EQ(listed.message, "The archive holds more than 3 entries.");

    auto smallContents = _limits;
    smallContents.contents.totalSize = 8;
    const auto output = destination();
    const auto extracted = _sevenZip.extract(input, output, smallContents);
    EXPECT_EQ(extracted.failure, SevenZip::Failure::limitExceeded);
    EXPECT_THAT(extracted.message, HasSubstr("larger than the limit of 8 bytes"));
    EXPECT_TRUE(fs::is_empty(output));
}

TEST_F(SevenZipTest, ExtractsOnlyIntoAnEmptyFolder) {
    const auto input = archive("app.zip", SevenZipFixtures::writeTree);
    const auto output = destination();
    std::ofstream(output / "already-there") << "x";
    const auto result = _sevenZip.extract(input, output, _limits);
    EXPECT_EQ(result.failure, SevenZip::Failure::failed);
    EXPECT_EQ(result.message, "The destination is not an empty folder.");
    EXPECT_EQ(_sevenZip.extract(input, _folder.path() / "missing", _limits).failure,
              SevenZip::Failure::failed);
}

TEST_F(SevenZipTest, StopsWhenCancelled) {
    const auto input = archive("app.zip", SevenZipFixtures::writeTree);
    CancellationToken token;
    token.cancel();
    const auto output = destination();
    const auto result = _sevenZip.extract(input, output, _limits, &token);
    EXPECT_EQ(result.failure, SevenZip::Failure::cancelled);
    EXPECT_TRUE(fs::is_empty(output));
}

} // namespace
