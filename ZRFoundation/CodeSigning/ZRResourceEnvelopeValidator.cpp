#include "ZRFoundation/CodeSigning/ZRResourceEnvelopeValidator.h"

#include "ZRFoundation/CodeSigning/ZRCodeSigningDigest.h"
#include "ZRFoundation/CodeSigning/ZRMappedFile.h"
#include "ZRFoundation/CodeSigning/ZROSStatus.h"

#include <algorithm>
#include <atomic>
#include <set>
#include <thread>

#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

// Never resources, whatever the rules say.
bool isAlwaysExcluded(const std::string& relativePath) {
    return relativePath == "_CodeSignature" || relativePath == "CodeResources" ||
           relativePath == "_MASReceipt";
}

struct HashJob {
    std::string relativePath;
    const ZRResourceSeal* seal;
    bool matches = false;
};

std::optional<std::string> readSymlinkTarget(const fs::path& path) {
    std::vector<char> buffer(4096);
    const auto length = readlink(path.c_str(), buffer.data(), buffer.size());
    if (length < 0 || static_cast<std::size_t>(length) >= buffer.size()) {
        return std::nullopt;
    }
    return std::string(buffer.data(), static_cast<std::size_t>(length));
}

// The strongest digest the seal records decides.
bool digestMatches(const fs::path& file, const ZRResourceSeal& seal) {
    std::error_code error;
    const auto mapped = ZRMappedFile::open(file, ZRMappedFile::Links::refuse, error);
    if (!mapped) {
        return false;
    }
    const bool useSHA256 = !seal.sha256.empty();
    const auto digest = ZRCodeSigningDigest::digest(
        useSHA256 ? ZRCodeSigningDigest::sha256 : ZRCodeSigningDigest::sha1, mapped->bytes());
    return digest == (useSHA256 ? seal.sha256 : seal.sha1);
}

void hashInParallel(const fs::path& contentPath, std::vector<HashJob>& jobs) {
    std::atomic<std::size_t> next{0};
    const auto work = [&] {
        for (std::size_t index = next++; index < jobs.size(); index = next++) {
            jobs[index].matches = digestMatches(contentPath / jobs[index].relativePath, *jobs[index].seal);
        }
    };
    const std::size_t threadCount = std::clamp<std::size_t>(std::thread::hardware_concurrency(), 1, 8);
    std::vector<std::thread> threads;
    for (std::size_t i = 1; i < std::min(threadCount, jobs.size()); ++i) {
        threads.emplace_back(work);
    }
    work();
    for (auto& thread : threads) {
        thread.join();
    }
}

class Walk {
public:
    Walk(const ZRCodeResources& envelope, const std::string& mainExecutable,
         const ZRResourceEnvelopeValidator::NestedCodeValidator& validator,
         const std::optional<ZRResourceEnvelopeValidator::SymlinkRestriction>& symlinkRestriction,
         ZRResourceEnvelopeValidator::Outcome& outcome)
        : _envelope(envelope)
        , _mainExecutable(mainExecutable)
        , _validator(validator)
        , _symlinkRestriction(symlinkRestriction)
        , _outcome(outcome) {}

    // False when the walk had to stop (a limit, an unreadable folder, failed nested code).
    bool visitDirectory(const fs::path& directory, const std::string& prefix, std::size_t depth) {
        if (depth > ZRResourceEnvelopeValidator::maximumDepth) {
            return stop(ZROSStatus::errSecCSResourcesInvalid);
        }
        std::error_code error;
        std::vector<fs::path> entries;
        for (fs::directory_iterator entry(directory, error), end; !error && entry != end;
             entry.increment(error)) {
            entries.push_back(entry->path());
            if (++_entryCount > ZRResourceEnvelopeValidator::maximumEntryCount) {
                return stop(ZROSStatus::errSecCSResourcesInvalid);
            }
        }
        if (error) {
            return stop(ZROSStatus::errSecCSSignatureNotVerifiable);
        }
        std::sort(entries.begin(), entries.end());
        for (const auto& path : entries) {
            const std::string relativePath = prefix + path.filename().string();
            if (!visitEntry(path, relativePath, depth)) {
                return false;
            }
        }
        return true;
    }

