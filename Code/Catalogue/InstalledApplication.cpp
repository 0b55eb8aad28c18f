#include "Code/Catalogue/InstalledApplication.h"

#include "Code/Catalogue/LumoraLoadEnvironment.h"
#include "Code/Catalogue/QtStrings.h"
#include "Code/Model/LumoraConnectionDescription.h"
#include "Code/Model/LumoraSource.h"
#include "ZRFoundation/Bundle/ZRBundle.h"
#include "ZRFoundation/Bundle/ZRFileManager.h"
#include "ZRFoundation/CodeSigning/ZRCryptoLibrary.h"
#include "ZRFoundation/CodeSigning/ZRMappedFile.h"

#include <QCoreApplication>
#include <QThread>
#include <QThreadPool>
#include <algorithm>
#include <array>
#include <cctype>
#include <cstdint>
#include <mutex>
#include <unordered_map>

#include <sys/stat.h>

namespace {

constexpr std::string_view applicationExtension = ".app";

/// The bundles that have a live instance, by path. Values are weak: an application that nothing
/// reports any more goes away with its document.
struct InstalledApplicationsCache {
    std::mutex mutex;
    std::unordered_map<std::string, std::weak_ptr<InstalledApplication>> applications;
};

InstalledApplicationsCache& installedApplicationsCache() {
    static InstalledApplicationsCache cache;
    return cache;
}

std::string cacheKey(const ZRURL& bundleURL) {
    return bundleURL.isFileURL() ? bundleURL.path().lexically_normal().string() : bundleURL.absoluteString();
}

std::string removingApplicationExtension(std::string name) {
    if (name.ends_with(applicationExtension)) {
        name.erase(name.size() - applicationExtension.size());
    }
    return name;
}

/// What a user sees for the bundle: the name it declares for display, in the user's language,
/// else its file name.
std::string displayNameOfBundle(const ZRURL& bundleURL) {
    if (!bundleURL.isFileURL()) {
        return bundleURL.lastPathComponent();
    }
    if (const auto bundle = ZRBundle::bundleWithPath(bundleURL.path())) {
        const auto info = bundle->localizedInfoDictionary();
        const auto* value = info.find("CFBundleDisplayName");
        const auto* name = value ? value->stringValue() : nullptr;
        if (name && !name->empty()) {
            return removingApplicationExtension(*name);
        }
    }
    return removingApplicationExtension(ZRFileManager::displayNameAtPath(bundleURL.path()));
}

bool isMachOFile(const std::filesystem::path& path) {
    std::error_code error;
    const auto file = ZRMappedFile::open(path, ZRMappedFile::Links::follow, error);
    if (!file || file->bytes().size() < 4) {
        return false;
    }
    const auto bytes = file->bytes();
    const std::uint32_t magic = std::uint32_t{bytes[0]} << 24 | std::uint32_t{bytes[1]} << 16 |
                                std::uint32_t{bytes[2]} << 8 | std::uint32_t{bytes[3]};
    // Thin 32- and 64-bit files in either byte order, and universal files with 32- or 64-bit
    // offsets, which are always stored big-endian but may be read either way round.
    constexpr std::array<std::uint32_t, 8> magics{0xfeedface, 0xfeedfacf, 0xcefaedfe, 0xcffaedfe,
                                                  0xcafebabe, 0xbebafeca, 0xcafebabf, 0xbfbafeca};
    return std::find(magics.begin(), magics.end(), magic) != magics.end();
}

bool hasApplicationExtension(const std::filesystem::path& path) {
    // Type identifiers are matched on extensions without regard to case.
    const auto extension = path.extension().string();
    return extension.size() == applicationExtension.size() &&
           std::equal(extension.begin(), extension.end(), applicationExtension.begin(),
                      [](char a, char b) { return std::tolower(static_cast<unsigned char>(a)) == b; });
}

/// The icon file the bundle names, when it exists.
QString iconFilePathOfBundle(const ZRBundle& bundle) {
    if (!bundle.resourcePath()) {
        return {};
    }
    for (const char* key : {"CFBundleIconFile", "CFBundleIconName"}) {
        const auto* value = bundle.infoDictionary().find(key);
        const auto* name = value ? value->stringValue() : nullptr;
        if (!name || name->empty()) {
            continue;
        }
        std::filesystem::path file = *bundle.resourcePath() / *name;
        if (file.extension().empty()) {
            file += ".icns";
        }
        if (ZRFileManager::fileExistsAtPath(file)) {
            return QtStrings::fromPath(file);
        }
    }
    return {};
}

} // namespace

