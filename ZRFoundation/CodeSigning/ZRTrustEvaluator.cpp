#include "ZRFoundation/CodeSigning/ZRTrustEvaluator.h"

#include "ZRFoundation/Crypto/ZRDigest.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>
#include <limits>
#include <map>
#include <memory>
#include <mutex>
#include <unordered_map>

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

struct CertificateDeleter {
    void operator()(X509* certificate) const { X509_free(certificate); }
};
using CertificatePointer = std::unique_ptr<X509, CertificateDeleter>;

/// The span of time in which every given certificate is inside its validity period (both ends
/// included, as OpenSSL judges them); none when that span is empty or a date cannot be read.
struct ValidityWindow {
    std::time_t from = std::numeric_limits<std::time_t>::min();
    std::time_t until = std::numeric_limits<std::time_t>::max();

    bool contains(std::time_t time) const { return from <= time && time <= until; }

    bool narrow(X509* certificate) {
        std::tm notBefore{};
        std::tm notAfter{};
        if (ASN1_TIME_to_tm(X509_get0_notBefore(certificate), &notBefore) != 1 ||
            ASN1_TIME_to_tm(X509_get0_notAfter(certificate), &notAfter) != 1) {
            return false;
        }
        from = std::max(from, ::timegm(&notBefore));
        until = std::min(until, ::timegm(&notAfter));
        return from <= until;
    }
};

} // namespace

/// Apple's roots and one set of extra anchors in an OpenSSL store, built once per set and shared
/// by every evaluation (OpenSSL locks a store for concurrent verifications).
class ZRTrustEvaluator::TrustStore {
public:
    explicit TrustStore(const std::vector<Certificate>& extraAnchors, std::string key)
        : _store(X509_STORE_new())
        , _key(std::move(key)) {
        for (const auto* anchors : {&appleRootCertificates(), &extraAnchors}) {
            for (const auto& bytes : *anchors) {
                if (CertificatePointer certificate{decode(bytes)}) {
                    if (_store && X509_STORE_add_cert(_store.get(), certificate.get()) == 1) {
                        _anchors.push_back(std::move(certificate));
                    }
                }
            }
        }
        ERR_clear_error();
    }

    X509_STORE* store() const { return _store.get(); }
    /// Names the set of anchors: equal keys, equal stores.
    const std::string& key() const { return _key; }

    /// Narrows `window` by each anchor that could issue a certificate of `chain`: OpenSSL prefers
    /// an issuer that is valid at the evaluation time, so their validity can change the chain.
    bool narrowByPossibleIssuers(ValidityWindow& window, STACK_OF(X509) * chain) const {
        for (const auto& anchor : _anchors) {
            for (int index = 0; index < sk_X509_num(chain); ++index) {
                if (X509_NAME_cmp(X509_get_subject_name(anchor.get()),
                                  X509_get_issuer_name(sk_X509_value(chain, index))) == 0) {
                    if (!window.narrow(anchor.get())) {
                        return false;
                    }
                    break;
                }
            }
        }
        return true;
    }

    static std::shared_ptr<const TrustStore> forExtraAnchors(const std::vector<Certificate>& extraAnchors) {
        std::string key;
        for (const auto& anchor : extraAnchors) {
            key += ZRDigest::sha256HexDigest(anchor);
        }
        static std::mutex mutex;
        static std::map<std::string, std::shared_ptr<const TrustStore>> stores;
        std::lock_guard lock(mutex);
        if (const auto found = stores.find(key); found != stores.end()) {
            return found->second;
        }
        if (stores.size() >= maximumStoreCount) {
            stores.clear();
        }
        auto store = std::make_shared<const TrustStore>(extraAnchors, key);
        stores.emplace(key, store);
        return store;
    }

private:
    static constexpr std::size_t maximumStoreCount = 16;

    std::unique_ptr<X509_STORE, StoreDeleter> _store;
    std::vector<CertificatePointer> _anchors;
    std::string _key;
};

namespace {

/// Results of chain evaluations, keyed by the anchors and the certificates handed in. An entry
/// holds only an evaluation that met no certificate outside its validity period, and answers only
/// for a time at which every certificate that took part is still inside it: then the time cannot
/// change the outcome. Applications signed by one developer share their chain, so a sidebar of
/// them evaluates it once.
class EvaluationCache {
public:
    static EvaluationCache& shared() {
        static EvaluationCache cache;
        return cache;
    }

    std::optional<ZRTrustEvaluator::Evaluation> find(const std::string& key, std::time_t time) {
        std::lock_guard lock(_mutex);
        const auto found = _entries.find(key);
        if (found == _entries.end() || !found->second.window.contains(time)) {
            return std::nullopt;
        }
        return found->second.evaluation;
    }

    void insert(const std::string& key, const ZRTrustEvaluator::Evaluation& evaluation,
                const ValidityWindow& window) {
        std::lock_guard lock(_mutex);
        if (_entries.size() >= maximumEntryCount) {
            _entries.clear();
        }
        _entries.insert_or_assign(key, Entry{evaluation, window});
    }

private:
    static constexpr std::size_t maximumEntryCount = 1024;

    struct Entry {
        ZRTrustEvaluator::Evaluation evaluation;
        ValidityWindow window;
    };
    std::mutex _mutex;
    std::unordered_map<std::string, Entry> _entries;
};

/// The cache key of an evaluation: the anchors, then each certificate handed in, in order.
std::string evaluationKey(const std::string& anchorsKey, X509* leaf,
                          const std::vector<X509*>& intermediates) {
    std::string key = anchorsKey;
    key += '/';
    key += ZRDigest::sha256HexDigest(encode(leaf));
    for (X509* certificate : intermediates) {
        key += ZRDigest::sha256HexDigest(encode(certificate));
    }
    return key;
}

} // namespace

