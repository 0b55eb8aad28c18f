// ArchiveExtractionCache: the folder's layout.
//
//   <identity>/                 a finished extraction (ArchiveContents' layout)
//   <identity>.done             its record: the bytes it takes, in decimal; its modification time
//                               is the extraction's last use
//   <identity>.partial-<pid>    an extraction in progress in the process <pid>
//
// A folder becomes finished by being renamed from its partial name after its record was written,
// so a crash at any point leaves either a finished extraction or leftovers.
#include "Code/Archives/ArchiveExtractionCache.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <system_error>
#include <utility>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

constexpr std::string_view doneSuffix = ".done";
constexpr std::string_view partialMarker = ".partial-";
/// A record is a decimal number: anything longer is not one of ours.
constexpr std::size_t maximumRecordLength = 24;

bool isIdentity(std::string_view name) {
    return !name.empty() && name.size() <= 80 && std::all_of(name.begin(), name.end(), [](char c) {
        return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || c == '-';
    });
}

std::optional<std::uint64_t> readRecord(const fs::path& record) {
    std::ifstream stream(record, std::ios::binary);
    std::string text(maximumRecordLength + 1, '\0');
    stream.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<std::size_t>(stream.gcount()));
    std::uint64_t size = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), size);
    if (error != std::errc() || end != text.data() + text.size() || text.empty()) {
        return std::nullopt;
    }
    return size;
}

bool writeRecord(const fs::path& record, std::uint64_t size) {
    std::ofstream stream(record, std::ios::binary | std::ios::trunc);
    stream << size;
    stream.close();
    return static_cast<bool>(stream);
}

std::uint64_t folderSize(const fs::path& folder) {
    std::uint64_t size = 0;
    std::error_code error;
    for (fs::recursive_directory_iterator walk(folder, error), end; !error && walk != end;
         walk.increment(error)) {
        std::error_code fileError;
        if (walk->symlink_status(fileError).type() == fs::file_type::regular) {
            const auto fileSize = walk->file_size(fileError);
            size += fileError ? 0 : fileSize;
        }
    }
    return size;
}

bool processIsAlive(std::string_view pidText) {
    int pid = 0;
    const auto [end, error] = std::from_chars(pidText.data(), pidText.data() + pidText.size(), pid);
    if (error != std::errc() || end != pidText.data() + pidText.size() || pid <= 0) {
        return false;
    }
    return pid != ::getpid() && (::kill(pid, 0) == 0 || errno == EPERM);
}

struct Finished {
    std::string identity;
    std::uint64_t size;
    fs::file_time_type lastUse;
};

/// The finished extractions in `root`, by their records.
std::vector<Finished> finishedExtractions(const fs::path& root) {
    std::vector<Finished> finished;
    std::error_code error;
    for (fs::directory_iterator entry(root, error), end; !error && entry != end; entry.increment(error)) {
        const auto name = entry->path().filename().string();
        if (!name.ends_with(doneSuffix)) {
            continue;
        }
        const auto identity = name.substr(0, name.size() - doneSuffix.size());
        std::error_code timeError;
        const auto lastUse = fs::last_write_time(entry->path(), timeError);
        const auto size = readRecord(entry->path());
        if (isIdentity(identity) && size && !timeError) {
            finished.push_back({identity, *size, lastUse});
        }
    }
    return finished;
}

} // namespace

ArchiveExtractionCache::ArchiveExtractionCache(fs::path root, std::uint64_t maximumSize)
    : _root(std::move(root))
    , _maximumSize(maximumSize) {}

void ArchiveExtractionCache::prepare() {
    const std::lock_guard lock(_mutex);
    prepareLocked();
}

void ArchiveExtractionCache::prepareLocked() {
    if (std::exchange(_prepared, true)) {
        return;
    }
    std::error_code error;
    fs::create_directories(_root, error);
    if (!error) {
        fs::permissions(_root, fs::perms::owner_all, fs::perm_options::replace, error);
    }
    if (error) {
        _unusableReason = "The folder for extracted archives (" + _root.string() +
                          ") cannot be made: " + error.message() + ".";
        return;
    }
    _usable = true;
    removeLeftovers();
}

std::optional<std::string> ArchiveExtractionCache::identity(const fs::path& archive, std::string& error) {
    struct stat status {};
    if (::stat(archive.c_str(), &status) != 0) {
        error = std::strerror(errno);
        return std::nullopt;
    }
    char name[96];
    std::snprintf(
        name, sizeof name, "%llx-%llx-%llx-%llx-%lx", static_cast<unsigned long long>(status.st_dev),
        static_cast<unsigned long long>(status.st_ino), static_cast<unsigned long long>(status.st_size),
        static_cast<unsigned long long>(status.st_mtim.tv_sec),
        static_cast<unsigned long>(status.st_mtim.tv_nsec));
    return std::string(name);
}

