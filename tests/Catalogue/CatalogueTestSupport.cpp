#include "Catalogue/CatalogueTestSupport.h"

#include "Code/Catalogue/DiskOperationQueue.h"
#include "Code/Catalogue/QtStrings.h"
#include "Code/Model/LumoraConnectionDescription.h"
#include "Code/Model/LumoraSource.h"

#include <QCoreApplication>
#include <QSignalSpy>
#include <QTest>
#include <QThreadPool>
#include <algorithm>
#include <fstream>
#include <mutex>

namespace CatalogueTestSupport {

void writeFile(const std::filesystem::path& path, const std::string& contents) {
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << contents;
}

std::filesystem::path makeBundle(const std::filesystem::path& folder, const std::string& name,
                                 const std::string& infoEntries) {
    const auto bundle = folder / name;
    writeFile(bundle / "Contents/Info.plist",
              "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">\n<dict>\n" + infoEntries +
                  "</dict>\n</plist>\n");
    return bundle;
}

Lumora makeDocument(const std::filesystem::path& policyFile) {
    const auto source = std::make_shared<const Lumora::Source>(
        Lumora::Source::SourceType::internal, ZRURL::fileURL(policyFile.parent_path(), true),
        ZRURL::fileURL(policyFile, false), std::nullopt, std::nullopt, "Edits text",
        std::vector<Lumora::ConnectionDescription>{}, std::vector<Lumora::ServiceDescription>{},
        std::nullopt);
    return Lumora(source, {});
}

bool waitUntilLoadFinished(InstalledApplication& application) {
    QSignalSpy spy(&application, &InstalledApplication::lumoraLoadStateChanged);
    while (application.lumoraLoadState().stateCase() == LumoraLoadState::Case::loadPending) {
        if (!spy.wait(10000)) {
            return false;
        }
    }
    return true;
}

void drainLoads() {
    // A disk operation's answer may start loads, and a load's answer may start disk operations:
    // both queues are drained until neither has work left.
    auto& disk = DiskOperationQueue::shared();
    auto& loads = InstalledApplication::lumoraLoadQueue();
    do {
        disk.waitForDone();
        loads.waitForDone();
        QCoreApplication::sendPostedEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    } while (disk.activeThreadCount() > 0 || loads.activeThreadCount() > 0);
}

LumoraLoadEnvironment environmentLoading(std::function<Lumora(const ZRURL&)> load) {
    auto environment = LumoraLoadEnvironment::standard();
    environment.isReadable = [](const ZRURL&) { return true; };
    environment.load = [load = std::move(load)](const ZRURL& url, const LumoraLoader::Options&) {
        return load(url);
    };
    return environment;
}

LumoraLoadEnvironment environmentWithoutDocuments() {
    return environmentLoading(
        [](const ZRURL& url) -> Lumora { throw Lumora::InitializationError::bundleHasNoLumora(url); });
}

QByteArray previewEntry(const QByteArray& bundleIdentifier, const QByteArray& name, const QByteArray& extra) {
    return R"({"name": {"en": ")" + name +
           R"("}, "developerName": "Dev", "applicationDescription": {"en": "About"}, "url": "https://example.org/)" +
           bundleIdentifier + R"(", "bundleIdentifier": ")" + bundleIdentifier + '"' + extra + '}';
}

QByteArray previewList(const std::vector<QByteArray>& entries) {
    QByteArray list = R"({"applications": [)";
    for (std::size_t index = 0; index < entries.size(); ++index) {
        list += (index == 0 ? "" : ",") + entries[index];
    }
    return list + "]}";
}

QByteArray bytesOf(const std::filesystem::path& path) {
    return QByteArray(path.c_str(), static_cast<qsizetype>(path.native().size()));
}

void Gate::enter() {
    std::unique_lock lock(_mutex);
    _mostHeld = std::max(_mostHeld, ++_holding);
    _changed.notify_all();
    _changed.wait_for(lock, std::chrono::seconds(10), [this] { return _open; });
    --_holding;
}

bool Gate::waitUntilHolding(int count) {
    std::unique_lock lock(_mutex);
    return _changed.wait_for(lock, std::chrono::seconds(10), [&] { return _holding == count; });
}

int Gate::holding() const {
    std::lock_guard lock(_mutex);
    return _holding;
}

int Gate::mostHeld() const {
    std::lock_guard lock(_mutex);
    return _mostHeld;
}

void Gate::open() {
    std::lock_guard lock(_mutex);
    _open = true;
    _changed.notify_all();
}

namespace {

std::mutex logMutex;
std::vector<std::string> logLines;

} // namespace

LogCapture::LogCapture() {
    {
        std::lock_guard lock(logMutex);
        logLines.clear();
    }
    _previous = qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString& message) {
        std::lock_guard lock(logMutex);
        logLines.push_back(message.toStdString());
    });
}

LogCapture::~LogCapture() {
    qInstallMessageHandler(_previous);
}

std::vector<std::string> LogCapture::lines() const {
    std::lock_guard lock(logMutex);
    return logLines;
}

std::size_t LogCapture::count(const std::string& text) const {
    const auto all = lines();
    return static_cast<std::size_t>(std::count_if(all.begin(), all.end(), [&](const std::string& line) {
        return line.find(text) != std::string::npos;
    }));
}

bool LogCapture::waitForLine(const std::string& text) const {
    return QTest::qWaitFor([&] { return count(text) > 0; }, 20000);
}

void LoadEnvironmentTest::TearDown() {
    drainLoads();
    LumoraLoadEnvironment::setCurrent(LumoraLoadEnvironment::standard());
}

std::filesystem::path LoadEnvironmentTest::folderPath() const {
    return QtStrings::toPath(_folder.path());
}

} // namespace CatalogueTestSupport
