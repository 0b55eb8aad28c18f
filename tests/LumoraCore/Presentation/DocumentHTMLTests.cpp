#include "Code/Model/LumoraSource.h"
#include "Code/Presentation/ConnectionHeading.h"
#include "Code/Presentation/DocumentHTML.h"
#include "ZRFoundation/Localization/ZRPreferredLanguages.h"

#include <gtest/gtest.h>

namespace {

using Description = Lumora::ConnectionDescription;
using Rule = Description::HostMatchingRule;
using Endpoint = ConnectionInformation::NetworkInformation::RemoteEndpoint;

class DocumentHTMLTest : public testing::Test {
protected:
    void SetUp() override {
        ZRPreferredLanguages::overridePreferredLanguages(std::vector<std::string>{"en"});
    }
    void TearDown() override { ZRPreferredLanguages::overridePreferredLanguages(std::nullopt); }

    static std::shared_ptr<const Lumora::Source>
    source(const std::string& path, std::vector<Description> descriptions,
           std::string purpose = "Edits text.", std::vector<Lumora::ServiceDescription> services = {}) {
        return std::make_shared<const Lumora::Source>(
            Lumora::Source::SourceType::internal, ZRURL::fileURL(path, true), ZRURL::fileURL(path, true),
            std::string("Example"), ZRURL::URLWithString("https://example.com/?a=1&b=2"), std::move(purpose),
            std::move(descriptions), std::move(services), std::nullopt);
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
              "Outgoing TCP connections to a.example and b.example on port 443");
    EXPECT_EQ(connectionHeading(helper->connectionDescriptions()[0], *helper, document, false, pairs, {}),
              "Incoming UDP connections on port 5353 from the local network via Sync.xpc");
    EXPECT_EQ(connectionHeading(helper->connectionDescriptions()[1], *helper, document, false, pairs, {}),
              "Outgoing connections via Sync.xpc to any host");
    // With a simulated connection only the rules that match its endpoints are named: the wildcard
    // rates no better than a fallback and the host rule names the endpoint exactly.
    const auto heading = connectionHeading(helper->connectionDescriptions()[1], *helper, document, false,
                                           pairs, {Endpoint::host("x")});
    EXPECT_NE(heading.find("Outgoing"), std::string::npos);
}

TEST_F(DocumentHTMLTest, BuildsTheFragmentInOrder) {
    const auto primary =
        source("/Applications/Editor.app",
               {description({Rule::host("a.example")}, "Syncs  documents", std::string("Nothing syncs.")),
                description({Rule::host("b.example")}, " \n ", std::nullopt),
                description({Rule::host("c.example")}, "", std::string("Lost."))},
               "Edits\ttext.", {Lumora::ServiceDescription(std::nullopt, "Share", "Shares files.")});
    const Lumora document(primary, {});
    EXPECT_EQ(
        html(document),
        "<div class=\"application-description\">Edits text.</div>\n"
        "<p><a href=\"https://example.com/?a=1&amp;b=2\">Website of the developer</a></p>\n"
        "<h3>Share</h3>\n<p>Shares files.</p>\n"
        "<h3>Outgoing TCP connections to a.example on port 443</h3>\n<p>Syncs documents Nothing syncs.</p>\n"
        "<h3>Outgoing TCP connections to c.example on port 443</h3>\n<p> Lost.</p>\n");
    // Abbreviated, a lone TCP description names neither protocol nor ports.
    EXPECT_NE(html(document, nullptr, defaultDocumentHTMLOptions | abbreviatePortsAndProtocols)
                  .find("<h3>Outgoing connections to a.example</h3>"),
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
    EXPECT_NE(page.find("via &lt;i&gt;x.xpc"), std::string::npos);
}

TEST_F(DocumentHTMLTest, IsAbsentOnlyWhenNothingIsLeft) {
    const Lumora empty(source("/Applications/Editor.app", {}, ""), {});
    EXPECT_EQ(html(empty, nullptr, defaultDocumentHTMLOptions & ~unsigned{includeDeveloperWebsite}),
              "<div class=\"application-description\"></div>\n");
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
