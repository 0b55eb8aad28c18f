#include "ZRFoundation/CodeSigning/ZRCertificate.h"

#include "ZRFoundation/Crypto/ZRDigest.h"

#include <mutex>
#include <string>
#include <unordered_map>

#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/objects.h>
#include <openssl/x509.h>

namespace {

/// Distinct certificates kept decoded for the process.
constexpr std::size_t maximumDecodedCertificateCount = 256;

int attributeNID(std::string_view attribute) {
    const std::string name(attribute);
    int nid = OBJ_txt2nid(name.c_str());
    if (nid == NID_undef && name == "UID") {
        nid = NID_userId;
    }
    if (nid == NID_undef && name == "E") {
        nid = NID_pkcs9_emailAddress;
    }
    ERR_clear_error();
    return nid;
}

std::vector<std::string> nameValues(const X509_NAME* name, std::string_view attribute) {
    std::vector<std::string> values;
    const int nid = attributeNID(attribute);
    if (name == nullptr || nid == NID_undef) {
        return values;
    }
    for (int index = X509_NAME_get_index_by_NID(name, nid, -1); index >= 0;
         index = X509_NAME_get_index_by_NID(name, nid, index)) {
        const ASN1_STRING* data = X509_NAME_ENTRY_get_data(X509_NAME_get_entry(name, index));
        unsigned char* text = nullptr;
        const int length = ASN1_STRING_to_UTF8(&text, data);
        if (length >= 0) {
            values.emplace_back(reinterpret_cast<const char*>(text), static_cast<std::size_t>(length));
            OPENSSL_free(text);
        }
    }
    ERR_clear_error();
    return values;
}

std::string summary(const X509_NAME* name) {
    BIO* bio = BIO_new(BIO_s_mem());
    if (bio == nullptr) {
        return {};
    }
    X509_NAME_print_ex(bio, name, 0, XN_FLAG_RFC2253 & ~ASN1_STRFLGS_ESC_MSB);
    char* data = nullptr;
    const long length = BIO_get_mem_data(bio, &data);
    std::string text(data, static_cast<std::size_t>(length));
    BIO_free(bio);
    return text;
}

} // namespace

std::optional<ZRCertificate> ZRCertificate::fromDER(std::span<const std::uint8_t> der) {
    // Decoding a certificate's public key is the dearest step of reading a signature, and the
    // same few certificates (a developer's, Apple's intermediates and roots) come back for every
    // application: decoded certificates are kept by their bytes. They are never changed after
    // decoding, so one can serve several threads.
    static std::mutex mutex;
    static std::unordered_map<std::string, ZRCertificate> decoded;
    std::string key(reinterpret_cast<const char*>(der.data()), der.size());
    {
        std::lock_guard lock(mutex);
        if (const auto found = decoded.find(key); found != decoded.end()) {
            return found->second;
        }
    }
    const unsigned char* cursor = der.data();
    X509* certificate = d2i_X509(nullptr, &cursor, static_cast<long>(der.size()));
    if (certificate == nullptr) {
        ERR_clear_error();
        return std::nullopt;
    }
    ZRCertificate result;
    result._der.assign(der.begin(), der.end());
    result._certificate = std::shared_ptr<X509>(certificate, X509_free);
    std::lock_guard lock(mutex);
    if (decoded.size() >= maximumDecodedCertificateCount) {
        decoded.clear();
    }
    decoded.try_emplace(std::move(key), result);
    return result;
}

std::vector<std::string> ZRCertificate::subjectValues(std::string_view attribute) const {
    return nameValues(X509_get_subject_name(x509()), attribute);
}

std::vector<std::string> ZRCertificate::issuerValues(std::string_view attribute) const {
    return nameValues(X509_get_issuer_name(x509()), attribute);
}

std::optional<std::string> ZRCertificate::lastSubjectValue(std::string_view attribute) const {
    auto values = subjectValues(attribute);
    return values.empty() ? std::nullopt : std::optional<std::string>(values.back());
}

std::optional<std::string> ZRCertificate::lastIssuerValue(std::string_view attribute) const {
    auto values = issuerValues(attribute);
    return values.empty() ? std::nullopt : std::optional<std::string>(values.back());
}

std::string ZRCertificate::subjectSummary() const {
    return summary(X509_get_subject_name(x509()));
}

std::string ZRCertificate::issuerSummary() const {
    return summary(X509_get_issuer_name(x509()));
}

bool ZRCertificate::hasExtension(std::string_view dottedOID) const {
    const std::string text(dottedOID);
    ASN1_OBJECT* object = OBJ_txt2obj(text.c_str(), 1);
    if (object == nullptr) {
        ERR_clear_error();
        return false;
    }
    const bool found = X509_get_ext_by_OBJ(x509(), object, -1) >= 0;
    ASN1_OBJECT_free(object);
    return found;
}

std::vector<std::uint8_t> ZRCertificate::sha1() const {
    return ZRDigest::digest(ZRDigest::Algorithm::SHA1, _der);
}

std::vector<std::uint8_t> ZRCertificate::sha256() const {
    return ZRDigest::digest(ZRDigest::Algorithm::SHA256, _der);
}

std::vector<std::uint8_t> ZRCertificate::publicKeySHA256() const {
    unsigned char* buffer = nullptr;
    const int length = i2d_X509_PUBKEY(X509_get_X509_PUBKEY(x509()), &buffer);
    if (length <= 0) {
        return {};
    }
    auto result = ZRDigest::digest(ZRDigest::Algorithm::SHA256, {buffer, static_cast<std::size_t>(length)});
    OPENSSL_free(buffer);
    return result;
}
