// Any bytes as a CMS signature, a timestamp token and a certificate file: no crash, no leak, and
// chain evaluation of whatever certificates parse. A signature read with its certificates taken
// apart carries the same certificates, in the same order, as OpenSSL's whole decoding.

#include "ZRFoundation/CodeSigning/ZRCMSCertificateSplit.h"
#include "ZRFoundation/CodeSigning/ZRCMSSignature.h"
#include "ZRFoundation/CodeSigning/ZRCertificate.h"
#include "ZRFoundation/CodeSigning/ZRTimestampToken.h"
#include "ZRFoundation/CodeSigning/ZRTrustEvaluator.h"

#include <algorithm>
#include <cstdlib>

#include <openssl/cms.h>
#include <openssl/err.h>
#include <openssl/x509.h>

namespace {

std::vector<std::vector<std::uint8_t>> encodings(STACK_OF(X509) * certificates) {
    std::vector<std::vector<std::uint8_t>> result;
    for (int index = 0; index < sk_X509_num(certificates); ++index) {
        unsigned char* buffer = nullptr;
        const int length = i2d_X509(sk_X509_value(certificates, index), &buffer);
        result.emplace_back(buffer, buffer + std::max(length, 0));
        OPENSSL_free(buffer);
    }
    return result;
}

void compareWithWholeDecoding(std::span<const std::uint8_t> bytes, const ZRCMSSignature& signature) {
    if (!ZRCMSCertificateSplit::split(bytes)) {
        return;
    }
    const unsigned char* cursor = bytes.data();
    CMS_ContentInfo* whole = d2i_CMS_ContentInfo(nullptr, &cursor, static_cast<long>(bytes.size()));
    if (whole == nullptr) {
        // The parts decoded where the whole does not: tolerable only if the whole was refused for
        // something the parts do not hold, which a comparison cannot tell; nothing to compare.
        ERR_clear_error();
        return;
    }
    STACK_OF(X509)* wholeCertificates = CMS_get1_certs(whole);
    auto expected = encodings(wholeCertificates);
    sk_X509_pop_free(wholeCertificates, X509_free);
    CMS_ContentInfo_free(whole);
    std::vector<std::vector<std::uint8_t>> actual;
    for (X509* certificate : signature.certificates()) {
        unsigned char* buffer = nullptr;
        const int length = i2d_X509(certificate, &buffer);
        actual.emplace_back(buffer, buffer + std::max(length, 0));
        OPENSSL_free(buffer);
    }
    // A repeated certificate is kept once, where it first appears, by the split reading.
    std::vector<std::vector<std::uint8_t>> firstOccurrences;
    for (auto& encoding : expected) {
        if (std::find(firstOccurrences.begin(), firstOccurrences.end(), encoding) == firstOccurrences.end()) {
            firstOccurrences.push_back(std::move(encoding));
        }
    }
    if (actual != firstOccurrences) {
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> bytes(data, size);
    if (const auto split = ZRCMSCertificateSplit::split(bytes);
        split && split->withoutCertificates.size() > bytes.size()) {
        std::abort();
    }
    if (const auto signature = ZRCMSSignature::parse(bytes)) {
        compareWithWholeDecoding(bytes, *signature);
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
