#pragma once

#include "ZRFoundation/CodeSigning/ZRCodeSignatureCheckError.h"
#include "ZRFoundation/CodeSigning/ZRCodeSignatureCheckResult.h"
#include "ZRFoundation/CodeSigning/ZRCodeSignatureValidator.h"
#include "ZRFoundation/CodeSigning/ZRTrustEvaluator.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include <sys/types.h>

using ZRCodeSignatureCheckOptions = std::uint64_t;
inline constexpr ZRCodeSignatureCheckOptions ZRCodeSignatureCheckSkipRequirement = 0x01;
inline constexpr ZRCodeSignatureCheckOptions ZRCodeSignatureCheckIgnoreCache = 0x02;
inline constexpr ZRCodeSignatureCheckOptions ZRCodeSignatureCheckValidateResources = 0x04;
inline constexpr ZRCodeSignatureCheckOptions ZRCodeSignatureCheckResourceInfos = 0x08;
inline constexpr ZRCodeSignatureCheckOptions ZRCodeSignatureCheckI386Architecture = 0x10;
inline constexpr ZRCodeSignatureCheckOptions ZRCodeSignatureCheckInfoPList = 0x20;

/// Checks code signatures of files: is the signature valid, who signed, what did it seal.
class ZRCodeSignatureChecker {
public:
    using Result = std::shared_ptr<const ZRCodeSignatureCheckResult>;
    using Executor = std::function<void(std::function<void()>)>;
    using CompletionHandler = std::function<void(Result, std::optional<ZRCodeSignatureCheckError>)>;

    /// The result for the file, answered from the process-wide cache unless
    /// ZRCodeSignatureCheckIgnoreCache is set. Throws ZRCodeSignatureCheckError when the file
    /// cannot be examined or its signature cannot be checked (validity 8).
    static Result checkFileURL(const std::filesystem::path& fileURL, ZRCodeSignatureCheckOptions options,
                               const std::vector<ZRTrustEvaluator::Certificate>& extraTrustAnchors = {});
    /// The same check on a worker thread; `handler` is handed to `callbackExecutor` (the desktop
    /// passes its main thread), never called on the caller's stack.
    static void checkFileURL(const std::filesystem::path& fileURL, ZRCodeSignatureCheckOptions options,
                             Executor callbackExecutor, CompletionHandler handler,
                             std::vector<ZRTrustEvaluator::Certificate> extraTrustAnchors = {});
    /// Linux runs no signed processes: there is never a code object for a process, so the
    /// validity is always 0.
    static std::uint64_t checkPID(pid_t pid, ZRCodeSignatureCheckOptions options);

    /// The validity a validation status stands for.
    static std::uint64_t validityForStatus(ZROSStatus::Value status, bool adhoc, bool requirementApplied);
    /// Builds the result from a finished validation (exposed for bundle checks, which validate
    /// their main executable with Info.plist and resource directory bytes of their own).
    /// Throws ZRCodeSignatureCheckError for validity 8 and for files that could not be examined.
    static Result
    resultForValidation(const ZRCodeSignatureValidator::Outcome& outcome,
                        const std::filesystem::path& mainExecutable, ZRCodeSignatureCheckOptions options,
                        const std::optional<ZRPropertyListDictionary>& sealedResources = std::nullopt,
                        const ZRCodeSignatureCheckResult::Details& resourceProblems = {});
    static ZRCodeSignatureValidator::Request requestForOptions(const std::filesystem::path& executable,
                                                               ZRCodeSignatureCheckOptions options);
};
