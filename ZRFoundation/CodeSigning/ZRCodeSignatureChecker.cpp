#include "ZRFoundation/CodeSigning/ZRCodeSignatureChecker.h"

#include "ZRFoundation/CodeSigning/ZRBundleSignatureValidator.h"
#include "ZRFoundation/CodeSigning/ZRCertificate.h"
#include "ZRFoundation/CodeSigning/ZRCodeSignatureCheckerCache.h"
#include "ZRFoundation/Crypto/ZRDigest.h"
#include "ZRFoundation/PropertyList/ZRPropertyListReader.h"
#include "ZRFoundation/Support/ZRThreadPool.h"

#include <algorithm>
#include <thread>

#include <openssl/evp.h>

namespace {

constexpr const char* appleRootCASHA1 = "611e5b662c593a08ff58d14ae22452d198df6c60";
constexpr const char* defaultRequirement = "anchor apple generic";

std::string hex(std::span<const std::uint8_t> bytes) {
    return ZRDigest::hexString(bytes);
}

std::string anchorsDigest(const std::vector<ZRTrustEvaluator::Certificate>& anchors) {
    if (anchors.empty()) {
        return {};
    }
    EVP_MD_CTX* context = EVP_MD_CTX_new();
    std::vector<std::uint8_t> digest(32);
    EVP_DigestInit_ex2(context, ZRDigest::implementation(ZRDigest::Algorithm::SHA256), nullptr);
    for (const auto& anchor : anchors) {
        EVP_DigestUpdate(context, anchor.data(), anchor.size());
    }
    EVP_DigestFinal_ex(context, digest.data(), nullptr);
    EVP_MD_CTX_free(context);
    return hex(digest);
}

ZRCodeSignatureCertificateType
certificateTypeOfChain(const std::vector<ZRTrustEvaluator::Certificate>& chain) {
    if (chain.empty()) {
        return ZRCodeSignatureCertificateType::none;
    }
    const auto leaf = ZRCertificate::fromDER(chain.front());
    if (leaf) {
        if (leaf->hasExtension("1.2.840.113635.100.6.1.9")) {
            return ZRCodeSignatureCertificateType::macAppStore;
        }
        if (leaf->hasExtension("1.2.840.113635.100.6.1.13")) {
            return ZRCodeSignatureCertificateType::developerID;
        }
        if (leaf->hasExtension("1.2.840.113635.100.6.1.12")) {
            return ZRCodeSignatureCertificateType::development;
        }
    }
    const auto root = ZRCertificate::fromDER(chain.back());
    return root && hex(root->sha1()) == appleRootCASHA1 ? ZRCodeSignatureCertificateType::apple
                                                        : ZRCodeSignatureCertificateType::other;
}

std::optional<ZRPropertyListDictionary>
infoDictionary(const std::optional<std::vector<std::uint8_t>>& bytes) {
    if (!bytes) {
        return std::nullopt;
    }
    const auto parsed = ZRPropertyListReader::readPropertyList(*bytes);
    if (!parsed || parsed.value->dictionaryValue() == nullptr) {
        return std::nullopt;
    }
    return *parsed.value->dictionaryValue();
}

ZRThreadPool& checkThreadPool() {
    static ZRThreadPool pool(std::max(2u, std::thread::hardware_concurrency()));
    return pool;
}

} // namespace

