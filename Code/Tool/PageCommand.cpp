// lumora page: writes the page the viewer shows for one application (or for a bare declaration
// file, as the loaded document of an application named after the file), or the page shown when
// no application is selected.

#include "Code/Presentation/DocumentPage.h"
#include "Code/Tool/LumoraTool.h"
#include "Code/Tool/TerminalText.h"
#include "Code/Tool/ToolArchiveExtraction.h"
#include "Code/Tool/ToolConnectionOptions.h"
#include "Code/Tool/ToolDocumentLoading.h"
#include "Code/Tool/ToolOptions.h"
#include "ZRFoundation/Bundle/ZRBundle.h"
#include "ZRFoundation/Bundle/ZRFileManager.h"
#include "ZRFoundation/CodeSigning/ZRMappedFile.h"
#include "ZRFoundation/Image/ZRIconFile.h"
#include "ZRFoundation/PropertyList/ZRTypedAccessors.h"

#include <fstream>
#include <iostream>

namespace LumoraTool {

namespace {

using Snapshot = DocumentPageSnapshot;

constexpr std::uintmax_t maximumImageFileSize = 32 * 1024 * 1024;

struct PageOptions {
    std::optional<std::string> path;
    std::optional<std::string> outputPath;
    std::optional<std::string> applicationName;
    bool emptySelection = false;
    bool developerConnection = false;
    bool previewOffered = false;
    std::vector<std::filesystem::path> proposedFolders;
    LumoraLoader::Options loading;
};

std::optional<std::string> applyOption(const std::vector<std::string>& arguments, std::size_t& index,
                                       Snapshot& snapshot, ToolConnectionOptions& connection,
                                       PageOptions& options) {
    const std::string& argument = arguments[index];
    std::optional<std::string> problem;
    if (connection.consume(arguments, index, problem)) {
        return problem;
    }
    const auto value = [&]() -> std::optional<std::string> {
        if (index + 1 >= arguments.size()) {
            return std::nullopt;
        }
        return arguments[++index];
    };
    if (argument == "--dark") {
        snapshot.dark = true;
    } else if (argument == "--show-ports") {
        snapshot.showPortsAndProtocols = true;
    } else if (argument == "--developer-connection") {
        options.developerConnection = true;
    } else if (argument == "--empty-selection") {
        options.emptySelection = true;
    } else if (argument == "--preview-offered") {
        options.previewOffered = true;
    } else if (argument == "--proposed-folder") {
        const auto folder = value();
        if (!folder) {
            return "--proposed-folder needs a folder";
        }
        options.proposedFolders.emplace_back(*folder);
    } else if (argument == "-o") {
        options.outputPath = value();
        if (!options.outputPath) {
            return "-o needs a file name";
        }
    } else if (ToolArchiveExtraction::consumeApplicationName(arguments, index, options.applicationName,
                                                             problem)) {
        return problem;
    } else if (argument == "--extra-trust-anchors") {
        return ToolOptions::consumeExtraTrustAnchors(arguments, index, options.loading.extraTrustAnchors);
    } else if (argument.starts_with("-")) {
        return "unknown option " + argument;
    } else if (options.path) {
        return "page takes one path";
    } else {
        options.path = argument;
    }
    return std::nullopt;
}

std::vector<std::uint8_t> readImage(const std::optional<std::filesystem::path>& path) {
    if (!path) {
        return {};
    }
    return ZRMappedFile::readRegularFile(*path, maximumImageFileSize).value_or(std::vector<std::uint8_t>{});
}

std::vector<std::uint8_t> programImage(std::string_view name) {
    return readImage(ZRBundle::mainBundle().pathForResource(name, "png", "Images"));
}

// The PNG image of the bundle's icon file closest to 128 pixels (the header shows it at 64 points),
// or the generic application icon.
std::vector<std::uint8_t> applicationIcon(const std::filesystem::path& bundlePath) {
    std::error_code error;
    if (std::filesystem::is_directory(bundlePath, error)) {
        if (const auto bundle = ZRBundle::bundleWithPath(bundlePath)) {
            if (const auto* name =
                    ZRTypedAccessors::stringForKey(bundle->infoDictionary(), "CFBundleIconFile")) {
                std::filesystem::path file(*name);
                if (file.extension() == ".icns") {
                    file.replace_extension();
                }
                const auto bytes = readImage(bundle->pathForResource(file.string(), "icns"));
                if (auto png = ZRIconFile::pngClosestToSize(bytes, 128)) {
                    return std::move(*png);
                }
            }
        }
    }
    return programImage("GenericApplicationIcon");
}

Snapshot::LoadState loadState(const std::string& state) {
    if (state == "loaded") {
        return Snapshot::LoadState::loaded;
    }
    if (state == "unavailable") {
        return Snapshot::LoadState::unavailable;
    }
    if (state == "noReadPermission") {
        return Snapshot::LoadState::noReadPermission;
    }
    return Snapshot::LoadState::loadFailed;
}

/// An archive's applications, when none was chosen or the one named is not there.
struct ArchiveChoiceProblem {
    std::string problem;
};

// The selected application for PATH; the failure to report when PATH is a declaration file that
// cannot be read (a page about it would only show a made-up state).
std::variant<Snapshot::Application, ToolDocumentLoading::Failure, ArchiveChoiceProblem>
application(const std::string& path, const PageOptions& options, ToolArchiveExtraction& archives) {
    const std::filesystem::path filePath(path);
    if (ToolDocumentLoading::isDeclarationFile(filePath)) {
        auto loaded = ToolDocumentLoading::loadDeclarationFile(path);
        if (auto* failure = std::get_if<ToolDocumentLoading::Failure>(&loaded)) {
            return std::move(*failure);
        }
        Snapshot::InstalledApplication installed;
        installed.bundlePath = std::filesystem::absolute(filePath);
        installed.loadState = Snapshot::LoadState::loaded;
        installed.document = std::make_shared<const Lumora>(std::move(std::get<Lumora>(loaded)));
        return Snapshot::Application{filePath.stem().string(), programImage("GenericApplicationIcon"),
                                     std::move(installed)};
    }
    auto choice = archives.choose(path, options.applicationName);
    if (!choice.target) {
        return ArchiveChoiceProblem{std::move(choice.problem)};
    }
    const auto& target = *choice.target;
    if (target.failed()) {
        return ToolDocumentLoading::Failure{target.error, path + ": " + target.errorText};
    }
    const auto bundlePath = std::filesystem::absolute(target.bundle);
    auto checked = ToolDocumentLoading::loadApplication(bundlePath.string(), options.loading);
    auto installed = installedApplicationFacts(bundlePath);
    installed.loadState = loadState(checked.state);
    installed.errorDescription = checked.errorText;
    installed.signature = checked.signature;
    if (checked.document) {
        installed.document = std::make_shared<const Lumora>(std::move(*checked.document));
    }
    if (target.pathInArchive) {
        installed.archiveOrigin = Snapshot::InstalledApplication::ArchiveOrigin{
            std::filesystem::absolute(filePath), *target.pathInArchive};
    }
    return Snapshot::Application{ZRFileManager::displayNameAtPath(bundlePath), applicationIcon(bundlePath),
                                 std::move(installed)};
}

} // namespace

int runPage(const std::vector<std::string>& arguments) {
    Snapshot snapshot;
    ToolConnectionOptions connection;
    PageOptions options;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        if (const auto problem = applyOption(arguments, i, snapshot, connection, options)) {
            return usageError("page", *problem);
        }
    }
    if (options.emptySelection == options.path.has_value()) {
        return usageError("page",
                          options.path ? "give a path or --empty-selection, not both" : "no path given");
    }
    if ((!options.proposedFolders.empty() || options.previewOffered) && !options.emptySelection) {
        return usageError("page", "--proposed-folder and --preview-offered belong to --empty-selection");
    }

