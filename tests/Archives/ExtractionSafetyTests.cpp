#include "Code/Archives/ExtractionSafety.h"
#include "Code/Archives/SevenZipListing.h"
#include "SevenZipFixtures.h"

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

/// A named input and the refusal it meets (empty when it is safe).
struct Case {
    const char* name;
    std::string input;
    const char* refusal;
};

class ExtractionSafetyEntryPath : public testing::TestWithParam<Case> {};

TEST_P(ExtractionSafetyEntryPath, Decides) {
    expectVerdict(ExtractionSafety::checkEntryPath(GetParam().input), GetParam().refusal);
}

INSTANTIATE_TEST_SUITE_P(Cases, ExtractionSafetyEntryPath,
                         testing::ValuesIn(std::vector<Case>{
                             {"Plain", "App.app/Contents/Info.plist", ""},
                             {"DotPrefix", "./App.app", ""},
                             {"TrailingSlash", "App.app/", ""},
                             {"DoubleSlash", "App.app//Contents", ""},
                             {"DotsInsideAName", "a..b/..c/d..", ""},
                             {"ThreeDots", ".../x", ""},
                             {"Empty", "", "no name"},
                             {"OnlyDots", "./.", "names no file"},
                             {"Absolute", "/etc/passwd", "absolute"},
                             {"Parent", "../evil.txt", "\"..\""},
                             {"ParentInside", "a/b/../../../c", "\"..\""},
                             {"ParentAtTheEnd", "a/..", "\"..\""},
                             {"BackslashParent", "a\\..\\..\\b", "\"..\""},
                             {"Nul", std::string("a\0b", 3), "NUL"},
                             {"AtTheDepthLimit", repeated("d", 64), ""},
                             {"DotsDoNotCount", repeated("d", 64) + "/./.", ""},
                             {"TooDeep", repeated("d", 65), "more than 64 folders deep"}}),
                         caseName);

struct LinkCase {
    const char* name;
    const char* link;
    const char* target;
    bool safe;
};

class ExtractionSafetyLinkTarget : public testing::TestWithParam<LinkCase> {};

TEST_P(ExtractionSafetyLinkTarget, Decides) {
    const auto verdict = ExtractionSafety::checkLinkTarget(GetParam().link, GetParam().target);
    EXPECT_EQ(verdict.isSafe(), GetParam().safe) << verdict.refusal;
}

INSTANTIATE_TEST_SUITE_P(Cases, ExtractionSafetyLinkTarget,
                         testing::ValuesIn(std::vector<LinkCase>{
                             {"FrameworkVersion", "Fw.framework/Versions/Current", "A", true},
                             {"FrameworkTop", "Fw.framework/Fw", "Versions/Current/Fw", true},
                             {"UpToTheRoot", "a/b/link", "../../c", true},
                             {"TheRootItself", "a/link", "..", true},
                             {"DotTarget", "link", ".", true},
                             {"DownAndUp", "link", "x/../y", true},
                             {"OneTooMany", "a/b/link", "../../../c", false},
                             {"AtTopLevel", "link", "../x", false},
                             {"LeavesAndComesBack", "a/link", "../../root/a", false},
                             {"DownThenTooFarUp", "link", "x/../../y", false},
                             {"Absolute", "a/link", "/etc", false},
                             {"AbsoluteIntoNowhere", "a/link", "/", false},
                             {"Empty", "a/link", "", false},
                             {"DotPrefixedLink", "./a/link", "../b", true},
                             {"LinkPathClimbs", "a/../b/link", "..", false}}),
                         caseName);

struct TotalsCase {
    const char* name;
    ExtractionSafety::Totals totals;
    const char* refusal;
};

class ExtractionSafetyTotals : public testing::TestWithParam<TotalsCase> {};

TEST_P(ExtractionSafetyTotals, Decides) {
    expectVerdict(ExtractionSafety::checkTotals(GetParam().totals, ExtractionSafety::Limits{}),
                  GetParam().refusal);
}

