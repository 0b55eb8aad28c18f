// ArchiveContents: the layout of an extraction folder, and the steps that fill it.
//
//   contents/                       the archive as 7-Zip extracts it (a disk image: one folder
//                                   per volume, named after the volume)
//   payloads/<path of the payload>/ an installer package's payload, extracted
//   nested/<path of the archive>/   an archive found inside, in a folder laid out the same way
//   .work/                          decompressed streams while extracting; removed afterwards
#include "Code/Archives/ArchiveContents.h"

#include "Code/Archives/CancellationToken.h"
#include "Code/Archives/PbzxDecoder.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <fstream>
#include <system_error>

namespace fs = std::filesystem;

namespace {

using Failure = SevenZip::Failure;
using Result = ArchiveContents::Result;

constexpr const char* workFolderName = ".work";
/// Archives inside the archive are opened to this depth; deeper ones are named, not opened.
constexpr int maximumNestingDepth = 1;

Result failed(Failure failure, std::string message) {
    Result result;
    result.failure = failure;
    result.message = std::move(message);
    return result;
}

bool isStream(ArchiveFormat format) {
    return format == ArchiveFormat::gzip || format == ArchiveFormat::bzip2 || format == ArchiveFormat::xz ||
           format == ArchiveFormat::zstd;
}

bool hasPbzxMagic(const fs::path& file) {
    std::array<char, 4> magic{};
    std::ifstream stream(file, std::ios::binary);
    return stream.read(magic.data(), magic.size()) && std::string_view(magic.data(), magic.size()) == "pbzx";
}

bool endsWithApp(const fs::path& path) {
    auto name = path.filename().string();
    std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return std::tolower(c); });
    return name.size() > 4 && name.ends_with(".app");
}

/// The files of an installer package that hold its payloads: a component's "Payload", and a .xip
/// archive's "Content", at the top or one folder down (a product archive's components).
bool isPayloadName(const fs::path& relative) {
    const auto name = relative.filename();
    return (name == "Payload" || name == "Content") && std::distance(relative.begin(), relative.end()) <= 2;
}

/// What is left of the limits as extraction goes on: the contents of payloads and nested
/// archives count against the same totals as the archive's own.
class Budget {
public:
    explicit Budget(const SevenZip::Limits& limits)
        : _limits(limits) {}

    SevenZip::Limits remaining() const {
        auto limits = _limits;
        limits.contents.totalSize -= std::min(_size, limits.contents.totalSize);
        limits.contents.entryCount -= std::min(_entries, limits.contents.entryCount);
        return limits;
    }

    void spend(const SevenZipListing& listing) {
        _entries += listing.entries().size();
        for (const auto& entry : listing.entries()) {
            _size += entry.size;
        }
    }

    void spend(std::uint64_t size) { _size += size; }

    const SevenZip::Limits& limits() const { return _limits; }

private:
    SevenZip::Limits _limits;
    std::uint64_t _size = 0;
    std::size_t _entries = 0;
};

/// Gives the owner full access to every extracted folder, so that a hostile archive's folder modes
/// can neither hide its contents from the search below nor keep the folder from being removed.
void openFolders(const fs::path& root) {
    std::error_code error;
    for (fs::recursive_directory_iterator walk(root, error), end; !error && walk != end;
         walk.increment(error)) {
        if (walk->symlink_status(error).type() == fs::file_type::directory) {
            fs::permissions(walk->path(), fs::perms::owner_all, fs::perm_options::add, error);
        }
    }
}

void removeContents(const fs::path& folder) {
    openFolders(folder);
    std::error_code error;
    for (fs::directory_iterator entry(folder, error), end; !error && entry != end; entry.increment(error)) {
        std::error_code removal;
        fs::remove_all(entry->path(), removal);
    }
}

/// What one folder of extracted files holds: its outermost application bundles and the archives
/// lying outside them, by path relative to the folder, in path order.
struct Found {
    std::vector<std::string> applications;
    std::vector<std::string> archives;
    std::vector<std::string> payloads;
};

