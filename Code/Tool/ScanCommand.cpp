// lumora scan: run the viewer's applications catalogue without a window (the sources, the loads,
// the merge and the sort) and print the list as the sidebar would show it.

#include "Code/Archives/ArchiveExtractionCache.h"
#include "Code/Catalogue/ApplicationsArrayController.h"
#include "Code/Catalogue/ApplicationsSourceController.h"
#include "Code/Catalogue/InstalledApplication.h"
#include "Code/Catalogue/LumoraLoadEnvironment.h"
#include "Code/Catalogue/Preferences.h"
#include "Code/Catalogue/PreviewApplicationsSource.h"
#include "Code/Catalogue/QtStrings.h"
#include "Code/Catalogue/StandardApplicationsSources.h"
#include "Code/Tool/LumoraTool.h"
#include "Code/Tool/TerminalText.h"
#include "Code/Tool/ToolArchiveExtraction.h"
#include "Code/Tool/ToolJSON.h"
#include "Code/Tool/ToolOptions.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QSocketNotifier>
#include <QSslCertificate>
#include <QThreadPool>
#include <QTimer>
#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <map>
#include <nlohmann/json.hpp>
#include <optional>
#include <system_error>

namespace LumoraTool {

namespace {

using json = nlohmann::ordered_json;

struct ScanOptions {
    bool asJSON = false;
    std::optional<std::vector<std::filesystem::path>> scopes;
    bool liveQuery = true;
    std::optional<std::vector<std::filesystem::path>> folders;
    bool useFolders = true;
    std::vector<std::filesystem::path> additions;
    std::optional<std::string> previewListURL;
    std::optional<std::string> previewListCertificateAuthorities;
    LumoraLoader::Options loading;
    std::optional<int> watchSeconds;
};

/// The value of the option at `arguments[index]`, moving `index` to it.
std::optional<std::string> optionValue(const std::vector<std::string>& arguments, std::size_t& index) {
    if (index + 1 >= arguments.size()) {
        return std::nullopt;
    }
    return arguments[++index];
}

std::optional<std::string> existingFolder(const std::string& option, const std::string& path,
                                          std::vector<std::filesystem::path>& folders) {
    std::error_code error;
    if (!std::filesystem::is_directory(path, error)) {
        return option + " " + path + ": no such folder";
    }
    folders.push_back(std::filesystem::absolute(path, error).lexically_normal());
    return std::nullopt;
}

std::optional<std::string> parseOptions(const std::vector<std::string>& arguments, ScanOptions& options) {
    for (std::size_t index = 0; index < arguments.size(); ++index) {
        const std::string& argument = arguments[index];
        if (argument == "--json") {
            options.asJSON = true;
        } else if (argument == "--no-live-query") {
            options.liveQuery = false;
        } else if (argument == "--no-folders") {
            options.useFolders = false;
        } else if (argument == "--extra-trust-anchors") {
            if (auto problem = ToolOptions::consumeExtraTrustAnchors(arguments, index,
                                                                     options.loading.extraTrustAnchors)) {
                return problem;
            }
        } else if (argument == "--scope" || argument == "--folder" || argument == "--add" ||
                   argument == "--preview-list-url" || argument == "--preview-list-ca" ||
                   argument == "--watch") {
            const auto value = optionValue(arguments, index);
            if (!value) {
                return argument + " needs a value";
            }
            if (argument == "--scope" || argument == "--folder") {
                auto& folders = argument == "--scope" ? options.scopes : options.folders;
                if (!folders) {
                    folders.emplace();
                }
                if (auto problem = existingFolder(argument, *value, *folders)) {
                    return problem;
                }
            } else if (argument == "--add") {
                std::error_code error;
                if (!std::filesystem::exists(*value, error)) {
                    return "--add " + *value + ": no such file or folder";
                }
                options.additions.push_back(std::filesystem::absolute(*value, error).lexically_normal());
            } else if (argument == "--preview-list-url") {
                options.previewListURL = *value;
            } else if (argument == "--preview-list-ca") {
                options.previewListCertificateAuthorities = *value;
            } else {
                int seconds = 0;
                const auto* end = value->data() + value->size();
                const auto [last, error] = std::from_chars(value->data(), end, seconds);
                if (error != std::errc() || last != end || seconds < 0 || seconds > 86400) {
                    return "--watch needs a number of seconds from 0 to 86400";
                }
                options.watchSeconds = seconds;
            }
        } else {
            return argument.starts_with("-") ? "unknown option " + argument
                                             : "unexpected argument " + argument;
        }
    }
    if (options.previewListCertificateAuthorities && !options.previewListURL) {
        return "--preview-list-ca needs --preview-list-url";
    }
    return std::nullopt;
}

std::string toStd(const QString& text) {
    return text.toStdString();
}

/// An installed application's identifier is its path, carried with its exact bytes: written out
/// as those bytes, it names the folder even when it is not UTF-8.
std::string identifierText(const Application& application) {
    return QtStrings::toPath(application.identifier()).native();
}

const char* kindName(ApplicationsArrayController::Kind kind) {
    switch (kind) {
    case ApplicationsArrayController::Kind::installed:
        return "installed";
    case ApplicationsArrayController::Kind::preview:
        return "preview";
    case ApplicationsArrayController::Kind::openingArchive:
        return "openingArchive";
    }
    return "preview";
}

json nullOrString(const QString& text) {
    return text.isEmpty() ? json(nullptr) : json(toStd(text));
}

std::optional<std::string> errorDescription(const Application& application) {
    const auto* installed = qobject_cast<const InstalledApplication*>(&application);
    const auto* error = installed ? installed->lumoraLoadState().error() : nullptr;
    return error ? std::optional(error->description) : std::nullopt;
}

void printList(const ApplicationsSourceController& controller, bool asJSON) {
    const auto& list = controller.arrayController();
    const auto folders = controller.proposedDirectoryURLsToGrantReadPermission();
    if (asJSON) {
        json applications = json::array();
        for (const auto& application : list.arrangedApplications()) {
            const auto error = errorDescription(*application);
            json entry{
                {"kind", kindName(ApplicationsArrayController::kind(*application))},
                {"displayName", toStd(application->displayName())},
            };
            ToolJSON::appendExactText(entry, "identifier", identifierText(*application));
            const auto* installed = qobject_cast<const InstalledApplication*>(application.get());
            if (const auto* origin =
                    installed && installed->archiveOrigin() ? &*installed->archiveOrigin() : nullptr) {
                ToolJSON::appendExactText(entry, "archive", origin->archive.string());
                ToolJSON::appendExactText(entry, "pathInArchive", origin->pathInArchive);
            } else {
                entry["archive"] = nullptr;
                entry["pathInArchive"] = nullptr;
            }
            entry["bundleIdentifier"] = nullOrString(application->bundleIdentifier());
            entry["state"] = toStd(ApplicationsArrayController::stateName(*application));
            entry["badge"] = toStd(ApplicationsArrayController::badgeIdentifier(*application));
            entry["error"] = error ? json(*error) : json(nullptr);
            applications.push_back(std::move(entry));
        }
        json proposed = json::array();
        for (const auto& folder : folders) {
            proposed.push_back(folder.string());
        }
        std::cout << ToolJSON::dump(
                         {{"applications", applications}, {"proposedFoldersToGrantReadPermission", proposed}})
                  << '\n';
        return;
    }
    // One row for each application, its columns separated by tabs, whatever its names hold.
    TerminalText text;
    for (const auto& application : list.arrangedApplications()) {
        const QString bundleIdentifier = application->bundleIdentifier();
        text << (qobject_cast<const InstalledApplication*>(application.get()) ? "installed" : "preview")
             << TerminalText::tab << toStd(application->displayName()) << TerminalText::tab
             << identifierText(*application) << TerminalText::tab
             << (bundleIdentifier.isEmpty() ? "-" : toStd(bundleIdentifier)) << TerminalText::tab
             << toStd(ApplicationsArrayController::stateName(*application)) << TerminalText::tab
             << toStd(ApplicationsArrayController::badgeIdentifier(*application));
        if (const auto error = errorDescription(*application)) {
            text << TerminalText::tab << *error;
        }
        text << TerminalText::newline;
    }
    if (!folders.empty()) {
        text << TerminalText::newline << "Folders to grant read access to:" << TerminalText::newline;
        for (const auto& folder : folders) {
            text << "  " << folder.string() << TerminalText::newline;
        }
    }
    std::cout << text.string();
}

/// Prints one JSON line for every application that comes, goes or changes state.
class ListChangePrinter {
public:
    explicit ListChangePrinter(ApplicationsSourceController& controller)
        : _controller(controller) {
        for (const auto& application : controller.applications()) {
            track(application);
        }
        QObject::connect(&controller, &ApplicationsSourceController::applicationsChanged, &controller,
                         [this] { listChanged(); });
    }

private:
    struct Tracked {
        std::weak_ptr<Application> application;
        QString displayName;
        QMetaObject::Connection observation;
    };

