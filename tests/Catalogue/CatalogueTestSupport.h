#pragma once

#include "Code/Catalogue/InstalledApplication.h"
#include "Code/Catalogue/LumoraLoadEnvironment.h"

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>
#include <QtGlobal>
#include <condition_variable>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <ostream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

/// Failure messages show texts as text.
inline void PrintTo(const QString& text, std::ostream* stream) {
    *stream << '"' << text.toStdString() << '"';
}

namespace CatalogueTestSupport {

/// Names each case of a parameterised suite after its `name` member.
inline constexpr auto caseName = [](const auto& testCase) { return std::string(testCase.param.name); };

/// Writes `contents` to `path`, making its folders.
void writeFile(const std::filesystem::path& path, const std::string& contents);

/// A minimal application bundle `name` in `folder`, with the given Info.plist entries (XML text
/// between <dict> and </dict>).
std::filesystem::path makeBundle(const std::filesystem::path& folder, const std::string& name,
                                 const std::string& infoEntries = {});

/// A one-source document whose declaration file is `policyFile`, for loaders that stand in.
Lumora makeDocument(const std::filesystem::path& policyFile);

/// The real environment with every bundle readable and `load` standing in for the loader.
LumoraLoadEnvironment environmentLoading(std::function<Lumora(const ZRURL&)> load);
/// The real environment with every bundle readable and no document anywhere.
LumoraLoadEnvironment environmentWithoutDocuments();

/// Waits on the event loop until the application reports a state other than `loadPending`.
/// False when that does not happen within a generous timeout.
bool waitUntilLoadFinished(InstalledApplication& application);

/// Lets every queued disk operation and load finish and applies the results that they posted.
void drainLoads();

/// One entry of a featured list with every field valid, its address https://example.org/ followed
/// by the bundle identifier; `extra` adds members, beginning with a comma.
QByteArray previewEntry(const QByteArray& bundleIdentifier, const QByteArray& name,
                        const QByteArray& extra = {});
/// A featured list of the entries.
QByteArray previewList(const std::vector<QByteArray>& entries);

/// The bytes of a path, as bookmark data holds them.
QByteArray bytesOf(const std::filesystem::path& path);

/// Holds the threads that enter it until it is opened, as a hung disk or a slow load would (for at
/// most 10 s, so that a fault cannot hang the suite), and counts how many are held at once.
class Gate {
public:
    void enter();
    /// Waits until `count` threads are held; false when that does not happen within 10 s.
    bool waitUntilHolding(int count);
    int holding() const;
    int mostHeld() const;
    void open();

private:
    mutable std::mutex _mutex;
    std::condition_variable _changed;
    int _holding = 0;
    int _mostHeld = 0;
    bool _open = false;
};

/// Keeps what Qt logs while it lives, from any thread, instead of printing it. One at a time.
class LogCapture {
public:
    LogCapture();
    ~LogCapture();
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;
    std::vector<std::string> lines() const;
    /// How many lines contain `text`.
    std::size_t count(const std::string& text) const;
    /// Waits on the event loop for a line containing `text`; false when none comes in time.
    bool waitForLine(const std::string& text) const;

private:
    QtMessageHandler _previous;
};

/// Runs each test with the given load environment and restores the real one afterwards, after
/// every load the test started has ended.
class LoadEnvironmentTest : public ::testing::Test {
protected:
    void TearDown() override;
    QTemporaryDir _folder;
    std::filesystem::path folderPath() const;
};

} // namespace CatalogueTestSupport
