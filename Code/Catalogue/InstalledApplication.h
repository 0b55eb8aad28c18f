#pragma once

#include "Code/Catalogue/Application.h"
#include "Code/Catalogue/ApplicationBundleFacts.h"
#include "Code/Catalogue/ApplicationFileTypes.h"
#include "Code/Catalogue/LumoraLoadState.h"
#include "Code/Presentation/DocumentPage.h"
#include "ZRFoundation/URL/ZRURL.h"

#include <QStringList>
#include <atomic>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>

class QThreadPool;

/// An application bundle (or single executable) on a local disk whose document is loaded in the
/// background. On Linux a bundle is a folder named *.app, copied or mounted from the bundles' home
/// platform, and a single executable is a file with an execute bit or a Mach-O header. There is at
/// most one live instance per bundle, obtained through `makeForBundleURL`, so every source that
/// reports the bundle shares its load state.
class InstalledApplication : public Application, public std::enable_shared_from_this<InstalledApplication> {
    Q_OBJECT
    Q_PROPERTY(QString bundleIdentifier READ bundleIdentifier)
    Q_PROPERTY(bool isLumoraLoaded READ isLumoraLoaded NOTIFY lumoraLoadStateChanged)
    Q_PROPERTY(QString searchString READ searchString NOTIFY lumoraLoadStateChanged)

    struct PrivateToken {};

public:
    static constexpr const char* lumoraLoadStateDidChangeNotification =
        "LumoraLoadStateDidChangeNotification";
    static constexpr const char* lumoraLoadStateChangeKey = "LumoraLoadStateChangeKey";
    /// The type identifiers of the files that may carry a document, in order: application bundles,
    /// then Unix executables.
    static constexpr const char* applicationBundleType = ApplicationFileTypes::applicationBundle;
    static constexpr const char* unixExecutableType = ApplicationFileTypes::unixExecutable;
    static QStringList lumoraContainerFileTypes();
    /// The pool every document load runs on: at most eight at a time.
    static QThreadPool& lumoraLoadQueue();

    /// The live instance for the bundle, made (and its load started) when there is none. Safe to
    /// call from any thread; the instance lives on the main thread either way. Bundles are told
    /// apart by their path, so a directory URL and a plain URL of the same folder meet in one instance.
    static std::shared_ptr<InstalledApplication> makeForBundleURL(const ZRURL& bundleURL);

    /// The type identifier of the item at `path`, as `ApplicationFileTypes` tells them apart; none
    /// when the item cannot be examined.
    static std::optional<QString> typeIdentifier(const std::filesystem::path& path);
    /// Whether the item at `path` may carry a document: an application bundle, or (unless
    /// `allowOnlyAppBundles`) a Unix executable.
    static bool canContainLumora(const std::filesystem::path& path, bool allowOnlyAppBundles);

    InstalledApplication(PrivateToken, const ZRURL& bundleURL);
    ~InstalledApplication() override;

    const ZRURL& bundleURL() const { return _bundleURL; }
    const LumoraLoadState& lumoraLoadState() const { return _lumoraLoadState; }
    /// The primary declaration file of a loaded document in memory, for revealing it; none otherwise.
    std::optional<ZRURL> lumoraFileURL() const;
    /// The document of a loaded application. Only the documents in use stay in memory (the page's,
    /// and a few of those shown or loaded last); for any other this returns null and reads the
    /// document again in the background, checked as at first. `documentReread` tells when it is
    /// back; a bundle that no longer passes changes the state instead.
    std::shared_ptr<const Lumora> document();

    /// Read from the bundle when the instance is made and again by every load, so that asking never
    /// touches the disk (the list asks on the main thread) and a changed bundle shows after a reload.
    QString bundleIdentifier() const override;
    bool isLumoraLoaded() const override;
    /// The display name, then for each of the document's sources the host and domain names of its
    /// connections and the names of its services.
    QString searchString() const override;
    /// Refreshed like `bundleIdentifier`.
    QString iconFilePath() const override;
    qint64 iconFileModificationTime() const override;
    /// What the page's header shows of the bundle (version, copyright, the archive it came
    /// from), refreshed like `bundleIdentifier`; the state fields are left for the page's builder
    /// to fill.
    DocumentPageSnapshot::InstalledApplication pageHeaderFacts() const;

    using ArchiveOrigin = DocumentPageSnapshot::InstalledApplication::ArchiveOrigin;
    /// For a bundle extracted from an archive: the archive and the folder inside it. Set on the
    /// main thread by whoever opened the archive, before the application is listed.
    const std::optional<ArchiveOrigin>& archiveOrigin() const { return _archiveOrigin; }
    void setArchiveOrigin(ArchiveOrigin origin) { _archiveOrigin = std::move(origin); }
    /// The item to reveal in the file manager: the archive for a bundle extracted from one, else
    /// the bundle.
    std::filesystem::path revealedPath() const;

    /// Starts a load now; the state becomes `loadPending` on the calling thread and the outcome is
    /// applied on the main thread. Only the latest load counts: one that was asked for earlier but
    /// finishes later (say, the load that found no read permission before the user granted it) is
    /// dropped, and one that has not started by then does not run.
    void readLumoraInBackground();

signals:
    /// Emitted on the main thread whenever the state changes case (and for `loadPending` on the
    /// thread that asked for the load).
    void lumoraLoadStateChanged(const LumoraLoadStateChange& change);
    /// The document that `document` found gone is in memory again.
    void documentReread();

private:
    /// The first half of `readLumoraInBackground`: counts the load and shows it pending. Returns the
    /// load's number for `queueLoad`.
    std::uint64_t markLoadPending();
    /// The second half: queues load number `load`, which applies its outcome on the main thread
    /// unless a later load has been asked for by then. `rereadingDocument`: the load only brings
    /// back the document of a loaded application, which is not shown pending meanwhile.
    void queueLoad(std::uint64_t load, bool rereadingDocument = false);
    /// `foldedSearchString`: the search text for the new state, folded off the main thread.
    void setLumoraLoadState(LumoraLoadState state, std::optional<QString> foldedSearchString = std::nullopt);
    static QString searchStringFor(const QString& displayName, const LumoraLoadState& state);

    ZRURL _bundleURL;
    LumoraLoadState _lumoraLoadState;
    /// What the list shows of the bundle besides its name, read off the main thread.
    ApplicationBundleFacts _bundleFacts;
    std::optional<ArchiveOrigin> _archiveOrigin;
    /// Counts the loads asked for; shared with them so that a superseded one can tell without
    /// holding the application.
    std::shared_ptr<std::atomic<std::uint64_t>> _latestLoad = std::make_shared<std::atomic<std::uint64_t>>(0);
    bool _rereadingDocument = false;
};
