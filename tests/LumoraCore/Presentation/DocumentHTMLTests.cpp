#include "Code/Model/LumoraSource.h"
#include "Code/Presentation/ConnectionHeading.h"
#include "Code/Presentation/DocumentHTML.h"
#include "Support/LanguageOverride.h"
#include "ZRFoundation/PropertyList/ZRPropertyListReader.h"

#include <algorithm>
#include <filesystem>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace {

using Description = Lumora::ConnectionDescription;
using Rule = Description::HostMatchingRule;
using Endpoint = ConnectionInformation::NetworkInformation::RemoteEndpoint;
using testing::HasSubstr;
using testing::Not;

std::size_t anchorCount(const std::string& html) {
    std::size_t count = 0;
    for (auto at = html.find("<a "); at != std::string::npos; at = html.find("<a ", at + 1)) {
        ++count;
    }
    return count;
}

class DocumentHTMLTest : public testing::Test {
protected:
    const LanguageOverride language{{"en"}};

    static std::shared_ptr<const Lumora::Source>
    source(const std::string& path, std::vector<Description> descriptions,
           std::string purpose = "Edits text.", std::vector<Lumora::ServiceDescription> services = {},
           std::optional<ZRURL> website = ZRURL::URLWithString("https://example.com/?a=1&b=2")) {
        return std::make_shared<const Lumora::Source>(
            Lumora::Source::SourceType::internal, ZRURL::fileURL(path, true), ZRURL::fileURL(path, true),
            std::string("Example"), std::move(website), std::move(purpose), std::move(descriptions),
            std::move(services), std::nullopt);
    }

    static Description description(std::vector<Rule> rules, std::string purpose,
                                   std::optional<std::string> deny = std::nullopt,
                                   std::optional<NetworkProtocol> protocol = NetworkProtocol::tcp,
                                   PortSet ports = PortSet::withPort(443), bool incoming = false) {
        return Description(incoming, std::move(rules), protocol, std::move(ports),
                           Description::Relevance::default_, std::move(purpose), std::move(deny));
    }

    static std::string html(const Lumora& document, const ConnectionInformation* connection = nullptr,
                            unsigned options = defaultDocumentHTMLOptions) {
        return documentHTML(document, connection, options, DocumentHTMLFormats::pageFormats())
            .value_or("<absent>");
    }
};

TEST_F(DocumentHTMLTest, WritesHeadingsForEveryShape) {
    const auto primary = source("/Applications/Editor.app",
                                {description({Rule::host("a.example"), Rule::host("b.example")}, "Syncs.")});
    const auto helper = source("/Applications/Editor.app/Contents/XPCServices/Sync.xpc",
                               {description({Rule::localNetwork()}, "Finds peers.", std::nullopt,
                                            NetworkProtocol::udp, PortSet::withPort(5353), true),
                                description({Rule::fuzzyAnyConnectionWildcard(), Rule::host("x")},
                                            "Anything.", std::nullopt, std::nullopt, PortSet::allPorts())});
    const Lumora document(primary, {helper});
    const auto pairs = std::vector<Lumora::MatchingConnectionDescription>{};
    EXPECT_EQ(connectionHeading(primary->connectionDescriptions()[0], *primary, document, false, pairs, {}),
              "Outgoing TCP connections to <bdi>a.example</bdi> and <bdi>b.example</bdi> on port 443");
    EXPECT_EQ(connectionHeading(helper->connectionDescriptions()[0], *helper, document, false, pairs, {}),
              "Incoming UDP connections on port 5353 from the local network via <bdi>Sync.xpc</bdi>");
    EXPECT_EQ(connectionHeading(helper->connectionDescriptions()[1], *helper, document, false, pairs, {}),
              "Outgoing connections via <bdi>Sync.xpc</bdi> to any host");
    // With a simulated connection only the rules that match its endpoints are named.
    EXPECT_EQ(connectionHeading(primary->connectionDescriptions()[0], *primary, document, false, pairs,
                                {Endpoint::host("b.example")}),
              "Outgoing TCP connections to <bdi>b.example</bdi> on port 443");
}

