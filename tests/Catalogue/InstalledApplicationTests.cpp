#include "Catalogue/CatalogueTestSupport.h"
#include "Code/Catalogue/PreviewApplication.h"
#include "Code/Catalogue/QtStrings.h"
#include "Code/Model/LumoraSource.h"

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

using namespace CatalogueTestSupport;

namespace {

class InstalledApplicationModel : public LoadEnvironmentTest {
protected:
    void SetUp() override {
        // Nothing here needs a document: every load finds none.
        LumoraLoadEnvironment::setCurrent(environmentWithoutDocuments());
    }

    std::shared_ptr<InstalledApplication> make(const std::filesystem::path& path) {
        return InstalledApplication::makeForBundleURL(
            ZRURL::fileURL(path, std::filesystem::is_directory(path)));
    }
};

} // namespace

TEST_F(InstalledApplicationModel, DisplayNameHidesOnlyAnExactAppSuffixAndDirectionalControls) {
    writeFile(folderPath() / "tool", "#!/bin/sh\n");
    const std::vector<std::pair<std::string, QString>> cases{
        {"Foo.app", "Foo"},
        {"Bar.APP", "Bar.APP"},
        {"tool", "tool"},
        // U+202E turns "ppa.exe" around: the name would read "Safeexe.app".
        {"Safe\u202Eppa.exe\u2066x\u2069.app", "Safeppa.exex"},
        {"X\xff.app", QString::fromUtf8("X\uFFFD")},
    };
    for (const auto& [name, displayName] : cases) {
        const auto path = name == "tool" ? folderPath() / name : makeBundle(folderPath(), name);
        EXPECT_EQ(make(path)->displayName(), displayName) << name;
    }
}

TEST_F(InstalledApplicationModel, DisplayNameIsTheBundlesLocalizedDisplayName) {
    const auto bundle = makeBundle(folderPath(), "Editor.app",
                                   "<key>CFBundleDisplayName</key><string>Plain Editor</string>\n"
                                   "<key>CFBundleIdentifier</key><string>com.example.editor</string>\n");
    writeFile(bundle / "Contents/Resources/en.lproj/InfoPlist.strings",
              "\"CFBundleDisplayName\" = \"Éditeur Pro.app\";\n");
    const auto application = make(bundle);
    EXPECT_EQ(application->displayName(), QString::fromUtf8("Éditeur Pro"));
    EXPECT_EQ(application->bundleIdentifier(), "com.example.editor");
}

// Asking never reads the disk (the list asks on the main thread): what a changed bundle declares
// shows after its next load.
TEST_F(InstalledApplicationModel, BundleFactsAreReadAgainByEveryLoad) {
    const auto bundle =
        makeBundle(folderPath(), "Changing.app", "<key>CFBundleIconFile</key><string>App</string>\n");
    const auto application = make(bundle);
    ASSERT_TRUE(waitUntilLoadFinished(*application));
    EXPECT_TRUE(application->bundleIdentifier().isNull());
    EXPECT_TRUE(application->iconFilePath().isEmpty());
    EXPECT_FALSE(application->pageHeaderFacts().version.has_value());

    makeBundle(folderPath(), "Changing.app",
               "<key>CFBundleIdentifier</key><string>com.example.late</string>\n"
               "<key>CFBundleIconFile</key><string>App</string>\n"
               "<key>CFBundleShortVersionString</key><string>2.0</string>\n");
    writeFile(bundle / "Contents/Resources/App.icns", "icns");
    EXPECT_TRUE(application->bundleIdentifier().isNull());
    application->readLumoraInBackground();
    ASSERT_TRUE(waitUntilLoadFinished(*application));
    EXPECT_EQ(application->bundleIdentifier(), "com.example.late");
    EXPECT_EQ(application->iconFilePath(), QtStrings::fromPath(bundle / "Contents/Resources/App.icns"));
    EXPECT_EQ(application->pageHeaderFacts().version, "2.0");
}

TEST_F(InstalledApplicationModel, IdentityIsConcreteClassAndIdentifier) {
    const auto bundle = makeBundle(folderPath(), "Same.app");
    const auto installed = make(bundle);
    const auto identifier = installed->identifier();
    PreviewApplication preview(identifier, "Same");
    PreviewApplication previewAgain(identifier, "Other name");
    PreviewApplication otherPreview("com.example.other", "Same");

    EXPECT_TRUE(installed->isEqual(*installed));
    EXPECT_TRUE(installed->isEqual(*make(bundle)));
    EXPECT_FALSE(installed->isEqual(preview));
    EXPECT_FALSE(preview.isEqual(*installed));
    EXPECT_TRUE(preview.isEqual(previewAgain));
    EXPECT_EQ(preview.hash(), previewAgain.hash());
    EXPECT_FALSE(preview.isEqual(otherPreview));
    EXPECT_FALSE(installed->isEqual(*make(makeBundle(folderPath(), "Different.app"))));

    // A name that is not valid UTF-8 keeps its exact bytes as identity: a tampered copy cannot
    // hide the real one.
    const auto first = make(makeBundle(folderPath(), "X\xff.app"));
    const auto second = make(makeBundle(folderPath(), "X\xfe.app"));
    EXPECT_FALSE(first->isEqual(*second));
    EXPECT_NE(first->identifier(), second->identifier());
    EXPECT_EQ(QtStrings::toPath(first->identifier()), folderPath() / "X\xff.app");
}

TEST(LumoraLoadStateValue, StatesAreEqualByCaseAlone) {
    const auto first =
        LumoraLoadState::loaded(std::make_shared<const Lumora>(makeDocument("/a/Lumora.plist")));
    const auto second =
        LumoraLoadState::loaded(std::make_shared<const Lumora>(makeDocument("/b/Lumora.plist")));
    EXPECT_EQ(first, second);
    EXPECT_EQ(LumoraLoadState::loadFailed({"ParseError", "invalidDictionary", "one"}),
              LumoraLoadState::loadFailed({"OSStatus", "-67062", "two"}));
    EXPECT_NE(first, LumoraLoadState::loadPending());
    EXPECT_EQ(LumoraLoadState(), LumoraLoadState::unavailable());
}
