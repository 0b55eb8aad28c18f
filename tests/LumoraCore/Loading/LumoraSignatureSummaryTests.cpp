#include "Code/Loading/LumoraSignatureSummary.h"
#include "Support/CodeSigningFixtures.h"
#include "Support/TemporaryFolder.h"

#include <cstdlib>
#include <ctime>
#include <functional>

#include <gtest/gtest.h>

namespace {

using Kind = LumoraSignatureSummary::Kind;
using namespace CodeSigningFixtures;

struct SignedCase {
    const char* name;
    std::function<std::vector<std::uint8_t>()> sign;
    LumoraSignatureSummary expected;
};

TEST(LumoraSignatureSummary, DescribesEachKindOfSignature) {
    const TemporaryFolder folder;
    const std::time_t stamped = std::time(nullptr) - 3600;
    const std::string team = FixtureCertificateHierarchy::teamIdentifier;
    auto signedBy = [](const FixtureCertificate& leaf) {
        return [&leaf] { return FixtureSigner::sign(executable(), optionsSignedBy(leaf)); };
    };
    const std::vector<SignedCase> cases{
        {"developer-id",
         signedBy(hierarchy().developerIDLeaf),
         {Kind::developerID, "Fixture Developer (" + team + ")", team, std::nullopt, std::nullopt}},
        {"timestamped",
         [&] {
             auto options = developerIDOptions();
             options.timestampAuthority = &hierarchy().timestampAuthority;
             options.timestampChain = {&hierarchy().root};
             options.timestampTime = stamped;
             return FixtureSigner::sign(executable(), options);
         },
         {Kind::developerID, "Fixture Developer (" + team + ")", team, stamped, std::nullopt}},
        {"development",
         signedBy(hierarchy().developmentLeaf),
         {Kind::development, "Apple Development: Fixture Person (" + team + ")", team, std::nullopt,
          std::nullopt}},
        {"mac-app-store",
         signedBy(hierarchy().macAppStoreLeaf),
         {Kind::macAppStore, "Mac App Store (" + team + ")", team, std::nullopt, std::nullopt}},
        {"adhoc",
         [] { return FixtureSigner::sign(executable(), adhocOptions()); },
         {Kind::adHoc, {}, {}, {}, {}}},
        {"unsigned",
         [] { return FixtureSigner::makeUnsigned(executable()); },
         {Kind::notSigned, {}, {}, {}, {}}},
    };
    for (const auto& testCase : cases) {
        SCOPED_TRACE(testCase.name);
        const auto summary =
            LumoraSignatureSummary::read(write(folder, testCase.name, testCase.sign()), fixtureAnchors());
        ASSERT_TRUE(summary);
        EXPECT_EQ(*summary, testCase.expected);
    }
}

TEST(LumoraSignatureSummary, NamesNoSignerForSignaturesThatAreNotValid) {
    const TemporaryFolder folder;
    auto options = optionsSignedBy(hierarchy().selfSignedLeaf);
    options.chain = {};
    const auto selfSigned = write(folder, "self-signed", FixtureSigner::sign(executable(), options));
    const auto developerID =
        write(folder, "developer-id", FixtureSigner::sign(executable(), developerIDOptions()));
    // Without the fixture root the Developer ID chain ends nowhere Apple vouches for.
    for (const auto& [path, anchors] :
         {std::pair{selfSigned, fixtureAnchors()},
          std::pair{developerID, std::vector<ZRTrustEvaluator::Certificate>{}}}) {
        SCOPED_TRACE(path.filename().string());
        const auto summary = LumoraSignatureSummary::read(path, anchors);
        ASSERT_TRUE(summary);
        EXPECT_EQ(summary->kind, Kind::invalid);
        EXPECT_FALSE(summary->author || summary->teamIdentifier || summary->secureTimestamp);
        EXPECT_FALSE(summary->error.value_or("").empty());
    }
    EXPECT_FALSE(LumoraSignatureSummary::read(folder.path() / "missing", {}));
}

// Signatures made by real signing tools, when an earlier run of the real-signature tests left them
// in their cache; nothing is downloaded here.
TEST(LumoraSignatureSummary, DescribesRealDeveloperIDSignatures) {
    const char* cache = std::getenv("XDG_CACHE_HOME");
    const auto folder =
        (cache != nullptr && *cache != '\0' ? std::filesystem::path(cache) : std::filesystem::path("/tmp")) /
        "lumora-real-signatures";
    const auto ngrok = folder / "-expo-ngrok-bin-darwin-arm64-2.3.41" / "package" / "ngrok";
    // Signed in 2012: the code directory has no team field, the leaf's unit names the team.
    const auto notifier = folder / "osx-notifier-0.2.2" / "package" / "osx" / "terminal-notifier-info.app";
    if (!std::filesystem::exists(ngrok) || !std::filesystem::exists(notifier)) {
        GTEST_SKIP() << "no real signatures cached in " << folder;
    }
    const auto timestamped = LumoraSignatureSummary::read(ngrok, {});
    ASSERT_TRUE(timestamped);
    EXPECT_EQ(timestamped->kind, Kind::developerID);
    EXPECT_EQ(timestamped->author, "ngrok LLC (TEX8MHRDQ9)");
    EXPECT_EQ(timestamped->teamIdentifier, "TEX8MHRDQ9");
    EXPECT_EQ(timestamped->secureTimestamp, 1676048617);
    const auto old = LumoraSignatureSummary::read(notifier, {});
    ASSERT_TRUE(old);
    EXPECT_EQ(*old, (LumoraSignatureSummary{Kind::developerID, "Springest Corporate B.V. (LS4R756LZZ)",
                                            "LS4R756LZZ", 1344947003, std::nullopt}));
}

} // namespace