TEST_F(DocumentHTMLTest, BuildsTheFragmentInOrder) {
    const auto primary =
        source("/Applications/Editor.app",
               {description({Rule::host("a.example")}, "Syncs  documents", std::string("Nothing syncs.")),
                description({Rule::host("b.example")}, " \n ", std::nullopt),
                description({Rule::host("c.example")}, "", std::string("Lost."))},
               "Edits\ttext.", {Lumora::ServiceDescription(std::nullopt, "Share", "Shares files.")});
    const Lumora document(primary, {});
    EXPECT_EQ(html(document),
              "<div class=\"application-description\" dir=\"auto\">Edits text.</div>\n"
              "<p><a href=\"https://example.com/?a=1&amp;b=2\">Website of the developer</a></p>\n"
              "<h3 dir=\"auto\">Share</h3>\n<p dir=\"auto\">Shares files.</p>\n"
              "<h3>Outgoing TCP connections to <bdi>a.example</bdi> on port 443</h3>\n"
              "<p dir=\"auto\"><bdi>Syncs documents</bdi> <bdi>Nothing syncs.</bdi></p>\n"
              "<h3>Outgoing TCP connections to <bdi>c.example</bdi> on port 443</h3>\n<p dir=\"auto\"> "
              "Lost.</p>\n");
    // Abbreviated, a lone TCP description names neither protocol nor ports.
    EXPECT_NE(html(document, nullptr, defaultDocumentHTMLOptions | abbreviatePortsAndProtocols)
                  .find("<h3>Outgoing connections to <bdi>a.example</bdi></h3>"),
              std::string::npos);
}

TEST_F(DocumentHTMLTest, EscapesEverythingTheDocumentSays) {
    const auto hostile = source(
        "/Applications/<b>Evil</b>.app",
        {description({Rule::host("<img src=x onerror=alert(1)>")}, "<script>alert(1)</script>",
                     std::string("[click](javascript:alert(1)) [ok](https://ok.example/\"onclick=\"x)"))},
        "<iframe src=\"https://evil.example\"></iframe>",
        {Lumora::ServiceDescription(std::nullopt, "<style>body{}</style>", "'quoted'")});
    const auto helper = source("/Applications/<b>Evil</b>.app/Contents/XPCServices/<i>x.xpc",
                               {description({Rule::host("y")}, "Helper.")});
    const Lumora document(hostile, {helper});
    const std::string page = html(document);
    for (const char* forbidden : {"<script", "<img", "<iframe", "<style", "<b>", "<i>",
                                  "javascript:alert(1)\"", "href=\"javascript", "\"onclick"}) {
        EXPECT_EQ(page.find(forbidden), std::string::npos) << forbidden << "\n" << page;
    }
    EXPECT_NE(page.find("&lt;script&gt;alert(1)&lt;/script&gt;"), std::string::npos);
    EXPECT_NE(page.find("<a href=\"https://ok.example/&quot;onclick=&quot;x\">ok</a>"), std::string::npos);
    EXPECT_NE(page.find("via <bdi>&lt;i&gt;x.xpc</bdi>"), std::string::npos);
}

TEST_F(DocumentHTMLTest, LinksStayInsideTheirOwnText) {
    // A "](…)" in a nested bundle's purpose does not close the website's link, nor a "[" left open
    // in the application's description; the headings between them stay out of any anchor.
    const auto helperPath = "/Applications/Editor.app/Contents/XPCServices/Sync.xpc";
    const auto helper = source(
        helperPath,
        {description({Rule::host("b.example")}, "Syncs](https://evil.example/a)",
                     std::string("Stops](https://evil.example/b)"))},
        "Helps.", {Lumora::ServiceDescription(std::nullopt, "Share](https://evil.example/c)", "Shares.")});
    const auto primary =
        source("/Applications/Editor.app", {description({Rule::host("a.example")}, "Talks.")}, "Edits [text");
    const std::string page = html(Lumora(primary, {helper}));
    EXPECT_THAT(page, Not(HasSubstr("href=\"https://evil.example")));
    EXPECT_THAT(page,
                HasSubstr(">Edits [text</div>\n<p><a href=\"https://example.com/?a=1&amp;b=2\">Website of "
                          "the developer</a></p>\n"));
    EXPECT_THAT(
        page,
        HasSubstr("<bdi>Syncs](https://evil.example/a)</bdi> <bdi>Stops](https://evil.example/b)</bdi>"));
    EXPECT_EQ(anchorCount(page), 1u) << page;

    // Within one text the link text ends at the first "]": a later "](…)" cannot take over an
    // earlier link.
    const auto own =
        source("/Applications/Editor.app",
               {description({Rule::host("a.example")},
                            "See [the notes](https://example.com/notes) or [x] y](https://evil.example)")},
               "Edits.");
    EXPECT_THAT(
        html(Lumora(own, {})),
        HasSubstr("See <a href=\"https://example.com/notes\">the notes</a> or [x] y](https://evil.example)"));
}