    std::vector<HashJob>& hashJobs() { return _hashJobs; }
    const std::set<std::string>& seen() const { return _seen; }

private:
    bool stop(std::int32_t status) {
        _outcome.status = status;
        return false;
    }

    bool visitEntry(const fs::path& path, const std::string& relativePath, std::size_t depth) {
        if (isAlwaysExcluded(relativePath) || relativePath == _mainExecutable) {
            return true;
        }
        struct stat status {};
        if (lstat(path.c_str(), &status) != 0) {
            return stop(ZROSStatus::errSecCSSignatureNotVerifiable);
        }
        const auto selection = ruleForPath(relativePath);
        if (selection.matchingLimitExceeded) {
            // A rule that cannot be decided in bounded work makes the envelope unusable, like one
            // that does not compile.
            _outcome.failedPath = relativePath;
            return stop(ZROSStatus::errSecCSResourcesInvalid);
        }
        const ZRResourceRule* rule = selection.rule;
        const bool excluded = rule == nullptr || rule->hasFlag(ZRResourceRule::exclusion) ||
                              rule->hasFlag(ZRResourceRule::omitted);
        if (S_ISDIR(status.st_mode)) {
            if (rule != nullptr && rule->hasFlag(ZRResourceRule::nested) &&
                path.filename().string().find('.') != std::string::npos) {
                return visitNestedCode(path, relativePath);
            }
            if (rule != nullptr && rule->hasFlag(ZRResourceRule::exclusion)) {
                return true;
            }
            return visitDirectory(path, relativePath + "/", depth + 1);
        }
        if (excluded) {
            return true;
        }
        if (S_ISLNK(status.st_mode) && _symlinkRestriction) {
            const auto target = readSymlinkTarget(path);
            if (!target ||
                !ZRResourceEnvelopeValidator::symlinkIsAllowed(path, *target, *_symlinkRestriction)) {
                _outcome.failedPath = relativePath;
                return stop(ZROSStatus::errSecCSInvalidSymlink);
            }
        }
        const auto sealed = _envelope.seals().find(relativePath);
        if (sealed == _envelope.seals().end()) {
            if (!(S_ISLNK(status.st_mode) && !_envelope.isVersion2())) {
                _outcome.added.push_back(relativePath);
            }
            return true;
        }
        _seen.insert(relativePath);
        const ZRResourceSeal& seal = sealed->second;
        if (S_ISLNK(status.st_mode)) {
            const auto target = readSymlinkTarget(path);
            if (seal.kind != ZRResourceSeal::Kind::symlink || !target || *target != seal.symlinkTarget) {
                _outcome.altered.push_back(relativePath);
            }
            return true;
        }
        if (!S_ISREG(status.st_mode)) {
            return stop(ZROSStatus::errSecCSResourceNotSupported);
        }
        switch (seal.kind) {
        case ZRResourceSeal::Kind::file:
            _hashJobs.push_back(HashJob{relativePath, &seal});
            return true;
        case ZRResourceSeal::Kind::nestedCode:
            return validateNestedCode(path, relativePath, seal);
        case ZRResourceSeal::Kind::symlink:
            _outcome.altered.push_back(relativePath);
            return true;
        }
        return true;
    }

    // Spends from the walk's matching budget, at most the default budget for this one path.
    ZRResourceRuleSet::Selection ruleForPath(const std::string& relativePath) {
        const std::int32_t available =
            std::min(ZRResourceRule::MatchBudget::defaultUnits, _remainingMatchingUnits);
        ZRResourceRule::MatchBudget budget(available);
        const auto selection = _envelope.rules().ruleForPath(relativePath, budget);
        _remainingMatchingUnits -= available - budget.remainingUnits();
        return selection;
    }

