#include "Tool/LumoraToolRunner.h"

#include <nlohmann/json.hpp>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace {

using json = nlohmann::json;

TEST(CheckCommand, ReportsEverySampleState) {
    const auto run =
        runLumoraTool({"check", "--json", "--extra-trust-anchors", anchor, examples + "/TextEditor.app",
                       examples + "/Calculator.app", examples + "/Tampered.app", examples + "/Unsigned.app",
                       examples + "/backup-agent", examples + "/Impostor.app"});
    EXPECT_EQ(run.exitStatus, 1);
    const auto output = json::parse(run.standardOutput);
    auto expected = json::parse(R"json([
        {"state": "loaded", "trustedThrough": "extraAnchor", "error": null, "document": {"additionalSources": [{}, {}]}},
        {"state": "unavailable"},
        {"state": "loadFailed", "error": {"type": "ZRBundleResourceVerifier.Error", "case": "codeSignatureVerificationFailed"}},
        {"state": "loadFailed", "signature": {"kind": "unsigned"}},
        {"state": "loaded", "document": {"primarySource": {"developerName": "Example Backup"}}},
        {"state": "loadFailed", "error": {"case": "signerMismatch"}}])json");
    // Applications without a document are checked as well.
    expected[0]["signature"] = expected[1]["signature"] = json::parse(
        R"json({"kind": "developerID", "author": "Fixture Developer (FIXTURE123)", "teamIdentifier": "FIXTURE123",
            "secureTimestamp": null, "error": null})json");
    // Validly signed, but by another team than its declaration names.
    expected[5]["error"]["description"] =
        "The Lumora document of “" + examples +
        "/Impostor.app” names the team EXAMPLE999 as its signer, but the code is signed by FIXTURE123.";
    EXPECT_EQ(projected(output, expected), expected);
    EXPECT_THAT(output[2]["error"]["description"].get<std::string>(),
                testing::HasSubstr("Tampered.app/Contents/Resources/Lumora.plist"));
}

TEST(CheckCommand, TrustsNothingButAppleWithoutAnExtraAnchor) {
    const auto run = runLumoraTool({"check", "--json", examples + "/TextEditor.app"});
    EXPECT_EQ(run.exitStatus, 1);
    const auto expected = json::parse(R"json([{"state": "loadFailed", "trustedThrough": null, "signature":
        {"kind": "invalid", "error": "the certificate chain does not end at a trusted root"}}])json");
    EXPECT_EQ(projected(json::parse(run.standardOutput), expected), expected);
    const auto text = runLumoraTool({"check", "--extra-trust-anchors", anchor, examples + "/TextEditor.app"});
    EXPECT_EQ(text.exitStatus, 0);
    EXPECT_TRUE(text.standardOutput.ends_with(
        "TextEditor.app: loaded (3 declarations, trusted only through an extra anchor)\n"
        "  signature: developerID, Fixture Developer (FIXTURE123), team FIXTURE123\n"))
        << text.standardOutput;
}

TEST(CheckCommand, ShowsOneDocument) {
    const auto run =
        runLumoraTool({"show", "--json", "--extra-trust-anchors", anchor, examples + "/TextEditor.app"});
    ASSERT_EQ(run.exitStatus, 0) << run.standardError;
    // Frameworks come before XPC services.
    const auto expected = json::parse(R"json({"trustedThrough": "extraAnchor",
        "signature": {"author": "Fixture Developer (FIXTURE123)"}, "primarySource": {"name": "TextEditor"},
        "additionalSources": [{"purpose": "Checks spelling for TextEditor."},
                              {"purpose": "Keeps the documents of TextEditor in sync in the background."}]})json");
    EXPECT_EQ(projected(json::parse(run.standardOutput), expected), expected);
    EXPECT_EQ(runLumoraTool({"show", examples + "/Calculator.app"}).exitStatus, 1);
    for (const char* usage : {"show", "show a b", "check --extra-trust-anchors /nonexistent.pem x"}) {
        EXPECT_EQ(runLumoraTool(words(usage)).exitStatus, 2) << usage;
    }
}

// Each sandboxed sample with its notes: beside each connection its sandbox will not let happen, or
// at the top when the sandbox allows outgoing connections that nothing declares.
TEST(CheckCommand, ShowsTheSandboxBesideTheDeclaration) {
    const auto notAllowed = [](const char* direction) {
        return "The sandbox does not allow " + std::string(direction) +
               " connections: this connection cannot happen.";
    };
    const std::string noneDeclared =
        "The sandbox allows outgoing connections, but the declaration lists none.";
    const auto entitlements = [](bool allowed, json notes) {
        return json{{"appSandbox", true},      {"networkClient", allowed}, {"networkServer", allowed},
                    {"hardenedRuntime", true}, {"error", nullptr},         {"notes", std::move(notes)}};
    };
    const auto note = [](json source, json connection, const std::string& text) {
        return json{{"source", std::move(source)}, {"connection", std::move(connection)}, {"text", text}};
    };
    const struct {
        std::string application;
        json entitlements;
        // What show prints from the sandbox line on, and the page's first note.
        std::string text;
        std::string pageNote;
    } cases[] = {
        {"Sandboxed.app",
         entitlements(false, {note(0, 0, notAllowed("outgoing")), note(0, 1, notAllowed("incoming"))}),
         "Sandbox: on; outgoing connections not allowed, incoming connections not allowed\nHardened runtime: "
         "on\nNote: Sandboxed, connection 1: " +
             notAllowed("outgoing"),
         "<p dir=\"auto\">Uploads shared albums.</p>\n<p class=\"sandbox-note\">" + notAllowed("outgoing")},
        {"SandboxedServer.app", entitlements(true, {note(nullptr, nullptr, noneDeclared)}),
         "Sandbox: on; outgoing connections allowed, incoming connections allowed\nHardened runtime: "
         "on\nNote: " +
             noneDeclared + "\n",
         // At the top, with the sandbox's facts.
         "<p class=\"sandbox-note\">" + noneDeclared + "</p></div>"},
    };
    for (const auto& expected : cases) {
        const auto path = examples + "/" + expected.application;
        const auto run = runLumoraTool({"show", "--json", "--extra-trust-anchors", anchor, path});
        ASSERT_EQ(run.exitStatus, 0) << run.standardError;
        EXPECT_EQ(json::parse(run.standardOutput)["entitlements"], expected.entitlements)
            << expected.application;
        const auto text = runLumoraTool({"show", "--extra-trust-anchors", anchor, path});
        EXPECT_NE(text.standardOutput.find(expected.text), std::string::npos) << text.standardOutput;
        const auto page = runLumoraTool({"page", "--extra-trust-anchors", anchor, path});
        EXPECT_NE(page.standardOutput.find(expected.pageNote), std::string::npos) << page.standardOutput;
    }
    const auto unsandboxed =
        runLumoraTool({"show", "--json", "--extra-trust-anchors", anchor, examples + "/TextEditor.app"});
    EXPECT_EQ(json::parse(unsandboxed.standardOutput)["entitlements"]["appSandbox"], false);
}

} // namespace
