// ExtractionSafety: lexical path rules and the limits on an archive's totals.
#include "Code/Archives/ExtractionSafety.h"

#include "Code/Archives/SevenZipListing.h"

#include <algorithm>
#include <limits>
#include <unordered_set>
#include <vector>

namespace {

/// Calls `visit` with each component of `path` split at `separators`, skipping "." and empty
/// ones; stops early when `visit` returns false.
template <typename Visit>
bool forEachComponent(std::string_view path, std::string_view separators, Visit visit) {
    while (!path.empty()) {
        const auto end = path.find_first_of(separators);
        const auto component = path.substr(0, end);
        if (!component.empty() && component != "." && !visit(component)) {
            return false;
        }
        if (end == std::string_view::npos) {
            break;
        }
        path.remove_prefix(end + 1);
    }
    return true;
}

/// "8 GiB", "100 MiB", or a count of bytes when the size is no whole number of either.
std::string sizeText(std::uint64_t size) {
    if (size != 0 && size % (std::uint64_t{1} << 30) == 0) {
        return std::to_string(size >> 30) + " GiB";
    }
    if (size != 0 && size % (std::uint64_t{1} << 20) == 0) {
        return std::to_string(size >> 20) + " MiB";
    }
    return std::to_string(size) + " bytes";
}

/// size / packed > ratio, without dividing by a packed size of 0 or overflowing.
bool expandsMoreThan(const ExtractionSafety::Totals& totals, std::uint64_t ratio) {
    if (ratio == 0 || totals.packedSize == 0) {
        return totals.size > 0;
    }
    if (totals.packedSize > std::numeric_limits<std::uint64_t>::max() / ratio) {
        return false;
    }
    return totals.size > totals.packedSize * ratio;
}

ExtractionSafety::Verdict limitRefusal(std::string text) {
    return {std::move(text), true};
}

std::string quoted(std::string_view path) {
    std::string text = "\"";
    text.append(path).append("\"");
    return text;
}

/// The path with "." and empty components dropped, for comparing entries' paths.
std::string normalized(std::string_view path) {
    std::string result;
    forEachComponent(path, "/", [&](std::string_view component) {
        if (!result.empty()) {
            result += '/';
        }
        result.append(component);
        return true;
    });
    return result;
}

} // namespace

std::size_t ExtractionSafety::depth(std::string_view path) {
    std::size_t count = 0;
    forEachComponent(path, "/", [&](std::string_view) {
        ++count;
        return true;
    });
    return count;
}

ExtractionSafety::Verdict ExtractionSafety::checkEntryPath(std::string_view path, std::size_t maximumDepth) {
    if (path.empty()) {
        return {"An entry has no name."};
    }
    if (path.find('\0') != std::string_view::npos) {
        return {"The entry " + quoted(path) + " has a NUL character in its name."};
    }
    if (path.front() == '/') {
        return {"The entry " + quoted(path) + " has an absolute path."};
    }
    const bool climbs =
        !forEachComponent(path, "/\\", [](std::string_view component) { return component != ".."; });
    if (climbs) {
        return {"The entry " + quoted(path) + " has a \"..\" component."};
    }
    if (depth(path) == 0) {
        return {"The entry " + quoted(path) + " names no file."};
    }
    if (depth(path) > maximumDepth) {
        return limitRefusal("The entry " + quoted(path) + " lies more than " + std::to_string(maximumDepth) +
                            " folders deep.");
    }
    return {};
}

ExtractionSafety::Verdict ExtractionSafety::checkLinkTarget(std::string_view linkPath,
                                                            std::string_view target) {
    const auto leaves = [&] {
        return Verdict{"The symbolic link " + quoted(linkPath) +
                       " points outside the extraction folder (to " + quoted(target) + ")."};
    };
    if (auto verdict = checkEntryPath(linkPath, std::numeric_limits<std::size_t>::max()); !verdict.isSafe()) {
        return verdict;
    }
    if (target.empty()) {
        return {"The symbolic link " + quoted(linkPath) + " has an empty target."};
    }
    if (target.find('\0') != std::string_view::npos) {
        return {"The symbolic link " + quoted(linkPath) + " has a NUL character in its target."};
    }
    if (target.front() == '/') {
        return leaves();
    }
    // The link's folder, then its target from there; ".." at the top leaves the folder.
    std::vector<std::string_view> folders;
    forEachComponent(linkPath, "/", [&](std::string_view component) {
        folders.push_back(component);
        return true;
    });
    if (!folders.empty()) {
        folders.pop_back();
    }
    const bool stays = forEachComponent(target, "/", [&](std::string_view component) {
        if (component != "..") {
            folders.push_back(component);
            return true;
        }
        if (folders.empty() || folders.back() == "..") {
            return false;
        }
        folders.pop_back();
        return true;
    });
    return stays ? Verdict{} : leaves();
}

