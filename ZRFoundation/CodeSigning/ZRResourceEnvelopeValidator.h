#pragma once

#include "ZRFoundation/CodeSigning/ZRCodeResources.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

/// Compares a bundle's files with its resource envelope: every file the rules cover must be
/// sealed with its digest, every sealed file must be there (unless optional), symbolic links must
/// keep their recorded targets and are never followed, and nested code is handed to a callback
/// together with the requirement the envelope recorded for it. Files are hashed in parallel.
class ZRResourceEnvelopeValidator {
public:
    /// Validates the nested code at an absolute path against a requirement text; returns 0 or an
    /// OSStatus (errSecCSReqFailed for code that is fine but fails the requirement).
    using NestedCodeValidator = std::function<std::int32_t(const std::filesystem::path&, const std::string&)>;

    struct Outcome {
        /// 0 when everything matches; otherwise the first failure's OSStatus.
        std::int32_t status = 0;
        /// Paths relative to the content folder.
        std::vector<std::string> added;
        std::vector<std::string> altered;
        std::vector<std::string> missing;
        /// Nested code that failed its requirement.
        std::vector<std::string> nestedRequirementFailures;
        /// The entry that stopped the walk: nested code that failed otherwise, a refused link.
        std::string failedPath;
    };

    /// Where symbolic links may point when they are restricted: absolute targets only under
    /// `/System/` or `/Library/`, relative ones only inside `boundary` (the outermost bundle being
    /// validated). A link that points elsewhere fails the walk with errSecCSInvalidSymlink.
    struct SymlinkRestriction {
        std::filesystem::path boundary;
    };

    /// `contentPath` is the folder the envelope's paths are relative to (`Contents` of an
    /// application, the version folder of a framework); `mainExecutable` is relative to it and is
    /// never a resource.
    ZRResourceEnvelopeValidator(std::filesystem::path contentPath, const ZRCodeResources& envelope,
                                std::string mainExecutable, NestedCodeValidator nestedCodeValidator,
                                std::optional<SymlinkRestriction> symlinkRestriction = std::nullopt);

    /// True when a link at `linkPath` with `target` keeps to the restriction.
    static bool symlinkIsAllowed(const std::filesystem::path& linkPath, const std::string& target,
                                 const SymlinkRestriction& restriction);

    Outcome validate() const;

    /// Limits that keep a hostile bundle from exhausting the machine.
    static constexpr std::size_t maximumEntryCount = 2'000'000;
    static constexpr std::size_t maximumDepth = 128;
    /// Rule-matching work for the whole walk, in ZRResourceRule::MatchBudget units; each path
    /// may also spend at most the default budget. Ordinary rules spend almost none of it.
    static constexpr std::int32_t maximumMatchingUnits = 20 * ZRResourceRule::MatchBudget::defaultUnits;

private:
    std::filesystem::path _contentPath;
    const ZRCodeResources& _envelope;
    std::string _mainExecutable;
    NestedCodeValidator _nestedCodeValidator;
    std::optional<SymlinkRestriction> _symlinkRestriction;
};
