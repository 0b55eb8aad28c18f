#include "Code/Archives/ExtractionSafety.h"
#include "Code/Archives/SevenZipListing.h"

#include <string>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using testing::HasSubstr;

namespace {

std::string repeated(std::string_view component, std::size_t count) {
    std::string result;
    for (std::size_t index = 0; index < count; ++index) {
        result.append(index == 0 ? "" : "/").append(component);
    }
    return result;
}

/// An empty `refusal` expects the verdict to be safe; any other, a refusal containing it.
void expectVerdict(const ExtractionSafety::Verdict& verdict, std::string_view refusal) {
    if (refusal.empty()) {
        EXPECT_TRUE(verdict.isSafe()) << verdict.refusal;
    } else {
        EXPECT_THAT(verdict.refusal, HasSubstr(std::string(refusal)));
    }
}

TEST(ExtractionSafety, EntryPaths) {
    const std::pair<std::string, const char*> cases[] = {{"App.app/Contents/Info.plist", ""},
                                                         {"./App.app", ""},
                                                         {"App.app/", ""},
                                                         {"App.app//Contents", ""},
                                                         {"a..b/..c/d..", ""},
                                                         {".../x", ""},
                                                         {"", "no name"},
                                                         {"./.", "names no file"},
                                                         {"/etc/passwd", "absolute"},
                                                         {"../evil.txt", "\"..\""},
                                                         {"a/b/../../../c", "\"..\""},
                                                         {"a/..", "\"..\""},
                                                         {"a\\..\\..\\b", "\"..\""},
                                                         {std::string("a\0b", 3), "NUL"},
                                                         {repeated("d", 64), ""},
                                                         {repeated("d", 64) + "/./.", ""},
                                                         {repeated("d", 65), "more than 64 folders deep"}};
    for (const auto& [path, refusal] : cases) {
        SCOPED_TRACE(path);
        expectVerdict(ExtractionSafety::checkEntryPath(path), refusal);
    }
}

TEST(ExtractionSafety, LinkTargets) {
    const std::tuple<const char*, const char*, bool> cases[] = {
        {"Fw.framework/Versions/Current", "A", true},
        {"Fw.framework/Fw", "Versions/Current/Fw", true},
        {"a/b/link", "../../c", true},
        {"a/link", "..", true},
        {"link", ".", true},
        {"link", "x/../y", true},
        {"a/b/link", "../../../c", false},
        {"link", "../x", false},
        {"a/link", "../../root/a", false},
        {"link", "x/../../y", false},
        {"a/link", "/etc", false},
        {"a/link", "/", false},
        {"a/link", "", false},
        {"./a/link", "../b", true},
        {"a/../b/link", "..", false}};
    for (const auto& [link, target, safe] : cases) {
        const auto verdict = ExtractionSafety::checkLinkTarget(link, target);
        EXPECT_EQ(verdict.isSafe(), safe) << link << " -> " << target << ": " << verdict.refusal;
    }
}

TEST(ExtractionSafety, Totals) {
    constexpr std::uint64_t mebibyte = std::uint64_t{1} << 20;
    constexpr std::uint64_t gibibyte = std::uint64_t{1} << 30;
    const std::pair<ExtractionSafety::Totals, const char*> cases[] = {
        {{.size = 300 * mebibyte, .packedSize = 100 * mebibyte, .entryCount = 5000, .depth = 12}, ""},
        // At every limit.
        {{.size = 8 * gibibyte, .packedSize = 8 * gibibyte / 1000 + 1, .entryCount = 1'000'000, .depth = 64},
         ""},
        {{.size = 8 * gibibyte + 1, .packedSize = 8 * gibibyte}, "larger than the limit of 8 GiB"},
        {{.entryCount = 1'000'001}, "more than 1000000 entries"},
        {{.depth = 65}, "more than 64 folders deep"},
        {{.size = 200 * mebibyte, .packedSize = 200 * 1024}, "expand more than 1000 times"},
        {{.size = 1000 * mebibyte, .packedSize = mebibyte}, ""},
        {{.size = 101 * mebibyte, .packedSize = 0}, "expand more than"},
        // Small contents may expand any amount, and a huge packed size does not wrap the ratio.
        {{.size = 100 * mebibyte, .packedSize = 1}, ""},
        {{.size = 200 * mebibyte, .packedSize = ~std::uint64_t{0}}, ""}};
    for (const auto& [totals, refusal] : cases) {
        SCOPED_TRACE(testing::Message() << totals.size << "/" << totals.packedSize << ", "
                                        << totals.entryCount << " entries, depth " << totals.depth);
        expectVerdict(ExtractionSafety::checkTotals(totals, ExtractionSafety::Limits{}), refusal);
    }
}

TEST(ExtractionSafety, Listings) {
    const std::pair<std::string, const char*> cases[] = {
        {"Path = Fw.framework/Versions/A/Fw\nSize = 10\nPacked Size = 10\n\n"
         "Path = Fw.framework/Versions/Current\nMode = lrwxrwxrwx\nSymbolic Link = A\n\n"
         "Path = Fw.framework/Fw\nSymbolic Link = Versions/Current/Fw\n",
         ""},
        {"Path = a/up\nSymbolic Link = ../../..\n", "points outside"},
        {"Path = a/hard\nHard Link = /etc/passwd\n", "hard link \"a/hard\""},
        {"Path = a/hard\nHard Link = a/file\n", ""},
        {"Path = a/self\nSymbolic Link = .\n\nPath = ./a/self/self/x\nSize = 1\n",
         "inside the symbolic link"},
        {"Path = a\nAttributes =  lrwxrwxrwx\n\nPath = a/x\n", "inside the symbolic link"},
        {"Path = ok\n\nPath = ../evil\n", "\"..\""},
        {"Path = .\nFolder = +\n\nPath = ./a\nSize = 1\n", ""},
        {"Path = .\nSize = 1\n", "names no file"},
        {"Path = a\nSize = 600\n\nPath = b\nSize = 600\n", "larger than the limit of 1000 bytes"},
        {"Path = a\nSize = 18446744073709551615\n\nPath = b\nSize = 18446744073709551615\n",
         "larger than the limit"}};
    ExtractionSafety::Limits limits;
    limits.totalSize = 1000;
    for (const auto& [listing, refusal] : cases) {
        SCOPED_TRACE(listing);
        const auto parsed = SevenZipListing::parse(listing);
        ASSERT_TRUE(parsed.listing) << parsed.error;
        expectVerdict(ExtractionSafety::checkListing(*parsed.listing, limits), refusal);
    }
}

} // namespace
