#pragma once

#include "Code/Loading/LumoraSignatureSummary.h"
#include "Code/Model/ConnectionInformation.h"
#include "Code/Model/Lumora.h"
#include "Code/Presentation/PageColor.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <variant>
#include <vector>

/// Everything the document page depends on, gathered by whoever shows the page (the desktop
/// window or the command line). The page is a pure function of it.
struct DocumentPageSnapshot {
    enum class LoadState { loadPending, loaded, loadFailed, noReadPermission, unavailable };

    /// An application found on this machine.
    struct InstalledApplication {
        std::filesystem::path bundlePath;
        /// False when the bundle or its Info dictionary could not be read: the header then shows
        /// only the folder.
        bool infoDictionaryReadable = false;
        /// "CFBundleShortVersionString" and "NSHumanReadableCopyright" of the Info dictionary with
        /// its localized values applied.
        std::optional<std::string> version;
        std::optional<std::string> copyright;
        LoadState loadState = LoadState::loadPending;
        /// The document, for `loaded`.
        std::shared_ptr<const Lumora> document;
        /// The error's localized description, for `loadFailed`.
        std::string errorDescription;
        /// Who signed the main executable, when its signature could be read: a line under the
        /// folder line.
        std::optional<LumoraSignatureSummary> signature;
        /// For a bundle opened from an archive: the archive, and the bundle's path inside it
        /// ('/'-separated). The folder line then names the archive (and the folder inside it)
        /// instead of the extraction folder.
        struct ArchiveOrigin {
            std::filesystem::path archive;
            std::string pathInArchive;

            /// The folder holding the bundle inside the archive; empty at its top.
            std::string folderInArchive() const {
                return std::filesystem::path(pathInArchive).parent_path().generic_string();
            }
        };
        std::optional<ArchiveOrigin> archiveOrigin;
    };

    /// A featured application from the downloaded list, not installed here.
    struct PreviewApplication {
        std::string developerName;
        std::string applicationDescription;
        std::string url;
    };

    struct Application {
        std::string displayName;
        /// The icon as PNG bytes, drawn at twice the size it is shown at.
        std::vector<std::uint8_t> iconPNG;
        std::variant<std::monostate, InstalledApplication, PreviewApplication> kind;
    };

    /// The selected applications; anything but exactly one shows the empty-selection page.
    std::vector<Application> selection;

    bool dark = false;
    /// The desktop's accent colour, if it has one.
    std::optional<PageColor> accentColor;

    /// The "ShowPortsAndProtocols" preference.
    bool showPortsAndProtocols = false;
    /// The developer panel's simulated connection; only set in developer mode with simulation on.
    std::shared_ptr<const ConnectionInformation> simulatedConnection;

    /// Folders the user should grant read access to, and the user's home folder.
    std::vector<std::filesystem::path> proposedFoldersToGrantReadPermission;
    std::filesystem::path homeFolder;
    /// The "PreviewApplicationsSourceEnabled" preference and whether the first scan is over.
    bool previewApplicationsSourceEnabled = false;
    /// Whether a list of featured applications is offered at all; without one the page does not
    /// invite the user to show them.
    bool previewApplicationsSourceOffered = false;
    bool initialLoadingFinished = false;

    /// The "Caution" and "PreviewApplicationsHTML" images, PNG at 44 × 44 pixels.
    std::vector<std::uint8_t> cautionImagePNG;
    std::vector<std::uint8_t> previewApplicationsImagePNG;
};

/// The complete page for the snapshot: skeleton, style sheet with the appearance's colours,
/// a header and the content of the selected application, or the empty-selection page. Texts from
/// third parties (documents, Info.plist values, names, paths, downloaded texts) are HTML-escaped
/// and isolated for bidirectional text (an element of their own with dir="auto", or <bdi> within a
/// sentence), so that neither their direction nor their controls reorder anything around them; the
/// program's own localized texts keep their inline HTML. Markdown links are converted in each text
/// on its own. A Content-Security-Policy allows inline styles and data: images and nothing else.
/// Time and memory grow linearly with the number of connections.
std::string pageHTML(const DocumentPageSnapshot& snapshot);

/// The style sheet's colour slots for an appearance.
struct PageColors {
    std::string background, text, link, heading, paragraph, detail, button, buttonPressed, description;
    static PageColors forAppearance(bool dark, std::optional<PageColor> accentColor);
};

/// An <img> element showing PNG bytes at width × height, as a data: URL.
std::string imageHTML(std::span<const std::uint8_t> pngBytes, int width, int height);

/// The button that asks for read access to `folder`. Its action carries the folder's file URL,
/// percent-encoded, as "fileURL"; the form is posted so that the action's query arrives intact.
std::string grantReadPermissionFormHTML(const std::filesystem::path& folder);

/// The header facts of an installed application read from its bundle (version and copyright
/// from the Info dictionary with its localized values applied).
DocumentPageSnapshot::InstalledApplication installedApplicationFacts(const std::filesystem::path& bundlePath);
