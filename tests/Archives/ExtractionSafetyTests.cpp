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

struct PathCase {
    const char* name;
    std::string path;
    /// Empty when the path is safe; otherwise a part of the refusal.
    const char* refusal;
};

class ExtractionSafetyEntryPath : public testing::TestWithParam<PathCase> {};

TEST_P(ExtractionSafetyEntryPath, Decides) {
    const auto verdict = ExtractionSafety::checkEntryPath(GetParam().path);
    if (std::string_view(GetParam().refusal).empty()) {
        EXPECT_TRUE(verdict.isSafe()) << verdict.refusal;
    } else {
        EXPECT_THAT(verdict.refusal, HasSubstr(GetParam().refusal));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ExtractionSafetyEntryPath,
    testing::Values(
        PathCase{"Plain", "App.app/Contents/Info.plist", ""}, PathCase{"DotPrefix", "./App.app", ""},
        PathCase{"TrailingSlash", "App.app/", ""}, PathCase{"DoubleSlash", "App.app//Contents", ""},
        PathCase{"DotsInsideANname", "a..b/..c/d..", ""}, PathCase{"ThreeDots", ".../x", ""},
        PathCase{"Empty", "", "no name"}, PathCase{"OnlyDots", "./.", "names no file"},
        PathCase{"Absolute", "/etc/passwd", "absolute"}, PathCase{"Parent", "../evil.txt", "\"..\""},
        PathCase{"ParentInside", "a/b/../../../c", "\"..\""}, PathCase{"ParentAtTheEnd", "a/..", "\"..\""},
        PathCase{"BackslashParent", "a\\..\\..\\b", "\"..\""}, PathCase{"Nul", std::string("a\0b", 3), "NUL"},
        PathCase{"AtTheDepthLimit", repeated("d", 64), ""},
        PathCase{"DotsDoNotCount", repeated("d", 64) + "/./.", ""},
        PathCase{"TooDeep", repeated("d", 65), "more than 64 folders deep"}),
    [](const testing::TestParamInfo<PathCase>& parameter) { return std::string(parameter.param.name); });

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

INSTANTIATE_TEST_SUITE_P(
    Cases, ExtractionSafetyLinkTarget,
    testing::Values(
        LinkCase{"FrameworkVersion", "Fw.framework/Versions/Current", "A", true},
        LinkCase{"FrameworkTop", "Fw.framework/Fw", "Versions/Current/Fw", true},
        LinkCase{"UpToTheRoot", "a/b/link", "../../c", true}, LinkCase{"TheRootItself", "a/link", "..", true},
        LinkCase{"DotTarget", "link", ".", true}, LinkCase{"DownAndUp", "link", "x/../y", true},
        LinkCase{"OneTooMany", "a/b/link", "../../../c", false},
        LinkCase{"AtTopLevel", "link", "../x", false},
        LinkCase{"LeavesAndComesBack", "a/link", "../../root/a", false},
        LinkCase{"DownThenTooFarUp", "link", "x/../../y", false},
        LinkCase{"Absolute", "a/link", "/etc", false}, LinkCase{"AbsoluteIntoNowhere", "a/link", "/", false},
        LinkCase{"Empty", "a/link", "", false}, LinkCase{"DotPrefixedLink", "./a/link", "../b", true},
        LinkCase{"LinkPathClimbs", "a/../b/link", "..", false}),
    [](const testing::TestParamInfo<LinkCase>& parameter) { return std::string(parameter.param.name); });

struct TotalsCase {
    const char* name;
    ExtractionSafety::Totals totals;
    const char* refusal;
};

class ExtractionSafetyTotals : public testing::TestWithParam<TotalsCase> {};

TEST_P(ExtractionSafetyTotals, Decides) {
    const auto verdict = ExtractionSafety::checkTotals(GetParam().totals, ExtractionSafety::Limits{});
    if (std::string_view(GetParam().refusal).empty()) {
        EXPECT_TRUE(verdict.isSafe()) << verdict.refusal;
    } else {
        EXPECT_THAT(verdict.refusal, HasSubstr(GetParam().refusal));
    }
}

constexpr std::uint64_t mebibyte = std::uint64_t{1} << 20;
constexpr std::uint64_t gibibyte = std::uint64_t{1} << 30;

INSTANTIATE_TEST_SUITE_P(
    Cases, ExtractionSafetyTotals,
    testing::Values(
        TotalsCase{"Typical",
                   {.size = 300 * mebibyte, .packedSize = 100 * mebibyte, .entryCount = 5000, .depth = 12},
                   ""},
        TotalsCase{"AtEveryLimit",
                   {.size = 8 * gibibyte,
                    .packedSize = 8 * gibibyte / 1000 + 1,
                    .entryCount = 1'000'000,
                    .depth = 64},
                   ""},
        TotalsCase{"TooLarge",
                   {.size = 8 * gibibyte + 1, .packedSize = 8 * gibibyte},
                   "larger than the limit of 8 GiB"},
        TotalsCase{"TooMany", {.entryCount = 1'000'001}, "more than 1000000 entries"},
        TotalsCase{"TooDeep", {.depth = 65}, "more than 64 folders deep"},
        TotalsCase{"ExpandsTooMuch",
                   {.size = 200 * mebibyte, .packedSize = 200 * 1024},
                   "expand more than 1000 times"},
        TotalsCase{"ExpandsExactlyTheRatio", {.size = 1000 * mebibyte, .packedSize = mebibyte}, ""},
        TotalsCase{"ExpandsFromNothing", {.size = 101 * mebibyte, .packedSize = 0}, "expand more than"},
        TotalsCase{"SmallContentsMayExpand", {.size = 100 * mebibyte, .packedSize = 1}, ""},
        TotalsCase{"HugePackedSize", {.size = 200 * mebibyte, .packedSize = ~std::uint64_t{0}}, ""}),
    [](const testing::TestParamInfo<TotalsCase>& parameter) { return std::string(parameter.param.name); });

struct ListingCase {
    const char* name;
    std::string listing;
    const char* refusal;
};

class ExtractionSafetyListing : public testing::TestWithParam<ListingCase> {};

TEST_P(ExtractionSafetyListing, Decides) {
    const auto parsed = SevenZipListing::parse(GetParam().listing);
    ASSERT_TRUE(parsed.listing) << parsed.error;
    ExtractionSafety::Limits limits;
    limits.totalSize = 1000;
    const auto verdict = ExtractionSafety::checkListing(*parsed.listing, limits);
    if (std::string_view(GetParam().refusal).empty()) {
        EXPECT_TRUE(verdict.isSafe()) << verdict.refusal;
    } else {
        EXPECT_THAT(verdict.refusal, HasSubstr(GetParam().refusal));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ExtractionSafetyListing,
    testing::Values(
        ListingCase{"Framework",
                    "Path = Fw.framework/Versions/A/Fw\nSize = 10\nPacked Size = 10\n\n"
                    "Path = Fw.framework/Versions/Current\nMode = lrwxrwxrwx\nSymbolic Link = A\n\n"
                    "Path = Fw.framework/Fw\nSymbolic Link = Versions/Current/Fw\n",
                    ""},
        ListingCase{"LinkOut", "Path = a/up\nSymbolic Link = ../../..\n", "points outside"},
        ListingCase{"HardLinkOut", "Path = a/hard\nHard Link = /etc/passwd\n", "hard link \"a/hard\""},
        ListingCase{"HardLinkInside", "Path = a/hard\nHard Link = a/file\n", ""},
        ListingCase{"EntryThroughALink",
                    "Path = a/self\nSymbolic Link = .\n\nPath = ./a/self/self/x\nSize = 1\n",
                    "inside the symbolic link"},
        ListingCase{"EntryThroughAZipLink", "Path = a\nAttributes =  lrwxrwxrwx\n\nPath = a/x\n",
                    "inside the symbolic link"},
        ListingCase{"BadName", "Path = ok\n\nPath = ../evil\n", "\"..\""},
        ListingCase{"PayloadRootFolder", "Path = .\nFolder = +\n\nPath = ./a\nSize = 1\n", ""},
        ListingCase{"RootAsFile", "Path = .\nSize = 1\n", "names no file"},
        ListingCase{"SumTooLarge", "Path = a\nSize = 600\n\nPath = b\nSize = 600\n",
                    "larger than the limit of 1000 bytes"},
        ListingCase{"HugeSizesDoNotWrap",
                    "Path = a\nSize = 18446744073709551615\n\nPath = b\nSize = 18446744073709551615\n",
                    "larger than the limit"}),
    [](const testing::TestParamInfo<ListingCase>& parameter) { return std::string(parameter.param.name); });

} // namespace
