#include "Support/CodeSigningFixtures.h"
#include "ZRFoundation/CodeSigning/ZRCMSCertificateSplit.h"
#include "ZRFoundation/CodeSigning/ZRCMSSignature.h"

#include <gtest/gtest.h>

#include <openssl/x509.h>

namespace {

using namespace CodeSigningFixtures;
using Bytes = std::vector<std::uint8_t>;

Bytes fixtureCMS() {
    const Bytes content(64, 0x5a);
    return FixtureSigner::cmsSignature(content, {content}, developerIDOptions());
}

Bytes encoding(X509* certificate) {
    unsigned char* buffer = nullptr;
    const int length = i2d_X509(certificate, &buffer);
    Bytes bytes(buffer, buffer + length);
    OPENSSL_free(buffer);
    return bytes;
}

/// The same structure with every length indefinite, as Apple's signing tool writes it: the
/// outer three levels re-encoded with 0x80 and end-of-contents octets.
Bytes withIndefiniteOuterLengths(const Bytes& der) {
    // Reads a definite header at `offset`; returns the content's offset and length.
    const auto header = [&](std::size_t offset) {
        std::size_t length = der[offset + 1];
        std::size_t position = offset + 2;
        if (length > 0x80) {
            const std::size_t octets = length & 0x7f;
            length = 0;
            for (std::size_t index = 0; index < octets; ++index) {
                length = length << 8 | der[position++];
            }
        }
        return std::pair{position, length};
    };
    const auto [infoContent, infoLength] = header(0);
    const std::size_t typeEnd = infoContent + 2 + der[infoContent + 1];
    const auto [explicitContent, explicitLength] = header(typeEnd);
    const auto [signedContent, signedLength] = header(explicitContent);
    Bytes result{0x30, 0x80};
    result.insert(result.end(), der.begin() + static_cast<std::ptrdiff_t>(infoContent),
                  der.begin() + static_cast<std::ptrdiff_t>(typeEnd));
    result.insert(result.end(), {0xa0, 0x80, 0x30, 0x80});
    result.insert(result.end(), der.begin() + static_cast<std::ptrdiff_t>(signedContent),
                  der.begin() + static_cast<std::ptrdiff_t>(signedContent + signedLength));
    result.insert(result.end(), {0, 0, 0, 0, 0, 0});
    return result;
}

void expectSameAsWholeDecoding(const Bytes& cms) {
    const auto split = ZRCMSCertificateSplit::split(cms);
    ASSERT_TRUE(split);
    ASSERT_EQ(split->certificates.size(), 3U);
    // What remains decodes, and the signature read through the split carries the certificates
    // in their order, the signer among them, and still verifies.
    const auto signature = ZRCMSSignature::parse(cms);
    ASSERT_TRUE(signature);
    const auto certificates = signature->certificates();
    ASSERT_EQ(certificates.size(), 3U);
    for (std::size_t index = 0; index < 3; ++index) {
        EXPECT_EQ(encoding(certificates[index]),
                  Bytes(split->certificates[index].begin(), split->certificates[index].end()));
    }
    EXPECT_EQ(encoding(signature->signerCertificate()), hierarchy().developerIDLeaf.der());
    std::string failure;
    EXPECT_TRUE(signature->verifyContent(Bytes(64, 0x5a), failure)) << failure;
    EXPECT_FALSE(signature->verifyContent(Bytes(64, 0x5b), failure));
}

TEST(CMSCertificateSplit, TakesTheCertificatesOutOfDefiniteAndIndefiniteEncodings) {
    const auto der = fixtureCMS();
    expectSameAsWholeDecoding(der);
    const auto split = ZRCMSCertificateSplit::split(der);
    std::size_t certificateBytes = 0;
    for (const auto certificate : split->certificates) {
        certificateBytes += certificate.size();
    }
    // The set's own header goes too, and shorter contents may need fewer length octets.
    EXPECT_LT(split->withoutCertificates.size(), der.size() - certificateBytes);

    const auto indefinite = withIndefiniteOuterLengths(der);
    expectSameAsWholeDecoding(indefinite);
    EXPECT_EQ(ZRCMSCertificateSplit::split(indefinite)->withoutCertificates.size(),
              indefinite.size() - certificateBytes - 4)
        << "only the set and its 4-octet header leave an indefinite structure";
}

TEST(CMSCertificateSplit, RefusesWhatItCannotTakeApartExactly) {
    const auto der = fixtureCMS();
    for (std::size_t length = 0; length < der.size(); length += 7) {
        // Never reads past a truncated input; the whole decoder then judges it.
        const Bytes truncated(der.begin(), der.begin() + static_cast<std::ptrdiff_t>(length));
        if (const auto split = ZRCMSCertificateSplit::split(truncated)) {
            EXPECT_LE(split->withoutCertificates.size(), truncated.size());
        }
    }
    EXPECT_FALSE(ZRCMSCertificateSplit::split(Bytes{0x30, 0x80, 0x30, 0x80}));
    EXPECT_FALSE(ZRCMSCertificateSplit::split(Bytes{0x30, 0x85, 1, 0, 0, 0, 0}));

    // A certificate choice other than a plain certificate leaves the structure whole.
    auto other = der;
    const auto split = ZRCMSCertificateSplit::split(der);
    const auto offset = static_cast<std::size_t>(split->certificates[0].data() - der.data());
    other[offset] = 0xa1;
    EXPECT_FALSE(ZRCMSCertificateSplit::split(other));
}

TEST(CMSCertificateSplit, IndefiniteNestingIsBounded) {
    Bytes nested(40000, 0);
    for (std::size_t level = 0; level < 10000; ++level) {
        nested[2 * level] = 0x30;
        nested[2 * level + 1] = 0x80;
    }
    EXPECT_FALSE(ZRCMSCertificateSplit::split(nested));
    EXPECT_FALSE(ZRCMSSignature::parse(nested));
}

} // namespace
