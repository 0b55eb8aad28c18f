#pragma once

#include <cstdint>
#include <span>
#include <vector>

typedef struct evp_md_st EVP_MD;
typedef struct evp_md_ctx_st EVP_MD_CTX;

/// The digests code directories name by their hash type (1 SHA-1, 2 SHA-256, 3 SHA-256
/// truncated to 20 bytes, 4 SHA-384, 5 SHA-512). One object keeps one OpenSSL context, so that
/// hashing thousands of pages allocates nothing per page.
class ZRCodeSigningDigest {
public:
    static constexpr std::uint8_t sha1 = 1;
    static constexpr std::uint8_t sha256 = 2;
    static constexpr std::uint8_t sha256Truncated = 3;
    static constexpr std::uint8_t sha384 = 4;
    static constexpr std::uint8_t sha512 = 5;
    static constexpr std::size_t maximumSize = 64;

    static bool isSupported(std::uint8_t hashType);
    /// Bytes a code directory stores per hash for the type; 0 for an unknown type.
    static std::size_t storedSize(std::uint8_t hashType);
    /// The OpenSSL algorithm behind a type (SHA-256 for the truncated form); null when unknown.
    static const EVP_MD* algorithm(std::uint8_t hashType);
    /// One-shot digest, truncated to the stored size.
    static std::vector<std::uint8_t> digest(std::uint8_t hashType, std::span<const std::uint8_t> bytes);

    explicit ZRCodeSigningDigest(std::uint8_t hashType);
    ~ZRCodeSigningDigest();
    ZRCodeSigningDigest(const ZRCodeSigningDigest&) = delete;
    ZRCodeSigningDigest& operator=(const ZRCodeSigningDigest&) = delete;

    /// Digests bytes into output (storedSize bytes); true on success.
    bool digestInto(std::span<const std::uint8_t> bytes, std::uint8_t* output);

private:
    std::uint8_t _hashType;
    const EVP_MD* _algorithm;
    EVP_MD_CTX* _context;
};