Found search(const fs::path& root, bool lookForPayloads) {
    Found found;
    std::error_code error;
    fs::recursive_directory_iterator walk(root, error);
    for (const fs::recursive_directory_iterator end; !error && walk != end; walk.increment(error)) {
        const auto type = walk->symlink_status(error).type();
        if (error) {
            break;
        }
        const auto relative = walk->path().lexically_relative(root);
        if (type == fs::file_type::directory && endsWithApp(relative)) {
            found.applications.push_back(relative.generic_string());
            walk.disable_recursion_pending();
        } else if (type == fs::file_type::regular) {
            if (lookForPayloads && isPayloadName(relative)) {
                found.payloads.push_back(relative.generic_string());
                continue;
            }
            std::string ignored;
            if (ArchiveFormats::recognizeFile(walk->path(), ignored)) {
                found.archives.push_back(relative.generic_string());
            }
        }
    }
    for (auto* list : {&found.applications, &found.archives, &found.payloads}) {
        std::sort(list->begin(), list->end());
    }
    return found;
}

/// A path inside `contents/` as the archive's own: a disk image's volume folder is left out.
std::string archivePath(const std::string& relative, ArchiveFormat format) {
    if (format != ArchiveFormat::diskImage) {
        return relative;
    }
    const auto slash = relative.find('/');
    return slash == std::string::npos ? std::string() : relative.substr(slash + 1);
}

std::string joined(const std::string& prefix, const std::string& path) {
    return prefix.empty() ? path : prefix + "/" + path;
}

/// One place where extracted files lie, and how its paths read inside the archive.
struct Root {
    fs::path folder;
    /// A disk image's root: its first folder is the volume's, which the archive's paths leave out.
    bool stripsVolume = false;
};

class Extraction {
public:
    Extraction(const SevenZip& sevenZip, Budget& budget, const CancellationToken* cancellation,
               const SevenZip::Progress& progress)
        : _sevenZip(sevenZip)
        , _budget(budget)
        , _cancellation(cancellation)
        , _progress(progress) {}

    /// Extracts `archive` into `folder` (existing and empty), then payloads and nested archives.
    Result extract(const fs::path& archive, const fs::path& folder, int depth) {
        std::string error;
        auto format = ArchiveFormats::recognizeFile(archive, error);
        if (!format) {
            return error.empty() ? notAnArchive()
                                 : failed(Failure::failed, "The file cannot be read: " + error + ".");
        }
        const auto work = folder / workFolderName;
        const auto contents = folder / ArchiveContents::contentsFolderName;
        std::error_code created;
        fs::create_directory(work, created);
        fs::create_directory(contents, created);
        if (created) {
            return failed(Failure::failed,
                          "The extraction folder cannot be written: " + created.message() + ".");
        }
        auto source = archive;
        if (isStream(*format)) {
            auto unpacked = decompress(archive, work / "stream");
            if (!unpacked.first.succeeded()) {
                return unpacked.first;
            }
            source = unpacked.second;
            format = ArchiveFormats::recognizeFile(source, error);
            if (!format || isStream(*format)) {
                return failed(Failure::cannotOpen, "The compressed file holds no archive.");
            }
        }
        // An installer package's own files are few: its payloads are selected from when extracted.
        auto result = extractInto(source, contents, format != ArchiveFormat::xar, depth == 0);
        if (result.succeeded() && format == ArchiveFormat::xar) {
            result = extractPayloads(folder, work);
        }
        if (result.succeeded() && depth < maximumNestingDepth) {
            result = extractNested(archive, folder, depth);
        }
        std::error_code removal;
        fs::remove_all(work, removal);
        return result;
    }

private:
    static Result notAnArchive() {
        return failed(Failure::cannotOpen,
                      "The file is not a disk image, a zip, tar or cpio archive, or an installer package.");
    }

    /// Extracts `archive` into `folder`: when `selects`, only what loading reads.
    Result extractInto(const fs::path& archive, const fs::path& folder, bool selects = false,
                       bool reportsProgress = false) {
        if (_cancellation && _cancellation->isCancelled()) {
            return failed(Failure::cancelled, "The operation was cancelled.");
        }
        SevenZip::Selection selection{[](const SevenZipListing::Entry& entry) {
                                          return ArchiveContents::isReadByLoading(entry.path,
                                                                                  entry.isSymbolicLink);
                                      },
                                      folder.parent_path() / (folder.filename().string() + ".selection")};
        auto extracted = _sevenZip.extract(archive, folder, _budget.remaining(), _cancellation,
                                           selects ? &selection : nullptr,
                                           reportsProgress ? _progress : SevenZip::Progress());
        if (selects) {
            std::error_code removal;
            fs::remove(selection.listFile, removal);
        }
        if (extracted.failure != Failure::none) {
            return failed(extracted.failure, std::move(extracted.message));
        }
        _budget.spend(*extracted.listing);
        openFolders(folder);
        return {};
    }