InstalledApplication::BundleFacts InstalledApplication::readBundleFacts(const ZRURL& bundleURL,
                                                                        bool includingPageHeader) {
    BundleFacts facts;
    if (!bundleURL.isFileURL()) {
        return facts;
    }
    facts.pageHeader.bundlePath = bundleURL.path();
    if (includingPageHeader) {
        facts.pageHeader = installedApplicationFacts(bundleURL.path());
    }
    if (const auto bundle = ZRBundle::bundleWithPath(bundleURL.path())) {
        if (const auto identifier = bundle->bundleIdentifier()) {
            facts.bundleIdentifier = QtStrings::toQString(*identifier);
        }
        facts.iconFilePath = iconFilePathOfBundle(*bundle);
    }
    return facts;
}

namespace {

LumoraLoadState loadState(const ZRURL& bundleURL) {
    const auto environment = LumoraLoadEnvironment::current();
    if (!environment.isReadable(bundleURL)) {
        return LumoraLoadState::noReadPermission();
    }
    try {
        return LumoraLoadState::loaded(
            std::make_shared<const Lumora>(environment.load(bundleURL, environment.loaderOptions)));
    } catch (...) {
        try {
            const auto failure = LumoraLoadFailure::fromLoaderException(std::current_exception());
            return failure ? LumoraLoadState::loadFailed(*failure) : LumoraLoadState::unavailable();
        } catch (const std::exception& failure) {
            return LumoraLoadState::loadFailed({"std::exception", {}, failure.what()});
        } catch (...) {
            return LumoraLoadState::loadFailed({"unknown", {}, "An unknown error occurred."});
        }
    }
}

/// Hands the last reference's object back to its own thread: sources may drop applications on
/// their worker threads, and a QObject must die where it lives.
void releaseInstalledApplication(InstalledApplication* application) {
    auto& cache = installedApplicationsCache();
    {
        std::lock_guard lock(cache.mutex);
        const auto entry = cache.applications.find(cacheKey(application->bundleURL()));
        // A new instance for the same bundle may already have taken the slot.
        if (entry != cache.applications.end() && entry->second.expired()) {
            cache.applications.erase(entry);
        }
    }
    if (application->thread() == QThread::currentThread() || QCoreApplication::instance() == nullptr) {
        delete application;
    } else {
        application->deleteLater();
    }
}

} // namespace

QStringList InstalledApplication::lumoraContainerFileTypes() {
    return {QString::fromLatin1(applicationBundleType), QString::fromLatin1(unixExecutableType)};
}

QThreadPool& InstalledApplication::lumoraLoadQueue() {
    static QThreadPool& queue = []() -> QThreadPool& {
        // Loads read the environment; making it first makes it outlive the pool, whose destruction
        // at exit waits for the loads still running.
        (void)LumoraLoadEnvironment::current();
        // The loads check signatures; a program that did not start the crypto library itself gets
        // it started here, still without a clean-up at exit under the pool's threads.
        ZRCryptoLibrary::initialize();
        static QThreadPool pool;
        pool.setObjectName(QStringLiteral("org.lumoraviewer.LumoraViewer.LumoraLoadQueue"));
        pool.setMaxThreadCount(8);
        return pool;
    }();
    return queue;
}

std::shared_ptr<InstalledApplication> InstalledApplication::makeForBundleURL(const ZRURL& bundleURL) {
    auto& cache = installedApplicationsCache();
    std::lock_guard lock(cache.mutex);
    auto& slot = cache.applications[cacheKey(bundleURL)];
    if (auto application = slot.lock()) {
        return application;
    }
    std::shared_ptr<InstalledApplication> application(new InstalledApplication(PrivateToken{}, bundleURL),
                                                      releaseInstalledApplication);
    if (const auto* core = QCoreApplication::instance();
        core != nullptr && application->thread() != core->thread()) {
        application->moveToThread(core->thread());
    }
    slot = application;
    application->readLumoraInBackground();
    return application;
}

