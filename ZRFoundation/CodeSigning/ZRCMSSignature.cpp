#include "ZRFoundation/CodeSigning/ZRCMSSignature.h"

#include "ZRFoundation/CodeSigning/ZRByteView.h"
#include "ZRFoundation/CodeSigning/ZRCMSCertificateSplit.h"
#include "ZRFoundation/CodeSigning/ZRCertificate.h"
#include "ZRFoundation/CodeSigning/ZRCodeSigningDigest.h"

#include <openssl/asn1.h>
#include <openssl/bio.h>
#include <openssl/cms.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/objects.h>
#include <openssl/x509.h>

namespace {

constexpr const char* codeDirectoryHashesPlistOID = "1.2.840.113635.100.9.1";
constexpr const char* codeDirectoryHashesOID = "1.2.840.113635.100.9.2";
constexpr const char* timestampTokenOID = "1.2.840.113549.1.9.16.2.14";

ZRCodeSigningError failed(std::string text) {
    ERR_clear_error();
    return ZRCodeSigningError{ZROSStatus::errSecCSSignatureFailed, "CMS signature: " + std::move(text)};
}

CMS_SignerInfo* onlySigner(CMS_ContentInfo* contentInfo) {
    STACK_OF(CMS_SignerInfo)* signers = CMS_get0_SignerInfos(contentInfo);
    return signers != nullptr && sk_CMS_SignerInfo_num(signers) == 1 ? sk_CMS_SignerInfo_value(signers, 0)
                                                                     : nullptr;
}

std::shared_ptr<ASN1_OBJECT> object(const char* oid) {
    return std::shared_ptr<ASN1_OBJECT>(OBJ_txt2obj(oid, 1), ASN1_OBJECT_free);
}

X509_ATTRIBUTE* signedAttribute(CMS_SignerInfo* signer, const char* oid) {
    const auto identifier = object(oid);
    const int index = CMS_signed_get_attr_by_OBJ(signer, identifier.get(), -1);
    return index < 0 ? nullptr : CMS_signed_get_attr(signer, index);
}

std::uint8_t hashTypeForAlgorithm(const ASN1_OBJECT* algorithm) {
    switch (OBJ_obj2nid(algorithm)) {
    case NID_sha1:
        return ZRCodeSigningDigest::sha1;
    case NID_sha256:
        return ZRCodeSigningDigest::sha256;
    case NID_sha384:
        return ZRCodeSigningDigest::sha384;
    case NID_sha512:
        return ZRCodeSigningDigest::sha512;
    default:
        return 0;
    }
}

/// The structure decoded without its certificates, which are then added from the process-wide
/// store of decoded certificates, in their order; none when that cannot be done exactly (the
/// caller then decodes the bytes whole).
CMS_ContentInfo* decodeSharingCertificates(std::span<const std::uint8_t> bytes) {
    const auto split = ZRCMSCertificateSplit::split(bytes);
    if (!split) {
        return nullptr;
    }
    std::vector<ZRCertificate> certificates;
    for (const auto encoding : split->certificates) {
        auto certificate = ZRCertificate::fromDER(encoding);
        if (!certificate) {
            return nullptr;
        }
        certificates.push_back(std::move(*certificate));
    }
    const unsigned char* cursor = split->withoutCertificates.data();
    CMS_ContentInfo* contentInfo =
        d2i_CMS_ContentInfo(nullptr, &cursor, static_cast<long>(split->withoutCertificates.size()));
    if (contentInfo == nullptr || OBJ_obj2nid(CMS_get0_type(contentInfo)) != NID_pkcs7_signed) {
        CMS_ContentInfo_free(contentInfo);
        ERR_clear_error();
        return nullptr;
    }
    for (const auto& certificate : certificates) {
        // A repeated certificate is refused here and changes nothing for the reader.
        (void)CMS_add1_cert(contentInfo, certificate.x509());
    }
    ERR_clear_error();
    return contentInfo;
}

} // namespace

