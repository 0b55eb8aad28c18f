#pragma once

#include "ZRFoundation/CodeSigning/ZRCodeSigningResult.h"

#include <cstdint>
#include <ctime>
#include <memory>
#include <span>
#include <vector>

typedef struct CMS_ContentInfo_st CMS_ContentInfo;
typedef struct x509_st X509;

/// An RFC 3161 timestamp token from a signature's unsigned attributes: a SignedData over a
/// TSTInfo whose message imprint covers the signature value. Parsing checks the token's own
/// signature; its certificate chain is left to the trust evaluator.
class ZRTimestampToken {
public:
    static ZRCodeSigningResult<ZRTimestampToken> parse(std::span<const std::uint8_t> bytes);

    /// True when the imprint is the digest (in the imprint's algorithm) of `message`.
    bool imprintMatches(std::span<const std::uint8_t> message) const;
    std::time_t time() const { return _time; }
    X509* signerCertificate() const { return _signer; }
    std::vector<X509*> certificates() const;

private:
    ZRTimestampToken() = default;

    std::shared_ptr<CMS_ContentInfo> _contentInfo;
    X509* _signer = nullptr;
    std::time_t _time = 0;
    int _imprintAlgorithm = 0;
    std::vector<std::uint8_t> _imprint;
};