    static void print(const char* event, const Application& application) {
        json line{{"event", event}};
        ToolJSON::appendExactText(line, "identifier", identifierText(application));
        line["displayName"] = toStd(application.displayName());
        line["state"] = toStd(ApplicationsArrayController::stateName(application));
        std::cout << ToolJSON::dump(line, -1) << std::endl;
    }

    void track(const std::shared_ptr<Application>& application) {
        Tracked tracked{application, application->displayName(), {}};
        if (auto* installed = qobject_cast<InstalledApplication*>(application.get())) {
            tracked.observation =
                QObject::connect(installed, &InstalledApplication::lumoraLoadStateChanged, &_controller,
                                 [installed] { print("stateChanged", *installed); });
        }
        _tracked.emplace(application->identifier(), std::move(tracked));
    }

    void listChanged() {
        const auto& applications = _controller.applications();
        for (auto entry = _tracked.begin(); entry != _tracked.end();) {
            const auto application = entry->second.application.lock();
            if (application && applications.contains(application)) {
                ++entry;
                continue;
            }
            QObject::disconnect(entry->second.observation);
            json line{{"event", "removed"}};
            ToolJSON::appendExactText(line, "identifier", QtStrings::toPath(entry->first).native());
            line["displayName"] = toStd(entry->second.displayName);
            line["state"] = application ? json(toStd(ApplicationsArrayController::stateName(*application)))
                                        : json(nullptr);
            std::cout << ToolJSON::dump(line, -1) << std::endl;
            entry = _tracked.erase(entry);
        }
        for (const auto& application : applications) {
            if (!_tracked.contains(application->identifier())) {
                print("added", *application);
                track(application);
            }
        }
    }

