#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

typedef struct x509_st X509;

/// One X.509 certificate, decoded from DER, with the few views code signing needs.
class ZRCertificate {
public:
    static std::optional<ZRCertificate> fromDER(std::span<const std::uint8_t> der);

    const std::vector<std::uint8_t>& der() const { return _der; }
    X509* x509() const { return _certificate.get(); }

    /// Values of one attribute of the subject or issuer name, in order. `attribute` is a short
    /// name ("CN", "O", "OU", "UID", "C") or a dotted OID.
    std::vector<std::string> subjectValues(std::string_view attribute) const;
    std::vector<std::string> issuerValues(std::string_view attribute) const;
    /// The last value of an attribute (a name repeating a label keeps its last item).
    std::optional<std::string> lastSubjectValue(std::string_view attribute) const;
    std::optional<std::string> lastIssuerValue(std::string_view attribute) const;
    /// One-line form of the names ("CN=…, OU=…, O=…, C=…").
    std::string subjectSummary() const;
    std::string issuerSummary() const;

    bool hasExtension(std::string_view dottedOID) const;
    std::vector<std::uint8_t> sha1() const;
    std::vector<std::uint8_t> sha256() const;
    /// SHA-256 of the DER SubjectPublicKeyInfo.
    std::vector<std::uint8_t> publicKeySHA256() const;

private:
    ZRCertificate() = default;

    std::vector<std::uint8_t> _der;
    std::shared_ptr<X509> _certificate;
};