ZRTrustEvaluator::ZRTrustEvaluator(std::vector<Certificate> extraAnchors)
    : _extraAnchors(std::move(extraAnchors))
    , _trustStore(TrustStore::forExtraAnchors(_extraAnchors)) {}

ZRTrustEvaluator::~ZRTrustEvaluator() = default;

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
    static const std::vector<std::array<std::uint8_t, 32>> digests = [] {
        std::vector<std::array<std::uint8_t, 32>> result;
        for (const auto& root : appleRootCertificates()) {
            result.push_back(ZRDigest::sha256Digest(root));
        }
        return result;
    }();
    const auto digest = ZRDigest::sha256Digest(certificate);
    return std::find(digests.begin(), digests.end(), digest) != digests.end();
}

namespace {

/// The window in which every certificate that took part in building `chain` is valid.
std::optional<ValidityWindow> validityWindow(const ZRTrustEvaluator::TrustStore& trustStore, X509* leaf,
                                             const std::vector<X509*>& intermediates,
                                             STACK_OF(X509) * chain) {
    ValidityWindow window;
    if (!window.narrow(leaf)) {
        return std::nullopt;
    }
    for (X509* certificate : intermediates) {
        if (!window.narrow(certificate)) {
            return std::nullopt;
        }
    }
    for (int index = 0; index < sk_X509_num(chain); ++index) {
        if (!window.narrow(sk_X509_value(chain, index))) {
            return std::nullopt;
        }
    }
    if (!trustStore.narrowByPossibleIssuers(window, chain)) {
        return std::nullopt;
    }
    return window;
}

ZRTrustEvaluator::Evaluation evaluateChain(const ZRTrustEvaluator::TrustStore& trustStore,
                                           const std::vector<ZRTrustEvaluator::Certificate>& extraAnchors,
                                           X509* leaf, const std::vector<X509*>& intermediates,
                                           std::optional<std::time_t> time, std::time_t at,
                                           std::optional<ValidityWindow>& window) {
    using Evaluation = ZRTrustEvaluator::Evaluation;
    Evaluation evaluation;
    std::unique_ptr<X509_STORE_CTX, ContextDeleter> context(X509_STORE_CTX_new());
    std::unique_ptr<STACK_OF(X509), StackDeleter> untrusted(sk_X509_new_null());
    if (!context || !untrusted) {
        evaluation.status = ZROSStatus::trustNotTrusted;
        evaluation.trustErrorDescription = "the certificate chain cannot be evaluated";
        return evaluation;
    }
    for (X509* certificate : intermediates) {
        X509_up_ref(certificate);
        if (sk_X509_push(untrusted.get(), certificate) <= 0) {
            X509_free(certificate);
        }
    }
    VerificationNotes notes;
    notes.tolerateTime = !time.has_value();
    X509_STORE_CTX_init(context.get(), trustStore.store(), leaf, untrusted.get());
    X509_STORE_CTX_set_ex_data(context.get(), exDataIndex(), &notes);
    X509_STORE_CTX_set_verify_cb(context.get(), verifyCallback);
    X509_VERIFY_PARAM* parameters = X509_STORE_CTX_get0_param(context.get());
    X509_VERIFY_PARAM_set_depth(parameters, maximumChainDepth);
    X509_VERIFY_PARAM_set_time(parameters, at);
    const int verified = X509_verify_cert(context.get());
    STACK_OF(X509)* chain = X509_STORE_CTX_get0_chain(context.get());
    if (chain != nullptr) {
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
    if (!notes.outsideValidity && chain != nullptr) {
        window = validityWindow(trustStore, leaf, intermediates, chain);
    }
    if (notes.unanchored) {
        evaluation.trustErrorDescription = "the certificate chain does not end at a trusted root";
        return evaluation;
    }
    const auto& root = evaluation.chain.back();
    evaluation.appleAnchored = ZRTrustEvaluator::isAppleRoot(root);
    evaluation.extraAnchored =
        !evaluation.appleAnchored &&
        std::find(extraAnchors.begin(), extraAnchors.end(), root) != extraAnchors.end();
    if (!evaluation.anchored()) {
        // An extra anchor given as an intermediate still anchors the chain where it appears.
        for (const auto& certificate : evaluation.chain) {
            if (std::find(extraAnchors.begin(), extraAnchors.end(), certificate) != extraAnchors.end()) {
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

} // namespace

ZRTrustEvaluator::Evaluation ZRTrustEvaluator::evaluate(X509* leaf, const std::vector<X509*>& intermediates,
                                                        std::optional<std::time_t> time) const {
    if (leaf == nullptr || !_trustStore->store()) {
        Evaluation evaluation;
        evaluation.status = ZROSStatus::trustNotTrusted;
        evaluation.trustErrorDescription = "the certificate chain cannot be evaluated";
        return evaluation;
    }
    const std::time_t at = time.value_or(std::time(nullptr));
    const auto key = evaluationKey(_trustStore->key(), leaf, intermediates);
    if (auto cached = EvaluationCache::shared().find(key, at)) {
        return std::move(*cached);
    }
    std::optional<ValidityWindow> window;
    auto evaluation = evaluateChain(*_trustStore, _extraAnchors, leaf, intermediates, time, at, window);
    if (window) {
        EvaluationCache::shared().insert(key, evaluation, *window);
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
