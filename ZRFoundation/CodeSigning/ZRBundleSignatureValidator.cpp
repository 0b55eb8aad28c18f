#include "ZRFoundation/CodeSigning/ZRBundleSignatureValidator.h"

#include "ZRFoundation/Bundle/ZRBundle.h"
#include "ZRFoundation/Bundle/ZRFileManager.h"
#include "ZRFoundation/CodeSigning/ZRCodeResources.h"
#include "ZRFoundation/CodeSigning/ZRMappedFile.h"
#include "ZRFoundation/CodeSigning/ZRResourceEnvelopeValidator.h"

#include <set>

#include <sys/stat.h>

namespace fs = std::filesystem;

namespace {

using Outcome = ZRBundleSignatureValidator::Outcome;

constexpr std::size_t maximumDataFileSize = 16 * 1024 * 1024;

std::optional<std::vector<std::uint8_t>> readRegularFile(const fs::path& path) {
    struct stat status {};
    if (lstat(path.c_str(), &status) != 0 || !S_ISREG(status.st_mode) ||
        static_cast<std::uintmax_t>(status.st_size) > maximumDataFileSize) {
        return std::nullopt;
    }
    std::error_code error;
    const auto mapped = ZRMappedFile::open(path, error);
    if (!mapped) {
        return std::nullopt;
    }
    const auto bytes = mapped->bytes();
    return std::vector<std::uint8_t>(bytes.begin(), bytes.end());
}

void fail(Outcome& outcome, ZROSStatus::Value status, std::string description) {
    if (outcome.executable.status == ZROSStatus::success) {
        outcome.executable.status = status;
        outcome.executable.description = std::move(description);
    }
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

ZROSStatus::Value validateNestedCode(const ZRBundleSignatureValidator::Request& parent, const fs::path& path,
                                     const std::string& requirementText, std::size_t depth) {
    auto requirement = ZRCodeRequirement::fromText(requirementText);
    if (!requirement) {
        return ZROSStatus::errSecCSResourcesInvalid;
    }
    ZRCodeSignatureValidator::Request executableRequest = parent.executableRequest;
    executableRequest.requirement = std::move(requirement.value());
    if (ZRFileManager::isDirectoryAtPath(path)) {
        if (depth + 1 > ZRBundleSignatureValidator::maximumNestingDepth) {
            return ZROSStatus::errSecCSBadNestedCode;
        }
        ZRBundleSignatureValidator::Request request{path, executableRequest, true};
        const auto nested = ZRBundleSignatureValidator::validate(request);
        return nested.executable.creationError ? nested.executable.creationError->status
                                               : nested.executable.status;
    }
    executableRequest.executable = path;
    executableRequest.infoPlist.reset();
    executableRequest.resourceDirectory.reset();
    const auto nested = ZRCodeSignatureValidator::validate(executableRequest);
    return nested.creationError ? nested.creationError->status : nested.status;
}

void validateResources(const ZRBundleSignatureValidator::Request& request, const ZRBundle& bundle,
                       const ZRCodeResources& envelope, const fs::path& mainExecutable, std::size_t depth,
                       Outcome& outcome) {
    if (!envelope.isVersion2()) {
        fail(outcome, ZROSStatus::errSecCSWeakResourceEnvelope,
             "the resource envelope has no version 2 seal");
        return;
    }
    if (request.executableRequest.strict && hasWeakRules(envelope)) {
        fail(outcome, ZROSStatus::errSecCSWeakResourceRules, "the resource rules leave resources unsealed");
        return;
    }
    const auto contents = bundle.contentsPath();
    const std::string mainExecutableKey = mainExecutable.lexically_relative(contents).string();
    ZRResourceEnvelopeValidator validator(contents, envelope, mainExecutableKey,
                                          [&](const fs::path& path, const std::string& requirement) {
                                              return validateNestedCode(request, path, requirement, depth);
                                          });
    auto resources = validator.validate();
    const auto record = [&](const char* key, std::vector<std::string>& paths) {
        if (!paths.empty()) {
            outcome.problems[key] = std::move(paths);
        }
    };
    record(ZRBundleSignatureValidator::resourceAddedKey, resources.added);
    record(ZRBundleSignatureValidator::resourceAlteredKey, resources.altered);
    record(ZRBundleSignatureValidator::resourceMissingKey, resources.missing);
    if (resources.status != ZROSStatus::success) {
        std::string where =
            resources.failedNestedCodePath.empty() ? std::string() : ": " + resources.failedNestedCodePath;
        fail(outcome, resources.status, ZROSStatus::description(resources.status) + where);
    }
}

} // namespace

Outcome ZRBundleSignatureValidator::validate(const Request& request) {
    return validate(request, 0);
}

Outcome ZRBundleSignatureValidator::validate(const Request& request, std::size_t depth) {
    Outcome outcome;
    const auto bundle = ZRBundle::bundleWithPath(request.bundlePath);
    const auto executable = bundle ? bundle->executablePath() : std::nullopt;
    if (!executable) {
        outcome.executable.creationError =
            ZRCodeSigningError{ZROSStatus::errSecCSBadBundleFormat, "the bundle names no main executable"};
        return outcome;
    }
    outcome.mainExecutable = *executable;

    ZRCodeSignatureValidator::Request executableRequest = request.executableRequest;
    executableRequest.executable = *executable;
    executableRequest.infoPlist = readRegularFile(bundle->infoPlistPath());
    const auto envelopePath = bundle->contentsPath() / "_CodeSignature" / "CodeResources";
    executableRequest.resourceDirectory = readRegularFile(envelopePath);
    outcome.executable = ZRCodeSignatureValidator::validate(executableRequest);
    if (outcome.executable.creationError) {
        return outcome;
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
            fail(outcome, ZROSStatus::errSecCSResourcesInvalid, failure);
        } else if (envelope->isVersion2()) {
            outcome.sealedResources = envelope->files2();
        }
    }
    if (outcome.executable.information.sealsResourceDirectory && !executableRequest.resourceDirectory) {
        fail(outcome, ZROSStatus::errSecCSResourceDirectoryFailed, "the sealed resource envelope is missing");
    }
    if (request.validateResources) {
        if (!envelope && outcome.executable.status == ZROSStatus::success) {
            fail(outcome, ZROSStatus::errSecCSResourcesNotSealed, "the bundle has no sealed resources");
        } else if (envelope && outcome.executable.status == ZROSStatus::success) {
            validateResources(request, *bundle, *envelope, *executable, depth, outcome);
        }
    }
    if (executableRequest.strict && hasUnsealedApplicationRoot(request.bundlePath)) {
        fail(outcome, ZROSStatus::errSecCSUnsealedAppRoot, "unsealed contents present in the bundle root");
    }
    return outcome;
}
