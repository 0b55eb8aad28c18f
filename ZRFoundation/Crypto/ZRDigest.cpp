#include "ZRFoundation/Crypto/ZRDigest.h"

#include <algorithm>
#include <array>
#include <mutex>
#include <stdexcept>

#include <openssl/evp.h>

namespace ZRDigest {

namespace {

EVP_MD* fetch(const char* name) {
    EVP_MD* fetched = EVP_MD_fetch(nullptr, name, nullptr);
    if (fetched == nullptr) {
        // Only a broken OpenSSL installation (or a FIPS provider refusing MD5) gets here.
        throw std::runtime_error(std::string("OpenSSL has no digest ") + name);
    }
    return fetched;
}

template <std::size_t Length>
std::array<std::uint8_t, Length> fixedDigest(Algorithm algorithm, Bytes bytes) {
    const auto value = digest(algorithm, bytes);
    std::array<std::uint8_t, Length> result{};
    std::copy_n(value.begin(), Length, result.begin());
    return result;
}

} // namespace

const EVP_MD* implementation(Algorithm algorithm) {
    // Fetched on first use and kept for the life of the process; a fetch that fails is tried
    // again on the next use.
    struct Fetched {
        std::once_flag once;
        EVP_MD* implementation = nullptr;
    };
    static constexpr std::array<const char*, 5> names = {"MD5", "SHA1", "SHA256", "SHA384", "SHA512"};
    static std::array<Fetched, names.size()> fetched;
    const auto index = static_cast<std::size_t>(algorithm);
    if (index >= names.size()) {
        return nullptr;
    }
    std::call_once(fetched[index].once, [&] { fetched[index].implementation = fetch(names[index]); });
    return fetched[index].implementation;
}

std::size_t digestLength(Algorithm algorithm) {
    return static_cast<std::size_t>(EVP_MD_get_size(implementation(algorithm)));
}

std::vector<std::uint8_t> digest(Algorithm algorithm, Bytes bytes) {
    const EVP_MD* md = implementation(algorithm);
    std::vector<std::uint8_t> value(static_cast<std::size_t>(EVP_MD_get_size(md)));
    unsigned int length = 0;
    // EVP_Digest reads `bytes.data()` only for `bytes.size()` bytes; an empty span may have no data.
    static constexpr std::uint8_t empty = 0;
    const void* data = bytes.empty() ? &empty : bytes.data();
    if (EVP_Digest(data, bytes.size(), value.data(), &length, md, nullptr) != 1 || length != value.size()) {
        // Only a broken OpenSSL installation (or a FIPS provider refusing MD5) gets here.
        throw std::runtime_error("OpenSSL digest failed");
    }
    return value;
}

std::array<std::uint8_t, 16> md5Digest(Bytes bytes) {
    return fixedDigest<16>(Algorithm::MD5, bytes);
}
std::array<std::uint8_t, 20> sha1Digest(Bytes bytes) {
    return fixedDigest<20>(Algorithm::SHA1, bytes);
}
std::array<std::uint8_t, 32> sha256Digest(Bytes bytes) {
    return fixedDigest<32>(Algorithm::SHA256, bytes);
}

std::string md5HexDigest(Bytes bytes) {
    return hexString(md5Digest(bytes));
}
std::string sha1HexDigest(Bytes bytes) {
    return hexString(sha1Digest(bytes));
}
std::string sha256HexDigest(Bytes bytes) {
    return hexString(sha256Digest(bytes));
}

std::string hexString(Bytes bytes) {
    static constexpr char digits[] = "0123456789abcdef";
    std::string text;
    text.reserve(bytes.size() * 2);
    for (const std::uint8_t byte : bytes) {
        text += digits[byte >> 4];
        text += digits[byte & 0x0F];
    }
    return text;
}

} // namespace ZRDigest
