#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

struct evp_md_st;

/// Message digests of byte strings (OpenSSL EVP), as published: MD5, SHA-1, SHA-256, and the
/// SHA-384 and SHA-512 that code directories may name.
namespace ZRDigest {

enum class Algorithm : std::uint8_t { MD5, SHA1, SHA256, SHA384, SHA512 };

using Bytes = std::span<const std::uint8_t>;

std::vector<std::uint8_t> digest(Algorithm algorithm, Bytes bytes);
/// OpenSSL's implementation of the algorithm, fetched once per process. Passing it (instead of
/// EVP_sha256() and the like) spares OpenSSL an implicit fetch, with its locks and name look-ups,
/// on every digest.
const evp_md_st* implementation(Algorithm algorithm);
/// Digest length in bytes.
std::size_t digestLength(Algorithm algorithm);

std::array<std::uint8_t, 16> md5Digest(Bytes bytes);
std::array<std::uint8_t, 20> sha1Digest(Bytes bytes);
std::array<std::uint8_t, 32> sha256Digest(Bytes bytes);

std::string md5HexDigest(Bytes bytes);
std::string sha1HexDigest(Bytes bytes);
std::string sha256HexDigest(Bytes bytes);

/// The bytes of a string, for the functions above.
inline Bytes bytesOf(std::string_view text) {
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

/// Lowercase hexadecimal, two digits per byte.
std::string hexString(Bytes bytes);

} // namespace ZRDigest
