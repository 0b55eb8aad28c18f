#include "Code/Loading/LumoraSignatureSummary.h"
#include "Support/CodeSigningFixtures.h"
#include "Support/RealSignatures.h"
#include "Support/TemporaryFolder.h"

#include <ctime>

#include <gtest/gtest.h>

namespace {

using Kind = LumoraSignatureSummary::Kind;
using namespace CodeSigningFixtures;

TEST(LumoraSignatureSummary, DescribesEachKindOfSignature) {
    const TemporaryFolder folder;
    const std::time_t stamped = std::time(nullptr) - 3600;
    const std::string team = FixtureCertificateHierarchy::teamIdentifier;
    auto timestamped = developerIDOptions();
    timestamped.timestampAuthority = &hierarchy().timestampAuthority;
    timestamped.timestampChain = {&hierarchy().root};
    timestamped.timestampTime = stamped;
    const auto none = std::nullopt;
    // Signed with the given options; unsigned without.
    const std::pair<std::optional<FixtureSigner::Options>, LumoraSignatureSummary> cases[] = {
        {developerIDOptions(), {Kind::developerID, "Fixture Developer (" + team + ")", team, none, none}},
        {timestamped, {Kind::developerID, "Fixture Developer (" + team + ")", team, stamped, none}},
        {optionsSignedBy(hierarchy().developmentLeaf),
         {Kind::development, "Apple Development: Fixture Person (" + team + ")", team, none, none}},
        {optionsSignedBy(hierarchy().macAppStoreLeaf),
         {Kind::macAppStore, "Mac App Store (" + team + ")", team, none, none}},
        {adhocOptions(), {Kind::adHoc, none, none, none, none}},
        {none, {Kind::notSigned, none, none, none, none}},
    };
    for (std::size_t index = 0; index < std::size(cases); ++index) {
        const auto& [options, expected] = cases[index];
        const auto bytes =
            options ? FixtureSigner::sign(executable(), *options) : FixtureSigner::makeUnsigned(executable());
        EXPECT_EQ(LumoraSignatureSummary::read(write(folder, std::to_string(index), bytes), fixtureAnchors()),
                  expected)
            << index;
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
        const auto summary = LumoraSignatureSummary::read(path, anchors).value();
        EXPECT_EQ(summary.kind, Kind::invalid);
        EXPECT_FALSE(summary.author || summary.teamIdentifier || summary.secureTimestamp);
        EXPECT_FALSE(summary.error.value_or("").empty());
    }
    EXPECT_FALSE(LumoraSignatureSummary::read(folder.path() / "missing", {}));
}

// Signatures made by real signing tools, when their packages have been fetched.
TEST(LumoraSignatureSummary, DescribesRealDeveloperIDSignatures) {
    const auto folder = RealSignatures::folder();
    const auto ngrok = folder / "-expo-ngrok-bin-darwin-arm64-2.3.41" / "package" / "ngrok";
    // Signed in 2012: the code directory has no team field, the leaf's unit names the team.
    const auto notifier = folder / "osx-notifier-0.2.2" / "package" / "osx" / "terminal-notifier-info.app";
    if (!std::filesystem::exists(ngrok) || !std::filesystem::exists(notifier)) {
        GTEST_SKIP() << "no real signatures cached in " << folder;
    }
    EXPECT_EQ(LumoraSignatureSummary::read(ngrok, {}),
              (LumoraSignatureSummary{Kind::developerID, "ngrok LLC (TEX8MHRDQ9)", "TEX8MHRDQ9", 1676048617,
                                      std::nullopt}));
    EXPECT_EQ(LumoraSignatureSummary::read(notifier, {}),
              (LumoraSignatureSummary{Kind::developerID, "Springest Corporate B.V. (LS4R756LZZ)",
                                      "LS4R756LZZ", 1344947003, std::nullopt}));
}

} // namespace
