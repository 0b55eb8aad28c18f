#include "Code/Shell/DocumentPageController.h"

#include "Code/Archives/ArchiveContents.h"
#include "Code/Catalogue/ApplicationsArrayController.h"
#include "Code/Catalogue/ApplicationsSourceController.h"
#include "Code/Catalogue/InstalledApplication.h"
#include "Code/Catalogue/OpeningArchive.h"
#include "Code/Catalogue/Preferences.h"
#include "Code/Catalogue/PreviewApplication.h"
#include "Code/Catalogue/QtStrings.h"
#include "Code/Model/LumoraSource.h"
#include "Code/Shell/ApplicationIconCache.h"
#include "ZRFoundation/Bundle/ZRBundle.h"
#include "ZRFoundation/Bundle/ZRFileManager.h"

#include <QBuffer>
#include <QFile>
#include <QPointer>

namespace {

std::vector<std::uint8_t> pngBytes(const QImage& image) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return {bytes.begin(), bytes.end()};
}

std::vector<std::uint8_t> programImagePNG(const char* name) {
    const auto path = ZRBundle::mainBundle().pathForResource(name, "png", "Images");
    QFile file(path ? QtStrings::fromPath(*path) : QString());
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    const QByteArray bytes = file.readAll();
    return {bytes.begin(), bytes.end()};
}

DocumentPageSnapshot::LoadState pageLoadState(LumoraLoadState::Case stateCase) {
    using Case = LumoraLoadState::Case;
    using State = DocumentPageSnapshot::LoadState;
    switch (stateCase) {
    case Case::loaded:
        return State::loaded;
    case Case::loadFailed:
        return State::loadFailed;
    case Case::loadPending:
        return State::loadPending;
    case Case::noReadPermission:
        return State::noReadPermission;
    case Case::unavailable:
        break;
    }
    return State::unavailable;
}

/// Connections in a page above which it is built off the main thread: building takes about a
/// millisecond per hundred connections, so smaller pages are done within a frame or two and are
/// shown at once.
constexpr std::size_t largestPageBuiltOnTheMainThread = 2000;

/// How long the page of a selected application waits for its document to be read again before it
/// shows the application pending.
constexpr std::chrono::milliseconds documentRereadPatience{150};

std::size_t connectionCount(const DocumentPageSnapshot& snapshot) {
    std::size_t count = 0;
    for (const auto& application : snapshot.selection) {
        const auto* installed = std::get_if<DocumentPageSnapshot::InstalledApplication>(&application.kind);
        if (installed == nullptr || !installed->document) {
            continue;
        }
        for (const auto& source : installed->document->sources()) {
            count += source->connectionDescriptions().size();
        }
    }
    return count;
}

PageColor pageColor(const QColor& color) {
    const QColor rgb = color.toRgb();
    return {rgb.redF(), rgb.greenF(), rgb.blueF(), rgb.alphaF()};
}

} // namespace