void ArchiveExtractionCache::removeLeftovers() {
    std::vector<fs::path> leftovers;
    std::error_code error;
    for (fs::directory_iterator entry(_root, error), end; !error && entry != end; entry.increment(error)) {
        const auto path = entry->path();
        const auto name = path.filename().string();
        if (const auto marker = name.find(partialMarker); marker != std::string::npos) {
            if (!processIsAlive(std::string_view(name).substr(marker + partialMarker.size()))) {
                leftovers.push_back(path);
            }
            continue;
        }
        std::error_code statusError;
        const auto finished =
            name.ends_with(doneSuffix)
                ? fs::is_directory(_root / name.substr(0, name.size() - doneSuffix.size()), statusError)
                : fs::exists(_root / (name + std::string(doneSuffix)), statusError);
        if (!finished ||
            !isIdentity(name.ends_with(doneSuffix) ? name.substr(0, name.size() - doneSuffix.size())
                                                   : name)) {
            leftovers.push_back(path);
        }
    }
    for (const auto& leftover : leftovers) {
        ArchiveContents::removeFolder(leftover);
    }
}

ArchiveExtractionCache::Opened ArchiveExtractionCache::open(const SevenZip& sevenZip, const fs::path& archive,
                                                            const SevenZip::Limits& limits,
                                                            const CancellationToken* cancellation,
                                                            const SevenZip::Progress& progress) {
    Opened opened;
    const std::lock_guard lock(_mutex);
    prepareLocked();
    if (!_usable) {
        opened.contents.failure = SevenZip::Failure::failed;
        opened.contents.message = _unusableReason;
        return opened;
    }
    std::string error;
    const auto name = identity(archive, error);
    if (!name) {
        opened.contents.failure = SevenZip::Failure::failed;
        opened.contents.message = "The file cannot be read: " + error + ".";
        return opened;
    }
    const auto folder = _root / *name;
    const auto record = _root / (*name + std::string(doneSuffix));
    std::error_code status;
    if (fs::is_directory(fs::symlink_status(folder, status)) && readRecord(record)) {
        fs::last_write_time(record, fs::file_time_type::clock::now(), status);
        opened.contents = ArchiveContents::read(archive, folder);
        opened.folder = folder;
        opened.reused = true;
        return opened;
    }
    ArchiveContents::removeFolder(folder);
    const auto partial = _root / (*name + std::string(partialMarker) + std::to_string(::getpid()));
    ArchiveContents::removeFolder(partial);
    std::error_code created;
    fs::create_directory(partial, created);
    if (created) {
        opened.contents.failure = SevenZip::Failure::failed;
        opened.contents.message =
            "The folder for the extracted archive cannot be made: " + created.message() + ".";
        return opened;
    }
    auto contents = ArchiveContents::extract(sevenZip, archive, partial, limits, cancellation, progress);
    if (!contents.succeeded()) {
        ArchiveContents::removeFolder(partial);
        opened.contents = std::move(contents);
        return opened;
    }
    std::error_code renamed;
    if (!writeRecord(record, folderSize(partial))) {
        renamed = std::make_error_code(std::errc::io_error);
    } else {
        fs::rename(partial, folder, renamed);
    }
    if (renamed) {
        ArchiveContents::removeFolder(partial);
        fs::remove(record, status);
        opened.contents.failure = SevenZip::Failure::failed;
        opened.contents.message = "The extracted archive cannot be kept: " + renamed.message() + ".";
        return opened;
    }
    // The paths found in the partial folder now lie in the finished one.
    opened.contents = ArchiveContents::read(archive, folder);
    opened.folder = folder;
    evict(*name);
    return opened;
}

std::uint64_t ArchiveExtractionCache::size() const {
    const std::lock_guard lock(_mutex);
    std::uint64_t total = 0;
    for (const auto& finished : finishedExtractions(_root)) {
        total += finished.size;
    }
    return total;
}

void ArchiveExtractionCache::evict(const std::string& keep) {
    auto finished = finishedExtractions(_root);
    std::uint64_t total = 0;
    for (const auto& extraction : finished) {
        total += extraction.size;
    }
    std::sort(finished.begin(), finished.end(),
              [](const Finished& a, const Finished& b) { return a.lastUse < b.lastUse; });
    for (const auto& extraction : finished) {
        if (total <= _maximumSize) {
            break;
        }
        if (extraction.identity == keep) {
            continue;
        }
        // The record goes first: a folder without one is a leftover, never a finished extraction.
        std::error_code error;
        fs::remove(_root / (extraction.identity + std::string(doneSuffix)), error);
        ArchiveContents::removeFolder(_root / extraction.identity);
        total -= extraction.size;
    }
}
