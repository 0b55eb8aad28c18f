#include "Tool/LumoraToolRunner.h"
#include "ZRFoundation/Text/ZRBase64.h"

#include <fstream>
#include <sstream>

#include <gtest/gtest.h>

namespace {

bool contains(const std::string& text, std::string_view part) {
    return text.find(part) != std::string::npos;
}

std::string readFile(const std::filesystem::path& path) {
    std::ifstream stream(path, std::ios::binary);
    std::ostringstream contents;
    contents << stream.rdbuf();
    return contents.str();
}

std::string page(const std::vector<std::string>& arguments) {
    const auto run = runLumoraTool(arguments);
    EXPECT_EQ(run.exitStatus, 0) << run.standardError;
    return run.standardOutput;
}

// A declaration whose texts try every way into the page's markup, for the browser to load.
const std::string hostileDeclaration = R"json({
  "LumoraDictionaryVersion": "1.0",
  "DeveloperName": "<img src=x onerror=alert(1)>",
  "ApplicationDescription": "Hi <script>alert(1)</script> ![p](https://evil.example/p.png) [x](javascript:alert(1))",
                  "Connections" : [ {
                      "Host" : "a.example\"><script>b</script>",
                      "Purpose" : "<iframe src='https://evil.example'></iframe>",
                      "DenyConsequences" : "</p><style>body{display:none}</style>"
                  } ]
})json";

TEST(PageCommand, WritesThePageOfASampleFromWhatItsBundleHolds) {
    const auto editor = page({"page", "--extra-trust-anchors", anchor, examples + "/TextEditor.app"});
    EXPECT_TRUE(editor.starts_with("<meta charset=\"UTF-8\">\n<html>\n"));
    EXPECT_TRUE(contains(editor, "<h1 dir=\"auto\">TextEditor</h1>\n        <p>Version <bdi>1.0</bdi></p>"
                                 "<p dir=\"auto\"> Copyright 2026 Example Software Ltd.</p><p"));
    EXPECT_TRUE(contains(editor, "<h3>Outgoing connections via <bdi>SpellKit.framework</bdi> to "
                                 "<bdi>dictionaries.example.org</bdi></h3>"));
    // Who signed, under the folder line; the mark of the added authority follows.
    EXPECT_TRUE(contains(editor,
                         "<p>Developer ID: <bdi>Fixture Developer (FIXTURE123)</bdi></p><p><b>Signed by "
                         "a certificate authority you added"));
    // The icon is the PNG entry of the bundle's icon file, unchanged.
    const auto icon = readFile(std::filesystem::path(LUMORA_SOURCE_DIR) / "examples/icons/TextEditor.png");
    EXPECT_TRUE(contains(editor, "src=\"data:image/png;base64," +
                                     ZRBase64::encode(std::span(
                                         reinterpret_cast<const std::uint8_t*>(icon.data()), icon.size()))));

    // Each state's content is the page's own; here an application without a document is one too.
    EXPECT_TRUE(contains(page({"page", examples + "/Calculator.app"}), "<h2>No Lumora document</h2>"));
    EXPECT_TRUE(contains(page({"page", "--extra-trust-anchors", anchor, examples + "/backup-agent"}),
                         "<h1 dir=\"auto\">backup-agent</h1>"));
}

TEST(PageCommand, PreviewsDeclarationFilesAndAppliesTheOptions) {
    const std::string declaration = std::string(LUMORA_SOURCE_DIR) + "/examples/declarations/TextEditor.json";
    const auto abbreviated = page({"page", declaration});
    EXPECT_TRUE(contains(abbreviated, "<h1 dir=\"auto\">TextEditor</h1>\n        <p dir=\"auto\">" +
                                          std::string(LUMORA_SOURCE_DIR) + "/examples/declarations</p>\n"));
    EXPECT_TRUE(contains(abbreviated, "<h3>Outgoing connections to <bdi>updates.example.com</bdi></h3>"));
    EXPECT_TRUE(contains(abbreviated, "background-color: #ffffff;"));

    const auto detailed = page({"page", "--show-ports", "--dark", declaration});
    EXPECT_TRUE(contains(detailed,
                         "<h3>Outgoing TCP connections to <bdi>updates.example.com</bdi> on port 443</h3>"));
    EXPECT_TRUE(contains(detailed, "background-color: #1e1e1e;"));

    // A simulated connection keeps only the declarations that cover it, and no services.
    const auto simulated = page({"page", "--developer-connection", "--incoming", "--local-network",
                                 "--protocol", "udp", "--port", "5353", declaration});
    EXPECT_TRUE(contains(simulated, "Finds other copies of the editor"));
    EXPECT_FALSE(contains(simulated, "updates.example.com"));
    EXPECT_FALSE(contains(simulated, "Live Share"));

    const TemporaryFolder folder;
    const auto output = folder.path() / "page.html";
    EXPECT_EQ(runLumoraTool({"page", "-o", output.string(), declaration}).standardOutput, "");
    EXPECT_EQ(readFile(output), abbreviated);
}

