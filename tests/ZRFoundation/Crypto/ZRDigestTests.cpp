#include "ZRFoundation/Crypto/ZRDigest.h"

#include <string>

#include <gtest/gtest.h>

namespace {

using namespace ZRDigest;

// Known answers from FIPS 180-2 (SHA-1, SHA-256, SHA-384) and RFC 1321 (MD5): each algorithm is
// reached through its own name, and the empty input has no bytes for the library to read.
TEST(ZRDigest, KnownAnswersForEachAlgorithmAndForm) {
    EXPECT_EQ(md5HexDigest(bytesOf("abc")), "900150983cd24fb0d6963f7d28e17f72");
    EXPECT_EQ(md5HexDigest(bytesOf("")), "d41d8cd98f00b204e9800998ecf8427e");
    EXPECT_EQ(sha1HexDigest(bytesOf("abc")), "a9993e364706816aba3e25717850c26c9cd0d89d");
    EXPECT_EQ(sha1HexDigest(bytesOf("")), "da39a3ee5e6b4b0d3255bfef95601890afd80709");
    const std::string million(1000000, 'a');
    EXPECT_EQ(sha1HexDigest(bytesOf(million)), "34aa973cd4c4daa4f61eeb2bdbad27316534016f");
    EXPECT_EQ(sha256HexDigest(bytesOf("abc")),
              "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_EQ(sha256HexDigest(bytesOf("")),
              "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(
        hexString(digest(Algorithm::SHA384, bytesOf("abc"))),
        "cb00753f45a35e8bb5a03d699ac65007272c32ab0eded1631a8b605a43ff5bed8086072ba1e7cc2358baeca134c825a7");
    EXPECT_EQ(digestLength(Algorithm::SHA512), 64U);
    // The raw forms and the hexadecimal writer.
    EXPECT_EQ(hexString(sha256Digest(bytesOf("abc"))).substr(0, 8), "ba7816bf");
    EXPECT_EQ(digest(Algorithm::SHA1, bytesOf("abc")).size(), 20U);
    const std::uint8_t sample[] = {0x00, 0x0f, 0xa0, 0xff};
    EXPECT_EQ(hexString(sample), "000fa0ff");
    EXPECT_EQ(hexString({}), "");
}

} // namespace
