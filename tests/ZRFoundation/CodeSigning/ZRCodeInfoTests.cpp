#include "Support/CodeSigningFixtures.h"
#include "Support/Thrown.h"
#include "ZRFoundation/CodeSigning/ZRCodeInfo.h"
#include "tools/FixtureSigner/FixtureTamper.h"

#include <gtest/gtest.h>

namespace {

using namespace CodeSigningFixtures;
using Architecture = FixtureMachOBuilder::Architecture;
using Type = ZRCodeSignatureCertificateType;

int errorCode(const std::filesystem::path& path) {
    const auto error = thrownBy<ZRCodeInfoError>([&] { ZRCodeInfo::readFromFileURL(path, false); });
    return error ? error->code() : 0;
}

class CodeInfo : public testing::Test {
protected:
    /// The records of `bytes` written to `name`, read with the fixture anchors.
    std::vector<ZRCodeInfo> infosOf(const std::string& name, const std::vector<std::uint8_t>& bytes) {
        return ZRCodeInfo::readFromFileURL(write(folder, name, bytes), true, fixtureAnchors());
    }

    TemporaryFolder folder;
};

TEST_F(CodeInfo, ReadsOneRecordPerSliceInHeaderOrder) {
    const auto infos = infosOf(
        "universal", FixtureMachOBuilder::universal(
                         {FixtureSigner::makeUnsigned(executable(Architecture::x86_64)),
                          FixtureSigner::sign(executable(Architecture::arm64), developerIDOptions())}));
    ASSERT_EQ(infos.size(), 2U);
    EXPECT_EQ(std::tuple(infos[0].cpuType, infos[0].cpuSubtype, infos[1].cpuType),
              std::tuple(0x01000007, 3, 0x0100000c));
    EXPECT_FALSE(ZRCodeInfo::haveEqualCertificateType(infos));

    const auto& unsignedSlice = infos[0];
    EXPECT_EQ(unsignedSlice.signatureCertificateType, Type::none);
    EXPECT_FALSE(unsignedSlice.cdHash || unsignedSlice.cdIdentifier ||
                 unsignedSlice.signatureIsFormallyCorrect || unsignedSlice.authorDisplayString());

    const auto& s = infos[1];
    EXPECT_EQ(
        std::tuple(s.cdHash.value().size(), s.cdHash256.value().size(), s.cdIdentifier, s.cdTeamIdentifier),
        std::tuple(20U, 32U, "com.example.fixture", "FIXTURE123"));
    // The whole file is unsigned.
    EXPECT_EQ(std::tuple(s.signatureCertificateType, s.signatureIsFormallyCorrect,
                         s.signatureHasTrustedAnchor, s.signatureIsCryptographicallyCorrect, s.kernelCSFlags),
              std::tuple(Type::developerID, true, true, false, 0U));
    EXPECT_EQ(
        std::tuple(s.signerOrganization, s.signerOrganizationalUnit, s.signerUserID, s.rootCACommonName,
                   s.rootCAOrganization, s.signerPublicKeySHA256.value().size()),
        std::tuple("Fixture Developer", "FIXTURE123", "FIXTURE123", "Fixture Root CA", "Fixture Inc.", 32U));
    EXPECT_EQ(s.authorDisplayString(), "Fixture Developer");
    EXPECT_EQ(s.authorDisplayStringWithTeamID(), "Fixture Developer (FIXTURE123)");
}

TEST_F(CodeInfo, TrustsOnlyCorrectAnchoredUnrevokedSignatures) {
    const auto path = write(folder, "signed", FixtureSigner::sign(executable(), developerIDOptions()));
    auto infos = ZRCodeInfo::readFromFileURL(path, true, fixtureAnchors());
    ASSERT_EQ(infos.size(), 1U);
    EXPECT_TRUE(infos[0].signatureIsCryptographicallyCorrect);
    EXPECT_TRUE(infos[0].hasTrustedSignature());
    EXPECT_TRUE(ZRCodeInfo::haveEqualCertificateType(infos));
    // Without the anchor the chain ends at an unknown root.
    EXPECT_FALSE(ZRCodeInfo::readFromFileURL(path, false)[0].hasTrustedSignature());

    auto damaged = FixtureSigner::sign(executable(), developerIDOptions());
    ASSERT_TRUE(FixtureTamper::flipCodeByte(damaged));
    const auto broken = infosOf("damaged", damaged).at(0);
    EXPECT_TRUE(broken.signatureIsFormallyCorrect);
    EXPECT_FALSE(broken.signatureIsCryptographicallyCorrect || broken.hasTrustedSignature());
}

TEST_F(CodeInfo, AdhocAndLinkerSignedSlicesAreTypeOne) {
    for (const auto kind : {FixtureSigner::Kind::adhoc, FixtureSigner::Kind::linkerSigned}) {
        const auto infos = infosOf("adhoc", FixtureSigner::sign(executable(), adhocOptions(kind)));
        ASSERT_EQ(infos.size(), 1U);
        EXPECT_EQ(std::tuple(infos[0].signatureCertificateType, infos[0].signatureIsFormallyCorrect,
                             infos[0].signatureIsCryptographicallyCorrect, infos[0].hasTrustedSignature(),
                             infos[0].authorDisplayStringWithTeamID()),
                  std::tuple(Type::adhoc, true, true, false, "<nil>"));
    }
}

TEST_F(CodeInfo, ReportsErrorsWithTheirPOSIXCodes) {
    EXPECT_EQ(errorCode(folder.write("short", "12345")), 96);
    EXPECT_EQ(errorCode(folder.write("text", "This is a text file, not an executable.\n")), 8);
    EXPECT_EQ(errorCode(folder.path() / "missing"), ENOENT);
    // A universal header whose table does not fit into the bytes read.
    std::string fat("\xca\xfe\xba\xbe\x00\x00\x10\x00", 8);
    fat.append(64, '\0');
    EXPECT_EQ(errorCode(folder.write("fat", fat)), 96);
    // A slice that is not Mach-O.
    auto universal = FixtureMachOBuilder::universal({FixtureSigner::makeUnsigned(executable())});
    universal[16384] = 'X';
    EXPECT_EQ(errorCode(write(folder, "notMachO", universal)), 8);
    // A slice beyond the end of the file is skipped, leaving no slices.
    auto beyond = FixtureMachOBuilder::universal({FixtureSigner::makeUnsigned(executable())});
    beyond[16] = 0x7f;
    EXPECT_EQ(errorCode(write(folder, "beyond", beyond)), 8);
    EXPECT_FALSE(ZRCodeInfo::haveEqualCertificateType({}));
}

TEST_F(CodeInfo, DescribesTheReadableDirectoryOfASignatureTheCheckerRefuses) {
    auto bytes = FixtureSigner::sign(executable(), developerIDOptions());
    const auto [alternate, length] = FixtureTamper::blobRange(bytes, 0, 0x1000);
    ASSERT_GT(length, 0U);
    // The alternate directory's identifier offset points far outside it.
    for (std::size_t index = 0; index < 4; ++index) {
        bytes[alternate + 20 + index] = index == 0 ? 0x7f : 0xff;
    }
    const auto infos = infosOf("alternate", bytes);
    ASSERT_EQ(infos.size(), 1U);
    EXPECT_EQ(std::tuple(infos[0].cdIdentifier, infos[0].cdTeamIdentifier, infos[0].signatureCertificateType),
              std::tuple("com.example.fixture", "FIXTURE123", Type::none));
    // The hash is the readable SHA-1 directory's; the SHA-256 directory is the damaged one.
    EXPECT_TRUE(infos[0].cdHash && !infos[0].cdHash256);
    EXPECT_FALSE(infos[0].signatureIsFormallyCorrect || infos[0].signatureIsCryptographicallyCorrect);
}

TEST(CodeInfoTexts, BuildsAuthorTextsByCertificateType) {
    ZRCodeInfo info;
    info.signerCommonName = "Apple Development: Jane Doe (AB12CD34EF)";
    info.signerUserID = "USERID";
    info.signerOrganizationalUnit = "TEAMID";
    info.cdTeamIdentifier = "CDTEAM";
    info.signatureCertificateType = Type::development;
    EXPECT_EQ(info.authorDisplayString(), "Apple Development: Jane Doe");
    EXPECT_EQ(info.authorDisplayStringWithTeamID(), "Apple Development: Jane Doe (USERID)");
    info.signatureCertificateType = Type::macAppStore;
    EXPECT_EQ(info.authorDisplayStringWithTeamID(), "Mac App Store (CDTEAM)");
    info.signatureCertificateType = Type::apple;
    EXPECT_EQ(info.authorDisplayString(), "Apple, Inc.");
    info.signatureCertificateType = Type::other;
    EXPECT_EQ(info.authorDisplayStringWithTeamID(), "Apple Development: Jane Doe (AB12CD34EF)");
    info.signatureCertificateType = Type::developerID;
    EXPECT_EQ(info.authorDisplayString(), "TEAMID") << "without an organization the unit stands in";
    info.signerOrganizationalUnit.reset();
    EXPECT_EQ(info.authorDisplayStringWithTeamID(), "<nil> (<nil>)");
}

TEST(CodeInfoTexts, DescribesEveryFieldOnItsOwnLine) {
    ZRCodeInfo info;
    info.cpuType = 7;
    info.cdHash = std::vector<std::uint8_t>{0x01, 0x02, 0x03, 0x04, 0x05};
    info.kernelCSFlags = 0x2a;
    const auto text = info.description();
    EXPECT_EQ(text.rfind("<ZRCodeInfo: ", 0), 0U);
    EXPECT_NE(text.find(">:\ncpuType = 7\ncpuSubtype = 0\ncdHash = <01020304 05>\ncdHash256 = <nil>\n"),
              std::string::npos);
    EXPECT_NE(text.find("signatureCertificateType = 0\nsignerPublicKeySHA256 = <nil>\n"), std::string::npos);
    EXPECT_NE(text.find("signerOrganization = <nil>\nkernelCSFlags = 0x2a\n"), std::string::npos);
}

TEST_F(CodeInfo, AChainWithABadCertificateSignatureIsNotFormallyCorrect) {
    auto bytes = FixtureSigner::sign(executable(), developerIDOptions());
    const auto intermediate = hierarchy().intermediate.der();
    const auto found = std::search(bytes.begin(), bytes.end(), intermediate.begin(), intermediate.end());
    ASSERT_NE(found, bytes.end());
    // The last byte belongs to the issuer's signature over the intermediate.
    *(found + static_cast<std::ptrdiff_t>(intermediate.size()) - 1) ^= 0x01;
    const auto infos = ZRCodeInfo::readFromFileURL(write(folder, "forged", bytes), false, fixtureAnchors());
    ASSERT_EQ(infos.size(), 1U);
    EXPECT_FALSE(infos[0].signatureIsFormallyCorrect || infos[0].signatureHasTrustedAnchor ||
                 infos[0].hasTrustedSignature());
}

} // namespace
