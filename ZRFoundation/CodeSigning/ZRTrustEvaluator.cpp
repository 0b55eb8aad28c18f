#include "ZRFoundation/CodeSigning/ZRTrustEvaluator.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>

#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/objects.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509_vfy.h>
#include <openssl/x509v3.h>

const std::vector<std::span<const std::uint8_t>>& ZRAppleRootCertificateData();

namespace {

/// Apple marks its code-signing certificates with critical private extensions under this arc
/// (the certificate classes 6.1.x, 6.2.x, 6.22). They carry no constraint a verifier must enforce.
constexpr const char* appleCertificateExtensionArc = "1.2.840.113635.100.6.";
constexpr int maximumChainDepth = 10;

std::vector<std::uint8_t> encode(X509* certificate) {
    unsigned char* buffer = nullptr;
    const int length = i2d_X509(certificate, &buffer);
    if (length <= 0) {
        return {};
    }
    std::vector<std::uint8_t> bytes(buffer, buffer + length);
    OPENSSL_free(buffer);
    return bytes;
}

X509* decode(std::span<const std::uint8_t> bytes) {
    const unsigned char* cursor = bytes.data();
    X509* certificate = d2i_X509(nullptr, &cursor, static_cast<long>(bytes.size()));
    if (certificate != nullptr && cursor != bytes.data() + bytes.size()) {
        X509_free(certificate);
        return nullptr;
    }
    return certificate;
}

bool onlyAppleCriticalExtensionsUnhandled(X509* certificate) {
    for (int index = 0; index < X509_get_ext_count(certificate); ++index) {
        X509_EXTENSION* extension = X509_get_ext(certificate, index);
        if (!X509_EXTENSION_get_critical(extension) || X509_supported_extension(extension)) {
            continue;
        }
        char oid[128];
        OBJ_obj2txt(oid, sizeof oid, X509_EXTENSION_get_object(extension), 1);
        if (std::strncmp(oid, appleCertificateExtensionArc, std::strlen(appleCertificateExtensionArc)) != 0) {
            return false;
        }
    }
    return true;
}

/// Collects the verification errors a code signature survives (an untrusted root leaves the
/// signature unanchored, an expired certificate is judged by the caller) and lets the chain build
/// continue; anything else stops it.
struct VerificationNotes {
    bool unanchored = false;
    bool outsideValidity = false;
    bool notYetValid = false;
    int fatalError = X509_V_OK;
    bool tolerateTime = false;
};

int exDataIndex() {
    static const int index = X509_STORE_CTX_get_ex_new_index(0, nullptr, nullptr, nullptr, nullptr);
    return index;
}

int verifyCallback(int ok, X509_STORE_CTX* context) {
    if (ok == 1) {
        return 1;
    }
    auto* notes = static_cast<VerificationNotes*>(X509_STORE_CTX_get_ex_data(context, exDataIndex()));
    const int error = X509_STORE_CTX_get_error(context);
    switch (error) {
    case X509_V_ERR_UNHANDLED_CRITICAL_EXTENSION:
        if (onlyAppleCriticalExtensionsUnhandled(X509_STORE_CTX_get_current_cert(context))) {
            return 1;
        }
        break;
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT:
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY:
    case X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT:
    case X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN:
    case X509_V_ERR_CERT_UNTRUSTED:
        notes->unanchored = true;
        return 1;
    case X509_V_ERR_CERT_HAS_EXPIRED:
    case X509_V_ERR_CERT_NOT_YET_VALID:
        notes->outsideValidity = true;
        notes->notYetValid = notes->notYetValid || error == X509_V_ERR_CERT_NOT_YET_VALID;
        if (notes->tolerateTime) {
            return 1;
        }
        break;
    default:
        break;
    }
    if (notes->fatalError == X509_V_OK) {
        notes->fatalError = error;
    }
    return 0;
}

struct StoreDeleter {
    void operator()(X509_STORE* store) const { X509_STORE_free(store); }
};
struct ContextDeleter {
    void operator()(X509_STORE_CTX* context) const { X509_STORE_CTX_free(context); }
};
struct StackDeleter {
    void operator()(STACK_OF(X509) * stack) const { sk_X509_pop_free(stack, X509_free); }
};

bool addAnchor(X509_STORE* store, std::span<const std::uint8_t> bytes) {
    X509* certificate = decode(bytes);
    if (certificate == nullptr) {
        return false;
    }
    const bool added = X509_STORE_add_cert(store, certificate) == 1;
    X509_free(certificate);
    return added;
}

std::vector<std::uint8_t> sha256(std::span<const std::uint8_t> bytes) {
    std::vector<std::uint8_t> digest(32);
    EVP_Digest(bytes.data(), bytes.size(), digest.data(), nullptr, EVP_sha256(), nullptr);
    return digest;
}

} // namespace

ZRTrustEvaluator::ZRTrustEvaluator(std::vector<Certificate> extraAnchors)
    : _extraAnchors(std::move(extraAnchors)) {}

const std::vector<ZRTrustEvaluator::Certificate>& ZRTrustEvaluator::appleRootCertificates() {
    static const std::vector<Certificate> roots = [] {
        std::vector<Certificate> result;
        for (const auto& data : ZRAppleRootCertificateData()) {
            result.emplace_back(data.begin(), data.end());
        }
        return result;
    }();
    return roots;
}

bool ZRTrustEvaluator::isAppleRoot(std::span<const std::uint8_t> certificate) {
    static const std::vector<std::vector<std::uint8_t>> digests = [] {
        std::vector<std::vector<std::uint8_t>> result;
        for (const auto& root : appleRootCertificates()) {
            result.push_back(sha256(root));
        }
        return result;
    }();
    const auto digest = sha256(certificate);
    return std::find(digests.begin(), digests.end(), digest) != digests.end();
}

