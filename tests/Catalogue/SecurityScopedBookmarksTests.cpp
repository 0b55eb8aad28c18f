#include "Catalogue/CatalogueTestSupport.h"
#include "Code/Catalogue/ManuallyAddedApplicationsSource.h"
#include "Code/Catalogue/Preferences.h"
#include "Code/Catalogue/QtStrings.h"
#include "Code/Catalogue/SecurityScopedBookmarksStore.h"

#include <QSettings>
#include <QVariantMap>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using namespace CatalogueTestSupport;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

namespace {

class SecurityScopedBookmarks : public LoadEnvironmentTest {
protected:
    void SetUp() override { LumoraLoadEnvironment::setCurrent(environmentWithoutDocuments()); }

    std::set<std::filesystem::path> paths(const SecurityScopedBookmarksStore& store) const {
        std::set<std::filesystem::path> result;
        for (const auto& url : store.allFileURLs()) {
            result.insert(url.path());
        }
        return result;
    }

    /// The store's log lines while it loads what `bookmarks` holds.
    std::vector<std::string> loadLogging(const QVariantMap& bookmarks,
                                         SecurityScopedBookmarksStore::AccessStarter access = allowAll) {
        _preferences.setSecurityScopedBookmarks(bookmarks);
        ::testing::internal::CaptureStderr();
        _store = std::make_shared<SecurityScopedBookmarksStore>(_preferences, std::move(access));
        _store->load();
        return lines(::testing::internal::GetCapturedStderr());
    }

    static std::vector<std::string> lines(const std::string& text) {
        std::vector<std::string> result;
        std::size_t start = 0;
        for (std::size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
            result.push_back(text.substr(start, end - start));
        }
        return result;
    }

    static bool allowAll(const std::filesystem::path&) { return true; }

    Preferences _preferences{Preferences::InMemory{}};
    std::shared_ptr<SecurityScopedBookmarksStore> _store;
};

} // namespace

TEST_F(SecurityScopedBookmarks, BookmarkDataIsThePathsBytesAndNothingElseResolves) {
    using Store = SecurityScopedBookmarksStore;
    const auto folder = folderPath() / std::string("Na\xefve");
    std::filesystem::create_directories(folder);
    const auto data = Store::bookmarkData(folder);
    ASSERT_TRUE(std::holds_alternative<QByteArray>(data));
    EXPECT_EQ(std::get<QByteArray>(data), bytesOf(folder));
    const auto resolved = Store::resolveBookmarkData(std::get<QByteArray>(data));
    ASSERT_TRUE(std::holds_alternative<Store::ResolvedBookmark>(resolved));
    EXPECT_EQ(std::get<Store::ResolvedBookmark>(resolved).path, folder);
    EXPECT_FALSE(std::get<Store::ResolvedBookmark>(resolved).isStale);
    std::filesystem::remove_all(folder);

    // Data that is not an absolute path resolves to nothing.
    for (const QVariant& stored :
         {QVariant(QByteArray()), QVariant(QByteArray("relative/path")),
          QVariant(QByteArray("/with\0nul", 9)), QVariant(QString("/a/string")), QVariant(42), QVariant()}) {
        EXPECT_TRUE(std::holds_alternative<std::string>(Store::resolveBookmarkData(stored)))
            << stored.typeName();
    }
    EXPECT_TRUE(std::holds_alternative<std::string>(Store::bookmarkData(folderPath() / "missing")));
    // Access is granted by read permission.
    EXPECT_TRUE(Store::startAccessingByReadPermission(folderPath()));
    EXPECT_FALSE(Store::startAccessingByReadPermission(folderPath() / "missing"));
}

TEST_F(SecurityScopedBookmarks, AddedItemsRoundTripThroughPreferencesUntilRemoved) {
    const auto bundle = makeBundle(folderPath(), "Tool.app");
    const QString file = _folder.filePath("settings.ini");
    {
        Preferences preferences(file);
        SecurityScopedBookmarksStore store(preferences, allowAll);
        store.add({ZRURL::fileURL(bundle, true), ZRURL::fileURL(folderPath(), true)});
        store.add({ZRURL::fileURL(bundle, false)});
        EXPECT_EQ(store.allFileURLs().size(), 2u);
        const QVariantMap stored = preferences.securityScopedBookmarks();
        EXPECT_EQ(stored.size(), 2);
        EXPECT_EQ(stored.value(QtStrings::fromPath(bundle)).toByteArray(), bytesOf(bundle));
    }
    Preferences reread(file);
    SecurityScopedBookmarksStore store(reread, allowAll);
    store.load();
    EXPECT_EQ(paths(store), (std::set<std::filesystem::path>{bundle, folderPath()}));

    // Removing them all forgets the grants and the stored key.
    EXPECT_TRUE(QSettings(file, QSettings::IniFormat).contains("SecurityScopedBookmarks"));
    store.removeAll();
    EXPECT_THAT(store.allFileURLs(), IsEmpty());
    EXPECT_FALSE(QSettings(file, QSettings::IniFormat).contains("SecurityScopedBookmarks"));
}

