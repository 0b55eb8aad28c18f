#pragma once

#include "Code/Archives/ArchiveContents.h"
#include "Code/Archives/CancellationToken.h"

#include <filesystem>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

/// Archives given on the command line where an application is expected. Each is extracted into
/// one temporary folder of this run, which is removed when the object goes. While the folder
/// exists, SIGINT, SIGTERM and SIGHUP cancel the extraction under way instead of ending the process
/// at once, so the command ends as usual and the folder is removed; `interruption()` then names
/// the signal.
class ToolArchiveExtraction {
public:
    ToolArchiveExtraction();
    ~ToolArchiveExtraction();
    ToolArchiveExtraction(const ToolArchiveExtraction&) = delete;
    ToolArchiveExtraction& operator=(const ToolArchiveExtraction&) = delete;

    /// Whether `path` is to be opened as an archive: a regular file whose bytes are an archive's,
    /// or whose name ends as a download's does (.dmg, .zip, .pkg, .tar.gz, ...), so that a
    /// damaged or mislabelled download is reported as such.
    static bool isArchive(const std::filesystem::path& path);

    /// One application a path given on the command line stands for.
    struct Target {
        /// The path as given.
        std::string path;
        /// The bundle's path inside the archive; none for a path that is not an archive.
        std::optional<std::string> pathInArchive;
        /// What to load; empty when the archive failed.
        std::filesystem::path bundle;
        /// For an archive that could not be opened or holds no application:
        /// {"type": "ArchiveError", "case": …, "description": …}, and the description alone.
        nlohmann::ordered_json error = nullptr;
        std::string errorText;

        bool failed() const { return !error.is_null(); }
        /// The bundle's file name without ".app" (the name `--app` selects by).
        std::string applicationName() const;
        /// `text` (a message, a document's text) with the extraction folder's path of the bundle
        /// shown as the archive's ("Example.dmg/Example.app/Contents/..."); unchanged for a
        /// target that is not in an archive.
        std::string shown(std::string text) const;
        /// The same for every string in `value`.
        void show(nlohmann::ordered_json& value) const;
    };

    /// `path` itself when it is not an archive; otherwise every application inside, in path order,
    /// or one failed target.
    std::vector<Target> targets(const std::string& path);

    /// The one application `path` stands for, for the commands that show one: the only one in an
    /// archive, or the one whose name is `name`. Otherwise `problem` says why (several and no
    /// name, or no such name, listing the names; a name given for something not an archive).
    struct Choice {
        std::optional<Target> target;
        std::string problem;
    };
    Choice choose(const std::string& path, const std::optional<std::string>& name);

    /// Reads the option `--app NAME` at `arguments[index]`, if it is there: true when it was
    /// (with `problem` set when NAME is missing), moving `index` past it.
    static bool consumeApplicationName(const std::vector<std::string>& arguments, std::size_t& index,
                                       std::optional<std::string>& name, std::optional<std::string>& problem);

    /// This run's temporary folder, made on first use; none when it cannot be made.
    std::optional<std::filesystem::path> temporaryFolder();
    /// Removes the temporary folder now, and lets signals end the process again.
    void removeFolder();
    /// A descriptor that polls readable once an interruption came, for an event loop to watch.
    static int interruptionDescriptor();

    /// The signal that interrupted the run, or 0.
    static int interruption();

private:
    std::optional<std::filesystem::path> _folder;
    int _archiveCount = 0;
};