InstalledApplication::InstalledApplication(PrivateToken, const ZRURL& bundleURL)
    : Application(bundleURL.isFileURL() ? QtStrings::fromPath(bundleURL.path())
                                        : QtStrings::toQString(bundleURL.absoluteString()),
                  QtStrings::toQString(displayNameOfBundle(bundleURL)))
    , _bundleURL(bundleURL)
    // The page's header facts come with the load, which starts right away.
    , _bundleFacts(readBundleFacts(bundleURL, false)) {}

InstalledApplication::~InstalledApplication() = default;

std::optional<QString> InstalledApplication::typeIdentifier(const std::filesystem::path& path) {
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0) {
        return std::nullopt;
    }
    if (S_ISDIR(status.st_mode)) {
        return QString::fromLatin1(hasApplicationExtension(path) ? applicationBundleType : "public.folder");
    }
    if (S_ISREG(status.st_mode)) {
        const bool executable = (status.st_mode & (S_IXUSR | S_IXGRP | S_IXOTH)) != 0;
        return QString::fromLatin1(executable || isMachOFile(path) ? unixExecutableType : "public.data");
    }
    return QString::fromLatin1("public.item");
}

bool InstalledApplication::canContainLumora(const std::filesystem::path& path, bool allowOnlyAppBundles) {
    const auto type = typeIdentifier(path);
    if (!type) {
        return false;
    }
    if (allowOnlyAppBundles) {
        return *type == QLatin1String(applicationBundleType);
    }
    return lumoraContainerFileTypes().contains(*type);
}

std::optional<ZRURL> InstalledApplication::lumoraFileURL() const {
    const auto lumora = _lumoraLoadState.lumora();
    if (!lumora) {
        return std::nullopt;
    }
    return lumora->primarySource()->policyFileURL();
}

QString InstalledApplication::bundleIdentifier() const {
    return _bundleFacts.bundleIdentifier;
}

bool InstalledApplication::isLumoraLoaded() const {
    return _lumoraLoadState.stateCase() == LumoraLoadState::Case::loaded;
}

QString InstalledApplication::searchString() const {
    std::string text = QtStrings::toStdString(displayName());
    const auto lumora = _lumoraLoadState.lumora();
    if (!lumora) {
        return displayName();
    }
    using Kind = Lumora::ConnectionDescription::HostMatchingRule::Kind;
    for (const auto& source : lumora->sources()) {
        std::string names;
        for (const auto& connection : source->connectionDescriptions()) {
            for (const auto& rule : connection.hostMatchingRules()) {
                if (rule.kind() == Kind::host || rule.kind() == Kind::fuzzyDomainWildcard ||
                    rule.kind() == Kind::exactDomainWildcard) {
                    names += ' ' + rule.name();
                }
            }
        }
        text += names;
        for (const auto& service : source->serviceDescriptions()) {
            text += ' ' + service.localizedName();
        }
    }
    return QtStrings::toQString(text);
}

QString InstalledApplication::iconFilePath() const {
    return _bundleFacts.iconFilePath;
}

void InstalledApplication::readLumoraInBackground() {
    const std::uint64_t load = ++*_latestLoad;
    setLumoraLoadState(LumoraLoadState::loadPending());
    // The load holds the application only weakly and never as a strong reference, so that dropping
    // the application while its load waits or runs neither keeps it alive nor destroys it off its thread.
    std::weak_ptr<InstalledApplication> weakApplication = weak_from_this();
    lumoraLoadQueue().start([weakApplication, latestLoad = _latestLoad, load, bundleURL = _bundleURL] {
        if (weakApplication.expired() || *latestLoad != load) {
            return;
        }
        auto state = loadState(bundleURL);
        auto facts = readBundleFacts(bundleURL, true);
        auto* const core = QCoreApplication::instance();
        if (core == nullptr) {
            return;
        }
        QMetaObject::invokeMethod(
            core,
            [weakApplication, latestLoad, load, state = std::move(state), facts = std::move(facts)] {
                const auto application = weakApplication.lock();
                if (application && *latestLoad == load) {
                    application->_bundleFacts = facts;
                    application->setLumoraLoadState(state);
                }
            },
            Qt::QueuedConnection);
    });
}

void InstalledApplication::setLumoraLoadState(LumoraLoadState state) {
    LumoraLoadStateChange change{_lumoraLoadState, state};
    _lumoraLoadState = std::move(state);
    if (!(change.oldValue == change.newValue)) {
        emit lumoraLoadStateChanged(change);
    }
}