// An application copied into a folder of a crafted name: the name reaches the texts of its nested
// bundles through "%APPNAME%".
TEST_F(DocumentHTMLTest, TheApplicationsFolderNameTakesNoPartInLinks) {
    const std::string path = "/Applications/Pair](mailto:attacker@evil.example).app";
    const auto primary = source(path, {});
    const std::string declaration = R"({"ApplicationDescription": "Syncs.", "Connections": [
        {"Host": "sync.example", "Purpose": "Syncs [your notes](https://example.com/notes) for %APPNAME%"},
        {"Host": "help.example", "Purpose": "Opens [%APPNAME%"}],
        "Services": [{"Name": "Share [%APPNAME%", "Purpose": "Shares"}]})";
    const auto url = ZRURL::fileURL(path + "/Contents/XPCServices/Sync.xpc", true);
    const auto helper = Lumora::Source::makeFromEmbeddedDictionary(
        Lumora::Source::SourceType::internal, url, url, std::nullopt, primary->localizedName(),
        *ZRPropertyListReader::readJSON(
             {reinterpret_cast<const std::uint8_t*>(declaration.data()), declaration.size()})
             .value->dictionaryValue(),
        std::nullopt);
    const auto page = html(Lumora(primary, {helper}));
    const std::string escapedName = "Pair&#93;&#40;mailto:attacker@evil.example&#41;";
    EXPECT_THAT(page, Not(HasSubstr("href=\"mailto")));
    EXPECT_THAT(page, HasSubstr("Syncs <a href=\"https://example.com/notes\">your notes</a> for " +
                                escapedName + "."));
    EXPECT_THAT(page, HasSubstr("Opens [" + escapedName + "."));
    EXPECT_THAT(page, HasSubstr("Share [" + escapedName));
}

TEST_F(DocumentHTMLTest, ShowsNoWebsiteThatIsNotAWebOrMailAddress) {
    for (const char* website : {"JAVASCRIPT:alert(1)", "example.com"}) {
        const auto primary =
            source("/Applications/Editor.app", {}, "Edits.", {}, ZRURL::URLWithString(website));
        EXPECT_EQ(html(Lumora(primary, {})),
                  "<div class=\"application-description\" dir=\"auto\">Edits.</div>\n")
            << website;
    }
}

TEST_F(DocumentHTMLTest, IsolatesEveryTextFromTheDocument) {
    const std::string rlo = "\u202E";
    const auto helper =
        source("/Applications/Editor.app/Contents/XPCServices/" + rlo + "Sync.xpc",
               {description({Rule::host(rlo + "evil.example"), Rule::fuzzyDomainWildcard(rlo + "d")},
                            rlo + "Purpose.")},
               "Helps.", {Lumora::ServiceDescription(std::nullopt, rlo + "Name", rlo + "Says.")});
    const auto primary = source("/Applications/Editor.app", {}, rlo + "Edits.");
    const auto page = html(Lumora(primary, {helper}));
    EXPECT_THAT(page,
                HasSubstr("<div class=\"application-description\" dir=\"auto\">" + rlo + "Edits.</div>"));
    EXPECT_THAT(page,
                HasSubstr("<h3 dir=\"auto\">" + rlo + "Name</h3>\n<p dir=\"auto\">" + rlo + "Says.</p>"));
    EXPECT_THAT(page, HasSubstr("<h3>Outgoing TCP connections via <bdi>" + rlo + "Sync.xpc</bdi> to <bdi>" +
                                rlo + "evil.example</bdi> and the domain <bdi>" + rlo +
                                "d</bdi> on port 443</h3>\n"
                                "<p dir=\"auto\">" +
                                rlo + "Purpose.</p>"));
}

TEST_F(DocumentHTMLTest, IsAbsentOnlyWhenNothingIsLeft) {
    const Lumora empty(source("/Applications/Editor.app", {}, ""), {});
    EXPECT_EQ(html(empty, nullptr, defaultDocumentHTMLOptions & ~unsigned{includeDeveloperWebsite}),
              "<div class=\"application-description\" dir=\"auto\"></div>\n");
    EXPECT_EQ(html(empty, nullptr, includeConnectionPurposes), "<absent>");
}

TEST_F(DocumentHTMLTest, ShowsOnlyMatchingDescriptionsForASimulatedConnection) {
    const auto primary = source("/Applications/Editor.app",
                                {description({Rule::host("a.example")}, "Talks to a."),
                                 description({Rule::host("b.example")}, "Talks to b.")},
                                "Edits.", {Lumora::ServiceDescription(std::nullopt, "Share", "Shares.")});
    const Lumora document(primary, {});
    const ConnectionInformation connection(
        ConnectionInformation::ProcessInformation("/Applications/Editor.app/Contents/MacOS/Editor"),
        ConnectionInformation::NetworkInformation(false, {Endpoint::host("b.example")}, NetworkProtocol::tcp,
                                                  PortSet::withPort(443)));
    const auto page = html(document, &connection);
    EXPECT_EQ(page.find("Share"), std::string::npos);
    EXPECT_EQ(page.find("Talks to a."), std::string::npos);
    EXPECT_NE(page.find("Talks to b."), std::string::npos);
}

} // namespace
