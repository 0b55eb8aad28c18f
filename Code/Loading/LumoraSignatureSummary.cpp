#include "Code/Loading/LumoraSignatureSummary.h"

#include "Code/Loading/LumoraRequiredSigner.h"
#include "ZRFoundation/Bundle/ZRBundle.h"
#include "ZRFoundation/CodeSigning/ZRCertificate.h"
#include "ZRFoundation/CodeSigning/ZRCodeInfo.h"
#include "ZRFoundation/CodeSigning/ZRCodeSignatureChecker.h"

#include <ctime>

namespace {

using Kind = LumoraSignatureSummary::Kind;
using Type = ZRCodeSignatureCertificateType;

std::optional<Kind> validKind(Type type) {
    switch (type) {
    case Type::developerID:
        return Kind::developerID;
    case Type::macAppStore:
        return Kind::macAppStore;
    case Type::apple:
        return Kind::apple;
    case Type::development:
        return Kind::development;
    case Type::none:
    case Type::adhoc:
    case Type::other:
        break;
    }
    return std::nullopt;
}

std::string validityReason(std::uint64_t validity) {
    switch (validity) {
    case ZRCodeSignatureCheckResult::validitySignatureBroken:
        return "the code does not match its signature";
    case ZRCodeSignatureCheckResult::validityResourcesDamaged:
        return "sealed resources are damaged";
    case ZRCodeSignatureCheckResult::validityNotAppleAnchored:
        return "the certificate chain is not anchored at Apple";
    case ZRCodeSignatureCheckResult::validityRevoked:
        return "the certificate is revoked";
    default:
        return "the signature does not validate";
    }
}

} // namespace

std::string_view LumoraSignatureSummary::kindName(Kind kind) {
    switch (kind) {
    case Kind::developerID:
        return "developerID";
    case Kind::macAppStore:
        return "macAppStore";
    case Kind::apple:
        return "apple";
    case Kind::development:
        return "development";
    case Kind::adHoc:
        return "adHoc";
    case Kind::notSigned:
        return "unsigned";
    case Kind::invalid:
        return "invalid";
    }
    return "invalid";
}

std::optional<std::string> LumoraSignatureSummary::secureTimestampText() const {
    std::tm parts{};
    if (!secureTimestamp || ::gmtime_r(&*secureTimestamp, &parts) == nullptr) {
        return std::nullopt;
    }
    char text[32];
    return std::string(text, std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &parts));
}

LumoraSignatureSummary LumoraSignatureSummary::make(const ZRCodeSignatureCheckResult& result) {
    LumoraSignatureSummary summary;
    switch (result.validity()) {
    case ZRCodeSignatureCheckResult::validityNotSigned:
        summary.kind = Kind::notSigned;
        return summary;
    case ZRCodeSignatureCheckResult::validityAdhoc:
        summary.kind = Kind::adHoc;
        return summary;
    case ZRCodeSignatureCheckResult::validityValid:
        if (const auto kind = validKind(result.certificateType())) {
            summary.kind = *kind;
            break;
        }
        [[fallthrough]];
    default:
        summary.kind = Kind::invalid;
        summary.error = result.localizedTrustEvaluationErrorDescription().value_or(
            result.failureDescription().value_or(validityReason(result.validity())));
        return summary;
    }
    summary.teamIdentifier = LumoraRequiredSigner::signingTeam(result);
    summary.secureTimestamp = result.secureTimestamp();
    ZRCodeInfo signer;
    signer.signatureCertificateType = result.certificateType();
    signer.cdTeamIdentifier = result.teamIdentifier();
    const auto& certificates = result.certificates();
    if (const auto leaf = certificates && !certificates->empty()
                              ? ZRCertificate::fromDER(certificates->front())
                              : std::nullopt) {
        signer.signerUserID = leaf->lastSubjectValue("UID");
        signer.signerOrganizationalUnit = leaf->lastSubjectValue("OU");
        signer.signerCommonName = leaf->lastSubjectValue("CN");
        signer.signerOrganization = leaf->lastSubjectValue("O");
    }
    summary.author = signer.authorDisplayStringWithTeamID();
    return summary;
}

std::optional<LumoraSignatureSummary>
LumoraSignatureSummary::read(const std::filesystem::path& application,
                             const std::vector<std::vector<std::uint8_t>>& extraTrustAnchors) {
    // The path the loader's verifier checks a bundle under, so that the cache answers both alike.
    std::error_code error;
    const auto bundle =
        std::filesystem::is_directory(application, error) ? ZRBundle::bundleWithPath(application) : nullptr;
    ZRCodeSignatureChecker::Result result;
    try {
        result = ZRCodeSignatureChecker::checkFileURL(bundle ? bundle->bundlePath() : application,
                                                      ZRCodeSignatureCheckResourceInfos, extraTrustAnchors);
    } catch (const ZRCodeSignatureCheckError&) {
        return std::nullopt;
    }
    return result ? std::optional(make(*result)) : std::nullopt;
}