ZRCodeSigningResult<ZRCMSSignature> ZRCMSSignature::parse(std::span<const std::uint8_t> bytes) {
    if (bytes.empty() || bytes.size() > maximumSize) {
        return failed("has an unusable size");
    }
    CMS_ContentInfo* raw = decodeSharingCertificates(bytes);
    if (raw == nullptr) {
        const unsigned char* cursor = bytes.data();
        raw = d2i_CMS_ContentInfo(nullptr, &cursor, static_cast<long>(bytes.size()));
    }
    if (raw == nullptr) {
        return failed("is not a CMS structure");
    }
    ZRCMSSignature signature;
    signature._contentInfo = std::shared_ptr<CMS_ContentInfo>(raw, CMS_ContentInfo_free);
    if (OBJ_obj2nid(CMS_get0_type(raw)) != NID_pkcs7_signed) {
        return failed("is not SignedData");
    }
    if (CMS_is_detached(raw) != 1) {
        return failed("carries its content instead of being detached");
    }
    CMS_SignerInfo* signer = onlySigner(raw);
    if (signer == nullptr) {
        return failed("does not have exactly one signer");
    }
    STACK_OF(X509)* certificates = CMS_get1_certs(raw);
    if (certificates == nullptr) {
        return failed("carries no certificates");
    }
    for (int index = 0; index < sk_X509_num(certificates); ++index) {
        X509* certificate = sk_X509_value(certificates, index);
        if (CMS_SignerInfo_cert_cmp(signer, certificate) == 0) {
            signature._signer = certificate;
            break;
        }
    }
    sk_X509_pop_free(certificates, X509_free);
    if (signature._signer == nullptr) {
        return failed("does not carry the signer's certificate");
    }
    ERR_clear_error();
    return signature;
}

bool ZRCMSSignature::verifyContent(std::span<const std::uint8_t> content, std::string& failure) const {
    if (content.size() > maximumSize) {
        failure = "signed content is too large";
        return false;
    }
    // A pass-through filter in front of the memory buffer: handed a bare memory BIO, CMS_verify
    // copies it into a second one that it leaks when the signed data names an unknown digest.
    BIO* memory = BIO_new_mem_buf(content.data(), static_cast<int>(content.size()));
    BIO* contentBIO = memory != nullptr ? BIO_push(BIO_new(BIO_f_null()), memory) : nullptr;
    if (contentBIO == nullptr || contentBIO == memory) {
        BIO_free_all(contentBIO != nullptr ? contentBIO : memory);
        failure = "out of memory";
        return false;
    }
    const unsigned int flags = CMS_NO_SIGNER_CERT_VERIFY | CMS_BINARY | CMS_NOCRL;
    const int verified = CMS_verify(_contentInfo.get(), nullptr, nullptr, contentBIO, nullptr, flags);
    BIO_free_all(contentBIO);
    if (verified != 1) {
        char text[256];
        ERR_error_string_n(ERR_peek_last_error(), text, sizeof text);
        failure = std::string("CMS signature does not verify: ") + text;
        ERR_clear_error();
        return false;
    }
    ERR_clear_error();
    return true;
}

std::vector<X509*> ZRCMSSignature::certificates() const {
    std::vector<X509*> result;
    STACK_OF(X509)* certificates = CMS_get1_certs(_contentInfo.get());
    if (certificates == nullptr) {
        return result;
    }
    for (int index = 0; index < sk_X509_num(certificates); ++index) {
        // The content info keeps its own reference; these stay valid as long as it lives.
        result.push_back(sk_X509_value(certificates, index));
    }
    sk_X509_pop_free(certificates, X509_free);
    return result;
}

std::span<const std::uint8_t> ZRCMSSignature::signatureValue() const {
    ASN1_OCTET_STRING* value = CMS_SignerInfo_get0_signature(onlySigner(_contentInfo.get()));
    if (value == nullptr) {
        return {};
    }
    return {ASN1_STRING_get0_data(value), static_cast<std::size_t>(ASN1_STRING_length(value))};
}

std::optional<std::vector<std::uint8_t>> ZRCMSSignature::codeDirectoryHashesPropertyList() const {
    X509_ATTRIBUTE* attribute = signedAttribute(onlySigner(_contentInfo.get()), codeDirectoryHashesPlistOID);
    if (attribute == nullptr) {
        return std::nullopt;
    }
    const ASN1_TYPE* value = X509_ATTRIBUTE_get0_type(attribute, 0);
    if (X509_ATTRIBUTE_count(attribute) != 1 || value == nullptr || value->type != V_ASN1_OCTET_STRING) {
        return std::vector<std::uint8_t>();
    }
    const unsigned char* data = ASN1_STRING_get0_data(value->value.octet_string);
    return std::vector<std::uint8_t>(data, data + ASN1_STRING_length(value->value.octet_string));
}

