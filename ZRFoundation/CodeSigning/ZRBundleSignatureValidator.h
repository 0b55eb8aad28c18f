#pragma once

#include "ZRFoundation/CodeSigning/ZRCodeSignatureValidator.h"
#include "ZRFoundation/PropertyList/ZRPropertyList.h"

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

/// Validates a bundle: the main executable's signature, bound to the bundle's Info.plist and to
/// its resource envelope (`_CodeSignature/CodeResources`), then, when asked, every sealed resource
/// and every nested bundle or executable against the requirement recorded for it, and the strict
/// layout of the bundle root. A versioned framework (`Versions/A`, `Versions/Current`, links at
/// the top) is validated through its current version; a strict check also wants its root made
/// only of those links and, with resources, every other version valid.
///
/// Whenever the envelope is read, its digest must match the one the signature records for it, so
/// that a sealed resource list is never taken from an envelope the signature does not cover.
class ZRBundleSignatureValidator {
public:
    struct Request {
        std::filesystem::path bundlePath;
        /// Requirement, architecture, trust anchors and strictness for every executable examined;
        /// the executable and its bound data are filled in per bundle.
        ZRCodeSignatureValidator::Request executableRequest;
        /// Check every sealed resource and nested code.
        bool validateResources = false;
        /// With a strict request: absolute link targets must lie under `/System/` or `/Library/`,
        /// relative ones must stay inside the outermost bundle validated.
        bool restrictSymlinks = false;
    };

    struct NestedCodeFailure {
        /// Relative to the bundle's content folder.
        std::string path;
        /// errSecCSReqFailed for code that is intact but fails the requirement recorded for it.
        ZROSStatus::Value status = ZROSStatus::success;
    };

    struct Outcome {
        /// The main executable's validation; `status` is the bundle's overall status.
        ZRCodeSignatureValidator::Outcome executable;
        std::filesystem::path mainExecutable;
        /// The folder that resource and nested code paths are relative to (`Contents`, a
        /// framework's current version folder, or the bundle folder itself).
        std::filesystem::path contentsPath;
        /// "files2" of a version 2 envelope that the signature covers.
        std::optional<ZRPropertyListDictionary> sealedResources;
        /// Resource problems by kind ("SecCSResourceAdded", "SecCSResourceAltered",
        /// "SecCSResourceMissing"), as paths relative to the bundle's content folder.
        std::map<std::string, std::vector<std::string>> problems;
        std::vector<NestedCodeFailure> nestedCodeFailures;
        /// What a failure that is not a resource problem is about (the Info.plist, the envelope, a
        /// refused link, a framework version, an entry of the bundle root), relative to the bundle
        /// folder; empty when it concerns the executable or nothing in particular.
        std::string failurePath;
    };

    static constexpr const char* resourceAddedKey = "SecCSResourceAdded";
    static constexpr const char* resourceAlteredKey = "SecCSResourceAltered";
    static constexpr const char* resourceMissingKey = "SecCSResourceMissing";
    /// Nested bundles inside nested bundles, at most.
    static constexpr std::size_t maximumNestingDepth = 16;

    static Outcome validate(const Request& request);
};