    bool visitNestedCode(const fs::path& path, const std::string& relativePath) {
        const auto sealed = _envelope.seals().find(relativePath);
        if (sealed == _envelope.seals().end()) {
            _outcome.added.push_back(relativePath);
            return true;
        }
        _seen.insert(relativePath);
        if (sealed->second.kind != ZRResourceSeal::Kind::nestedCode) {
            _outcome.altered.push_back(relativePath);
            return true;
        }
        return validateNestedCode(path, relativePath, sealed->second);
    }

    bool validateNestedCode(const fs::path& path, const std::string& relativePath,
                            const ZRResourceSeal& seal) {
        const std::int32_t status = _validator ? _validator(path, seal.requirement) : ZROSStatus::success;
        if (status == ZROSStatus::success) {
            return true;
        }
        if (status == ZROSStatus::errSecCSReqFailed) {
            _outcome.nestedRequirementFailures.push_back(relativePath);
            return true;
        }
        _outcome.failedPath = relativePath;
        return stop(status);
    }

    const ZRCodeResources& _envelope;
    const std::string& _mainExecutable;
    const ZRResourceEnvelopeValidator::NestedCodeValidator& _validator;
    const std::optional<ZRResourceEnvelopeValidator::SymlinkRestriction>& _symlinkRestriction;
    ZRResourceEnvelopeValidator::Outcome& _outcome;
    std::vector<HashJob> _hashJobs;
    std::set<std::string> _seen;
    std::size_t _entryCount = 0;
    std::int32_t _remainingMatchingUnits = ZRResourceEnvelopeValidator::maximumMatchingUnits;
};

} // namespace

ZRResourceEnvelopeValidator::ZRResourceEnvelopeValidator(fs::path contentPath,
                                                         const ZRCodeResources& envelope,
                                                         std::string mainExecutable,
                                                         NestedCodeValidator nestedCodeValidator,
                                                         std::optional<SymlinkRestriction> symlinkRestriction)
    : _contentPath(std::move(contentPath))
    , _envelope(envelope)
    , _mainExecutable(std::move(mainExecutable))
    , _nestedCodeValidator(std::move(nestedCodeValidator))
    , _symlinkRestriction(std::move(symlinkRestriction)) {}

bool ZRResourceEnvelopeValidator::symlinkIsAllowed(const fs::path& linkPath, const std::string& target,
                                                   const SymlinkRestriction& restriction) {
    if (target.empty()) {
        return false;
    }
    // Judged on the text alone: the link is never followed, and "..", "." and doubled slashes
    // cannot lead a target out of where it seems to point.
    if (target.front() == '/') {
        const std::string normal = fs::path(target).lexically_normal().string();
        return normal.starts_with("/System/") || normal.starts_with("/Library/");
    }
    const fs::path boundary = restriction.boundary.lexically_normal();
    const fs::path resolved = (linkPath.parent_path() / target).lexically_normal();
    const fs::path inside = resolved.lexically_relative(boundary);
    return !inside.empty() && *inside.begin() != ".." && !inside.is_absolute();
}

ZRResourceEnvelopeValidator::Outcome ZRResourceEnvelopeValidator::validate() const {
    Outcome outcome;
    Walk walk(_envelope, _mainExecutable, _nestedCodeValidator, _symlinkRestriction, outcome);
    if (!walk.visitDirectory(_contentPath, "", 0)) {
        return outcome;
    }
    auto& jobs = walk.hashJobs();
    hashInParallel(_contentPath, jobs);
    for (const auto& job : jobs) {
        if (!job.matches) {
            outcome.altered.push_back(job.relativePath);
        }
    }
    std::sort(outcome.altered.begin(), outcome.altered.end());
    for (const auto& [path, seal] : _envelope.seals()) {
        if (!seal.optional && !walk.seen().contains(path)) {
            outcome.missing.push_back(path);
        }
    }
    if (!outcome.added.empty() || !outcome.altered.empty() || !outcome.missing.empty()) {
        outcome.status = ZROSStatus::errSecCSBadResource;
    } else if (!outcome.nestedRequirementFailures.empty()) {
        outcome.status = ZROSStatus::errSecCSBadNestedCode;
    }
    return outcome;
}
