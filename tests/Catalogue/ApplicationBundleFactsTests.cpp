#include "Catalogue/CatalogueTestSupport.h"
#include "Code/Catalogue/ApplicationBundleFacts.h"
#include "Code/Catalogue/QtStrings.h"

#include <QTemporaryDir>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

using namespace CatalogueTestSupport;

namespace {

std::string entry(const std::string& key, const std::string& value) {
    std::string text = "<key>";
    text.append(key).append("</key><string>").append(value).append("</string>\n");
    return text;
}

} // namespace

TEST(ApplicationBundleFacts, TheIconIsTheNamedResourceThatExists) {
    QTemporaryDir folder;
    // Info.plist entries, the files of the bundle's Resources folder, and the icon (empty for none).
    const std::tuple<std::string, std::vector<std::string>, std::string> cases[] = {
        {entry("CFBundleIconFile", "App"), {"App.icns"}, "App.icns"},
        {entry("CFBundleIconFile", "App.png"), {"App.png"}, "App.png"},
        {entry("CFBundleIconFile", "App"), {"Other.icns"}, ""},
        {entry("CFBundleIconFile", "Gone") + entry("CFBundleIconName", "Named"),
         {"Named.icns"},
         "Named.icns"},
        {entry("CFBundleIconFile", "") + entry("CFBundleIconName", "Named"), {"Named.icns"}, "Named.icns"},
        {entry("CFBundleIconName", "Named") + entry("CFBundleIconFile", "App"),
         {"App.icns", "Named.icns"},
         "App.icns"},
        {entry("CFBundleIdentifier", "com.example.icons"), {"App.icns"}, ""}};
    int index = 0;
    for (const auto& [infoEntries, resources, icon] : cases) {
        SCOPED_TRACE(infoEntries);
        const auto bundle = makeBundle(QtStrings::toPath(folder.path()),
                                       "Icons" + std::to_string(++index) + ".app", infoEntries);
        for (const auto& resource : resources) {
            writeFile(bundle / "Contents/Resources" / resource, "icns");
        }
        EXPECT_EQ(ApplicationBundleFacts::read(ZRURL::fileURL(bundle, true), false).iconFilePath,
                  icon.empty() ? QString() : QtStrings::fromPath(bundle / "Contents/Resources" / icon));
    }
}

TEST(ApplicationBundleFacts, ReadsThePageHeaderOnlyWhenAsked) {
    QTemporaryDir folder;
    const auto bundle = makeBundle(QtStrings::toPath(folder.path()), "Versioned.app",
                                   "<key>CFBundleIdentifier</key><string>com.example.versioned</string>\n"
                                   "<key>CFBundleShortVersionString</key><string>3.1</string>\n");
    const auto url = ZRURL::fileURL(bundle, true);

    const auto quick = ApplicationBundleFacts::read(url, false);
    EXPECT_EQ(quick.bundleIdentifier, "com.example.versioned");
    EXPECT_FALSE(quick.pageHeader.infoDictionaryReadable);
    EXPECT_FALSE(quick.pageHeader.version.has_value());

    const auto full = ApplicationBundleFacts::read(url, true);
    EXPECT_EQ(full.bundleIdentifier, "com.example.versioned");
    EXPECT_TRUE(full.pageHeader.infoDictionaryReadable);
    EXPECT_EQ(full.pageHeader.version, "3.1");
}

TEST(ApplicationBundleFacts, AURLThatIsNotAFileHasNoFactsAndItsLastComponentAsName) {
    const auto url = ZRURL::URLWithString("https://example.com/apps/Remote.app");
    ASSERT_TRUE(url.has_value());
    const auto facts = ApplicationBundleFacts::read(*url, true);
    EXPECT_TRUE(facts.bundleIdentifier.isNull());
    EXPECT_TRUE(facts.iconFilePath.isEmpty());
    EXPECT_FALSE(facts.pageHeader.infoDictionaryReadable);
    EXPECT_EQ(ApplicationBundleFacts::displayName(*url), "Remote.app");
}