    ApplicationsSourceController& _controller;
    std::map<QString, Tracked> _tracked;
};

} // namespace

int runScan(const std::vector<std::string>& arguments) {
    ScanOptions options;
    if (const auto problem = parseOptions(arguments, options)) {
        return usageError("scan", *problem);
    }
    int argc = 1;
    char name[] = "lumora";
    char* argv[] = {name, nullptr};
    QCoreApplication application(argc, argv);
    LumoraLoadEnvironment::setLoaderOptions(options.loading);

    // Nothing is read from or written to the user's settings.
    Preferences preferences{Preferences::InMemory{}};
    preferences.setSpotlightApplicationsSourceEnabled(options.liveQuery);
    preferences.setApplicationsFolderApplicationsSourceEnabled(options.useFolders);
    preferences.setManuallyAddedApplicationsSourceEnabled(!options.additions.empty());
    preferences.setPreviewApplicationsSourceEnabled(options.previewListURL.has_value());

    // The usual sources at the places given; the featured list only when asked for.
    auto sources = standardApplicationsSources(preferences, {options.scopes, options.folders});
    sources.previewApplicationsSource = nullptr;
    // Archives given with --add are extracted into this run's temporary folder, never into the
    // viewer's cache.
    ToolArchiveExtraction archives;
    sources.archiveExtractionCache = nullptr;
    std::unique_ptr<QSocketNotifier> interruption;
    const bool addsArchives =
        std::any_of(options.additions.begin(), options.additions.end(),
                    [](const auto& path) { return ToolArchiveExtraction::isArchive(path); });
    if (const auto folder = addsArchives ? archives.temporaryFolder() : std::nullopt) {
        sources.archiveExtractionCache = std::make_shared<ArchiveExtractionCache>(*folder / "archives");
        // The event loop runs until the end: an interruption ends the run from it, after removing
        // the folder (which a signal handler could not do safely).
        interruption = std::make_unique<QSocketNotifier>(ToolArchiveExtraction::interruptionDescriptor(),
                                                         QSocketNotifier::Read);
        QObject::connect(interruption.get(), &QSocketNotifier::activated, [&archives] {
            archives.removeFolder();
            std::_Exit(128 + ToolArchiveExtraction::interruption());
        });
    }
    if (options.previewListURL) {
        PreviewApplicationsSource::Options previewOptions;
        if (options.previewListCertificateAuthorities) {
            const QString file = QtStrings::toQString(*options.previewListCertificateAuthorities);
            previewOptions.extraCertificateAuthorities = QSslCertificate::fromPath(file, QSsl::Pem);
            if (previewOptions.extraCertificateAuthorities.isEmpty()) {
                previewOptions.extraCertificateAuthorities = QSslCertificate::fromPath(file, QSsl::Der);
            }
            if (previewOptions.extraCertificateAuthorities.isEmpty()) {
                return usageError("scan", "--preview-list-ca " + *options.previewListCertificateAuthorities +
                                              ": no certificate could be read");
            }
        }
        sources.previewApplicationsSource = PreviewApplicationsSource::make(
            QUrl(QtStrings::toQString(*options.previewListURL)), previewOptions);
    }
    ApplicationsSourceController controller(preferences, std::move(sources));
    if (!options.additions.empty()) {
        std::vector<ZRURL> fileURLs;
        for (const auto& path : options.additions) {
            std::error_code error;
            fileURLs.push_back(ZRURL::fileURL(path, std::filesystem::is_directory(path, error)));
        }
        controller.addWithSecurityScopedFileURLs(fileURLs, false);
    }
    controller.startUpdating();
    controller.waitForInitialLoading();
    printList(controller, options.asJSON);
    std::cout.flush();

    if (options.watchSeconds) {
        ListChangePrinter printer(controller);
        QEventLoop loop;
        QTimer::singleShot(std::chrono::seconds(*options.watchSeconds), &loop, &QEventLoop::quit);
        loop.exec();
    }
    int status = exitSuccess;
    if (const auto* preview = controller.previewApplicationsSource(); preview && preview->loadListError()) {
        std::cerr << (TerminalText() << "lumora: the featured applications list could not be loaded: "
                                     << toStd(*preview->loadListError()) << TerminalText::newline)
                         .string();
        status = exitFailure;
    }
    controller.stopUpdating();
    // Loads still queued are of no use now.
    InstalledApplication::lumoraLoadQueue().clear();
    return status;
}

} // namespace LumoraTool