ZRTrustEvaluator::Evaluation ZRTrustEvaluator::evaluate(X509* leaf, const std::vector<X509*>& intermediates,
                                                        std::optional<std::time_t> time) const {
    Evaluation evaluation;
    std::unique_ptr<X509_STORE, StoreDeleter> store(X509_STORE_new());
    std::unique_ptr<X509_STORE_CTX, ContextDeleter> context(X509_STORE_CTX_new());
    std::unique_ptr<STACK_OF(X509), StackDeleter> untrusted(sk_X509_new_null());
    if (!store || !context || !untrusted || leaf == nullptr) {
        evaluation.status = ZROSStatus::trustNotTrusted;
        evaluation.trustErrorDescription = "the certificate chain cannot be evaluated";
        return evaluation;
    }
    for (const auto& root : appleRootCertificates()) {
        addAnchor(store.get(), root);
    }
    for (const auto& anchor : _extraAnchors) {
        addAnchor(store.get(), anchor);
    }
    for (X509* certificate : intermediates) {
        X509_up_ref(certificate);
        if (sk_X509_push(untrusted.get(), certificate) <= 0) {
            X509_free(certificate);
        }
    }
    VerificationNotes notes;
    notes.tolerateTime = !time.has_value();
    X509_STORE_CTX_init(context.get(), store.get(), leaf, untrusted.get());
    X509_STORE_CTX_set_ex_data(context.get(), exDataIndex(), &notes);
    X509_STORE_CTX_set_verify_cb(context.get(), verifyCallback);
    X509_VERIFY_PARAM* parameters = X509_STORE_CTX_get0_param(context.get());
    X509_VERIFY_PARAM_set_depth(parameters, maximumChainDepth);
    X509_VERIFY_PARAM_set_time(parameters, time.value_or(std::time(nullptr)));
    const int verified = X509_verify_cert(context.get());
    if (STACK_OF(X509)* chain = X509_STORE_CTX_get0_chain(context.get())) {
        for (int index = 0; index < sk_X509_num(chain); ++index) {
            evaluation.chain.push_back(encode(sk_X509_value(chain, index)));
        }
    }
    if (evaluation.chain.empty()) {
        evaluation.chain.push_back(encode(leaf));
    }
    evaluation.expired = notes.outsideValidity;
    if (verified != 1 || notes.fatalError != X509_V_OK) {
        const int error =
            notes.fatalError != X509_V_OK ? notes.fatalError : X509_STORE_CTX_get_error(context.get());
        evaluation.trustErrorDescription = X509_verify_cert_error_string(error);
        if (error == X509_V_ERR_CERT_HAS_EXPIRED) {
            evaluation.status = ZROSStatus::trustCertificateExpired;
        } else if (error == X509_V_ERR_CERT_NOT_YET_VALID) {
            evaluation.status = ZROSStatus::trustCertificateNotValidYet;
        } else {
            evaluation.status = ZROSStatus::trustNotTrusted;
        }
        ERR_clear_error();
        return evaluation;
    }
    ERR_clear_error();
    if (notes.unanchored) {
        evaluation.trustErrorDescription = "the certificate chain does not end at a trusted root";
        return evaluation;
    }
    const auto& root = evaluation.chain.back();
    evaluation.appleAnchored = isAppleRoot(root);
    evaluation.extraAnchored =
        !evaluation.appleAnchored &&
        std::find(_extraAnchors.begin(), _extraAnchors.end(), root) != _extraAnchors.end();
    if (!evaluation.anchored()) {
        // An extra anchor given as an intermediate still anchors the chain where it appears.
        for (const auto& certificate : evaluation.chain) {
            if (std::find(_extraAnchors.begin(), _extraAnchors.end(), certificate) != _extraAnchors.end()) {
                evaluation.extraAnchored = true;
            }
        }
    }
    if (!evaluation.anchored()) {
        evaluation.trustErrorDescription = "the certificate chain does not end at a trusted root";
    } else if (notes.outsideValidity) {
        evaluation.trustErrorDescription = "a certificate of the chain is outside its validity period";
    }
    return evaluation;
}

std::optional<std::vector<ZRTrustEvaluator::Certificate>>
ZRTrustEvaluator::readCertificates(std::span<const std::uint8_t> bytes) {
    std::vector<Certificate> certificates;
    if (X509* single = decode(bytes)) {
        certificates.push_back(encode(single));
        X509_free(single);
        return certificates;
    }
    ERR_clear_error();
    BIO* bio = BIO_new_mem_buf(bytes.data(), static_cast<int>(bytes.size()));
    if (bio == nullptr) {
        return std::nullopt;
    }
    while (X509* certificate = PEM_read_bio_X509(bio, nullptr, nullptr, nullptr)) {
        certificates.push_back(encode(certificate));
        X509_free(certificate);
    }
    BIO_free(bio);
    ERR_clear_error();
    if (certificates.empty()) {
        return std::nullopt;
    }
    return certificates;
}

std::optional<std::vector<ZRTrustEvaluator::Certificate>>
ZRTrustEvaluator::readCertificateFile(const std::filesystem::path& path, std::string& failure) {
    std::ifstream stream(path, std::ios::binary);
    if (!stream) {
        failure = "cannot read " + path.string();
        return std::nullopt;
    }
    const std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(stream)),
                                          std::istreambuf_iterator<char>());
    auto certificates = readCertificates(bytes);
    if (!certificates) {
        failure = path.string() + " holds no certificate in PEM or DER form";
    }
    return certificates;
}
