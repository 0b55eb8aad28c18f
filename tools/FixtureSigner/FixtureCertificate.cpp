#include "tools/FixtureSigner/FixtureCertificate.h"

#include <atomic>
#include <stdexcept>

#include <openssl/bio.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

namespace {

std::atomic<long> nextSerial{1000};

void require(bool condition, const char* what) {
    if (!condition) {
        throw std::runtime_error(std::string("fixture certificate: ") + what);
    }
}

void addName(X509_NAME* name, const char* field, const std::optional<std::string>& value) {
    if (value) {
        X509_NAME_add_entry_by_txt(name, field, MBSTRING_UTF8,
                                   reinterpret_cast<const unsigned char*>(value->c_str()), -1, -1, 0);
    }
}

void addExtension(X509* certificate, X509V3_CTX* context, int nid, const char* value) {
    X509_EXTENSION* extension = X509V3_EXT_conf_nid(nullptr, context, nid, value);
    require(extension != nullptr, "extension");
    X509_add_ext(certificate, extension, -1);
    X509_EXTENSION_free(extension);
}

void addMarker(X509* certificate, const std::string& oid) {
    ASN1_OBJECT* object = OBJ_txt2obj(oid.c_str(), 1);
    ASN1_OCTET_STRING* value = ASN1_OCTET_STRING_new();
    static const unsigned char nullValue[] = {0x05, 0x00};
    ASN1_OCTET_STRING_set(value, nullValue, sizeof nullValue);
    X509_EXTENSION* extension = X509_EXTENSION_create_by_OBJ(nullptr, object, 1, value);
    require(extension != nullptr, "marker extension");
    X509_add_ext(certificate, extension, -1);
    X509_EXTENSION_free(extension);
    ASN1_OCTET_STRING_free(value);
    ASN1_OBJECT_free(object);
}

std::shared_ptr<EVP_PKEY> makeKey() {
    EVP_PKEY* key = EVP_EC_gen("P-256");
    require(key != nullptr, "key generation");
    return std::shared_ptr<EVP_PKEY>(key, EVP_PKEY_free);
}

void build(const FixtureCertificate* issuer, const FixtureCertificate::Names& names,
           const FixtureCertificate::Options& options, std::shared_ptr<X509>& certificateOut,
           std::shared_ptr<EVP_PKEY>& keyOut);

} // namespace

FixtureCertificate FixtureCertificate::makeRoot(const Names& names, const Options& options) {
    FixtureCertificate result;
    build(nullptr, names, options, result._certificate, result._key);
    return result;
}

FixtureCertificate FixtureCertificate::makeIssued(const FixtureCertificate& issuer, const Names& names,
                                                  const Options& options) {
    FixtureCertificate result;
    build(&issuer, names, options, result._certificate, result._key);
    return result;
}

namespace {

void build(const FixtureCertificate* issuer, const FixtureCertificate::Names& names,
           const FixtureCertificate::Options& options, std::shared_ptr<X509>& certificateOut,
           std::shared_ptr<EVP_PKEY>& keyOut) {
    keyOut = options.key ? options.key : makeKey();
    X509* certificate = X509_new();
    require(certificate != nullptr, "allocation");
    certificateOut = std::shared_ptr<X509>(certificate, X509_free);
    X509_set_version(certificate, 2);
    ASN1_INTEGER_set(X509_get_serialNumber(certificate), nextSerial++);
    X509_NAME* name = X509_get_subject_name(certificate);
    addName(name, "C", names.country);
    addName(name, "O", names.organization);
    addName(name, "OU", names.organizationalUnit);
    addName(name, "CN", names.commonName);
    addName(name, "UID", names.userID);
    X509_set_issuer_name(certificate, issuer ? X509_get_subject_name(issuer->x509()) : name);
    X509_time_adj_ex(X509_getm_notBefore(certificate), 0, static_cast<long>(options.notBeforeOffset),
                     nullptr);
    X509_time_adj_ex(X509_getm_notAfter(certificate), 0, static_cast<long>(options.notAfterOffset), nullptr);
    X509_set_pubkey(certificate, keyOut.get());

    X509V3_CTX context;
    X509V3_set_ctx_nodb(&context);
    X509V3_set_ctx(&context, issuer ? issuer->x509() : certificate, certificate, nullptr, nullptr, 0);
    addExtension(certificate, &context, NID_basic_constraints,
                 options.isCertificateAuthority ? "critical,CA:TRUE" : "critical,CA:FALSE");
    addExtension(certificate, &context, NID_key_usage,
                 options.isCertificateAuthority ? "critical,keyCertSign,cRLSign"
                                                : "critical,digitalSignature");
    addExtension(certificate, &context, NID_subject_key_identifier, "hash");
    if (issuer != nullptr) {
        addExtension(certificate, &context, NID_authority_key_identifier, "keyid:always");
    }
    if (options.codeSigning) {
        addExtension(certificate, &context, NID_ext_key_usage, "critical,codeSigning");
    }
    if (options.timeStamping) {
        addExtension(certificate, &context, NID_ext_key_usage, "critical,timeStamping");
    }
    if (options.serverAuthentication) {
        addExtension(certificate, &context, NID_ext_key_usage, "serverAuth");
    }
    if (!options.subjectAlternativeNames.empty()) {
        addExtension(certificate, &context, NID_subject_alt_name, options.subjectAlternativeNames.c_str());
    }
    for (const auto& oid : options.markerOIDs) {
        addMarker(certificate, oid);
    }
    require(X509_sign(certificate, issuer ? issuer->privateKey() : keyOut.get(), EVP_sha256()) > 0,
            "signing");
}

} // namespace

std::vector<std::uint8_t> FixtureCertificate::der() const {
    unsigned char* buffer = nullptr;
    const int length = i2d_X509(x509(), &buffer);
    std::vector<std::uint8_t> bytes(buffer, buffer + std::max(length, 0));
    OPENSSL_free(buffer);
    return bytes;
}

std::string FixtureCertificate::pem() const {
    BIO* bio = BIO_new(BIO_s_mem());
    PEM_write_bio_X509(bio, x509());
    char* data = nullptr;
    const long length = BIO_get_mem_data(bio, &data);
    std::string text(data, static_cast<std::size_t>(length));
    BIO_free(bio);
    return text;
}
