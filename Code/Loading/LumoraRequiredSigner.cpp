#include "Code/Loading/LumoraRequiredSigner.h"

#include "Code/Loading/LumoraInitializationError.h"

namespace LumoraRequiredSigner {

namespace {

constexpr std::string_view appleSignerName = "Apple";

bool isAppleSignature(const ZRCodeSignatureCheckResult& result) {
    return result.certificateType() == ZRCodeSignatureCertificateType::apple;
}

} // namespace

std::optional<std::string> signingTeam(const ZRCodeSignatureCheckResult& result) {
    if (const auto& team = result.teamIdentifier(); team && !team->empty()) {
        return team;
    }
    return result.certificateSubjectUnitString();
}

void verify(const Lumora::Source& source, const ZRCodeSignatureCheckResult& result) {
    const auto& required = source.requiredCodeSignatureSource();
    if (!required) {
        return;
    }
    const auto team = signingTeam(result);
    const bool accepted =
        required->isApple() ? isAppleSignature(result) : team == required->teamIdentifierValue();
    if (accepted) {
        return;
    }
    const auto codeSigner = isAppleSignature(result) ? std::optional<std::string>(appleSignerName) : team;
    throw Lumora::InitializationError::signerMismatch(
        source.bundleURL(),
        required->isApple() ? std::string(appleSignerName) : required->teamIdentifierValue(), codeSigner);
}

} // namespace LumoraRequiredSigner
