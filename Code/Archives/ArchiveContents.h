// ArchiveContents: an archive extracted into a folder of its own, and the application bundles
// found in it. Disk images, zip and tar archives are extracted by 7-Zip; an installer package's
// payloads (gzip'd cpio or pbzx) are extracted in a second step; an archive found inside (a .pkg
// in a disk image, a disk image in a zip) is followed one level deep.
#pragma once

#include "Code/Archives/ArchiveFormat.h"
#include "Code/Archives/SevenZip.h"

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

class CancellationToken;

class ArchiveContents {
public:
    struct Application {
        /// The bundle on disk, inside the extraction folder.
        std::filesystem::path bundle;
        /// The bundle's path relative to the archive's root, '/'-separated: for a disk image the
        /// volume's root, for an installer package the payload's root (without the install
        /// location). An application in an archive inside the archive is prefixed with the inner
        /// archive's own path ("Installer.pkg/Example.app").
        std::string pathInArchive;

        bool operator==(const Application&) const = default;
    };

    struct [[nodiscard]] Result {
        SevenZip::Failure failure = SevenZip::Failure::none;
        /// An English sentence for the user; empty on success.
        std::string message;
        /// The outermost application bundles, in order of `pathInArchive`. Empty when the
        /// archive holds none (which is not a failure here).
        std::vector<Application> applications;
        /// Archives found inside that were not opened (nested more than one level deep, or not
        /// readable), by path in the archive. Their applications are not listed.
        std::vector<std::string> unopenedArchives;

        bool succeeded() const { return failure == SevenZip::Failure::none; }
    };

    /// The sub-folders of an extraction folder.
    static constexpr const char* contentsFolderName = "contents";
    static constexpr const char* payloadsFolderName = "payloads";
    static constexpr const char* nestedFolderName = "nested";

    /// Extracts `archive` into `folder` (an existing, empty folder) and finds its applications.
    /// The limits hold for everything extracted, nested archives and payloads included. On
    /// failure the folder is left empty. No exception is thrown but std::bad_alloc.
    /// `progress` is told how far the archive's own extraction is (payloads and nested archives
    /// are not counted).
    static Result extract(const SevenZip& sevenZip, const std::filesystem::path& archive,
                          const std::filesystem::path& folder, const SevenZip::Limits& limits,
                          const CancellationToken* cancellation = nullptr,
                          const SevenZip::Progress& progress = {});

    /// Finds the applications of `archive` in `folder`, where `extract` wrote it earlier.
    static Result read(const std::filesystem::path& archive, const std::filesystem::path& folder);

    /// Whether loading the applications may read the entry at `path` (as the archive names it):
    /// everything inside a bundle but the resource files that are neither property lists,
    /// declarations, string tables nor icons, and outside bundles only what may be an archive by
    /// its name. Links are always wanted: a bundle's structure rests on them. `extract` writes
    /// only these, so that an application with large resources opens in a fraction of the time
    /// the whole archive takes.
    static bool isReadByLoading(std::string_view path, bool isSymbolicLink);

    /// `text` (a message naming files) with every mention of `extractedBundle` replaced by
    /// `shownBundle`, the bundle as the reader knows it ("Example.dmg/Example.app").
    static std::string replacingBundlePath(std::string text, const std::filesystem::path& extractedBundle,
                                           const std::string& shownBundle);

    /// Removes `folder` and everything in it, whatever modes the archive gave its folders; false
    /// when something remains.
    static bool removeFolder(const std::filesystem::path& folder);
};
