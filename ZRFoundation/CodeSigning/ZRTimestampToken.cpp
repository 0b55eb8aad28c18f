#include "ZRFoundation/CodeSigning/ZRTimestampToken.h"

#include <openssl/bio.h>
#include <openssl/cms.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/objects.h>
#include <openssl/ts.h>
#include <openssl/x509.h>

namespace {

constexpr std::size_t maximumTokenSize = 1024 * 1024;

ZRCodeSigningError failed(std::string text) {
    ERR_clear_error();
    return ZRCodeSigningError{ZROSStatus::errSecCSSignatureFailed, "timestamp: " + std::move(text)};
}

} // namespace

ZRCodeSigningResult<ZRTimestampToken> ZRTimestampToken::parse(std::span<const std::uint8_t> bytes) {
    if (bytes.empty() || bytes.size() > maximumTokenSize) {
        return failed("token has an unusable size");
    }
    const unsigned char* cursor = bytes.data();
    CMS_ContentInfo* raw = d2i_CMS_ContentInfo(nullptr, &cursor, static_cast<long>(bytes.size()));
    if (raw == nullptr) {
        return failed("token is not a CMS structure");
    }
    ZRTimestampToken token;
    token._contentInfo = std::shared_ptr<CMS_ContentInfo>(raw, CMS_ContentInfo_free);
    if (OBJ_obj2nid(CMS_get0_type(raw)) != NID_pkcs7_signed ||
        OBJ_obj2nid(CMS_get0_eContentType(raw)) != NID_id_smime_ct_TSTInfo) {
        return failed("token is not a signed TSTInfo");
    }
    BIO* content = BIO_new(BIO_s_mem());
    if (content == nullptr) {
        return failed("out of memory");
    }
    const int verified = CMS_verify(raw, nullptr, nullptr, nullptr, content,
                                    CMS_NO_SIGNER_CERT_VERIFY | CMS_BINARY | CMS_NOCRL);
    if (verified != 1) {
        BIO_free(content);
        return failed("token signature does not verify");
    }
    TS_TST_INFO* info = d2i_TS_TST_INFO_bio(content, nullptr);
    BIO_free(content);
    if (info == nullptr) {
        return failed("token content is not a TSTInfo");
    }
    struct tm parts {};
    const ASN1_GENERALIZEDTIME* time = TS_TST_INFO_get_time(info);
    TS_MSG_IMPRINT* imprint = TS_TST_INFO_get_msg_imprint(info);
    const bool timeRead = time != nullptr && ASN1_TIME_to_tm(time, &parts) == 1;
    if (timeRead && imprint != nullptr) {
        token._time = timegm(&parts);
        const X509_ALGOR* algorithm = TS_MSG_IMPRINT_get_algo(imprint);
        const ASN1_OBJECT* object = nullptr;
        X509_ALGOR_get0(&object, nullptr, nullptr, algorithm);
        token._imprintAlgorithm = OBJ_obj2nid(object);
        const ASN1_OCTET_STRING* message = TS_MSG_IMPRINT_get_msg(imprint);
        token._imprint.assign(ASN1_STRING_get0_data(message),
                              ASN1_STRING_get0_data(message) + ASN1_STRING_length(message));
    }
    TS_TST_INFO_free(info);
    if (!timeRead || token._imprint.empty()) {
        return failed("token has no time or message imprint");
    }
    STACK_OF(X509)* signers = CMS_get0_signers(raw);
    if (signers == nullptr || sk_X509_num(signers) != 1) {
        sk_X509_free(signers);
        return failed("token does not have exactly one signer");
    }
    token._signer = sk_X509_value(signers, 0);
    sk_X509_free(signers);
    ERR_clear_error();
    return token;
}

bool ZRTimestampToken::imprintMatches(std::span<const std::uint8_t> message) const {
    const EVP_MD* algorithm = EVP_get_digestbynid(_imprintAlgorithm);
    if (algorithm == nullptr) {
        return false;
    }
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (EVP_Digest(message.data(), message.size(), digest, &length, algorithm, nullptr) != 1) {
        return false;
    }
    return length == _imprint.size() && std::equal(_imprint.begin(), _imprint.end(), digest);
}

std::vector<X509*> ZRTimestampToken::certificates() const {
    std::vector<X509*> result;
    STACK_OF(X509)* certificates = CMS_get1_certs(_contentInfo.get());
    if (certificates == nullptr) {
        return result;
    }
    for (int index = 0; index < sk_X509_num(certificates); ++index) {
        result.push_back(sk_X509_value(certificates, index));
    }
    sk_X509_pop_free(certificates, X509_free);
    return result;
}
