#include "Support/LanguageOverride.h"
#include "Support/TemporaryFolder.h"
#include "ZRFoundation/Bundle/ZRBundle.h"
#include "ZRFoundation/Bundle/ZRFileManager.h"
#include "ZRFoundation/Localization/ZRLocalization.h"

#include <cstdio>

#include <gtest/gtest.h>

namespace {

const std::string infoPlist = R"(<?xml version="1.0" encoding="UTF-8"?>
<plist version="1.0"><dict>
  <key>CFBundleIdentifier</key><string>com.example.editor</string>
  <key>CFBundleExecutable</key><string>Editor</string>
  <key>CFBundleName</key><string>Editor</string>
  <key>CFBundleShortVersionString</key><string>2.1</string>
</dict></plist>)";

// An application bundle with English and German tables; the German one is UTF-16 with a BOM.
std::shared_ptr<ZRBundle> makeApplication(const TemporaryFolder& folder) {
    folder.write("Editor.app/Contents/Info.plist", infoPlist);
    folder.write("Editor.app/Contents/MacOS/Editor", "binary");
    folder.write("Editor.app/Contents/Resources/Lumora.plist", "<plist><dict/></plist>");
    folder.write("Editor.app/Contents/Resources/en.lproj/Main.strings",
                 "/* comment */\n\"Hello\" = \"Hello\";\n\"Only English\" = \"English only\";\n");
    folder.write("Editor.app/Contents/Resources/en.lproj/InfoPlist.strings", "CFBundleName = \"Editor EN\";");
    std::u16string german = u"\uFEFF\"Hello\" = \"Hallo\";\n\"Later\" = \"<#not-yet-localized#>\";\n";
    std::string bytes;
    for (const char16_t unit : german) {
        bytes += static_cast<char>(unit & 0xFF);
        bytes += static_cast<char>(unit >> 8);
    }
    folder.write("Editor.app/Contents/Resources/de.lproj/Main.strings", bytes);
    folder.write("Editor.app/Contents/Resources/de.lproj/InfoPlist.strings", "CFBundleName = \"Editor DE\";");
    return ZRBundle::bundleWithPath(folder.path() / "Editor.app");
}

class EditorBundle : public testing::Test {
protected:
    const TemporaryFolder folder;
    const std::shared_ptr<ZRBundle> bundle = makeApplication(folder);
};

TEST_F(EditorBundle, ReadsTheInfoDictionaryAndFindsTheExecutable) {
    ASSERT_NE(bundle, nullptr);
    EXPECT_EQ(bundle->bundleIdentifier(), "com.example.editor");
    EXPECT_EQ(bundle->executablePath(), folder.path() / "Editor.app/Contents/MacOS/Editor");
    EXPECT_EQ(bundle->resourcePath(), folder.path() / "Editor.app/Contents/Resources");
    EXPECT_EQ(bundle->localizations(), (std::vector<std::string>{"de", "en"}));
    EXPECT_EQ(bundle->developmentLocalization(), "en");
    EXPECT_EQ(ZRBundle::bundleWithPath(folder.path() / "missing.app"), nullptr);
}

TEST_F(EditorBundle, LaysTheLocalizedInfoStringsOverTheInfoDictionary) {
    {
        const LanguageOverride german({"de-CH"});
        EXPECT_EQ(*bundle->localizedInfoDictionary().find("CFBundleName")->stringValue(), "Editor DE");
        EXPECT_EQ(bundle->preferredLocalizations(), std::vector<std::string>{"de"});
    }
    const LanguageOverride finnish({"fi"});
    EXPECT_EQ(bundle->preferredLocalizations(), std::vector<std::string>{"en"});
    EXPECT_EQ(*bundle->localizedInfoDictionary().find("CFBundleName")->stringValue(), "Editor EN");
    EXPECT_EQ(*bundle->localizedInfoDictionary().find("CFBundleShortVersionString")->stringValue(), "2.1");
}