TEST_F(SecurityScopedBookmarks, StaleAndInaccessibleBookmarksAreDroppedWithTheirLogLines) {
    const auto kept = makeBundle(folderPath(), "Kept.app");
    const auto refused = makeBundle(folderPath(), "Refused.app");
    const auto gone = folderPath() / "Gone.app";
    const auto log = loadLogging({{"kept", bytesOf(kept)},
                                  {"refused", bytesOf(refused)},
                                  {"gone", bytesOf(gone)},
                                  {"empty", QByteArray()}},
                                 [refused](const std::filesystem::path& path) { return path != refused; });
    EXPECT_THAT(
        log, ElementsAre("Error resolving bookmark for empty: The bookmark data is not an absolute path.",
                         "Ignoring stale bookmark for gone", "Failed to access stored bookmark for refused"));
    EXPECT_EQ(paths(*_store), std::set<std::filesystem::path>{kept});

    // Dropped bookmarks disappear at the next rewrite.
    ::testing::internal::CaptureStderr();
    _store->add({});
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(_preferences.securityScopedBookmarks().keys(), QStringList{QtStrings::fromPath(kept)});
}

TEST_F(SecurityScopedBookmarks, ItemsThatCannotBeBookmarkedStayGrantedForTheRun) {
    Preferences preferences{Preferences::InMemory{}};
    SecurityScopedBookmarksStore store(preferences, allowAll);
    const auto missing = folderPath() / "Missing.app";
    ::testing::internal::CaptureStderr();
    store.add({ZRURL::fileURL(missing, false)});
    EXPECT_THAT(
        lines(::testing::internal::GetCapturedStderr()),
        ElementsAre("Error creating bookmark for path: " + missing.native() + ": No such file or directory"));
    EXPECT_EQ(paths(store), std::set<std::filesystem::path>{missing});
    EXPECT_TRUE(preferences.securityScopedBookmarks().isEmpty());
}

TEST_F(SecurityScopedBookmarks, ManualSourceListsOnlyApplications) {
    const auto bundle = makeBundle(folderPath() / "Apps", "Manual.app");
    writeFile(folderPath() / "tool", "#!/bin/sh\n");
    std::filesystem::permissions(folderPath() / "tool", std::filesystem::perms::owner_exec,
                                 std::filesystem::perm_options::add);
    writeFile(folderPath() / "notes.txt", "notes");
    auto store = std::make_shared<SecurityScopedBookmarksStore>(_preferences, allowAll);
    ManuallyAddedApplicationsSource source(store);

    source.add(
        {ZRURL::fileURL(folderPath() / "Apps", true), ZRURL::fileURL(folderPath() / "notes.txt", false)});
    EXPECT_THAT(source.applications(), IsEmpty());
    EXPECT_EQ(store->allFileURLs().size(), 2u);

    source.add({ZRURL::fileURL(bundle, true), ZRURL::fileURL(folderPath() / "tool", false)});
    source.add({ZRURL::fileURL(bundle, false)});
    EXPECT_EQ(source.applications().size(), 2u);
    EXPECT_EQ(_preferences.securityScopedBookmarks().size(), 4);
    EXPECT_TRUE(
        source.applications().contains(InstalledApplication::makeForBundleURL(ZRURL::fileURL(bundle, true))));

    source.removeAll();
    EXPECT_THAT(source.applications(), IsEmpty());
    EXPECT_THAT(store->allFileURLs(), IsEmpty());
    EXPECT_TRUE(_preferences.securityScopedBookmarks().isEmpty());
}

TEST_F(SecurityScopedBookmarks, WrongShapedValuesInTheFileCostOnlyThemselves) {
    const auto kept = makeBundle(folderPath(), "Kept.app");
    const std::vector<std::pair<QVariant, std::vector<std::string>>> cases{
        // The key is only a name: the data says where the item is.
        {QVariantMap{{"not a path at all", bytesOf(kept)}, {"/number", 7}},
         {"Error resolving bookmark for /number: The bookmark data is not a byte string."}},
        // A value that is not a dictionary reads as none, silently.
        {QStringList{"a", "b"}, {}},
    };
    for (const auto& [value, expectedLog] : cases) {
        const QString file = _folder.filePath("settings.ini");
        QSettings(file, QSettings::IniFormat).setValue("SecurityScopedBookmarks", value);
        Preferences preferences(file);
        ::testing::internal::CaptureStderr();
        SecurityScopedBookmarksStore store(preferences, allowAll);
        store.load();
        EXPECT_EQ(lines(::testing::internal::GetCapturedStderr()), expectedLog);
        EXPECT_EQ(paths(store), expectedLog.empty() ? std::set<std::filesystem::path>{}
                                                    : std::set<std::filesystem::path>{kept});
    }
}
