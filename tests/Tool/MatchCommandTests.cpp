#include "Tool/LumoraToolRunner.h"

#include <nlohmann/json.hpp>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace {

using json = nlohmann::json;
using ::testing::HasSubstr;

TEST(MatchCommand, PrintsTheMatchingDescriptionsWithTheirRating) {
    const auto run = runLumoraTool({"match", "--json", "--host", "updates.example.com", "--protocol", "tcp",
                                    "--port", "443", exampleDeclaration});
    ASSERT_EQ(run.exitStatus, 0) << run.standardError;
    const auto output = json::parse(run.standardOutput);
    EXPECT_THAT(output["connection"].get<std::string>(),
                HasSubstr("remoteEndpoints: [host updates.example.com], ports: 1 indexes, protocol: TCP"));
    const auto expected = json::parse(R"json([{"source": "TextEditor.plist", "match": "exact", "quality": 2,
        "description": {"hostMatchingRules": [{"host": "updates.example.com"}]}}])json");
    EXPECT_EQ(projected(output["matches"], expected), expected);
}

TEST(MatchCommand, FindsAddressesAndTheLocalNetwork) {
    auto output = json::parse(
        runLumoraTool({"match", "--json", "--ip", "192.0.2.7", "--port", "8444", exampleDeclaration})
            .standardOutput);
    ASSERT_FALSE(output["matches"].empty());
    EXPECT_EQ(output["matches"][0]["description"]["ports"], "443, 8443-8445");

    output =
        json::parse(runLumoraTool({"match", "--json", "--incoming", "--local-network", exampleDeclaration})
                        .standardOutput);
    ASSERT_FALSE(output["matches"].empty());
    EXPECT_EQ(output["matches"][0]["description"]["isIncoming"], true);
}

TEST(MatchCommand, RejectsBadUsage) {
    EXPECT_EQ(runLumoraTool({"match"}).exitStatus, 2);
    EXPECT_EQ(runLumoraTool({"match", "--host", "a", "--bpf", exampleDeclaration}).exitStatus, 2);
    EXPECT_EQ(runLumoraTool({"match", "--ip", "not-an-address", exampleDeclaration}).exitStatus, 2);
    EXPECT_EQ(runLumoraTool({"match", "--protocol", "sctp", exampleDeclaration}).exitStatus, 2);
    EXPECT_EQ(runLumoraTool({"match", "--port"}).exitStatus, 2);
    const TemporaryFolder folder;
    const auto broken = folder.write("broken.json", "{");
    EXPECT_EQ(runLumoraTool({"match", "--bpf", broken.string()}).exitStatus, 1);
}

// The panel reads a port it cannot use as "any port"; the command line refuses it instead.
TEST(MatchCommand, RefusesAPortOutsideZeroTo65535) {
    for (const std::string port : {"99999", "65536", "-1", "+80", "443x", "", "http", "4294967739"}) {
        const auto run = runLumoraTool({"match", "--json", "--port", port, exampleDeclaration});
        EXPECT_EQ(run.exitStatus, 2) << port;
        EXPECT_THAT(run.standardError,
                    HasSubstr("--port takes a port number from 0 to 65535, not '" + port + "'"));
        EXPECT_THAT(run.standardError, HasSubstr("usage: lumora match"));
        EXPECT_EQ(run.standardOutput, "");
    }
    for (const std::string port : {"0", "65535", "0443"}) {
        const auto run = runLumoraTool({"match", "--json", "--port", port, exampleDeclaration});
        EXPECT_EQ(run.exitStatus, 0) << port << run.standardError;
        EXPECT_THAT(json::parse(run.standardOutput)["connection"].get<std::string>(),
                    HasSubstr("ports: 1 indexes"));
    }
}

} // namespace
