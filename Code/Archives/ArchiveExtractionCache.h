// ArchiveExtractionCache: the viewer's extraction folders, one per archive identity (device,
// inode, size, modification time), below a private folder (mode 0700) such as
// `$XDG_CACHE_HOME/<application id>/archives`. Opening an unchanged archive again reuses its
// folder; the total size is bounded by removing the least recently used folders first; folders
// left by runs that ended during an extraction are removed when the cache is opened.
#pragma once

#include "Code/Archives/ArchiveContents.h"

#include <cstdint>
#include <filesystem>
#include <mutex>
#include <optional>
#include <string>

class ArchiveExtractionCache {
public:
    static constexpr std::uint64_t defaultMaximumSize = std::uint64_t{4} << 30;

    /// Touches nothing yet: the disk is first used by `prepare`.
    explicit ArchiveExtractionCache(std::filesystem::path root,
                                    std::uint64_t maximumSize = defaultMaximumSize);

    /// Creates the root folder (mode 0700) when missing and removes the leftovers of earlier runs:
    /// folders of extractions that never finished, and whatever else is not a finished
    /// extraction. Done once, by the first call (`open` calls it too); call it at start, off the
    /// main thread.
    void prepare();

    struct [[nodiscard]] Opened {
        ArchiveContents::Result contents;
        /// The extraction folder; empty on failure.
        std::filesystem::path folder;
        /// The folder of an earlier opening was used.
        bool reused = false;
    };

    /// The extraction of `archive`: the folder of an earlier opening of the same unchanged file,
    /// or a new one. Afterwards the least recently used folders are removed while the cache holds
    /// more than its maximum size (never the one just opened). Thread-safe; one opening at a
    /// time. No exception is thrown but std::bad_alloc.
    Opened open(const SevenZip& sevenZip, const std::filesystem::path& archive,
                const SevenZip::Limits& limits, const CancellationToken* cancellation = nullptr,
                const SevenZip::Progress& progress = {});

    /// The name of an archive's folder: its device, inode, size and modification time. None, with
    /// `error` set, when the file cannot be examined.
    static std::optional<std::string> identity(const std::filesystem::path& archive, std::string& error);

    /// The bytes the finished extractions take, as recorded when each was made.
    std::uint64_t size() const;

    const std::filesystem::path& root() const { return _root; }

private:
    void prepareLocked();
    void removeLeftovers();
    void evict(const std::string& keep);

    std::filesystem::path _root;
    std::uint64_t _maximumSize;
    bool _prepared = false;
    bool _usable = false;
    std::string _unusableReason;
    mutable std::mutex _mutex;
};
