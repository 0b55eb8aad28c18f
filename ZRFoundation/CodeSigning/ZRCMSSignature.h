#pragma once

#include "ZRFoundation/CodeSigning/ZRCodeSigningResult.h"

#include <cstdint>
#include <ctime>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

typedef struct CMS_ContentInfo_st CMS_ContentInfo;
typedef struct x509_st X509;

/// A detached CMS SignedData (BER with indefinite lengths or DER) as code signatures carry it,
/// with exactly one signer whose certificate is among the enclosed ones.
class ZRCMSSignature {
public:
    static constexpr std::size_t maximumSize = 4 * 1024 * 1024;

    /// One entry of the per-code-directory hash attribute: the digest algorithm's hash type (0
    /// when the algorithm is unknown) and the full digest.
    struct CodeDirectoryHash {
        std::uint8_t hashType = 0;
        std::vector<std::uint8_t> digest;
    };

    /// The parsed structure, or errSecCSSignatureFailed naming what is wrong.
    static ZRCodeSigningResult<ZRCMSSignature> parse(std::span<const std::uint8_t> bytes);

    /// Checks the signer's signature over `content` (digested with the signer's own algorithm).
    /// Does not judge the certificates.
    bool verifyContent(std::span<const std::uint8_t> content, std::string& failure) const;

    /// The certificates as they appear in the structure, and the signer's among them.
    std::vector<X509*> certificates() const;
    X509* signerCertificate() const { return _signer; }
    /// The raw signature value: the message a timestamp's imprint covers.
    std::span<const std::uint8_t> signatureValue() const;
    /// Signed attribute 1.2.840.113635.100.9.1: the DER contents of its single octet string (a
    /// property list), when present.
    std::optional<std::vector<std::uint8_t>> codeDirectoryHashesPropertyList() const;
    /// Signed attribute 1.2.840.113635.100.9.2: one entry per code directory, when present;
    /// nothing-but-valid when the attribute is malformed is reported through `malformed`.
    std::optional<std::vector<CodeDirectoryHash>> codeDirectoryHashes(bool& malformed) const;
    /// The RFC 3161 timestamp token among the unsigned attributes (a ContentInfo, DER).
    std::optional<std::vector<std::uint8_t>> timestampToken() const;
    std::optional<std::time_t> signingTime() const;
    /// False when the signer names a digest algorithm this platform does not know: such a
    /// signature can be neither confirmed nor refuted.
    bool signerDigestIsKnown() const;

private:
    ZRCMSSignature() = default;

    std::shared_ptr<CMS_ContentInfo> _contentInfo;
    X509* _signer = nullptr;
};