DocumentPageController::DocumentPageController(ApplicationsSourceController& sources,
                                               Preferences& preferences, ApplicationIconCache& icons,
                                               QObject* parent)
    : QObject(parent)
    , _sources(sources)
    , _preferences(preferences)
    , _icons(icons)
    , _homeFolder(ZRFileManager::homeDirectoryForCurrentUser())
    , _cautionImagePNG(programImagePNG("Caution"))
    , _previewApplicationsImagePNG(programImagePNG("PreviewApplicationsHTML"))
    , _pageBuilding(new QThreadPool(this)) {
    _pageBuilding->setObjectName(QStringLiteral("org.lumoraviewer.LumoraViewer.PageBuilding"));
    _pageBuilding->setMaxThreadCount(1);
    _rebuildTimer.setSingleShot(true);
    _rebuildTimer.setInterval(0);
    connect(&_rebuildTimer, &QTimer::timeout, this, &DocumentPageController::rebuild);

    auto& list = sources.arrayController();
    connect(&list, &ApplicationsArrayController::selectedApplicationChanged, this, [this] {
        observeSelectedApplication();
        setNeedsRebuild();
    });
    connect(&sources, &ApplicationsSourceController::initialLoadingFinishedChanged, this,
            &DocumentPageController::setNeedsRebuild);
    // Without exactly one application selected the page says why the list is as it is (the
    // folders that could not be read among it): any change of the list or of an application's
    // state, and any grant, may change that.
    const auto rebuildUnlessOneSelected = [this] {
        if (!_sources.arrayController().selectedApplication()) {
            setNeedsRebuild();
        }
    };
    connect(&sources, &ApplicationsSourceController::applicationsChanged, this, rebuildUnlessOneSelected);
    connect(&sources, &ApplicationsSourceController::readPermissionsChanged, this, rebuildUnlessOneSelected);
    connect(&list, &ApplicationsArrayController::applicationChanged, this, rebuildUnlessOneSelected);
    connect(&preferences, &Preferences::changed, this, [this](const QString& key) {
        using namespace PreferenceKeys;
        if (showPortsAndProtocols.is(key) || developerModeEnabled.is(key) ||
            previewApplicationsSourceEnabled.is(key)) {
            setNeedsRebuild();
        }
    });
    connect(&icons, &ApplicationIconCache::iconDecoded, this, [this](const QString& identifier) {
        const auto& selected = _sources.arrayController().selectedApplication();
        if (selected && selected->identifier() == identifier) {
            setNeedsRebuild();
        }
    });
}

DocumentPageController::~DocumentPageController() = default;

void DocumentPageController::setSimulatedConnectionProvider(SimulatedConnectionProvider provider) {
    _simulatedConnection = std::move(provider);
    setNeedsRebuild();
}

void DocumentPageController::setAppearance(bool dark, std::optional<QColor> accentColor) {
    _dark = dark;
    _accentColor = std::move(accentColor);
    setNeedsRebuild();
}

void DocumentPageController::setNeedsRebuild() {
    _rebuildTimer.start();
}

void DocumentPageController::rebuild() {
    const std::uint64_t generation = ++_generation;
    auto pageSnapshot = snapshot();
    if (_awaitingDocument) {
        // Reading the document again takes milliseconds: the page waits for it (its arrival
        // rebuilds), and shows the application pending only if that takes long enough to notice.
        auto waiting = std::make_shared<DocumentPageSnapshot>(std::move(pageSnapshot));
        QTimer::singleShot(documentRereadPatience, this, [this, generation, waiting] {
            if (generation == _generation) {
                build(generation, std::move(*waiting));
            }
        });
        return;
    }
    build(generation, std::move(pageSnapshot));
}

void DocumentPageController::build(std::uint64_t generation, DocumentPageSnapshot pageSnapshot) {
    if (connectionCount(pageSnapshot) <= largestPageBuiltOnTheMainThread) {
        publish(generation, QtStrings::toQString(::pageHTML(pageSnapshot)));
        return;
    }
    _pageBuilding->start([controller = QPointer(this), generation, pageSnapshot = std::move(pageSnapshot)] {
        QString html = QtStrings::toQString(::pageHTML(pageSnapshot));
        QMetaObject::invokeMethod(
            controller.data(),
            [controller, generation, html = std::move(html)] {
                if (controller) {
                    controller->publish(generation, html);
                }
            },
            Qt::QueuedConnection);
    });
}

void DocumentPageController::publish(std::uint64_t generation, const QString& html) {
    if (generation == _generation) {
        emit pageChanged(html);
    }
}

void DocumentPageController::observeSelectedApplication() {
    disconnect(_selectedApplicationObservation);
    disconnect(_selectedApplicationIconObservation);
    disconnect(_selectedApplicationDocumentObservation);
    _selectedDocument.reset();
    const auto& selected = _sources.arrayController().selectedApplication();
    if (auto* installed = qobject_cast<InstalledApplication*>(selected.get())) {
        // The document is taken at once: until the rebuild, other loads' documents could push it
        // out of those kept in memory.
        const auto takeDocumentAndRebuild = [this, installed] {
            _selectedDocument = installed->lumoraLoadState().lumora();
            setNeedsRebuild();
        };
        _selectedApplicationObservation =
            connect(installed, &InstalledApplication::lumoraLoadStateChanged, this, takeDocumentAndRebuild);
        _selectedApplicationDocumentObservation =
            connect(installed, &InstalledApplication::documentReread, this, takeDocumentAndRebuild);
    } else if (auto* preview = qobject_cast<PreviewApplication*>(selected.get())) {
        _selectedApplicationIconObservation = connect(preview, &PreviewApplication::iconChanged, this,
                                                      &DocumentPageController::setNeedsRebuild);
    }
}