    snapshot.initialLoadingFinished = true;
    snapshot.previewApplicationsSourceOffered = options.previewOffered;
    snapshot.homeFolder = ZRFileManager::homeDirectoryForCurrentUser();
    snapshot.proposedFoldersToGrantReadPermission = options.proposedFolders;
    snapshot.cautionImagePNG = programImage("Caution");
    snapshot.previewApplicationsImagePNG = programImage("PreviewApplicationsHTML");
    if (options.developerConnection) {
        snapshot.simulatedConnection = connection.connectionInformation();
    }
    ToolArchiveExtraction archives;
    if (options.path) {
        std::error_code error;
        if (!std::filesystem::exists(*options.path, error)) {
            std::cerr << (TerminalText() << "lumora: " << *options.path << ": no such file or folder"
                                         << TerminalText::newline)
                             .string();
            return exitFailure;
        }
        auto selected = application(*options.path, options, archives);
        if (const auto* failure = std::get_if<ToolDocumentLoading::Failure>(&selected)) {
            return reportDocumentFailure(false, *failure);
        }
        if (const auto* choice = std::get_if<ArchiveChoiceProblem>(&selected)) {
            return usageError("page", choice->problem);
        }
        snapshot.selection.push_back(std::move(std::get<Snapshot::Application>(selected)));
    }

    const auto page = pageHTML(snapshot);
    if (!options.outputPath || *options.outputPath == "-") {
        std::cout << page;
        return std::cout.flush() ? exitSuccess : exitFailure;
    }
    std::ofstream file(*options.outputPath, std::ios::binary | std::ios::trunc);
    file << page;
    file.close();
    if (!file) {
        std::cerr << (TerminalText() << "lumora: could not write " << *options.outputPath
                                     << TerminalText::newline)
                         .string();
        return exitFailure;
    }
    return exitSuccess;
}

} // namespace LumoraTool
