#include "ZRFoundation/CodeSigning/ZRBundleSignatureValidator.h"

#include "ZRFoundation/Bundle/ZRBundle.h"
#include "ZRFoundation/Bundle/ZRFileManager.h"
#include "ZRFoundation/CodeSigning/ZRCodeResources.h"
#include "ZRFoundation/CodeSigning/ZRMappedFile.h"
#include "ZRFoundation/CodeSigning/ZRResourceEnvelopeValidator.h"

#include <algorithm>
#include <set>

#include <sys/stat.h>

namespace fs = std::filesystem;

namespace {

using Outcome = ZRBundleSignatureValidator::Outcome;

constexpr std::size_t maximumDataFileSize = 16 * 1024 * 1024;

void fail(Outcome& outcome, ZROSStatus::Value status, std::string description, std::string path = {}) {
    if (outcome.executable.status == ZROSStatus::success) {
        outcome.executable.status = status;
        outcome.executable.description = std::move(description);
        outcome.failurePath = std::move(path);
    }
}

std::optional<std::string> readLinkTarget(const fs::path& path) {
    std::error_code error;
    if (!fs::is_symlink(fs::symlink_status(path, error))) {
        return std::nullopt;
    }
    const auto target = fs::read_symlink(path, error);
    return error ? std::nullopt : std::optional<std::string>(target.string());
}

// The rules a strict check accepts: everything included by "^.*", and omissions only of the
// files that signing tools always leave out.
bool hasWeakRules(const ZRCodeResources& envelope) {
    static const std::set<std::string> omittable{"^(.*/)?\\.DS_Store$", "^Info\\.plist$", "^PkgInfo$",
                                                 "^Resources/.*\\.lproj/locversion.plist$"};
    bool includesEverything = false;
    for (const auto& rule : envelope.rules().rules()) {
        if (rule.pattern() == "^.*" && rule.flags() == 0) {
            includesEverything = true;
        }
        const bool excludes =
            rule.hasFlag(ZRResourceRule::exclusion) || rule.hasFlag(ZRResourceRule::omitted);
        if (excludes && !omittable.contains(rule.pattern())) {
            return true;
        }
    }
    return !includesEverything;
}

// An application bundle's root may hold only its Contents folder and a few files the desktop adds.
bool hasUnsealedApplicationRoot(const fs::path& bundlePath) {
    if (!ZRFileManager::isDirectoryAtPath(bundlePath / "Contents")) {
        return false;
    }
    static const std::set<std::string> allowed{"Contents", ".LSOverride", ".DS_Store", "Icon\r",
                                               ".SoftwareDepot.tracking"};
    std::error_code error;
    for (fs::directory_iterator entry(bundlePath, error), end; !error && entry != end;
         entry.increment(error)) {
        if (!allowed.contains(entry->path().filename().string())) {
            return true;
        }
    }
    return false;
}

struct Context {
    std::size_t depth = 0;
    /// Relative link targets must stay inside this folder: the outermost bundle validated.
    fs::path symlinkBoundary;
};

Outcome validateBundle(const ZRBundleSignatureValidator::Request& request, const Context& context);

ZROSStatus::Value validateNestedCode(const ZRBundleSignatureValidator::Request& parent, const fs::path& path,
                                     const std::string& requirementText, const Context& context) {
    auto requirement = ZRCodeRequirement::fromText(requirementText);
    if (!requirement) {
        return ZROSStatus::errSecCSResourcesInvalid;
    }
    ZRCodeSignatureValidator::Request executableRequest = parent.executableRequest;
    executableRequest.requirement = std::move(requirement.value());
    if (ZRFileManager::isDirectoryAtPath(path)) {
        if (context.depth + 1 > ZRBundleSignatureValidator::maximumNestingDepth) {
            return ZROSStatus::errSecCSBadNestedCode;
        }
        ZRBundleSignatureValidator::Request request{path, executableRequest, true, parent.restrictSymlinks};
        const auto nested = validateBundle(request, Context{context.depth + 1, context.symlinkBoundary});
        return nested.executable.overallStatus();
    }
    executableRequest.executable = path;
    executableRequest.infoPlist.reset();
    executableRequest.resourceDirectory.reset();
    const auto nested = ZRCodeSignatureValidator::validate(executableRequest);
    return nested.overallStatus();
}

void validateResources(const ZRBundleSignatureValidator::Request& request, const ZRBundle& bundle,
                       const ZRCodeResources& envelope, const fs::path& mainExecutable,
                       const Context& context, Outcome& outcome) {
    const bool strict = request.executableRequest.strict;
    const auto contents = bundle.contentsPath();
    const auto envelopePath =
        (contents / "_CodeSignature" / "CodeResources").lexically_relative(request.bundlePath).string();
    if (!envelope.isVersion2() && strict) {
        fail(outcome, ZROSStatus::errSecCSWeakResourceEnvelope, "the resource envelope has no version 2 seal",
             envelopePath);
        return;
    }
    if (strict && hasWeakRules(envelope)) {
        fail(outcome, ZROSStatus::errSecCSWeakResourceRules, "the resource rules leave resources unsealed",
             envelopePath);
        return;
    }
    const std::string mainExecutableKey = mainExecutable.lexically_relative(contents).string();
    std::optional<ZRResourceEnvelopeValidator::SymlinkRestriction> restriction;
    if (strict && request.restrictSymlinks) {
        restriction = ZRResourceEnvelopeValidator::SymlinkRestriction{context.symlinkBoundary};
    }
    ZRResourceEnvelopeValidator validator(
        contents, envelope, mainExecutableKey,
        [&](const fs::path& path, const std::string& requirement) {
            return validateNestedCode(request, path, requirement, context);
        },
        restriction);
    auto resources = validator.validate();
    const auto record = [&](const char* key, std::vector<std::string>& paths) {
        if (!paths.empty()) {
            outcome.problems[key] = std::move(paths);
        }
    };
    record(ZRBundleSignatureValidator::resourceAddedKey, resources.added);
    record(ZRBundleSignatureValidator::resourceAlteredKey, resources.altered);
    record(ZRBundleSignatureValidator::resourceMissingKey, resources.missing);
    for (auto& path : resources.nestedRequirementFailures) {
        outcome.nestedCodeFailures.push_back({std::move(path), ZROSStatus::errSecCSReqFailed});
    }
    if (resources.status == ZROSStatus::success) {
        return;
    }
    std::string where = resources.failedPath.empty() ? std::string() : ": " + resources.failedPath;
    const std::string failedPath =
        resources.failedPath.empty()
            ? std::string()
            : (contents.lexically_relative(request.bundlePath) / resources.failedPath)
                  .lexically_normal()
                  .string();
    if (resources.status != ZROSStatus::errSecCSInvalidSymlink && !resources.failedPath.empty()) {
        outcome.nestedCodeFailures.push_back({resources.failedPath, resources.status});
    }
    fail(outcome, resources.status, ZROSStatus::description(resources.status) + where, failedPath);
}

// What `Versions/Current` may name: one folder directly inside `Versions`.
bool isVersionName(const std::string& name) {
    return !name.empty() && name.find('/') == std::string::npos && name != "." && name != "..";
}

// The root of a versioned framework holds only `Versions/` and links into `Versions/Current`
// named like their targets; `Versions/Current` is a link to one of the versions. Returns the
// offending entry, or none.
std::optional<std::string> unsealedFrameworkRootEntry(const fs::path& root) {
    std::error_code error;
    const auto versions = root / "Versions";
    if (!fs::is_directory(fs::symlink_status(versions, error))) {
        return "Versions";
    }
    const auto current = readLinkTarget(versions / "Current");
    if (!current || !isVersionName(*current) ||
        !fs::is_directory(fs::symlink_status(versions / *current, error))) {
        return "Versions/Current";
    }
    for (fs::directory_iterator entry(root, error), end; !error && entry != end; entry.increment(error)) {
        const std::string name = entry->path().filename().string();
        if (name == "Versions") {
            continue;
        }
        const auto target = readLinkTarget(entry->path());
        if (!target || *target != "Versions/Current/" + name) {
            return name;
        }
    }
    return error ? std::optional<std::string>(".") : std::nullopt;
}

void validateOtherFrameworkVersions(const ZRBundleSignatureValidator::Request& request,
                                    const std::string& currentVersion, const Context& context,
                                    Outcome& outcome) {
    const auto versions = request.bundlePath / "Versions";
    std::vector<std::string> names;
    std::error_code error;
    for (fs::directory_iterator entry(versions, error), end; !error && entry != end; entry.increment(error)) {
        const std::string name = entry->path().filename().string();
        if (name != "Current" && name != currentVersion &&
            fs::is_directory(fs::symlink_status(entry->path(), error))) {
            names.push_back(name);
        }
    }
    std::sort(names.begin(), names.end());
    for (const auto& name : names) {
        ZRBundleSignatureValidator::Request versionRequest = request;
        versionRequest.bundlePath = versions / name;
        const auto version =
            validateBundle(versionRequest, Context{context.depth + 1, context.symlinkBoundary});
        const auto status = version.executable.overallStatus();
        if (status != ZROSStatus::success) {
            fail(outcome, ZROSStatus::errSecCSBadFrameworkVersion,
                 "framework version " + name + " does not validate: " + ZROSStatus::description(status),
                 "Versions/" + name);
            return;
        }
    }
}

Outcome validateBundle(const ZRBundleSignatureValidator::Request& request, const Context& context) {
    Outcome outcome;
    const bool strict = request.executableRequest.strict;
    // A versioned framework is validated through its current version.
    fs::path codePath = request.bundlePath;
    std::optional<std::string> currentVersion;
    if (!ZRFileManager::isDirectoryAtPath(request.bundlePath / "Contents") &&
        ZRFileManager::isDirectoryAtPath(request.bundlePath / "Versions")) {
        const auto versions = request.bundlePath / "Versions";
        currentVersion = readLinkTarget(versions / "Current");
        if (!currentVersion) {
            // Not a link: a strict check refuses such a root, a lenient one takes the folder.
            currentVersion = "Current";
        }
        if (!isVersionName(*currentVersion) ||
            !ZRFileManager::isDirectoryAtPath(versions / *currentVersion)) {
            outcome.executable.creationError = ZRCodeSigningError{ZROSStatus::errSecCSBadBundleFormat,
                                                                  "the framework has no current version"};
            return outcome;
        }
        codePath = versions / *currentVersion;
    }
    const auto bundle = ZRBundle::bundleWithPath(codePath);
    const auto executable = bundle ? bundle->executablePath() : std::nullopt;
    if (!executable) {
        outcome.executable.creationError =
            ZRCodeSigningError{ZROSStatus::errSecCSBadBundleFormat, "the bundle names no main executable"};
        return outcome;
    }
    outcome.mainExecutable = *executable;
    outcome.contentsPath = bundle->contentsPath();
    const auto relativeToBundle = [&](const fs::path& path) {
        return path.lexically_relative(request.bundlePath).lexically_normal().string();
    };

    ZRCodeSignatureValidator::Request executableRequest = request.executableRequest;
    executableRequest.executable = *executable;
    executableRequest.infoPlist = ZRMappedFile::readRegularFile(bundle->infoPlistPath(), maximumDataFileSize);
    const auto envelopePath = bundle->contentsPath() / "_CodeSignature" / "CodeResources";
    executableRequest.resourceDirectory = ZRMappedFile::readRegularFile(envelopePath, maximumDataFileSize);
    outcome.executable = ZRCodeSignatureValidator::validate(executableRequest);
    if (outcome.executable.creationError) {
        return outcome;
    }
    if (outcome.executable.status == ZROSStatus::errSecCSInfoPlistFailed) {
        outcome.failurePath = relativeToBundle(bundle->infoPlistPath());
    } else if (outcome.executable.status == ZROSStatus::errSecCSResourceDirectoryFailed) {
        outcome.failurePath = relativeToBundle(envelopePath);
    }

    // An envelope counts only when the signature hashes it and the hash matched.
    std::optional<ZRCodeResources> envelope;
    const bool envelopeSealed = executableRequest.resourceDirectory &&
                                outcome.executable.information.sealsResourceDirectory &&
                                outcome.executable.status != ZROSStatus::errSecCSResourceDirectoryFailed;
    if (envelopeSealed) {
        std::string failure;
        envelope = ZRCodeResources::codeResourcesFromData(*executableRequest.resourceDirectory, &failure);
        if (!envelope) {
            fail(outcome, ZROSStatus::errSecCSResourcesInvalid, failure, relativeToBundle(envelopePath));
        } else if (envelope->isVersion2()) {
            outcome.sealedResources = envelope->files2();
        }
    }
    if (outcome.executable.information.sealsResourceDirectory && !executableRequest.resourceDirectory) {
        fail(outcome, ZROSStatus::errSecCSResourceDirectoryFailed, "the sealed resource envelope is missing",
             relativeToBundle(envelopePath));
    }
    if (request.validateResources) {
        if (!envelope && outcome.executable.status == ZROSStatus::success) {
            fail(outcome, ZROSStatus::errSecCSResourcesNotSealed, "the bundle has no sealed resources",
                 relativeToBundle(envelopePath));
        } else if (envelope && outcome.executable.status == ZROSStatus::success) {
            validateResources(request, *bundle, *envelope, *executable, context, outcome);
        }
    }
    if (strict && hasUnsealedApplicationRoot(request.bundlePath)) {
        fail(outcome, ZROSStatus::errSecCSUnsealedAppRoot, "unsealed contents present in the bundle root");
    }
    if (strict && currentVersion) {
        if (const auto entry = unsealedFrameworkRootEntry(request.bundlePath)) {
            fail(outcome, ZROSStatus::errSecCSUnsealedFrameworkRoot,
                 "unsealed contents present in the framework root: " + *entry, *entry);
        } else if (request.validateResources) {
            validateOtherFrameworkVersions(request, *currentVersion, context, outcome);
        }
    }
    return outcome;
}

} // namespace

Outcome ZRBundleSignatureValidator::validate(const Request& request) {
    return validateBundle(request, Context{0, request.bundlePath});
}
