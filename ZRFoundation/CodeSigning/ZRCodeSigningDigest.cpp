#include "ZRFoundation/CodeSigning/ZRCodeSigningDigest.h"

#include "ZRFoundation/Crypto/ZRDigest.h"

#include <cstring>

#include <openssl/evp.h>

bool ZRCodeSigningDigest::isSupported(std::uint8_t hashType) {
    return hashType >= sha1 && hashType <= sha512;
}

std::size_t ZRCodeSigningDigest::storedSize(std::uint8_t hashType) {
    switch (hashType) {
    case sha1:
    case sha256Truncated:
        return 20;
    case sha256:
        return 32;
    case sha384:
        return 48;
    case sha512:
        return 64;
    default:
        return 0;
    }
}

const EVP_MD* ZRCodeSigningDigest::algorithm(std::uint8_t hashType) {
    switch (hashType) {
    case sha1:
        return ZRDigest::implementation(ZRDigest::Algorithm::SHA1);
    case sha256:
    case sha256Truncated:
        return ZRDigest::implementation(ZRDigest::Algorithm::SHA256);
    case sha384:
        return ZRDigest::implementation(ZRDigest::Algorithm::SHA384);
    case sha512:
        return ZRDigest::implementation(ZRDigest::Algorithm::SHA512);
    default:
        return nullptr;
    }
}

std::vector<std::uint8_t> ZRCodeSigningDigest::digest(std::uint8_t hashType,
                                                      std::span<const std::uint8_t> bytes) {
    ZRCodeSigningDigest digest(hashType);
    std::vector<std::uint8_t> output(storedSize(hashType));
    if (output.empty() || !digest.digestInto(bytes, output.data())) {
        return {};
    }
    return output;
}

ZRCodeSigningDigest::ZRCodeSigningDigest(std::uint8_t hashType)
    : _hashType(hashType)
    , _algorithm(algorithm(hashType))
    , _context(EVP_MD_CTX_new()) {}

ZRCodeSigningDigest::~ZRCodeSigningDigest() {
    EVP_MD_CTX_free(_context);
}

bool ZRCodeSigningDigest::digestInto(std::span<const std::uint8_t> bytes, std::uint8_t* output) {
    if (_algorithm == nullptr || _context == nullptr) {
        return false;
    }
    unsigned char full[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (EVP_DigestInit_ex2(_context, _algorithm, nullptr) != 1 ||
        EVP_DigestUpdate(_context, bytes.data(), bytes.size()) != 1 ||
        EVP_DigestFinal_ex(_context, full, &length) != 1) {
        return false;
    }
    std::memcpy(output, full, storedSize(_hashType));
    return true;
}
