#pragma once

#include "tools/FixtureSigner/FixtureSigner.h"

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

/// Writes signed bundles for tests and samples: an Info.plist, resources, symbolic links and nested
/// bundles, a resource envelope made with the default rules of Apple's signing tools, and a main
/// executable whose signature binds the Info.plist and the envelope.
class FixtureBundleBuilder {
public:
    struct File {
        /// Relative to the content folder ("Resources/en.lproj/Lumora.strings").
        std::string path;
        std::string contents;
    };
    struct Symlink {
        std::string path;
        std::string target;
    };

    struct NestedBundle;

    struct Bundle {
        /// "Editor.app", "Helper.xpc", "Kit.framework"; a framework is written flat (its
        /// resources in `Resources/`, its executable at the top) unless `versioned`, the others
        /// with `Contents/`.
        std::string name;
        /// For a framework: each version in `Versions/<name>` laid out like a flat framework,
        /// `Versions/Current` a link to "A", and links at the top for the executable and
        /// `Resources` pointing into `Versions/Current`.
        bool versioned = false;
        /// For a versioned framework: versions written and signed beside "A" ("B", …).
        std::vector<std::string> otherVersions;
        std::string identifier = "com.example.fixture";
        std::string executableName = "Fixture";
        /// Extra Info.plist entries, as XML fragments ("<key>A</key><string>b</string>").
        std::string extraInfoPlistEntries;
        std::vector<File> files;
        std::vector<Symlink> symlinks;
        /// Bundles inside this one, each at a path relative to the content folder, signed first.
        std::vector<NestedBundle> nestedBundles;
        std::uint32_t seed = 1;
    };

    /// A bundle inside another, in a folder relative to the outer one's content folder.
    struct NestedBundle {
        std::string folder;
        Bundle bundle;
        /// Signs the nested bundle instead of the outer one's signing (a separately signed
        /// framework or helper).
        std::optional<FixtureSigner::Options> signing = std::nullopt;
    };

    /// Writes `bundle` into `parentFolder` and signs it (and everything nested) with `signing`;
    /// returns the bundle's path.
    static std::filesystem::path write(const std::filesystem::path& parentFolder, const Bundle& bundle,
                                       const FixtureSigner::Options& signing);

    /// Rewrites the resource envelope of a written bundle from the files now on disk and re-signs
    /// its main executable, as signing again after an edit would.
    static void resign(const std::filesystem::path& bundlePath, const Bundle& bundle,
                       const FixtureSigner::Options& signing);

    /// The designated requirement written for nested code signed with `signing`.
    static std::string designatedRequirement(const std::string& identifier,
                                             const FixtureSigner::Options& signing);
};