TEST_F(EditorBundle, LooksUpResourcesUnlocalizedFirst) {
    const LanguageOverride german({"de"});
    const auto resources = folder.path() / "Editor.app/Contents/Resources";
    EXPECT_EQ(bundle->pathForResource("Lumora", "plist"), resources / "Lumora.plist");
    EXPECT_EQ(bundle->pathForResource("Main", "strings"), resources / "de.lproj/Main.strings");
    EXPECT_EQ(bundle->pathForResource("Main", "strings", {}, "en"), resources / "en.lproj/Main.strings");
    EXPECT_FALSE(bundle->pathForResource("Lumora", "json").has_value());
}

TEST_F(EditorBundle, LooksUpLocalizedStringsInTheUsersLanguageWithFallbacks) {
    const LanguageOverride german({"de"});
    EXPECT_EQ(ZRLocalization::lookupLocalizedString("Hello", "Main", bundle.get()), "Hallo");
    // Missing in German: the development language still has it.
    EXPECT_EQ(ZRLocalization::lookupLocalizedString("Only English", "Main", bundle.get()), "English only");
    EXPECT_EQ(ZRLocalization::lookupLocalizedString("Unknown", "Main", bundle.get()), "Unknown");
    EXPECT_EQ(ZRLocalization::lookupLocalizedString("Later", "Main", bundle.get()), "Later");
}

TEST_F(EditorBundle, ReportsEachMissingLocalizationOnceWhenAsked) {
    const LanguageOverride german({"de"});
    const auto reportPath = folder.path() / "report.txt";
    std::FILE* report = std::fopen(reportPath.c_str(), "w+");
    ZRLocalization::setReportStream(report);

    ZRLocalization::setLogMissingLocalizations(std::string("all"));
    ZRLocalization::lookupLocalizedString("Missing \\ key", "Main", bundle.get());
    ZRLocalization::lookupLocalizedString("Missing \\ key", "Main", bundle.get());
    ZRLocalization::lookupLocalizedString("12:30 - 4", "Main", bundle.get());
    ZRLocalization::lookupLocalizedString("Later", "Main", bundle.get());

    ZRLocalization::setLogMissingLocalizations(std::string("Other"));
    ZRLocalization::lookupLocalizedString("Not reported", "Main", bundle.get());
    ZRLocalization::setLogMissingLocalizations(std::string("Localizable"));
    ZRLocalization::lookupLocalizedString("Default table key", std::nullopt, bundle.get());
    ZRLocalization::lookupLocalizedString("Named table key", "Main", bundle.get());
    ZRLocalization::setLogMissingLocalizations(std::nullopt);
    ZRLocalization::lookupLocalizedString("Silent", "Main", bundle.get());

    ZRLocalization::setReportStream(stdout);
    std::fseek(report, 0, SEEK_SET);
    char buffer[512] = {};
    const auto length = std::fread(buffer, 1, sizeof buffer - 1, report);
    std::fclose(report);
    EXPECT_EQ(std::string(buffer, length), "\"Missing \\\\ key\" = \"<#not-yet-localized#>\";\n"
                                           "\"Default table key\" = \"<#not-yet-localized#>\";\n");
}

TEST(ZRLocalization, FindsTheProgramsOwnTables) {
    const LanguageOverride german({"de-DE"});
    EXPECT_EQ(ZRLocalization::lookupLocalizedString("rfb", "LumoraLocalization"), "Bildschirmfreigabe (VNC)");
    const LanguageOverride english({"en"});
    EXPECT_EQ(ZRLocalization::lookupLocalizedString("rfb", "LumoraLocalization"), "Screen Sharing (VNC)");
}

TEST(ZRFileManager, HidesTheApplicationExtension) {
    const TemporaryFolder folder;
    for (const auto& [name, shown] :
         {std::pair{"Editor.app", "Editor"}, {"Helper.xpc", "Helper.xpc"}, {"Shout.APP", "Shout.APP"}}) {
        std::filesystem::create_directories(folder.path() / name);
        EXPECT_EQ(ZRFileManager::displayNameAtPath(folder.path() / name / ""), shown);
    }
    EXPECT_EQ(ZRFileManager::displayNameAtPath("/usr/bin/curl"), "curl");
    EXPECT_EQ(ZRFileManager::displayNameAtPath("/nowhere/Ghost.app"), "Ghost.app");
}

} // namespace