std::uint64_t ZRCodeSignatureChecker::validityForStatus(ZROSStatus::Value status, bool adhoc,
                                                        bool requirementApplied) {
    switch (status) {
    case ZROSStatus::success:
        return adhoc && !requirementApplied ? ZRCodeSignatureCheckResult::validityAdhoc
                                            : ZRCodeSignatureCheckResult::validityValid;
    case ZROSStatus::errSecCSSignatureFailed:
        return ZRCodeSignatureCheckResult::validitySignatureBroken;
    case ZROSStatus::errSecCSResourcesNotSealed:
    case ZROSStatus::errSecCSResourcesNotFound:
    case ZROSStatus::errSecCSBadResource:
    case ZROSStatus::errSecCSInfoPlistFailed:
        return ZRCodeSignatureCheckResult::validityResourcesDamaged;
    case ZROSStatus::errSecCSUnsigned:
        return ZRCodeSignatureCheckResult::validityNotSigned;
    case ZROSStatus::errSecCSReqFailed:
    case ZROSStatus::errSecCSSignatureUntrusted:
        return adhoc && requirementApplied ? ZRCodeSignatureCheckResult::validityAdhoc
                                           : ZRCodeSignatureCheckResult::validityNotAppleAnchored;
    case ZROSStatus::trustCertificateRevoked:
        return ZRCodeSignatureCheckResult::validityRevoked;
    case ZROSStatus::errSecCSSignatureNotVerifiable:
    case -67037:
        return ZRCodeSignatureCheckResult::validityCannotBeChecked;
    default:
        return ZRCodeSignatureCheckResult::validityInvalid;
    }
}

ZRCodeSignatureValidator::Request
ZRCodeSignatureChecker::requestForOptions(const std::filesystem::path& executable,
                                          ZRCodeSignatureCheckOptions options) {
    ZRCodeSignatureValidator::Request request;
    request.executable = executable;
    if ((options & ZRCodeSignatureCheckSkipRequirement) == 0) {
        request.requirement = ZRCodeRequirement::fromText(defaultRequirement).value();
    }
    if ((options & ZRCodeSignatureCheckI386Architecture) != 0) {
        request.architecture = "i386";
        request.allArchitectures = false;
    }
    request.strict = true;
    return request;
}

ZRCodeSignatureChecker::Result ZRCodeSignatureChecker::resultForValidation(
    const ZRCodeSignatureValidator::Outcome& outcome, const std::filesystem::path& mainExecutable,
    ZRCodeSignatureCheckOptions options, const std::optional<ZRPropertyListDictionary>& sealedResources,
    const ZRCodeSignatureCheckResult::Details& resourceProblems) {
    if (outcome.creationError) {
        throw ZRCodeSignatureCheckError(outcome.creationError->status, outcome.creationError->description);
    }
    const auto& information = outcome.information;
    const bool requirementApplied = (options & ZRCodeSignatureCheckSkipRequirement) == 0;
    const std::uint64_t validity =
        validityForStatus(outcome.status, information.isAdhoc(), requirementApplied);
    if (validity == ZRCodeSignatureCheckResult::validityCannotBeChecked) {
        throw ZRCodeSignatureCheckError(outcome.status, outcome.description);
    }
    std::optional<ZRCodeSignatureCheckResult::Bytes> codeDirectoryHash;
    if (!information.cdhash.empty()) {
        codeDirectoryHash = information.cdhash;
    }
    std::optional<ZRPropertyListDictionary> bundleResourceFileInfos;
    if ((options & ZRCodeSignatureCheckResourceInfos) != 0 &&
        validity != ZRCodeSignatureCheckResult::validityNotAppleAnchored &&
        validity != ZRCodeSignatureCheckResult::validityRevoked) {
        bundleResourceFileInfos = sealedResources;
    }
    std::optional<ZREntitlements> entitlements;
    if (outcome.status == ZROSStatus::success) {
        entitlements = information.entitlements;
    }
    if (validity == ZRCodeSignatureCheckResult::validityAdhoc) {
        auto result = std::make_shared<ZRCodeSignatureCheckResult>(
            mainExecutable, validity, ZRCodeSignatureCertificateType::adhoc, codeDirectoryHash,
            bundleResourceFileInfos);
        result->setEntitlements(std::move(entitlements));
        return result;
    }

    std::optional<std::string> issuerOrganization;
    std::optional<std::string> subjectOrganization;
    std::optional<std::string> subjectUnit;
    std::optional<std::vector<ZRCodeSignatureCheckResult::Bytes>> certificates;
    if (!information.certificates.empty()) {
        certificates = information.certificates;
        if (const auto leaf = ZRCertificate::fromDER(information.certificates.front())) {
            issuerOrganization = leaf->lastIssuerValue("O");
            subjectOrganization = leaf->lastSubjectValue("O");
            subjectUnit = leaf->lastSubjectValue("OU");
        }
    }
    auto certificateType = certificateTypeOfChain(information.certificates);
    if (validity == ZRCodeSignatureCheckResult::validityNotAppleAnchored ||
        validity == ZRCodeSignatureCheckResult::validityRevoked) {
        certificateType = ZRCodeSignatureCertificateType::other;
    }
    std::optional<std::string> trustDescription;
    if (!information.certificates.empty() && !information.trustErrorDescription.empty()) {
        trustDescription = information.trustErrorDescription;
    }
    std::optional<ZRCodeSignatureCheckResult::Details> details;
    if (outcome.status != ZROSStatus::success) {
        // A failed validation always reports its problems, possibly none.
        details = resourceProblems;
    }
    std::optional<ZRPropertyListDictionary> infoPList;
    if ((options & ZRCodeSignatureCheckInfoPList) != 0) {
        infoPList = infoDictionary(information.infoPlist);
    }
    auto result = std::make_shared<ZRCodeSignatureCheckResult>(
        mainExecutable, validity, certificateType, codeDirectoryHash, information.identifier,
        information.teamIdentifier, trustDescription, issuerOrganization, subjectOrganization, subjectUnit,
        certificates, bundleResourceFileInfos, infoPList, details);
    result->setUsedExtraTrustAnchor(information.extraAnchorUsed);
    if (outcome.status == ZROSStatus::success) {
        result->setSecureTimestamp(information.timestamp);
    } else if (!outcome.description.empty()) {
        result->setFailureDescription(outcome.description);
    }
    result->setEntitlements(std::move(entitlements));
    return result;
}

