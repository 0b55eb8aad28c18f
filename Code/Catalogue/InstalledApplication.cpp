#include "Code/Catalogue/InstalledApplication.h"

#include "Code/Catalogue/ApplicationFileTypes.h"
#include "Code/Catalogue/BackgroundThreadPriority.h"
#include "Code/Catalogue/InstalledApplicationCache.h"
#include "Code/Catalogue/LumoraLoadEnvironment.h"
#include "Code/Catalogue/LumoraLoadQueue.h"
#include "Code/Catalogue/LumoraLoadStateMapping.h"
#include "Code/Catalogue/QtStrings.h"
#include "Code/Catalogue/SearchTextFolding.h"
#include "Code/Model/LumoraConnectionDescription.h"
#include "Code/Model/LumoraSource.h"

#include <QCoreApplication>
#include <QThread>
#include <QThreadPool>
#include <algorithm>
#include <cstdint>
#include <deque>

namespace {

/// Hands the last reference's object back to its own thread: sources may drop applications on
/// their worker threads, and a QObject must die where it lives.
void releaseInstalledApplication(InstalledApplication* application) {
    InstalledApplicationCache::shared().removeIfReleased(
        InstalledApplicationCache::keyFor(application->bundleURL()));
    if (application->thread() == QThread::currentThread() || QCoreApplication::instance() == nullptr) {
        delete application;
    } else {
        application->deleteLater();
    }
}

} // namespace

QStringList InstalledApplication::lumoraContainerFileTypes() {
    return ApplicationFileTypes::lumoraContainerTypes();
}

QThreadPool& InstalledApplication::lumoraLoadQueue() {
    return LumoraLoadQueue::shared();
}

std::shared_ptr<InstalledApplication> InstalledApplication::makeForBundleURL(const ZRURL& bundleURL) {
    auto& cache = InstalledApplicationCache::shared();
    const auto key = InstalledApplicationCache::keyFor(bundleURL);
    if (auto application = cache.find(key)) {
        return application;
    }
    // Made outside the cache's lock, since making it reads the bundle. A candidate that loses the
    // race to another thread is dropped before its load is queued.
    std::shared_ptr<InstalledApplication> candidate(new InstalledApplication(PrivateToken{}, bundleURL),
                                                    releaseInstalledApplication);
    if (const auto* core = QCoreApplication::instance();
        core != nullptr && candidate->thread() != core->thread()) {
        candidate->moveToThread(core->thread());
    }
    // Pending before it is published, so that no other thread sees it otherwise.
    const auto load = candidate->markLoadPending();
    auto application = cache.publish(key, candidate);
    if (application == candidate) {
        application->queueLoad(load);
    }
    return application;
}

InstalledApplication::InstalledApplication(PrivateToken, const ZRURL& bundleURL)
    : Application(bundleURL.isFileURL() ? QtStrings::fromPath(bundleURL.path())
                                        : QtStrings::toQString(bundleURL.absoluteString()),
                  ApplicationBundleFacts::displayName(bundleURL))
    , _bundleURL(bundleURL)
    // The page's header facts come with the load, which starts right away.
    , _bundleFacts(ApplicationBundleFacts::read(bundleURL, false)) {}

InstalledApplication::~InstalledApplication() = default;

std::optional<QString> InstalledApplication::typeIdentifier(const std::filesystem::path& path) {
    return ApplicationFileTypes::typeIdentifier(path);
}

bool InstalledApplication::canContainLumora(const std::filesystem::path& path, bool allowOnlyAppBundles) {
    return ApplicationFileTypes::canContainLumora(path, allowOnlyAppBundles);
}

namespace {

/// The documents shown or loaded last, kept so that going back and forth between a few
/// applications does not read them again. Main thread only.
class RecentDocuments {
public:
    static constexpr std::size_t capacity = 16;

    static RecentDocuments& shared() {
        static RecentDocuments recent;
        return recent;
    }

    void keep(std::shared_ptr<const Lumora> document) {
        if (const auto found = std::find(_documents.begin(), _documents.end(), document);
            found != _documents.end()) {
            _documents.erase(found);
        } else if (_documents.size() == capacity) {
            _documents.pop_front();
        }
        _documents.push_back(std::move(document));
    }

private:
    std::deque<std::shared_ptr<const Lumora>> _documents;
};

} // namespace

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
    return searchStringFor(displayName(), _lumoraLoadState);
}

