// Any bytes as a CMS signature, a timestamp token and a certificate file: no crash, no leak, and
// chain evaluation of whatever certificates parse.

#include "ZRFoundation/CodeSigning/ZRCMSSignature.h"
#include "ZRFoundation/CodeSigning/ZRCertificate.h"
#include "ZRFoundation/CodeSigning/ZRTimestampToken.h"
#include "ZRFoundation/CodeSigning/ZRTrustEvaluator.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> bytes(data, size);
    if (const auto signature = ZRCMSSignature::parse(bytes)) {
        std::string failure;
        (void)signature->verifyContent(bytes.first(std::min<std::size_t>(size, 64)), failure);
        (void)signature->codeDirectoryHashesPropertyList();
        bool malformed = false;
        (void)signature->codeDirectoryHashes(malformed);
        (void)signature->signingTime();
        (void)signature->signerDigestIsKnown();
        if (const auto token = signature->timestampToken()) {
            if (const auto parsed = ZRTimestampToken::parse(*token)) {
                (void)parsed->imprintMatches(signature->signatureValue());
            }
        }
        const ZRTrustEvaluator evaluator;
        (void)evaluator.evaluate(signature->signerCertificate(), signature->certificates(), std::nullopt);
    }
    (void)ZRTimestampToken::parse(bytes);
    if (const auto certificates = ZRTrustEvaluator::readCertificates(bytes)) {
        for (const auto& der : *certificates) {
            if (const auto certificate = ZRCertificate::fromDER(der)) {
                (void)certificate->subjectSummary();
                (void)certificate->lastSubjectValue("OU");
                (void)certificate->hasExtension("1.2.840.113635.100.6.1.13");
            }
        }
    }
    return 0;
}
