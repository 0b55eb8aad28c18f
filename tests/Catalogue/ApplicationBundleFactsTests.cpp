#include "Catalogue/CatalogueTestSupport.h"
#include "Code/Catalogue/ApplicationBundleFacts.h"
#include "Code/Catalogue/QtStrings.h"

#include <QTemporaryDir>
#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

using namespace CatalogueTestSupport;

namespace {

/// Info.plist entries, the files the bundle's Resources folder holds, and the one expected as the
/// icon (empty for none).
struct IconCase {
    const char* name;
    std::string infoEntries;
    std::vector<std::string> resources;
    std::string icon;
};

void PrintTo(const IconCase& testCase, std::ostream* stream) {
    *stream << testCase.name;
}

class ApplicationBundleIcon : public ::testing::TestWithParam<IconCase> {
protected:
    QTemporaryDir _folder;
};

std::string entry(const std::string& key, const std::string& value) {
    std::string text = "<key>";
    text.append(key).append("</key><string>").append(value).append("</string>\n");
    return text;
}

} // namespace

TEST_P(ApplicationBundleIcon, IsTheNamedResourceThatExists) {
    const auto bundle = makeBundle(QtStrings::toPath(_folder.path()), "Icons.app", GetParam().infoEntries);
    for (const auto& resource : GetParam().resources) {
        writeFile(bundle / "Contents/Resources" / resource, "icns");
    }
    const auto facts = ApplicationBundleFacts::read(ZRURL::fileURL(bundle, true), false);
    if (GetParam().icon.empty()) {
        EXPECT_TRUE(facts.iconFilePath.isEmpty()) << facts.iconFilePath.toStdString();
    } else {
        EXPECT_EQ(facts.iconFilePath, QtStrings::fromPath(bundle / "Contents/Resources" / GetParam().icon));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Declarations, ApplicationBundleIcon,
    testing::Values(
        IconCase{"iconFileGainsTheIcnsExtension", entry("CFBundleIconFile", "App"), {"App.icns"}, "App.icns"},
        IconCase{"iconFileWithItsOwnExtension", entry("CFBundleIconFile", "App.png"), {"App.png"}, "App.png"},
        IconCase{"iconFileThatDoesNotExist", entry("CFBundleIconFile", "App"), {"Other.icns"}, ""},
        IconCase{"iconNameWhenTheIconFileIsMissing",
                 entry("CFBundleIconFile", "Gone") + entry("CFBundleIconName", "Named"),
                 {"Named.icns"},
                 "Named.icns"},
        IconCase{"iconNameWhenTheIconFileIsEmpty",
                 entry("CFBundleIconFile", "") + entry("CFBundleIconName", "Named"),
                 {"Named.icns"},
                 "Named.icns"},
        IconCase{"iconFileBeforeIconName",
                 entry("CFBundleIconName", "Named") + entry("CFBundleIconFile", "App"),
                 {"App.icns", "Named.icns"},
                 "App.icns"},
        IconCase{"noIconDeclared", entry("CFBundleIdentifier", "com.example.icons"), {"App.icns"}, ""}),
    [](const testing::TestParamInfo<IconCase>& item) { return std::string(item.param.name); });

TEST(ApplicationBundleFacts, ReadsThePageHeaderOnlyWhenAsked) {
    QTemporaryDir folder;
    const auto bundle = makeBundle(QtStrings::toPath(folder.path()), "Versioned.app",
                                   "<key>CFBundleIdentifier</key><string>com.example.versioned</string>\n"
                                   "<key>CFBundleShortVersionString</key><string>3.1</string>\n");
    const auto url = ZRURL::fileURL(bundle, true);

    const auto quick = ApplicationBundleFacts::read(url, false);
    EXPECT_EQ(quick.bundleIdentifier, "com.example.versioned");
    EXPECT_EQ(quick.pageHeader.bundlePath, bundle);
    EXPECT_FALSE(quick.pageHeader.version.has_value());

    const auto full = ApplicationBundleFacts::read(url, true);
    EXPECT_EQ(full.bundleIdentifier, "com.example.versioned");
    EXPECT_EQ(full.pageHeader.bundlePath, bundle);
    EXPECT_EQ(full.pageHeader.version, "3.1");
}

TEST(ApplicationBundleFacts, AURLThatIsNotAFileHasNoFactsAndItsLastComponentAsName) {
    const auto url = ZRURL::URLWithString("https://example.com/apps/Remote.app");
    ASSERT_TRUE(url.has_value());
    const auto facts = ApplicationBundleFacts::read(*url, true);
    EXPECT_TRUE(facts.bundleIdentifier.isNull());
    EXPECT_TRUE(facts.iconFilePath.isEmpty());
    EXPECT_TRUE(facts.pageHeader.bundlePath.empty());
    EXPECT_EQ(ApplicationBundleFacts::displayName(*url), "Remote.app");
}