QString InstalledApplication::searchStringFor(const QString& displayName, const LumoraLoadState& state) {
    const auto lumora = state.lumora();
    if (!lumora) {
        return displayName;
    }
    std::string text = QtStrings::toStdString(displayName);
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

qint64 InstalledApplication::iconFileModificationTime() const {
    return _bundleFacts.iconModificationTime;
}

void InstalledApplication::readLumoraInBackground() {
    queueLoad(markLoadPending());
}

std::uint64_t InstalledApplication::markLoadPending() {
    const std::uint64_t load = ++*_latestLoad;
    setLumoraLoadState(LumoraLoadState::loadPending());
    return load;
}

void InstalledApplication::queueLoad(std::uint64_t load, bool rereadingDocument) {
    // The load holds the application only weakly and never as a strong reference, so that dropping
    // the application while its load waits or runs neither keeps it alive nor destroys it off its thread.
    std::weak_ptr<InstalledApplication> weakApplication = weak_from_this();
    // A document read again is waited for: it goes ahead of the loads still queued.
    const int queuePriority = rereadingDocument ? 1 : 0;
    BackgroundThreadPriority::start(
        lumoraLoadQueue(),
        [weakApplication, latestLoad = _latestLoad, load, rereadingDocument, bundleURL = _bundleURL,
         displayName = displayName()] {
            if (weakApplication.expired() || *latestLoad != load) {
                return;
            }
            auto state =
                LumoraLoadStateMapping::stateAfterLoading(bundleURL, LumoraLoadEnvironment::current());
            auto facts = ApplicationBundleFacts::read(bundleURL, true);
            // Folded here, so that the first search of a long list does not fold every text at once.
            auto folded = SearchTextFolding::folded(searchStringFor(displayName, state));
            auto* const core = QCoreApplication::instance();
            if (core == nullptr) {
                return;
            }
            QMetaObject::invokeMethod(
                core,
                [weakApplication, latestLoad, load, rereadingDocument, state = std::move(state),
                 facts = std::move(facts), folded = std::move(folded)] {
                    const auto application = weakApplication.lock();
                    if (!application) {
                        return;
                    }
                    if (rereadingDocument) {
                        application->_rereadingDocument = false;
                    }
                    if (*latestLoad != load) {
                        return;
                    }
                    application->_bundleFacts = facts;
                    if (rereadingDocument && state.stateCase() == LumoraLoadState::Case::loaded) {
                        // Still loaded: the state keeps its case, and the reader gets the document.
                        RecentDocuments::shared().keep(state.lumora());
                        application->_lumoraLoadState = state.holdingDocumentWeakly();
                        emit application->documentReread();
                    } else {
                        application->setLumoraLoadState(state, folded);
                    }
                },
                Qt::QueuedConnection);
        },
        queuePriority);
}

DocumentPageSnapshot::InstalledApplication InstalledApplication::pageHeaderFacts() const {
    DocumentPageSnapshot::InstalledApplication facts;
    if (_bundleURL.isFileURL()) {
        facts.bundlePath = _bundleURL.path();
    }
    facts.infoDictionaryReadable = _bundleFacts.pageHeader.infoDictionaryReadable;
    facts.version = _bundleFacts.pageHeader.version;
    facts.copyright = _bundleFacts.pageHeader.copyright;
    facts.archiveOrigin = _archiveOrigin;
    return facts;
}

std::filesystem::path InstalledApplication::revealedPath() const {
    return _archiveOrigin ? _archiveOrigin->archive : _bundleURL.path();
}

std::shared_ptr<const Lumora> InstalledApplication::document() {
    if (auto document = _lumoraLoadState.lumora()) {
        RecentDocuments::shared().keep(document);
        return document;
    }
    if (_lumoraLoadState.stateCase() == LumoraLoadState::Case::loaded && !_rereadingDocument) {
        _rereadingDocument = true;
        queueLoad(*_latestLoad, true);
    }
    return nullptr;
}

void InstalledApplication::setLumoraLoadState(LumoraLoadState state,
                                              std::optional<QString> foldedSearchString) {
    if (auto document = state.lumora()) {
        // The search text needs the document, which from now on stays only while it is in use.
        if (!foldedSearchString) {
            foldedSearchString = SearchTextFolding::folded(searchStringFor(displayName(), state));
        }
        RecentDocuments::shared().keep(std::move(document));
        state = state.holdingDocumentWeakly();
    }
    LumoraLoadStateChange change{_lumoraLoadState, state};
    _lumoraLoadState = std::move(state);
    if (!(change.oldValue == change.newValue)) {
        searchStringMayHaveChanged(std::move(foldedSearchString));
        emit lumoraLoadStateChanged(change);
    }
}
