#include "ZRFoundation/CodeSigning/ZRCodeSignatureCheckResult.h"

ZRCodeSignatureCheckResult::ZRCodeSignatureCheckResult(
    std::optional<std::filesystem::path> mainExecutableFileURL, std::uint64_t validity,
    ZRCodeSignatureCertificateType certificateType, std::optional<Bytes> codeDirectoryHash,
    std::optional<ZRPropertyListDictionary> bundleResourceFileInfos)
    : _mainExecutableFileURL(std::move(mainExecutableFileURL))
    , _validity(validity)
    , _certificateType(certificateType)
    , _codeDirectoryHash(std::move(codeDirectoryHash))
    , _bundleResourceFileInfos(std::move(bundleResourceFileInfos)) {}

ZRCodeSignatureCheckResult::ZRCodeSignatureCheckResult(
    std::optional<std::filesystem::path> mainExecutableFileURL, std::uint64_t validity,
    ZRCodeSignatureCertificateType certificateType, std::optional<Bytes> codeDirectoryHash,
    std::optional<std::string> identifier, std::optional<std::string> teamIdentifier,
    std::optional<std::string> localizedTrustEvaluationErrorDescription,
    std::optional<std::string> certificateIssuerDisplayString,
    std::optional<std::string> certificateSubjectDisplayString,
    std::optional<std::string> certificateSubjectUnitString, std::optional<std::vector<Bytes>> certificates,
    std::optional<ZRPropertyListDictionary> bundleResourceFileInfos,
    std::optional<ZRPropertyListDictionary> infoPList, std::optional<Details> details)
    : _mainExecutableFileURL(std::move(mainExecutableFileURL))
    , _validity(validity)
    , _certificateType(certificateType)
    , _codeDirectoryHash(std::move(codeDirectoryHash))
    , _identifier(std::move(identifier))
    , _teamIdentifier(std::move(teamIdentifier))
    , _localizedTrustEvaluationErrorDescription(std::move(localizedTrustEvaluationErrorDescription))
    , _certificateIssuerDisplayString(std::move(certificateIssuerDisplayString))
    , _certificateSubjectDisplayString(std::move(certificateSubjectDisplayString))
    , _certificateSubjectUnitString(std::move(certificateSubjectUnitString))
    , _certificates(std::move(certificates))
    , _bundleResourceFileInfos(std::move(bundleResourceFileInfos))
    , _infoPList(std::move(infoPList))
    , _details(std::move(details)) {}
