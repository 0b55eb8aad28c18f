#include "Catalogue/CatalogueTestSupport.h"
#include "Code/Catalogue/Preferences.h"

#include <QFile>
#include <QSettings>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using ::testing::HasSubstr;

namespace {

QByteArray contentsOf(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void write(const QString& path, const QByteArray& contents) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(contents);
}

class PreferencesFile : public ::testing::Test {
protected:
    QTemporaryDir _folder;
    QString path() const { return _folder.filePath("Preferences.ini"); }
};

} // namespace

TEST_F(PreferencesFile, RegisteredDefaultsWithoutAFileInTheConfigurationFolder) {
    const Preferences preferences(path());
    EXPECT_FALSE(preferences.showPortsAndProtocols());
    EXPECT_FALSE(preferences.developerModeEnabled());
    EXPECT_TRUE(preferences.spotlightApplicationsSourceEnabled());
    EXPECT_TRUE(preferences.manuallyAddedApplicationsSourceEnabled());
    EXPECT_TRUE(preferences.applicationsFolderApplicationsSourceEnabled());
    EXPECT_FALSE(preferences.previewApplicationsSourceEnabled());
    EXPECT_TRUE(preferences.securityScopedBookmarks().isEmpty());
    EXPECT_TRUE(preferences.spotlightSearchScopes().isEmpty());
    EXPECT_TRUE(preferences.previewApplicationsListURL().isEmpty());
    EXPECT_FALSE(QFile::exists(path()));
    EXPECT_EQ(Preferences::defaultFilePath(),
              QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
                  "/org.lumoraviewer.LumoraViewer/LumoraViewer.ini");
}

TEST_F(PreferencesFile, SignalsOnlyRealChangesAndKeepsThem) {
    Preferences preferences(path());
    QSignalSpy developerMode(&preferences, &Preferences::developerModeEnabledChanged);
    QSignalSpy spotlight(&preferences, &Preferences::spotlightApplicationsSourceEnabledChanged);
    QSignalSpy scopes(&preferences, &Preferences::spotlightSearchScopesChanged);
    QSignalSpy bookmarks(&preferences, &Preferences::securityScopedBookmarksChanged);

    preferences.setDeveloperModeEnabled(true);
    preferences.setDeveloperModeEnabled(true);
    preferences.setSpotlightApplicationsSourceEnabled(true);
    preferences.setSpotlightSearchScopes({"/opt/apps"});
    preferences.setSecurityScopedBookmarks({{"/Users/a/Tool.app", QByteArray("\x00\x01", 2)}});
    ASSERT_EQ(developerMode.count(), 1);
    EXPECT_TRUE(developerMode.at(0).at(0).toBool());
    EXPECT_EQ(spotlight.count(), 0);
    EXPECT_EQ(scopes.count(), 1);
    EXPECT_EQ(bookmarks.count(), 1);

    const Preferences reread(path());
    EXPECT_TRUE(reread.developerModeEnabled());
    EXPECT_TRUE(reread.spotlightApplicationsSourceEnabled());
    EXPECT_EQ(reread.spotlightSearchScopes(), QStringList{"/opt/apps"});
    EXPECT_EQ(reread.securityScopedBookmarks().value("/Users/a/Tool.app").toByteArray(),
              QByteArray("\x00\x01", 2));
}

TEST_F(PreferencesFile, PreviewChoiceDoesNotOutliveTheRun) {
    Preferences preferences(path());
    QSignalSpy preview(&preferences, &Preferences::previewApplicationsSourceEnabledChanged);
    preferences.setPreviewApplicationsSourceEnabled(true);
    preferences.removePreviewApplicationsSourceEnabled();
    ASSERT_EQ(preview.count(), 2);
    EXPECT_FALSE(preview.at(1).at(0).toBool());
    EXPECT_FALSE(QSettings(path(), QSettings::IniFormat).contains("PreviewApplicationsSourceEnabled"));
    EXPECT_FALSE(Preferences(path()).previewApplicationsSourceEnabled());
}

TEST_F(PreferencesFile, WrongTypesReadAsDefaultsWithOneLineEach) {
    const QByteArray contents = "[General]\nShowPortsAndProtocols=maybe\nDeveloperModeEnabled=true\n"
                                "SpotlightApplicationsSourceEnabled=false\n"
                                "SecurityScopedBookmarks=not a dictionary\n";
    write(path(), contents);
    const CatalogueTestSupport::LogCapture log;
    const Preferences preferences(path());

    EXPECT_FALSE(preferences.showPortsAndProtocols());
    EXPECT_TRUE(preferences.developerModeEnabled());
    EXPECT_FALSE(preferences.spotlightApplicationsSourceEnabled());
    EXPECT_TRUE(preferences.securityScopedBookmarks().isEmpty());
    const auto lines = log.lines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_THAT(lines[0], HasSubstr(path().toStdString()));
    EXPECT_THAT(lines[0], HasSubstr("\"ShowPortsAndProtocols\""));
    EXPECT_THAT(lines[1], HasSubstr("\"SecurityScopedBookmarks\""));
    EXPECT_EQ(contentsOf(path()), contents);
}

TEST_F(PreferencesFile, UnreadableFileSurvivesUntilASettingChanges) {
    static constexpr char bytes[] = "\xff\xfe[[[\x00\x01=\n=\x7f garbage";
    const QByteArray garbage(bytes, sizeof bytes - 1);
    write(path(), garbage);
    {
        const CatalogueTestSupport::LogCapture log;
        const Preferences preferences(path());
        EXPECT_TRUE(preferences.spotlightApplicationsSourceEnabled());
        EXPECT_FALSE(preferences.developerModeEnabled());
        EXPECT_TRUE(preferences.spotlightSearchScopes().isEmpty());
    }
    EXPECT_EQ(contentsOf(path()), garbage);

    Preferences preferences(path());
    preferences.setShowPortsAndProtocols(true);
    EXPECT_TRUE(Preferences(path()).showPortsAndProtocols());
}

TEST(PreferencesInMemory, InMemoryReadsAndWritesNothing) {
    const QString userFile = Preferences::defaultFilePath();
    const bool existedBefore = QFile::exists(userFile);
    Preferences preferences{Preferences::InMemory{}};
    QSignalSpy url(&preferences, &Preferences::previewApplicationsListURLChanged);
    preferences.setPreviewApplicationsListURL("https://example.com/list.json");
    EXPECT_EQ(preferences.previewApplicationsListURL(), "https://example.com/list.json");
    EXPECT_EQ(url.count(), 1);
    EXPECT_TRUE(preferences.filePath().isEmpty());
    EXPECT_EQ(QFile::exists(userFile), existedBefore);
}
