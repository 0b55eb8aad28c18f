#include "Code/Catalogue/ReadPermissionFolderProposals.h"

#include "Code/Catalogue/LocalizedStandardComparison.h"
#include "Code/Catalogue/QtStrings.h"

#include <algorithm>
#include <array>
#include <set>
#include <string_view>

namespace ReadPermissionFolderProposals {

namespace {

std::vector<std::string> pathComponents(std::string_view path) {
    std::vector<std::string> components;
    std::size_t start = 0;
    while (start < path.size()) {
        const std::size_t end = path.find('/', start);
        const std::size_t stop = end == std::string_view::npos ? path.size() : end;
        if (stop > start) {
            components.emplace_back(path.substr(start, stop - start));
        }
        start = stop + 1;
    }
    return components;
}

/// The deepest folder both paths lie in, ending in "/"; empty when they share none.
std::string sharedFolder(const std::string& left, const std::string& right) {
    const auto mismatch = std::mismatch(left.begin(), left.end(), right.begin(), right.end());
    std::string shared(left.begin(), mismatch.first);
    const std::size_t slash = shared.rfind('/');
    if (slash == std::string::npos) {
        return {};
    }
    shared.erase(slash + 1);
    return shared;
}

} // namespace

std::string candidateFolder(const std::string& bundlePath) {
    const auto components = pathComponents(bundlePath);
    // A folder that holds applications of many kinds: its prefix and how many components below the
    // prefix it reaches. Each counts only when the bundle lies below it.
    struct Rule {
        std::string_view prefix;
        std::size_t componentsAfterPrefix;
    };
    static constexpr std::array rules{
        Rule{"/Applications/", 0}, Rule{"/Users/", 1},     Rule{"/Volumes/", 1}, Rule{"/home/", 1},
        Rule{"/media/", 2},        Rule{"/run/media/", 2}, Rule{"/mnt/", 1},
    };
    for (const auto& rule : rules) {
        if (!bundlePath.starts_with(rule.prefix)) {
            continue;
        }
        const std::size_t folderComponents = pathComponents(rule.prefix).size() + rule.componentsAfterPrefix;
        if (components.size() <= folderComponents) {
            continue;
        }
        std::string folder = "/";
        for (std::size_t index = 0; index < folderComponents; ++index) {
            folder.append(components[index]).append("/");
        }
        return folder;
    }
    if (bundlePath.ends_with(".app") || bundlePath.ends_with(".app/")) {
        std::string parent = bundlePath;
        if (parent.ends_with('/')) {
            parent.pop_back();
        }
        parent.erase(parent.rfind('/') + 1);
        return parent;
    }
    return bundlePath;
}

std::vector<std::string> proposedFolders(const std::vector<std::string>& bundlePaths) {
    std::set<std::string> candidates;
    for (const auto& path : bundlePaths) {
        candidates.insert(candidateFolder(path));
    }
    std::set<std::string> reduced;
    for (std::string candidate : candidates) {
        for (const auto& other : candidates) {
            if (other == candidate || other == "/") {
                continue;
            }
            const std::string shared = sharedFolder(candidate, other);
            if (!shared.empty() && shared != "/") {
                candidate = shared;
            }
        }
        reduced.insert(std::move(candidate));
    }
    std::vector<std::string> sorted(reduced.begin(), reduced.end());
    std::sort(sorted.begin(), sorted.end(), [](const std::string& left, const std::string& right) {
        const auto leftSlashes = std::count(left.begin(), left.end(), '/');
        const auto rightSlashes = std::count(right.begin(), right.end(), '/');
        if (leftSlashes != rightSlashes) {
            return leftSlashes < rightSlashes;
        }
        return localizedStandardCompare(QtStrings::fromPath(left), QtStrings::fromPath(right)) < 0;
    });
    return sorted;
}

} // namespace ReadPermissionFolderProposals