ZRCodeSignatureChecker::Result
ZRCodeSignatureChecker::checkFileURL(const std::filesystem::path& fileURL,
                                     ZRCodeSignatureCheckOptions options,
                                     const std::vector<ZRTrustEvaluator::Certificate>& extraTrustAnchors) {
    auto& cache = ZRCodeSignatureCheckerCache::sharedInstance();
    const ZRCodeSignatureCheckerCache::Key key{fileURL, options, anchorsDigest(extraTrustAnchors)};
    if ((options & ZRCodeSignatureCheckIgnoreCache) == 0) {
        if (auto cached = cache.cachedResultForKey(key)) {
            return cached;
        }
    }
    auto request = requestForOptions(fileURL, options);
    request.extraTrustAnchors = extraTrustAnchors;
    Result result;
    std::error_code error;
    if (std::filesystem::is_directory(fileURL, error)) {
        const ZRBundleSignatureValidator::Request bundleRequest{
            fileURL, std::move(request), (options & ZRCodeSignatureCheckValidateResources) != 0};
        const auto outcome = ZRBundleSignatureValidator::validate(bundleRequest);
        result = resultForValidation(outcome.executable, outcome.mainExecutable, options,
                                     outcome.sealedResources, outcome.problems);
    } else {
        const auto outcome = ZRCodeSignatureValidator::validate(request);
        result = resultForValidation(outcome, fileURL, options);
    }
    cache.cacheResultForKey(result, key);
    return result;
}

void ZRCodeSignatureChecker::checkFileURL(const std::filesystem::path& fileURL,
                                          ZRCodeSignatureCheckOptions options, Executor callbackExecutor,
                                          CompletionHandler handler,
                                          std::vector<ZRTrustEvaluator::Certificate> extraTrustAnchors) {
    checkThreadPool().submit([fileURL, options, callbackExecutor = std::move(callbackExecutor),
                              handler = std::move(handler), anchors = std::move(extraTrustAnchors)] {
        Result result;
        std::optional<ZRCodeSignatureCheckError> error;
        try {
            result = checkFileURL(fileURL, options, anchors);
        } catch (const ZRCodeSignatureCheckError& failure) {
            error = failure;
        }
        callbackExecutor([handler, result, error] { handler(result, error); });
    });
}

std::uint64_t ZRCodeSignatureChecker::checkPID(pid_t, ZRCodeSignatureCheckOptions) {
    return ZRCodeSignatureCheckResult::validityInvalid;
}
