#pragma once

#include "ZRFoundation/CodeSigning/ZROSStatus.h"

#include <cstdint>
#include <ctime>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

typedef struct x509_st X509;

/// Builds and judges certificate chains for code signatures. The only anchors are Apple's five
/// root certificates compiled into the program, plus anchors a caller names explicitly; a root
/// that a signature carries is never trusted for being there.
class ZRTrustEvaluator {
public:
    using Certificate = std::vector<std::uint8_t>;

    struct Evaluation {
        /// The chain as built, leaf first, DER.
        std::vector<Certificate> chain;
        /// 0 when the chain is sound (possibly unanchored or expired, see below), otherwise the
        /// trust status that makes the signature unusable.
        ZROSStatus::Value status = ZROSStatus::success;
        /// The chain ends at one of Apple's roots.
        bool appleAnchored = false;
        /// The chain ends at an anchor the caller added.
        bool extraAnchored = false;
        /// A certificate was outside its validity period and the evaluation tolerated it.
        bool expired = false;
        /// Why the chain is not trusted, in words; empty when it is.
        std::string trustErrorDescription;

        bool anchored() const { return appleAnchored || extraAnchored; }
    };

    explicit ZRTrustEvaluator(std::vector<Certificate> extraAnchors = {});
    ~ZRTrustEvaluator();

    /// Evaluates the chain from `leaf` through `intermediates` at `time`. Without a secure time
    /// the evaluation uses the current time and tolerates expiry, as signed code stays valid after
    /// its certificate expires. Evaluations are remembered process-wide for as long as the time
    /// cannot change them.
    Evaluation evaluate(X509* leaf, const std::vector<X509*>& intermediates,
                        std::optional<std::time_t> time) const;

    /// Apple's five roots, DER.
    static const std::vector<Certificate>& appleRootCertificates();
    static bool isAppleRoot(std::span<const std::uint8_t> certificate);
    /// Certificates from a file holding one or more, PEM or DER; nothing when unreadable or empty.
    static std::optional<std::vector<Certificate>> readCertificateFile(const std::filesystem::path& path,
                                                                       std::string& failure);
    static std::optional<std::vector<Certificate>> readCertificates(std::span<const std::uint8_t> bytes);

    /// Apple's roots and one set of extra anchors, ready for OpenSSL; shared by every evaluator
    /// with the same anchors.
    class TrustStore;

private:
    std::vector<Certificate> _extraAnchors;
    std::shared_ptr<const TrustStore> _trustStore;
};