DocumentPageSnapshot DocumentPageController::snapshot() {
    DocumentPageSnapshot snapshot;
    _awaitingDocument = false;
    if (const auto& selected = _sources.arrayController().selectedApplication()) {
        DocumentPageSnapshot::Application application;
        application.displayName = QtStrings::toStdString(selected->displayName());
        const QImage icon = _icons.icon(*selected, ApplicationIconCache::pageIconSize);
        if (_encodedIcon.identifier != selected->identifier() || _encodedIcon.imageKey != icon.cacheKey()) {
            _encodedIcon = {selected->identifier(), icon.cacheKey(), pngBytes(icon)};
        }
        application.iconPNG = _encodedIcon.png;
        if (auto* installed = qobject_cast<InstalledApplication*>(selected.get())) {
            auto facts = installed->pageHeaderFacts();
            const auto& state = installed->lumoraLoadState();
            facts.loadState = pageLoadState(state.stateCase());
            facts.document = installed->document();
            _selectedDocument = facts.document;
            if (state.stateCase() == LumoraLoadState::Case::loaded && !facts.document) {
                _awaitingDocument = true;
                facts.loadState = DocumentPageSnapshot::LoadState::loadPending;
            }
            facts.signature = state.signature();
            if (const auto* error = state.error()) {
                facts.errorDescription = error->description;
                if (const auto& origin = facts.archiveOrigin) {
                    // Named as the reader knows the bundle, not by the extraction folder.
                    facts.errorDescription = ArchiveContents::replacingBundlePath(
                        std::move(facts.errorDescription), installed->bundleURL().path(),
                        origin->archive.filename().string() + "/" + origin->pathInArchive);
                }
            }
            application.kind = std::move(facts);
        } else if (const auto* opening = qobject_cast<const OpeningArchive*>(selected.get())) {
            // Shown as pending, in the archive, until its applications take its place.
            DocumentPageSnapshot::InstalledApplication facts;
            facts.bundlePath = opening->archive();
            facts.loadState = DocumentPageSnapshot::LoadState::loadPending;
            facts.archiveOrigin =
                DocumentPageSnapshot::InstalledApplication::ArchiveOrigin{opening->archive(), {}};
            application.kind = std::move(facts);
        } else if (const auto* preview = qobject_cast<const PreviewApplication*>(selected.get())) {
            application.kind = DocumentPageSnapshot::PreviewApplication{
                QtStrings::toStdString(preview->developerName()),
                QtStrings::toStdString(preview->applicationDescription()),
                QtStrings::toStdString(preview->url().toString(QUrl::FullyEncoded))};
        }
        snapshot.selection.push_back(std::move(application));
    }
    snapshot.dark = _dark;
    if (_accentColor) {
        snapshot.accentColor = pageColor(*_accentColor);
    }
    snapshot.showPortsAndProtocols = _preferences.showPortsAndProtocols();
    if (_preferences.developerModeEnabled() && _simulatedConnection) {
        snapshot.simulatedConnection = _simulatedConnection();
    }
    snapshot.proposedFoldersToGrantReadPermission = _sources.proposedDirectoryURLsToGrantReadPermission();
    snapshot.homeFolder = _homeFolder;
    snapshot.previewApplicationsSourceEnabled = _preferences.previewApplicationsSourceEnabled();
    snapshot.previewApplicationsSourceOffered = _sources.isPreviewApplicationsSourceOffered();
    snapshot.initialLoadingFinished = _sources.initialLoadingFinished();
    snapshot.cautionImagePNG = _cautionImagePNG;
    snapshot.previewApplicationsImagePNG = _previewApplicationsImagePNG;
    return snapshot;
}

QString DocumentPageController::pageHTML() {
    return QtStrings::toQString(::pageHTML(snapshot()));
}