TEST(PageCommand, WritesTheEmptySelectionPage) {
    const auto plain = page({"page", "--empty-selection"});
    EXPECT_TRUE(contains(plain, "<h2>No application selected</h2>"));
    EXPECT_FALSE(contains(plain, "action=\"showPreviewApplications\""));
    const auto offered = page({"page", "--empty-selection", "--preview-offered"});
    EXPECT_TRUE(contains(offered, "action=\"showPreviewApplications\" method=\"post\""));
    const auto folders =
        page({"page", "--empty-selection", "--preview-offered", "--proposed-folder", "/opt/apps"});
    EXPECT_TRUE(contains(folders, "<li dir=\"auto\">/opt/apps</li>"));
    EXPECT_TRUE(contains(folders, "fileURL=file%3A%2F%2F%2Fopt%2Fapps%2F\" method=\"post\""));
    EXPECT_FALSE(contains(folders, "action=\"showPreviewApplications\""));
}

TEST(PageCommand, RefusesBadUsage) {
    for (const char* usage :
         {"page", "page --empty-selection x.app", "page --proposed-folder /opt x.app",
          "page --frobnicate x.app", "page --protocol sctp x.app", "page a.app b.app", "page -o"}) {
        const auto run = runLumoraTool(words(usage));
        EXPECT_EQ(run.exitStatus, 2) << usage;
        EXPECT_TRUE(contains(run.standardError, "usage: lumora page")) << run.standardError;
    }
    const auto missing = runLumoraTool({"page", "/nonexistent/Missing.app"});
    EXPECT_EQ(missing.exitStatus, 1);
    EXPECT_TRUE(contains(missing.standardError, "no such file or folder"));
    const TemporaryFolder folder;
    const auto broken = runLumoraTool({"page", folder.write("broken.json", "{").string()});
    EXPECT_EQ(broken.exitStatus, 1);
    EXPECT_EQ(broken.standardOutput, "");
}

// Headless Chromium loads the pages without a console message: no blocked script, image or style,
// which is what a policy violation or broken markup would produce.
TEST(PageCommand, PagesRenderInChromium) {
    if (runProgram("sh", {"-c", "command -v chromium"}).exitStatus != 0) {
        GTEST_SKIP() << "chromium is not installed (apt-get install chromium); the render check is skipped";
    }
    const TemporaryFolder folder;
    const auto hostile = folder.write("Hostile.json", hostileDeclaration);
    const std::vector<std::pair<std::vector<std::string>, std::string>> pages{
        {{"--extra-trust-anchors", anchor, examples + "/TextEditor.app"}, "<h1 dir=\"auto\">TextEditor</h1>"},
        {{"--dark", "--extra-trust-anchors", anchor, examples + "/Tampered.app"},
         "<h1 dir=\"auto\">Tampered</h1>"},
        {{"--empty-selection", "--proposed-folder", "/opt/apps"}, "<li dir=\"auto\">/opt/apps</li>"},
        {{hostile.string()}, "<h1 dir=\"auto\">Hostile</h1>"},
    };
    for (std::size_t index = 0; index < pages.size(); ++index) {
        const auto output = folder.path() / ("page" + std::to_string(index) + ".html");
        auto arguments = pages[index].first;
        arguments.insert(arguments.begin(), {"page", "-o", output.string()});
        ASSERT_EQ(runLumoraTool(arguments).exitStatus, 0);
        const auto run = runProgram("chromium", {"--headless", "--no-sandbox", "--disable-gpu",
                                                 "--user-data-dir=" + (folder.path() / "profile").string(),
                                                 "--enable-logging=stderr", "--v=0", "--dump-dom",
                                                 "file://" + output.string()});
        EXPECT_EQ(run.exitStatus, 0) << run.standardError;
        EXPECT_TRUE(contains(run.standardOutput, pages[index].second)) << run.standardOutput.substr(0, 2000);
        EXPECT_FALSE(contains(run.standardOutput, "<script")) << index;
        EXPECT_FALSE(contains(run.standardError, ":CONSOLE")) << run.standardError;
    }
}

} // namespace
