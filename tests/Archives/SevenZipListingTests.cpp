#include "Code/Archives/SevenZipListing.h"
#include "SevenZipFixtures.h"
#include "Support/TemporaryFolder.h"

#include <algorithm>
#include <string>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using testing::HasSubstr;

namespace {

const SevenZipListing::Entry* find(const SevenZipListing& listing, const std::string& path) {
    const auto& entries = listing.entries();
    const auto found =
        std::find_if(entries.begin(), entries.end(), [&](const auto& entry) { return entry.path == path; });
    return found == entries.end() ? nullptr : &*found;
}

// As 7-Zip 26.02 prints a zip archive's entries with -ba.
constexpr std::string_view zipEntries =
    "Path = Fw.framework/Versions/A\nFolder = +\nSize = 0\nPacked Size = 0\n"
    "Modified = 2026-12-08 03:26:25.0605669\nCreated = \nAttributes = D drwxr-xr-x\nEncrypted = -\n"
    "Comment = \n\n"
    "Path = Fw.framework/Versions/Current\nFolder = -\nSize = 1\nPacked Size = 1\n"
    "Attributes =  lrwxrwxrwx\nEncrypted = -\n\n"
    "Path = secret.txt\nFolder = -\nSize = 12345678901\nPacked Size = 13\nAttributes =  -rw-r--r--\n"
    "Encrypted = +\n\n";

TEST(SevenZipListing, ReadsZipEntries) {
    const auto result = SevenZipListing::parse(zipEntries);
    ASSERT_TRUE(result.listing) << result.error;
    const auto& entries = result.listing->entries();
    ASSERT_EQ(entries.size(), 3U);
    EXPECT_TRUE(entries[0].isDirectory);
    EXPECT_EQ(entries[0].mode, "drwxr-xr-x");
    EXPECT_EQ(entries[0].modified, "2026-12-08 03:26:25.0605669");
    EXPECT_TRUE(entries[1].isSymbolicLink);
    EXPECT_FALSE(entries[1].isDirectory);
    EXPECT_EQ(entries[1].linkTarget, "");
    EXPECT_EQ(entries[2].size, 12345678901U);
    EXPECT_EQ(entries[2].packedSize, 13U);
    EXPECT_TRUE(entries[2].isEncrypted);
    EXPECT_FALSE(entries[2].isSymbolicLink);
    EXPECT_TRUE(result.listing->archives().empty());
}

TEST(SevenZipListing, ReadsTheArchiveBlocksWithoutBa) {
    const std::string text = "\n7-Zip (z) 26.02 (x64) : Copyright (c) 1999-2026 Igor Pavlov : 2026-06-25\n"
                             " 64-bit locale=C.UTF-8 Threads:2 OPEN_MAX:20000\n\n"
                             "Scanning the drive for archives:\n1 file, 3000 bytes (3 KiB)\n\n"
                             "Listing archive: trunc.tar\n\n"
                             "--\nPath = trunc.tar\nType = tar\nERRORS:\nUnexpected end of archive\n"
                             "WARNINGS:\nThere are data after the end of archive\nPhysical Size = 2560\n"
                             "Comment = \n{\nPath = fake\n\n----------\n}\n\n"
                             "Path = inner\nType = HFS\n"
                             "----------\n"
                             "Path = dir/link\nFolder = -\nSize = 1\nPacked Size = 0\nMode = lrwxrwxrwx\n"
                             "Symbolic Link = ../target\nHard Link = \n\n"
                             "\n\nWarnings: 1\n\nErrors: 1\n";
    const auto result = SevenZipListing::parse(text);
    ASSERT_TRUE(result.listing) << result.error;
    const auto& archives = result.listing->archives();
    ASSERT_EQ(archives.size(), 2U);
    EXPECT_EQ(archives[0].path, "trunc.tar");
    EXPECT_EQ(archives[0].type, "tar");
    EXPECT_EQ(archives[0].errors, std::vector<std::string>{"Unexpected end of archive"});
    EXPECT_EQ(archives[0].warnings, std::vector<std::string>{"There are data after the end of archive"});
    EXPECT_EQ(archives[1].type, "HFS");
    ASSERT_EQ(result.listing->entries().size(), 1U);
    const auto& link = result.listing->entries()[0];
    EXPECT_EQ(link.path, "dir/link");
    EXPECT_TRUE(link.isSymbolicLink);
    EXPECT_EQ(link.linkTarget, "../target");
}

struct Refusal {
    const char* name;
    std::string text;
    const char* error;
};

class SevenZipListingRefusal : public testing::TestWithParam<Refusal> {};

TEST_P(SevenZipListingRefusal, NamesTheFault) {
    const auto result = SevenZipListing::parse(GetParam().text, 3);
    EXPECT_FALSE(result.listing);
    EXPECT_THAT(result.error, HasSubstr(GetParam().error));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SevenZipListingRefusal,
    testing::Values(
        Refusal{"TooManyEntries", "Path = a\n\nPath = b\n\nPath = c\n\nPath = d\n",
                "line 7: the archive has more than 3"},
        Refusal{"LongLine", "Path = " + std::string(SevenZipListing::maximumLineLength, 'x') + "\n",
                "line 1: the line is longer"},
        Refusal{"LongLineInTheBanner", std::string(SevenZipListing::maximumLineLength + 1, 'x'), "longer"},
        Refusal{"BlockWithoutPath", "Path = a\n\nFolder = +\n", "line 3: an entry block does not begin"},
        Refusal{"LineWithoutValue", "Path = a\nFolder\n", "line 2: an entry's line is not"},
        Refusal{"SecondPath", "Path = a\nPath = b\n", "second \"Path\""},
        Refusal{"SizeNotANumber", "Path = a\nSize = 12a\n", "not a decimal number"},
        Refusal{"NegativeSize", "Path = a\nPacked Size = -1\n", "not a decimal number"},
        Refusal{"SizeTooLarge", "Path = a\nSize = 18446744073709551616\n", "too large"},
        Refusal{"NoArchiveBlock", "7-Zip\n\nErrors: 1\n", "no line \"--\""},
        Refusal{"UnclosedBrace", "--\nPath = x\nComment = \n{\nmore\n", "no closing"}),
    [](const testing::TestParamInfo<Refusal>& parameter) { return std::string(parameter.param.name); });

struct Reading {
    const char* name;
    std::string text;
    std::size_t entries;
};

class SevenZipListingReading : public testing::TestWithParam<Reading> {};

TEST_P(SevenZipListingReading, Accepts) {
    const auto result = SevenZipListing::parse(GetParam().text, 3);
    ASSERT_TRUE(result.listing) << result.error;
    EXPECT_EQ(result.listing->entries().size(), GetParam().entries);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SevenZipListingReading,
    testing::Values(Reading{"Empty", "", 0}, Reading{"BlankLines", "\n\n\n", 0},
                    Reading{"ExactlyTheMaximum", "Path = a\n\nPath = b\n\nPath = c\n", 3},
                    Reading{"NoFinalLineBreak", "Path = a\nSize = 1", 1},
                    Reading{"EmptySizes", "Path = a\nSize = \nPacked Size = \n", 1},
                    Reading{"ValueHoldingTheSeparator", "Path = a = b\nComment = x = y\n", 1},
                    Reading{"ArchiveBlockWithoutEntries", "banner\n--\nPath = x\nType = zip\n", 0},
                    Reading{"LineAtTheLimit",
                            "Path = " + std::string(SevenZipListing::maximumLineLength - 7, 'x'), 1}),
    [](const testing::TestParamInfo<Reading>& parameter) { return std::string(parameter.param.name); });

struct AttributeCase {
    const char* name;
    std::string lines;
    bool isDirectory;
    bool isSymbolicLink;
    const char* mode;
};

class SevenZipListingAttributes : public testing::TestWithParam<AttributeCase> {};

TEST_P(SevenZipListingAttributes, TellTheEntryKind) {
    const auto result = SevenZipListing::parse("Path = e\n" + GetParam().lines);
    ASSERT_TRUE(result.listing) << result.error;
    const auto& entry = result.listing->entries().at(0);
    EXPECT_EQ(entry.isDirectory, GetParam().isDirectory);
    EXPECT_EQ(entry.isSymbolicLink, GetParam().isSymbolicLink);
    EXPECT_EQ(entry.mode, GetParam().mode);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SevenZipListingAttributes,
    testing::Values(
        AttributeCase{"WindowsFolder", "Attributes = D\n", true, false, ""},
        AttributeCase{"ArchiveBitFile", "Attributes = A -rw-r--r--\n", false, false, "-rw-r--r--"},
        AttributeCase{"ZipLink", "Attributes =  lrwxrwxrwx\n", false, true, "lrwxrwxrwx"},
        AttributeCase{"OddZipAttributes", "Attributes = V 01800000 0rw-------\n", false, false, "0rw-------"},
        AttributeCase{"TarFolder", "Mode = drwxr-xr-x\n", true, false, "drwxr-xr-x"},
        AttributeCase{"FolderField", "Folder = +\nMode = \n", true, false, ""},
        AttributeCase{"LinkTargetAlone", "Symbolic Link = x\n", false, true, ""},
        AttributeCase{"ModeNotAMode", "Mode = 0755\n", false, false, ""},
        AttributeCase{"EmptyLinkTarget", "Mode = -rwxr-xr-x\nSymbolic Link = \n", false, false,
                      "-rwxr-xr-x"}),
    [](const testing::TestParamInfo<AttributeCase>& parameter) { return std::string(parameter.param.name); });

class SevenZipListingOfRealArchives : public testing::TestWithParam<const char*> {};

TEST_P(SevenZipListingOfRealArchives, ReadsWhat7ZipPrints) {
    if (!SevenZipFixtures::program()) {
        GTEST_SKIP() << "7zz is not installed";
    }
    TemporaryFolder folder;
    const auto tree = folder.path() / "tree";
    SevenZipFixtures::writeTree(tree);
    const auto archive = folder.path() / (std::string("fixture.") + GetParam());
    ASSERT_EQ(SevenZipFixtures::makeArchive(archive, tree), "");
    for (const bool bare : {true, false}) {
        std::vector<std::string> arguments{"l", "-slt", "-sccUTF-8"};
        if (bare) {
            arguments.emplace_back("-ba");
        }
        arguments.insert(arguments.end(), {"--", archive.string()});
        const auto result = SevenZipListing::parse(SevenZipFixtures::run(arguments));
        ASSERT_TRUE(result.listing) << result.error;
        const auto& listing = *result.listing;
        EXPECT_EQ(listing.archives().size(), bare ? 0U : 1U);
        if (!bare) {
            EXPECT_EQ(listing.archives()[0].type, GetParam());
        }
        const auto* current = find(listing, "Fw.framework/Versions/Current");
        ASSERT_NE(current, nullptr);
        EXPECT_TRUE(current->isSymbolicLink);
        EXPECT_FALSE(current->isDirectory);
        // tar prints the link's target; zip keeps it as the entry's data.
        EXPECT_EQ(current->linkTarget, std::string_view(GetParam()) == "tar" ? "A" : "");
        const auto* versions = find(listing, "Fw.framework/Versions");
        ASSERT_NE(versions, nullptr);
        EXPECT_TRUE(versions->isDirectory);
        const auto* tool = find(listing, "tool");
        ASSERT_NE(tool, nullptr);
        EXPECT_EQ(tool->mode, "-rwxr-x---");
        EXPECT_EQ(find(listing, "Fw.framework/Versions/A/Resources/info.txt")->size, 10U);
        // A line break in a name is printed as '_'; bytes that are not UTF-8 as they are.
        EXPECT_NE(find(listing, "odd/line_break"), nullptr);
        EXPECT_NE(find(listing, "odd/not-utf8-\xff"), nullptr);
        EXPECT_EQ(listing.entries().size(), 10U);
    }
}

INSTANTIATE_TEST_SUITE_P(Formats, SevenZipListingOfRealArchives, testing::Values("zip", "tar"));

} // namespace