std::optional<std::vector<ZRCMSSignature::CodeDirectoryHash>>
ZRCMSSignature::codeDirectoryHashes(bool& malformed) const {
    malformed = false;
    X509_ATTRIBUTE* attribute = signedAttribute(onlySigner(_contentInfo.get()), codeDirectoryHashesOID);
    if (attribute == nullptr) {
        return std::nullopt;
    }
    std::vector<CodeDirectoryHash> hashes;
    for (int index = 0; index < X509_ATTRIBUTE_count(attribute); ++index) {
        const ASN1_TYPE* value = X509_ATTRIBUTE_get0_type(attribute, index);
        if (value == nullptr || value->type != V_ASN1_SEQUENCE) {
            malformed = true;
            return hashes;
        }
        // SEQUENCE { digestAlgorithm OBJECT IDENTIFIER, digest OCTET STRING }
        const unsigned char* cursor = ASN1_STRING_get0_data(value->value.sequence);
        long remaining = ASN1_STRING_length(value->value.sequence);
        const unsigned char* end = cursor + remaining;
        long length = 0;
        int tag = 0;
        int objectClass = 0;
        if (ASN1_get_object(&cursor, &length, &tag, &objectClass, remaining) & 0x80 ||
            tag != V_ASN1_SEQUENCE) {
            malformed = true;
            return hashes;
        }
        ASN1_OBJECT* algorithm = d2i_ASN1_OBJECT(nullptr, &cursor, end - cursor);
        ASN1_OCTET_STRING* digest =
            algorithm ? d2i_ASN1_OCTET_STRING(nullptr, &cursor, end - cursor) : nullptr;
        if (algorithm == nullptr || digest == nullptr) {
            ASN1_OBJECT_free(algorithm);
            malformed = true;
            ERR_clear_error();
            return hashes;
        }
        const unsigned char* digestBytes = ASN1_STRING_get0_data(digest);
        hashes.push_back({hashTypeForAlgorithm(algorithm),
                          std::vector<std::uint8_t>(digestBytes, digestBytes + ASN1_STRING_length(digest))});
        ASN1_OBJECT_free(algorithm);
        ASN1_OCTET_STRING_free(digest);
    }
    return hashes;
}

std::optional<std::vector<std::uint8_t>> ZRCMSSignature::timestampToken() const {
    CMS_SignerInfo* signer = onlySigner(_contentInfo.get());
    const auto identifier = object(timestampTokenOID);
    const int index = CMS_unsigned_get_attr_by_OBJ(signer, identifier.get(), -1);
    if (index < 0) {
        return std::nullopt;
    }
    X509_ATTRIBUTE* attribute = CMS_unsigned_get_attr(signer, index);
    const ASN1_TYPE* value = X509_ATTRIBUTE_get0_type(attribute, 0);
    if (value == nullptr || value->type != V_ASN1_SEQUENCE) {
        return std::vector<std::uint8_t>();
    }
    const unsigned char* data = ASN1_STRING_get0_data(value->value.sequence);
    return std::vector<std::uint8_t>(data, data + ASN1_STRING_length(value->value.sequence));
}

std::optional<std::time_t> ZRCMSSignature::signingTime() const {
    X509_ATTRIBUTE* attribute = signedAttribute(onlySigner(_contentInfo.get()), "1.2.840.113549.1.9.5");
    const ASN1_TYPE* value = attribute ? X509_ATTRIBUTE_get0_type(attribute, 0) : nullptr;
    if (value == nullptr || (value->type != V_ASN1_UTCTIME && value->type != V_ASN1_GENERALIZEDTIME)) {
        return std::nullopt;
    }
    struct tm parts {};
    if (ASN1_TIME_to_tm(value->value.generalizedtime, &parts) != 1) {
        return std::nullopt;
    }
    return timegm(&parts);
}

bool ZRCMSSignature::signerDigestIsKnown() const {
    X509_ALGOR* digestAlgorithm = nullptr;
    CMS_SignerInfo_get0_algs(onlySigner(_contentInfo.get()), nullptr, nullptr, &digestAlgorithm, nullptr);
    if (digestAlgorithm == nullptr) {
        return false;
    }
    const ASN1_OBJECT* object = nullptr;
    X509_ALGOR_get0(&object, nullptr, nullptr, digestAlgorithm);
    const bool known = EVP_get_digestbyobj(object) != nullptr;
    ERR_clear_error();
    return known;
}