    /// A compressed stream (gzip, bzip2, xz, zstd) decompressed into `folder`: the one file it
    /// holds.
    std::pair<Result, fs::path> decompress(const fs::path& stream, const fs::path& folder) {
        std::error_code error;
        fs::create_directories(folder, error);
        if (auto result = extractInto(stream, folder); !result.succeeded()) {
            return {std::move(result), {}};
        }
        std::vector<fs::path> files;
        for (fs::directory_iterator entry(folder, error), end; !error && entry != end;
             entry.increment(error)) {
            files.push_back(entry->path());
        }
        if (files.size() != 1 || !fs::is_regular_file(fs::symlink_status(files.front(), error))) {
            return {failed(Failure::damaged, "The compressed stream does not hold exactly one file."), {}};
        }
        return {Result{}, files.front()};
    }

    /// Each payload of an installer package, decoded (gzip or pbzx) and extracted below
    /// `payloads/`.
    Result extractPayloads(const fs::path& folder, const fs::path& work) {
        const auto found = search(folder / ArchiveContents::contentsFolderName, true);
        int index = 0;
        for (const auto& payload : found.payloads) {
            const auto file = folder / ArchiveContents::contentsFolderName / payload;
            const auto scratch = work / ("payload-" + std::to_string(index++));
            std::error_code error;
            fs::create_directories(scratch, error);
            fs::path archive;
            if (hasPbzxMagic(file)) {
                archive = scratch / "Payload.cpio";
                try {
                    const auto limits = _budget.remaining().contents;
                    const PbzxDecoder decoder({limits.totalSize, limits.compressionRatio});
                    _budget.spend(decoder.decodeFile(file, archive));
                } catch (const ZRError& decodingError) {
                    return failed(Failure::damaged, "The payload \"" + payload +
                                                        "\" is damaged: " + decodingError.errorDescription());
                }
            } else {
                std::string ignored;
                const auto format = ArchiveFormats::recognizeFile(file, ignored);
                if (!format) {
                    return failed(Failure::damaged, "The payload \"" + payload + "\" is not an archive.");
                }
                archive = file;
                if (isStream(*format)) {
                    auto unpacked = decompress(file, scratch);
                    if (!unpacked.first.succeeded()) {
                        return unpacked.first;
                    }
                    archive = unpacked.second;
                }
            }
            const auto destination = folder / ArchiveContents::payloadsFolderName / payload;
            fs::create_directories(destination, error);
            if (auto result = extractInto(archive, destination, true); !result.succeeded()) {
                return result;
            }
            fs::remove_all(scratch, error);
        }
        return {};
    }

    /// Archives found outside the bundles: each is extracted below `nested/`. One that cannot be
    /// opened is noted and passed over; a limit or a cancellation ends the whole extraction.
    Result extractNested(const fs::path& archive, const fs::path& folder, int depth) {
        for (const auto& root : roots(archive, folder)) {
            for (const auto& inner : search(root.folder, false).archives) {
                const auto destination = nestedFolder(folder, root, inner);
                std::error_code error;
                fs::create_directories(destination, error);
                auto nested = extract(root.folder / inner, destination, depth + 1);
                if (nested.failure == Failure::cancelled || nested.failure == Failure::limitExceeded) {
                    return nested;
                }
                if (!nested.succeeded()) {
                    removeContents(destination);
                    fs::remove(destination, error);
                }
            }
        }
        return {};
    }

public:
    static std::vector<Root> roots(const fs::path& archive, const fs::path& folder) {
        std::string error;
        const auto format = ArchiveFormats::recognizeFile(archive, error);
        std::vector<Root> result;
        if (format == ArchiveFormat::xar) {
            for (const auto& payload : search(folder / ArchiveContents::contentsFolderName, true).payloads) {
                result.push_back({folder / ArchiveContents::payloadsFolderName / payload, false});
            }
        } else {
            result.push_back(
                {folder / ArchiveContents::contentsFolderName, format == ArchiveFormat::diskImage});
        }
        return result;
    }

    static fs::path nestedFolder(const fs::path& folder, const Root& root, const std::string& inner) {
        return folder / ArchiveContents::nestedFolderName / root.folder.lexically_relative(folder) / inner;
    }

private:
    const SevenZip& _sevenZip;
    Budget& _budget;
    const CancellationToken* _cancellation;
    const SevenZip::Progress& _progress;
};

