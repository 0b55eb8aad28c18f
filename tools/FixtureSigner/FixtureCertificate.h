#pragma once

#include <cstdint>
#include <ctime>
#include <memory>
#include <optional>
#include <string>
#include <vector>

typedef struct x509_st X509;
typedef struct evp_pkey_st EVP_PKEY;

/// A test certificate with its private key (P-256), made to look like the certificates of
/// Apple's code-signing hierarchy: names, basic constraints and Apple's private marker
/// extensions (critical, with a NULL value, as Apple writes them).
class FixtureCertificate {
public:
    struct Names {
        std::string commonName;
        std::optional<std::string> organization;
        std::optional<std::string> organizationalUnit;
        std::optional<std::string> userID;
        std::string country = "US";
    };
    struct Options {
        bool isCertificateAuthority = false;
        /// Apple marker extensions to add ("1.2.840.113635.100.6.1.13", …).
        std::vector<std::string> markerOIDs;
        /// Extended key usage: code signing for leaves, time stamping for a timestamp authority.
        bool codeSigning = false;
        bool timeStamping = false;
        /// Validity relative to now, in seconds.
        std::int64_t notBeforeOffset = -86400;
        std::int64_t notAfterOffset = 10 * 365 * 86400;
        /// The key of another certificate, for cross-signed and looping hierarchies; a fresh key
        /// when empty.
        std::shared_ptr<EVP_PKEY> key;
        /// For a TLS server: the server-authentication key usage and the names it answers to
        /// ("IP:127.0.0.1,DNS:localhost").
        bool serverAuthentication = false;
        std::string subjectAlternativeNames;
    };

    /// A self-signed certificate.
    static FixtureCertificate makeRoot(const Names& names, const Options& options);
    /// A certificate issued by `issuer`.
    static FixtureCertificate makeIssued(const FixtureCertificate& issuer, const Names& names,
                                         const Options& options);

    X509* x509() const { return _certificate.get(); }
    EVP_PKEY* privateKey() const { return _key.get(); }
    std::shared_ptr<EVP_PKEY> sharedKey() const { return _key; }
    std::vector<std::uint8_t> der() const;
    std::string pem() const;

private:
    std::shared_ptr<X509> _certificate;
    std::shared_ptr<EVP_PKEY> _key;
};
