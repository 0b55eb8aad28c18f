#include "Catalogue/CatalogueTestSupport.h"
#include "Code/Catalogue/Preferences.h"

#include <QFile>
#include <QFileInfo>
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
    QSignalSpy changes(&preferences, &Preferences::changed);
    bool developerModeSeen = false;
    preferences.observe(PreferenceKeys::developerModeEnabled, &preferences,
                        [&](bool enabled) { developerModeSeen = enabled; });

    preferences.setDeveloperModeEnabled(true);
    preferences.setDeveloperModeEnabled(true);
    preferences.setSpotlightApplicationsSourceEnabled(true);
    preferences.setSpotlightSearchScopes({"/opt/apps"});
    preferences.setSecurityScopedBookmarks({{"/Users/a/Tool.app", QByteArray("\x00\x01", 2)}});
    QStringList changed;
    for (const auto& change : changes) {
        changed.append(change.at(0).toString());
    }
    EXPECT_EQ(changed,
              QStringList({"DeveloperModeEnabled", "SpotlightSearchScopes", "SecurityScopedBookmarks"}));
    EXPECT_TRUE(developerModeSeen);

    const Preferences reread(path());
    EXPECT_TRUE(reread.developerModeEnabled());
    EXPECT_TRUE(reread.spotlightApplicationsSourceEnabled());
    EXPECT_EQ(reread.spotlightSearchScopes(), QStringList{"/opt/apps"});
    EXPECT_EQ(reread.securityScopedBookmarks().value("/Users/a/Tool.app").toByteArray(),
              QByteArray("\x00\x01", 2));
}

TEST_F(PreferencesFile, PreviewChoiceDoesNotOutliveTheRun) {
    Preferences preferences(path());
    QSignalSpy changes(&preferences, &Preferences::changed);
    preferences.setPreviewApplicationsSourceEnabled(true);
    preferences.removePreviewApplicationsSourceEnabled();
    EXPECT_EQ(changes.count(), 2);
    EXPECT_FALSE(preferences.previewApplicationsSourceEnabled());
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

TEST_F(PreferencesFile, TheWindowsStateIsKeptApartAndAFailedWriteIsReported) {
    Preferences preferences(path());
    preferences.setValue(PreferenceKeys::selectedApplication, QStringLiteral("/Applications/Tool.app"));
    preferences.setValue(PreferenceKeys::windowGeometry, QByteArray("\x01\x02", 2));
    EXPECT_FALSE(QFile::exists(path())) << "nothing of the user's own changed";
    const Preferences reread(path());
    EXPECT_EQ(reread.value(PreferenceKeys::selectedApplication), "/Applications/Tool.app");
    EXPECT_EQ(reread.value(PreferenceKeys::windowGeometry), QByteArray("\x01\x02", 2));
    EXPECT_EQ(QFileInfo(reread.localFilePath()).fileName(), "WindowState.ini");

    // A file where the folder should be: nothing can be written below it, even as root.
    write(path(), "not a folder");
    Preferences blocked(path() + "/LumoraViewer.ini");
    QSignalSpy failures(&blocked, &Preferences::writeFailed);
    const CatalogueTestSupport::LogCapture log;
    blocked.setDeveloperModeEnabled(true);
    ASSERT_EQ(failures.count(), 1);
    EXPECT_EQ(failures.at(0).at(0).toString(), path() + "/LumoraViewer.ini");
    EXPECT_TRUE(blocked.developerModeEnabled());
}

TEST(PreferencesInMemory, InMemoryReadsAndWritesNothing) {
    const QString userFile = Preferences::defaultFilePath();
    const bool existedBefore = QFile::exists(userFile);
    Preferences preferences{Preferences::InMemory{}};
    QSignalSpy url(&preferences, &Preferences::changed);
    preferences.setPreviewApplicationsListURL("https://example.com/list.json");
    EXPECT_EQ(preferences.previewApplicationsListURL(), "https://example.com/list.json");
    EXPECT_EQ(url.count(), 1);
    EXPECT_TRUE(preferences.filePath().isEmpty());
    EXPECT_EQ(QFile::exists(userFile), existedBefore);
}