ExtractionSafety::Verdict ExtractionSafety::checkTotals(const Totals& totals, const Limits& limits) {
    if (totals.entryCount > limits.entryCount) {
        return limitRefusal("The archive holds more than " + std::to_string(limits.entryCount) +
                            " entries (" + std::to_string(totals.entryCount) + ").");
    }
    if (totals.size > limits.totalSize) {
        return limitRefusal("The archive's contents are larger than the limit of " +
                            sizeText(limits.totalSize) + " (" + sizeText(totals.size) + ").");
    }
    if (totals.depth > limits.depth) {
        return limitRefusal("The archive's entries lie more than " + std::to_string(limits.depth) +
                            " folders deep (" + std::to_string(totals.depth) + ").");
    }
    if (totals.size > limits.ratioMinimumSize && expandsMoreThan(totals, limits.compressionRatio)) {
        return limitRefusal("The archive's contents expand more than " +
                            std::to_string(limits.compressionRatio) + " times their packed size (" +
                            sizeText(totals.size) + " from " + sizeText(totals.packedSize) + ").");
    }
    return {};
}

ExtractionSafety::Verdict ExtractionSafety::checkListing(const SevenZipListing& listing,
                                                         const Limits& limits) {
    Totals totals;
    totals.entryCount = listing.entries().size();
    std::unordered_set<std::string> links;
    for (const auto& entry : listing.entries()) {
        if (entry.isSymbolicLink) {
            links.insert(normalized(entry.path));
        }
    }
    for (const auto& entry : listing.entries()) {
        // Installer payloads begin with the folder ".": the extraction folder itself.
        if (entry.isDirectory && !entry.isSymbolicLink && !entry.path.empty() && entry.path.front() != '/' &&
            entry.path.find('\0') == std::string::npos && depth(entry.path) == 0) {
            continue;
        }
        if (auto verdict = checkEntryPath(entry.path, limits.depth); !verdict.isSafe()) {
            return verdict;
        }
        // Devices, FIFOs and sockets, by the mode the archive keeps.
        if (!entry.mode.empty() &&
            std::string_view("pcbs").find(entry.mode.front()) != std::string_view::npos) {
            return {"The entry " + quoted(entry.path) + " is neither a file, a folder nor a symbolic link."};
        }
        if (!entry.linkTarget.empty()) {
            if (auto verdict = checkLinkTarget(entry.path, entry.linkTarget); !verdict.isSafe()) {
                return verdict;
            }
        }
        if (!entry.hardLinkTarget.empty()) {
            if (auto verdict = checkEntryPath(entry.hardLinkTarget, limits.depth); !verdict.isSafe()) {
                return {"The hard link " + quoted(entry.path) + " points outside the extraction folder (to " +
                        quoted(entry.hardLinkTarget) + ")."};
            }
        }
        // No entry is written through a link: a path through links could reach any depth.
        const auto path = normalized(entry.path);
        for (auto slash = path.find('/'); slash != std::string::npos; slash = path.find('/', slash + 1)) {
            if (links.contains(path.substr(0, slash))) {
                return {"The entry " + quoted(entry.path) + " lies inside the symbolic link " +
                        quoted(path.substr(0, slash)) + "."};
            }
        }
        totals.depth = std::max(totals.depth, depth(entry.path));
        totals.size += std::min(entry.size, limits.totalSize + 1);
        totals.packedSize += std::min(entry.packedSize, limits.totalSize + 1);
        if (totals.size > limits.totalSize) {
            break;
        }
    }
    return checkTotals(totals, limits);
}
