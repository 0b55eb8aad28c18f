#include "ZRFoundation/Crypto/ZRDigest.h"

#include <string>

#include <gtest/gtest.h>

namespace {

using namespace ZRDigest;

// Known answers from FIPS 180-2 (SHA-1, SHA-256) and RFC 1321 (MD5).
TEST(ZRDigest, SHA1KnownAnswers) {
    EXPECT_EQ(sha1HexDigest(bytesOf("abc")), "a9993e364706816aba3e25717850c26c9cd0d89d");
    EXPECT_EQ(sha1HexDigest(bytesOf("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq")),
              "84983e441c3bd26ebaae4aa1f95129e5e54670f1");
    EXPECT_EQ(sha1HexDigest(bytesOf("")), "da39a3ee5e6b4b0d3255bfef95601890afd80709");
    const std::string million(1000000, 'a');
    EXPECT_EQ(sha1HexDigest(bytesOf(million)), "34aa973cd4c4daa4f61eeb2bdbad27316534016f");
}

TEST(ZRDigest, SHA256KnownAnswers) {
    EXPECT_EQ(sha256HexDigest(bytesOf("abc")),
              "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_EQ(sha256HexDigest(bytesOf("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq")),
              "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
    EXPECT_EQ(sha256HexDigest(bytesOf("")),
              "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    const auto raw = sha256Digest(bytesOf("abc"));
    EXPECT_EQ(raw[0], 0xba);
    EXPECT_EQ(raw[31], 0xad);
}

TEST(ZRDigest, MD5KnownAnswers) {
    EXPECT_EQ(md5HexDigest(bytesOf("")), "d41d8cd98f00b204e9800998ecf8427e");
    EXPECT_EQ(md5HexDigest(bytesOf("abc")), "900150983cd24fb0d6963f7d28e17f72");
    EXPECT_EQ(md5HexDigest(bytesOf(
                  "12345678901234567890123456789012345678901234567890123456789012345678901234567890")),
              "57edf4a22be3c955ac49da2e2107b67a");
}

TEST(ZRDigest, GenericDigestsAndHex) {
    EXPECT_EQ(
        hexString(digest(Algorithm::SHA384, bytesOf("abc"))),
        "cb00753f45a35e8bb5a03d699ac65007272c32ab0eded1631a8b605a43ff5bed8086072ba1e7cc2358baeca134c825a7");
    EXPECT_EQ(digestLength(Algorithm::SHA512), 64U);
    EXPECT_EQ(digest(Algorithm::SHA1, bytesOf("abc")).size(), 20U);
    const std::uint8_t sample[] = {0x00, 0x0f, 0xa0, 0xff};
    EXPECT_EQ(hexString(sample), "000fa0ff");
    EXPECT_EQ(hexString({}), "");
}

} // namespace