constexpr std::uint64_t mebibyte = std::uint64_t{1} << 20;
constexpr std::uint64_t gibibyte = std::uint64_t{1} << 30;

INSTANTIATE_TEST_SUITE_P(
    Cases, ExtractionSafetyTotals,
    testing::ValuesIn(std::vector<TotalsCase>{
        {"Typical",
         {.size = 300 * mebibyte, .packedSize = 100 * mebibyte, .entryCount = 5000, .depth = 12},
         ""},
        {"AtEveryLimit",
         {.size = 8 * gibibyte, .packedSize = 8 * gibibyte / 1000 + 1, .entryCount = 1'000'000, .depth = 64},
         ""},
        {"TooLarge",
         {.size = 8 * gibibyte + 1, .packedSize = 8 * gibibyte},
         "larger than the limit of 8 GiB"},
        {"TooMany", {.entryCount = 1'000'001}, "more than 1000000 entries"},
        {"TooDeep", {.depth = 65}, "more than 64 folders deep"},
        {"ExpandsTooMuch", {.size = 200 * mebibyte, .packedSize = 200 * 1024}, "expand more than 1000 times"},
        {"ExpandsExactlyTheRatio", {.size = 1000 * mebibyte, .packedSize = mebibyte}, ""},
        {"ExpandsFromNothing", {.size = 101 * mebibyte, .packedSize = 0}, "expand more than"},
        {"SmallContentsMayExpand", {.size = 100 * mebibyte, .packedSize = 1}, ""},
        {"HugePackedSize", {.size = 200 * mebibyte, .packedSize = ~std::uint64_t{0}}, ""}}),
    caseName);

class ExtractionSafetyListing : public testing::TestWithParam<Case> {};

TEST_P(ExtractionSafetyListing, Decides) {
    const auto parsed = SevenZipListing::parse(GetParam().input);
    ASSERT_TRUE(parsed.listing) << parsed.error;
    ExtractionSafety::Limits limits;
    limits.totalSize = 1000;
    expectVerdict(ExtractionSafety::checkListing(*parsed.listing, limits), GetParam().refusal);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ExtractionSafetyListing,
    testing::ValuesIn(std::vector<Case>{
        {"Framework",
         "Path = Fw.framework/Versions/A/Fw\nSize = 10\nPacked Size = 10\n\n"
         "Path = Fw.framework/Versions/Current\nMode = lrwxrwxrwx\nSymbolic Link = A\n\n"
         "Path = Fw.framework/Fw\nSymbolic Link = Versions/Current/Fw\n",
         ""},
        {"LinkOut", "Path = a/up\nSymbolic Link = ../../..\n", "points outside"},
        {"HardLinkOut", "Path = a/hard\nHard Link = /etc/passwd\n", "hard link \"a/hard\""},
        {"HardLinkInside", "Path = a/hard\nHard Link = a/file\n", ""},
        {"EntryThroughALink", "Path = a/self\nSymbolic Link = .\n\nPath = ./a/self/self/x\nSize = 1\n",
         "inside the symbolic link"},
        {"EntryThroughAZipLink", "Path = a\nAttributes =  lrwxrwxrwx\n\nPath = a/x\n",
         "inside the symbolic link"},
        {"BadName", "Path = ok\n\nPath = ../evil\n", "\"..\""},
        {"PayloadRootFolder", "Path = .\nFolder = +\n\nPath = ./a\nSize = 1\n", ""},
        {"RootAsFile", "Path = .\nSize = 1\n", "names no file"},
        {"SumTooLarge", "Path = a\nSize = 600\n\nPath = b\nSize = 600\n",
         "larger than the limit of 1000 bytes"},
        {"HugeSizesDoNotWrap",
         "Path = a\nSize = 18446744073709551615\n\nPath = b\nSize = 18446744073709551615\n",
         "larger than the limit"}}),
    caseName);

} // namespace