Result readLevel(const fs::path& archive, const fs::path& folder, int depth, const std::string& prefix) {
    Result result;
    for (const auto& root : Extraction::roots(archive, folder)) {
        const auto found = search(root.folder, false);
        const auto inArchive = [&](const std::string& relative) {
            return joined(prefix,
                          root.stripsVolume ? archivePath(relative, ArchiveFormat::diskImage) : relative);
        };
        for (const auto& application : found.applications) {
            result.applications.push_back({root.folder / application, inArchive(application)});
        }
        for (const auto& inner : found.archives) {
            const auto nested = Extraction::nestedFolder(folder, root, inner);
            std::error_code error;
            if (depth >= maximumNestingDepth || !fs::is_directory(fs::symlink_status(nested, error))) {
                result.unopenedArchives.push_back(inArchive(inner));
                continue;
            }
            auto inside = readLevel(root.folder / inner, nested, depth + 1, inArchive(inner));
            result.applications.insert(result.applications.end(), inside.applications.begin(),
                                       inside.applications.end());
            result.unopenedArchives.insert(result.unopenedArchives.end(), inside.unopenedArchives.begin(),
                                           inside.unopenedArchives.end());
        }
    }
    return result;
}

} // namespace

ArchiveContents::Result ArchiveContents::extract(const SevenZip& sevenZip, const fs::path& archive,
                                                 const fs::path& folder, const SevenZip::Limits& limits,
                                                 const CancellationToken* cancellation,
                                                 const SevenZip::Progress& progress) {
    Budget budget(limits);
    Extraction extraction(sevenZip, budget, cancellation, progress);
    auto result = extraction.extract(archive, folder, 0);
    if (!result.succeeded()) {
        removeContents(folder);
        return result;
    }
    return read(archive, folder);
}

ArchiveContents::Result ArchiveContents::read(const fs::path& archive, const fs::path& folder) {
    auto result = readLevel(archive, folder, 0, {});
    std::sort(result.applications.begin(), result.applications.end(),
              [](const Application& a, const Application& b) { return a.pathInArchive < b.pathInArchive; });
    return result;
}

bool ArchiveContents::isReadByLoading(std::string_view path, bool isSymbolicLink) {
    std::vector<std::string_view> components;
    for (std::size_t start = 0; start <= path.size();) {
        const auto end = std::min(path.find('/', start), path.size());
        if (end > start) {
            components.push_back(path.substr(start, end - start));
        }
        start = end + 1;
    }
    const auto endsWith = [](std::string_view text, std::string_view suffix) {
        return text.size() >= suffix.size() &&
               std::equal(suffix.rbegin(), suffix.rend(), text.rbegin(), [](char a, char b) {
                   return std::tolower(static_cast<unsigned char>(a)) ==
                          std::tolower(static_cast<unsigned char>(b));
               });
    };
    const auto application = std::find_if(components.begin(), components.end(),
                                          [&](std::string_view c) { return endsWith(c, ".app"); });
    if (application == components.end()) {
        return ArchiveFormats::hasDownloadExtension(fs::path(path));
    }
    if (isSymbolicLink || components.empty()) {
        return true;
    }
    const auto resources =
        std::find(components.rbegin(), components.rend() - 1, std::string_view("Resources"));
    if (resources.base() - 1 <= application) {
        return true;
    }
    // Code kept among the resources (a helper bundle) is read like any nested bundle.
    for (auto component = resources.base(); component + 1 < components.end(); ++component) {
        for (const auto* extension : {".app", ".framework", ".xpc", ".appex", ".bundle", ".plugin"}) {
            if (endsWith(*component, extension)) {
                return true;
            }
        }
    }
    if (std::find(components.begin(), components.end(), std::string_view("_CodeSignature")) !=
        components.end()) {
        return true;
    }
    for (const auto* extension : {".plist", ".json", ".strings", ".stringsdict", ".icns"}) {
        if (endsWith(components.back(), extension)) {
            return true;
        }
    }
    return false;
}

std::string ArchiveContents::replacingBundlePath(std::string text, const fs::path& extractedBundle,
                                                 const std::string& shownBundle) {
    auto extracted = extractedBundle.string();
    while (extracted.size() > 1 && extracted.back() == '/') {
        extracted.pop_back();
    }
    if (extracted.empty()) {
        return text;
    }
    for (auto found = text.find(extracted); found != std::string::npos;
         found = text.find(extracted, found + shownBundle.size())) {
        text.replace(found, extracted.size(), shownBundle);
    }
    return text;
}

bool ArchiveContents::removeFolder(const fs::path& folder) {
    std::error_code error;
    if (fs::is_directory(fs::symlink_status(folder, error))) {
        openFolders(folder);
    }
    fs::remove_all(folder, error);
    return !error;
}
