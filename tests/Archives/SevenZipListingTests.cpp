#include "Code/Archives/SevenZipListing.h"
#include "SevenZipFixtures.h"
#include "Support/TemporaryFolder.h"

#include <algorithm>
#include <string>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using testing::HasSubstr;

namespace {

using Entry = SevenZipListing::Entry;

/// Path, whether a folder, a link and encrypted, size, packed size, link target, time and mode.
using Fields = std::tuple<std::string, bool, bool, bool, std::uint64_t, std::uint64_t, std::string,
                          std::string, std::string>;

std::vector<Fields> fieldsOf(const std::vector<Entry>& entries) {
    std::vector<Fields> result;
    for (const auto& entry : entries) {
        result.emplace_back(entry.path, entry.isDirectory, entry.isSymbolicLink, entry.isEncrypted,
                            entry.size, entry.packedSize, entry.linkTarget, entry.modified, entry.mode);
    }
    return result;
}

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
    EXPECT_EQ(fieldsOf(result.listing->entries()),
              (std::vector<Fields>{
                  {"Fw.framework/Versions/A", true, false, false, 0, 0, "", "2026-12-08 03:26:25.0605669",
                   "drwxr-xr-x"},
                  {"Fw.framework/Versions/Current", false, true, false, 1, 1, "", "", "lrwxrwxrwx"},
                  {"secret.txt", false, false, true, 12345678901, 13, "", "", "-rw-r--r--"}}));
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
    EXPECT_EQ(
        result.listing->archives(),
        (std::vector<SevenZipListing::Archive>{
            {"trunc.tar", "tar", {"Unexpected end of archive"}, {"There are data after the end of archive"}},
            {"inner", "HFS", {}, {}}}));
    EXPECT_EQ(fieldsOf(result.listing->entries()),
              (std::vector<Fields>{{"dir/link", false, true, false, 1, 0, "../target", "", "lrwxrwxrwx"}}));
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
    testing::ValuesIn(std::vector<Refusal>{
        {"TooManyEntries", "Path = a\n\nPath = b\n\nPath = c\n\nPath = d\n",
         "line 7: the archive has more than 3"},
        {"LongLine", "Path = " + std::string(SevenZipListing::maximumLineLength, 'x') + "\n",
         "line 1: the line is longer"},
        {"LongLineInTheBanner", std::string(SevenZipListing::maximumLineLength + 1, 'x'), "longer"},
        {"BlockWithoutPath", "Path = a\n\nFolder = +\n", "line 3: an entry block does not begin"},
        {"LineWithoutValue", "Path = a\nFolder\n", "line 2: an entry's line is not"},
        {"SecondPath", "Path = a\nPath = b\n", "second \"Path\""},
        {"SizeNotANumber", "Path = a\nSize = 12a\n", "not a decimal number"},
        {"NegativeSize", "Path = a\nPacked Size = -1\n", "not a decimal number"},
        {"SizeTooLarge", "Path = a\nSize = 18446744073709551616\n", "too large"},
        {"NoArchiveBlock", "7-Zip\n\nErrors: 1\n", "no line \"--\""},
        {"UnclosedBrace", "--\nPath = x\nComment = \n{\nmore\n", "no closing"}}),
    caseName);

TEST(SevenZipListing, AcceptsEdgesOfTheFormat) {
    const std::pair<std::string, std::size_t> cases[] = {
        {"", 0},
        {"\n\n\n", 0},
        {"Path = a\n\nPath = b\n\nPath = c\n", 3},
        {"Path = a\nSize = 1", 1},
        {"Path = a\nSize = \nPacked Size = \n", 1},
        {"Path = a = b\nComment = x = y\n", 1},
        {"banner\n--\nPath = x\nType = zip\n", 0},
        {"Path = " + std::string(SevenZipListing::maximumLineLength - 7, 'x'), 1}};
    for (const auto& [text, entries] : cases) {
        SCOPED_TRACE(text.substr(0, 40));
        const auto result = SevenZipListing::parse(text, 3);
        ASSERT_TRUE(result.listing) << result.error;
        EXPECT_EQ(result.listing->entries().size(), entries);
    }
}

TEST(SevenZipListing, AttributesTellTheEntryKind) {
    const std::tuple<std::string, bool, bool, const char*> cases[] = {
        // Lines after "Path = e"; whether a folder, whether a link, and the mode.
        {"Attributes = D\n", true, false, ""},
        {"Attributes = A -rw-r--r--\n", false, false, "-rw-r--r--"},
        {"Attributes =  lrwxrwxrwx\n", false, true, "lrwxrwxrwx"},
        {"Attributes = V 01800000 0rw-------\n", false, false, "0rw-------"},
        {"Mode = drwxr-xr-x\n", true, false, "drwxr-xr-x"},
        {"Folder = +\nMode = \n", true, false, ""},
        {"Symbolic Link = x\n", false, true, ""},
        {"Mode = 0755\n", false, false, ""},
        {"Mode = -rwxr-xr-x\nSymbolic Link = \n", false, false, "-rwxr-xr-x"}};
    for (const auto& [lines, isDirectory, isSymbolicLink, mode] : cases) {
        SCOPED_TRACE(lines);
        const auto result = SevenZipListing::parse("Path = e\n" + lines);
        ASSERT_TRUE(result.listing) << result.error;
        const auto& entry = result.listing->entries().at(0);
        EXPECT_EQ(std::tuple(entry.isDirectory, entry.isSymbolicLink, entry.mode),
                  std::tuple(isDirectory, isSymbolicLink, std::string(mode)));
    }
}

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
        const auto* versions = find(listing, "Fw.framework/Versions");
        const auto* tool = find(listing, "tool");
        const auto* info = find(listing, "Fw.framework/Versions/A/Resources/info.txt");
        ASSERT_TRUE(current && versions && tool && info);
        // tar prints the link's target; zip keeps it as the entry's data.
        EXPECT_EQ(std::tuple(current->isSymbolicLink, current->isDirectory, current->linkTarget),
                  std::tuple(true, false, std::string(std::string_view(GetParam()) == "tar" ? "A" : "")));
        EXPECT_EQ(std::tuple(versions->isDirectory, tool->mode, info->size),
                  std::tuple(true, "-rwxr-x---", 10U));
        // A line break in a name is printed as '_'; bytes that are not UTF-8 as they are.
        EXPECT_NE(find(listing, "odd/line_break"), nullptr);
        EXPECT_NE(find(listing, "odd/not-utf8-\xff"), nullptr);
        EXPECT_EQ(listing.entries().size(), 10U);
    }
}

INSTANTIATE_TEST_SUITE_P(Formats, SevenZipListingOfRealArchives, testing::Values("zip", "tar"));

} // namespace
