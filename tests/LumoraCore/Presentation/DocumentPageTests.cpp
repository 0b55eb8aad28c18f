#include "Code/Model/LumoraSource.h"
#include "Code/Presentation/DocumentPage.h"
#include "Code/Presentation/HTMLText.h"
#include "Support/LanguageOverride.h"
#include "ZRFoundation/Localization/ZRLocalization.h"
#include "ZRFoundation/Localization/ZRLocalizedFormat.h"
#include "tests/Support/TemporaryFolder.h"

#include <gtest/gtest.h>

namespace {

using Snapshot = DocumentPageSnapshot;
using LoadState = Snapshot::LoadState;
using Description = Lumora::ConnectionDescription;

std::string text(std::string_view key) {
    return ZRLocalization::lookupLocalizedString(key, "MainWindow");
}

bool contains(const std::string& haystack, std::string_view needle) {
    return haystack.find(needle) != std::string::npos;
}

// The part of the page between the opening body line and the closing one.
std::string bodyOf(const std::string& page) {
    const std::string open = "    <body>\n        ";
    const std::string close = "\n    </body>\n</html>";
    const auto start = page.find(open);
    if (start == std::string::npos || !page.ends_with(close)) {
        return "<malformed page>";
    }
    return page.substr(start + open.size(), page.size() - close.size() - start - open.size());
}

class DocumentPageTest : public testing::Test {
protected:
    const LanguageOverride english{{"en"}};

    static std::shared_ptr<const Lumora> document(std::optional<std::string> developerName = "Example Ltd",
                                                  std::string purpose = "Edits text.",
                                                  std::vector<Description> descriptions = {}) {
        const auto primary = std::make_shared<const Lumora::Source>(
            Lumora::Source::SourceType::internal, ZRURL::fileURL("/Applications/Editor.app", true),
            ZRURL::fileURL("/Applications/Editor.app", true), std::move(developerName), std::nullopt,
            std::move(purpose), std::move(descriptions), std::vector<Lumora::ServiceDescription>{},
            std::nullopt);
        return std::make_shared<const Lumora>(primary, std::vector<std::shared_ptr<const Lumora::Source>>{});
    }

    static Description connection(std::string purpose) {
        return Description(false, {Description::HostMatchingRule::host("sync.example")}, NetworkProtocol::tcp,
                           PortSet::withPort(443), Description::Relevance::default_, std::move(purpose),
                           std::nullopt);
    }

    static Snapshot::InstalledApplication installed(LoadState state) {
        Snapshot::InstalledApplication application;
        application.bundlePath = "/Applications/Tools/Editor.app";
        application.infoDictionaryReadable = true;
        application.loadState = state;
        return application;
    }

    static Snapshot selecting(Snapshot::Application application) {
        Snapshot snapshot;
        snapshot.selection.push_back(std::move(application));
        return snapshot;
    }

    static Snapshot selecting(Snapshot::InstalledApplication application) {
        return selecting(Snapshot::Application{"Editor", {1, 2, 3}, std::move(application)});
    }

    // The detail lines of the header (everything between the name and the end of the text block).
    static std::string detailLines(const Snapshot& snapshot) {
        const auto body = bodyOf(pageHTML(snapshot));
        const auto start = body.find("</h1>\n        ");
        const auto end = body.find("\n    </div>\n</div>\n");
        if (start == std::string::npos || end == std::string::npos) {
            return "<no header>";
        }
        return body.substr(start + 14, end - start - 14);
    }
};

TEST_F(DocumentPageTest, SkeletonAndStyleSheetAreWrittenExactly) {
    const auto page = pageHTML(Snapshot{});
    EXPECT_TRUE(page.starts_with("<meta charset=\"UTF-8\">\n<html>\n    <head>\n"
                                 "        <meta http-equiv=\"Content-Security-Policy\" content=\"default-src "
                                 "'none'; style-src 'unsafe-inline'; img-src data:\">\n"
                                 "        <style>\n            html {\n"
                                 "                font-family: system-ui, -apple-system;\n            }\n"));
    EXPECT_TRUE(
        contains(page, "            h2 { /* general headings */\n                margin-top: 32px;\n"));
    EXPECT_TRUE(contains(page, "            }\n\n            .header {\n"));
    EXPECT_TRUE(contains(page,
                         "            .grant-read-permission input {\n"
                         "                -webkit-appearance: none; /* necessary to allow custom button "
                         "styling */\n                border: none;\n"));
    EXPECT_TRUE(contains(page, "            .application-description {\n                color: #666;\n"));
    EXPECT_TRUE(contains(page, "                line-height: 1.35em;\n            }\n        </style>\n"
                               "    </head>\n    <body>\n        <h2>"));
    EXPECT_TRUE(page.ends_with("</p>\n    </body>\n</html>"));
    // Five rules are preceded by an empty line, and nothing else is.
    std::size_t blankLines = 0;
    for (auto at = page.find("\n\n"); at != std::string::npos; at = page.find("\n\n", at + 1)) {
        blankLines += page.compare(at + 2, 12, std::string(12, ' ')) == 0;
    }
    EXPECT_EQ(blankLines, 5u);
}

TEST_F(DocumentPageTest, ColoursFollowTheAppearanceAndParseFromThreeHexForms) {
    // The accent colour replaces the button colour.
    EXPECT_EQ(PageColors::forAppearance(true, PageColor{1, 0, 0, 1}).button, "#ff0000");
    EXPECT_EQ(PageColors::forAppearance(true, std::nullopt).button, "#007aff");
    Snapshot snapshot;
    EXPECT_TRUE(contains(pageHTML(snapshot), "background-color: #ffffff;\n                color: #333;"));
    snapshot.dark = true;
    EXPECT_TRUE(contains(pageHTML(snapshot), "background-color: #1e1e1e;\n                color: #FFFFFF;"));
    // Hexadecimal colours come in three forms only.
    EXPECT_EQ(PageColor::colorWithHexString("#333")->hexString(), "#333333");
    EXPECT_EQ(PageColor::colorWithHexString("#0a0B0c")->hexString(), "#0a0b0c");
    const auto withAlpha = PageColor::colorWithHexString("#ffffff80");
    ASSERT_TRUE(withAlpha);
    EXPECT_NEAR(withAlpha->alpha, 128.0 / 255.0, 1e-12);
    // Every two-digit value survives the round trip through 0…1 and back.
    for (int value = 0; value < 256; ++value) {
        char hex[8];
        std::snprintf(hex, sizeof hex, "#%02x%02x%02x", value, value, value);
        EXPECT_EQ(PageColor::colorWithHexString(hex)->hexString(), hex);
    }
    for (const char* bad :
         {"", "#", "333", "#33", "#3333", "#12345", "#1234567", "#12345678a", "#gg0000", "#12 456"}) {
        EXPECT_FALSE(PageColor::colorWithHexString(bad)) << bad;
    }
}

TEST_F(DocumentPageTest, HeaderShowsIconNameAndDetailLines) {
    auto application = installed(LoadState::unavailable);
    application.version = "2.1";
    auto snapshot = selecting(application);
    const auto body = bodyOf(pageHTML(snapshot));
    EXPECT_TRUE(body.starts_with("<div class=\"header\">\n    <div class=\"icon\"><img\n    width=\"64\"\n"
                                 "    height=\"64\"\n    src=\"data:image/png;base64,AQID\"\n/></div>\n"
                                 "    <div class=\"text\">\n        <h1 dir=\"auto\">Editor</h1>\n        "
                                 "<p>Version <bdi>2.1</bdi></p>"
                                 "<p dir=\"auto\">/Applications/Tools</p>\n    </div>\n</div>\n<h2>"));
}

TEST_F(DocumentPageTest, CopyrightAndDeveloperLinesFollowTheirRules) {
    const std::string folder = "<p dir=\"auto\">/Applications/Tools</p>";
    const struct {
        LoadState state;
        std::optional<std::string> copyright;
        bool readable;
        std::string expected;
    } cases[] = {
        {LoadState::loaded, "Copyright 2020 Example", true,
         "<p dir=\"auto\">Example Ltd</p><p dir=\"auto\"> Copyright 2020 Example</p>" + folder},
        {LoadState::loaded, "\"2020 Example Ltd\"", true,
         "<p>Copyright  <bdi>2020 Example Ltd</bdi></p>" + folder},
        // The comparison is case-sensitive.
        {LoadState::loaded, "© 2020 EXAMPLE LTD", true,
         "<p dir=\"auto\">Example Ltd</p><p>Copyright  <bdi>© 2020 EXAMPLE LTD</bdi></p>" + folder},
        // The developer line belongs to the loaded state only; an unreadable bundle keeps only its folder.
        {LoadState::loadPending, std::nullopt, true, folder},
        {LoadState::loaded, "Copyright 2020", false, folder},
    };
    for (const auto& [state, copyright, readable, expected] : cases) {
        auto application = installed(state);
        application.document = document("Example Ltd");
        application.version = readable ? std::nullopt : std::optional<std::string>("1.0");
        application.copyright = copyright;
        application.infoDictionaryReadable = readable;
        EXPECT_EQ(detailLines(selecting(application)), expected) << copyright.value_or("-");
    }
}

TEST_F(DocumentPageTest, SignatureLineFollowsTheFolderLine) {
    using Kind = LumoraSignatureSummary::Kind;
    const std::time_t february10 = 1676030400; // 2023-02-10 12:00 UTC
    const std::nullopt_t none = std::nullopt;
    const struct {
        LumoraSignatureSummary signature;
        const char* english;
        const char* german;
    } cases[] = {
        {{Kind::developerID, "Example <Ltd> (TEAM1)", "TEAM1", february10, none},
         "Developer ID: <bdi>Example &lt;Ltd&gt; (TEAM1)</bdi>, signed on February 10, 2023",
         "Developer ID: <bdi>Example &lt;Ltd&gt; (TEAM1)</bdi>, signiert am 10. Februar 2023"},
        {{Kind::development, "Jo (TEAM1)", "TEAM1", none, none},
         "Development certificate: <bdi>Jo (TEAM1)</bdi>",
         "Entwicklungszertifikat: <bdi>Jo (TEAM1)</bdi>"},
        {{Kind::macAppStore, "Mac App Store (TEAM1)", "TEAM1", none, none}, "Mac App Store", "Mac App Store"},
        {{Kind::apple, "Apple, Inc.", none, february10, none},
         "Apple, signed on February 10, 2023",
         "Apple, signiert am 10. Februar 2023"},
        {{Kind::adHoc, none, none, none, none},
         "Ad hoc signature (no developer identity)",
         "Ad-hoc-Signatur (keine Entwickleridentität)"},
        {{Kind::notSigned, none, none, none, none}, "Not signed", "Nicht signiert"},
        {{Kind::invalid, none, none, none, "chain <broken>"},
         "Signature not valid: <bdi>chain &lt;broken&gt;</bdi>",
         "Signatur ungültig: <bdi>chain &lt;broken&gt;</bdi>"},
    };
    auto application = installed(LoadState::loaded);
    auto trusted = std::make_shared<Lumora>(*document());
    trusted->setTrustedThroughExtraAnchor(true);
    application.document = trusted;
    for (const auto& testCase : cases) {
        application.signature = testCase.signature;
        for (const auto& [language, expected] :
             {std::pair{"en", testCase.english}, {"de", testCase.german}}) {
            const LanguageOverride override{{language}};
            // Between the folder and the mark of an added authority.
            EXPECT_TRUE(detailLines(selecting(application))
                            .ends_with("<p dir=\"auto\">/Applications/Tools</p><p>" + std::string(expected) +
                                       "</p><p>" + text("documentTrustedThroughExtraAnchorInfo") + "</p>"))
                << detailLines(selecting(application));
        }
    }
}

TEST_F(DocumentPageTest, EveryLoadStateHasItsContent) {
    const auto contentOf = [](const Snapshot& snapshot) {
        const auto body = bodyOf(pageHTML(snapshot));
        return body.substr(body.find("\n</div>\n") + 8);
    };
    EXPECT_EQ(contentOf(selecting(installed(LoadState::loadPending))),
              "<h2>" + text("lumoraLoadPendingHeading") + "</h2>");
    EXPECT_EQ(contentOf(selecting(installed(LoadState::unavailable))),
              "<h2>" + text("lumoraUnavailableHeading") + "</h2>\n" +
                  paragraphsHTML(text("lumoraUnavailableText")));
    auto failed = installed(LoadState::loadFailed);
    failed.errorDescription = "The file <x> is damaged.";
    EXPECT_EQ(contentOf(selecting(failed)), "<h2>" + text("lumoraLoadFailedHeading") + "</h2>\n" +
                                                paragraphsHTML(text("lumoraLoadFailedText")) +
                                                "\n<p>The file &lt;x&gt; is damaged.</p>");
    EXPECT_EQ(contentOf(selecting(installed(LoadState::noReadPermission))),
              "<h2>" + text("lumoraNoReadPermissionForSelectedApplicationHeading") + "</h2>\n" +
                  paragraphsHTML(text("lumoraNoReadPermissionForSelectedApplicationText")) + "\n\n" +
                  grantReadPermissionFormHTML("/Applications/Tools"));

    // A document without connections gets the note; one with connections does not.
    auto loaded = installed(LoadState::loaded);
    loaded.document = document();
    const auto empty = contentOf(selecting(loaded));
    EXPECT_TRUE(empty.starts_with("<div class=\"application-description\" dir=\"auto\">Edits text.</div>\n"));
    EXPECT_TRUE(empty.ends_with("<h3>" + text("lumoraHasNoConnectionDescriptionsHeading") + "</h3>" +
                                paragraphsHTML(text("lumoraHasNoConnectionDescriptionsText"))));
    loaded.document = document("Example Ltd", "Edits text.", {connection("Syncs your notes.")});
    const auto withConnection = contentOf(selecting(loaded));
    EXPECT_FALSE(contains(withConnection, text("lumoraHasNoConnectionDescriptionsHeading")));
    EXPECT_TRUE(contains(
        withConnection,
        "<h3>Outgoing connections to <bdi>sync.example</bdi></h3>\n<p dir=\"auto\">Syncs your notes.</p>"));
    auto snapshot = selecting(loaded);
    snapshot.showPortsAndProtocols = true;
    EXPECT_TRUE(contains(pageHTML(snapshot),
                         "<h3>Outgoing TCP connections to <bdi>sync.example</bdi> on port 443</h3>"));
}

TEST_F(DocumentPageTest, PreviewApplicationsShowTheirListEntry) {
    Snapshot::Application preview{
        "Mail & More", {}, Snapshot::PreviewApplication{"Mail Ltd", "", "https://x.example/a?b=1&c=2"}};
    const auto body = bodyOf(pageHTML(selecting(preview)));
    EXPECT_TRUE(
        contains(body, "<h1 dir=\"auto\">Mail &amp; More</h1>\n        <p dir=\"auto\">Mail Ltd</p><p>" +
                           text("previewApplicationNotInstalledInfo") + "</p>\n"));
    EXPECT_TRUE(contains(body, "<div class=\"application-description\" dir=\"auto\">No description of "
                               "<bdi>Mail &amp; More</bdi> is available.</div>\n"
                               "<p><a href=\"https://x.example/a?b=1&amp;c=2\">"));
    auto& entry = std::get<Snapshot::PreviewApplication>(preview.kind);
    entry.developerName.clear();
    entry.applicationDescription = "Reads [mail](https://mail.example) and [runs](javascript:alert(1)).";
    const auto described = bodyOf(pageHTML(selecting(preview)));
    EXPECT_TRUE(contains(described, "<h1 dir=\"auto\">Mail &amp; More</h1>\n        <p>" +
                                        text("previewApplicationNotInstalledInfo")));
    EXPECT_TRUE(contains(described, "<a href=\"https://mail.example\">mail</a>"));
    EXPECT_FALSE(contains(described, "href=\"javascript"));

    // Anything that is neither installed nor a preview has a name and nothing else.
    const auto other = bodyOf(pageHTML(selecting(Snapshot::Application{"Other", {}, std::monostate{}})));
    EXPECT_TRUE(other.ends_with("<h1 dir=\"auto\">Other</h1>\n        \n    </div>\n</div>\n"));
}

TEST_F(DocumentPageTest, EmptySelectionOffersReadAccessOrPreviewApplications) {
    Snapshot snapshot;
    const std::string emptyText =
        "<h2>" + text("emptySelectionHeading") + "</h2>\n" + paragraphsHTML(text("emptySelectionText"));
    EXPECT_EQ(bodyOf(pageHTML(snapshot)), emptyText);
    // Two selected applications read exactly like none.
    snapshot.selection = {Snapshot::Application{"A", {}, {}}, Snapshot::Application{"B", {}, {}}};
    EXPECT_EQ(bodyOf(pageHTML(snapshot)), emptyText);

    snapshot.initialLoadingFinished = true;
    EXPECT_EQ(bodyOf(pageHTML(snapshot)), emptyText) << "no featured list is offered";
    snapshot.previewApplicationsSourceOffered = true;
    const auto withPreview = bodyOf(pageHTML(snapshot));
    EXPECT_TRUE(contains(withPreview,
                         "<br/>\n\n<div class=\"previewApplicationsHeader\">\n    <div class=\"icon\"><img\n"
                         "    width=\"22\""));
    EXPECT_TRUE(withPreview.ends_with("\n<div class=\"showPreviewApplicationsForm\">\n    <form "
                                      "action=\"showPreviewApplications\" method=\"post\">\n        <input "
                                      "type=\"submit\" value=\"" +
                                      text("showPreviewApplicationsButtonTitle") +
                                      "\">\n    </form>\n</div>"));
    snapshot.previewApplicationsSourceEnabled = true;
    EXPECT_EQ(bodyOf(pageHTML(snapshot)), emptyText);
    snapshot.previewApplicationsSourceEnabled = false;

    // The home folder alone: its own text and no list. Read access takes precedence over previews.
    snapshot.homeFolder = "/home/ada";
    snapshot.proposedFoldersToGrantReadPermission = {"/home/ada/"};
    const auto home = bodyOf(pageHTML(snapshot));
    EXPECT_TRUE(contains(home, paragraphsHTML(text("lumoraNoReadPermissionForHomeDirectoryText"))));
    EXPECT_FALSE(contains(home, "<ul>"));
    EXPECT_FALSE(contains(home, "previewApplicationsHeader"));
    EXPECT_TRUE(home.ends_with(grantReadPermissionFormHTML("/home/ada")));

    snapshot.proposedFoldersToGrantReadPermission = {"/srv/apps <old>", "/opt"};
    const auto list = bodyOf(pageHTML(snapshot));
    EXPECT_TRUE(contains(list, paragraphsHTML(text("lumoraNoReadPermissionTextAboveTable")) +
                                   "\n<ul>\n    <li dir=\"auto\">/srv/apps &lt;old&gt;</li>\n    <li "
                                   "dir=\"auto\">/opt</li>\n</ul>\n" +
                                   paragraphsHTML(text("lumoraNoReadPermissionTextBelowTable")) +
                                   grantReadPermissionFormHTML("/srv/apps <old>")));
    snapshot.proposedFoldersToGrantReadPermission = {"/home/ada/Applications"};
    EXPECT_TRUE(contains(bodyOf(pageHTML(snapshot)),
                         "<ul>\n    <li dir=\"auto\">/home/ada/Applications</li>\n</ul>"));
}

TEST_F(DocumentPageTest, PreviewsLinkNeitherAnUnsafeWebsiteNorTheirName) {
    const auto body = bodyOf(pageHTML(
        selecting(Snapshot::Application{"[Mail](https://evil.example)",
                                        {},
                                        Snapshot::PreviewApplication{"", "Reads.", "javascript:alert(1)"}})));
    EXPECT_TRUE(body.ends_with("<div class=\"application-description\" dir=\"auto\">Reads.</div>")) << body;
    EXPECT_TRUE(contains(bodyOf(pageHTML(selecting(Snapshot::Application{
                             "[Mail](https://evil.example)",
                             {},
                             Snapshot::PreviewApplication{"", "", "https://mail.example"}}))),
                         "No description of <bdi>&#91;Mail&#93;&#40;https://evil.example&#41;</bdi>"));
}

TEST_F(DocumentPageTest, EveryThirdPartyTextIsIsolated) {
    const std::string rlo = "\u202E";
    auto application = installed(LoadState::loaded);
    application.bundlePath = "/Apps/" + rlo + "Tools/Editor.app";
    application.version = rlo + "1.0";
    application.copyright = rlo + "2020 Example";
    application.document = document(rlo + "Example Ltd");
    Snapshot folders;
    folders.proposedFoldersToGrantReadPermission = {"/srv/" + rlo + "apps"};
    const auto bodies =
        bodyOf(pageHTML(selecting(Snapshot::Application{rlo + "Editor", {}, application}))) +
        bodyOf(pageHTML(selecting(Snapshot::Application{
            rlo + "Mail", {}, Snapshot::PreviewApplication{rlo + "Mail Ltd", "", "https://mail.example"}}))) +
        bodyOf(pageHTML(folders));
    for (const std::string& isolated :
         {"<h1 dir=\"auto\">" + rlo + "Editor</h1>", "<p>Version <bdi>" + rlo + "1.0</bdi></p>",
          "<p dir=\"auto\">" + rlo + "Example Ltd</p>",
          "<p>Copyright  <bdi>" + rlo + "2020 Example</bdi></p>",
          "<p dir=\"auto\">/Apps/" + rlo + "Tools</p>", "<h1 dir=\"auto\">" + rlo + "Mail</h1>",
          "<p dir=\"auto\">" + rlo + "Mail Ltd</p>",
          "No description of <bdi>" + rlo + "Mail</bdi> is available.",
          "<li dir=\"auto\">/srv/" + rlo + "apps</li>"}) {
        EXPECT_TRUE(contains(bodies, isolated)) << isolated << "\n" << bodies;
    }
}

TEST_F(DocumentPageTest, GrantFormCarriesTheFolderURLIntact) {
    const auto form = grantReadPermissionFormHTML("/Users/ada/Mein Ordner/ä");
    EXPECT_EQ(form, "<div class=\"grant-read-permission\">\n    <form action=\"grantReadPermission?fileURL="
                    "file%3A%2F%2F%2FUsers%2Fada%2FMein%2520Ordner%2F%25C3%25A4%2F\" method=\"post\">\n"
                    "        <input type=\"submit\" value=\"" +
                        text("grantReadPermissionButtonTitle") + "\">\n    </form>\n</div>");
}

TEST_F(DocumentPageTest, ThirdPartyTextsCannotInjectMarkup) {
    auto application = installed(LoadState::loaded);
    application.bundlePath = "/Apps/<script>x</script>/Evil.app";
    application.version = "1\"><img src=x onerror=alert(1)>";
    application.copyright = "<iframe src=\"https://evil.example\">";
    // The document's own texts are the fragment's to escape.
    application.document = document("<b onclick=x>Dev</b>");
    const auto page = pageHTML(selecting(Snapshot::Application{"<h1>Evil</h1>", {}, application}));
    const auto body = bodyOf(page);
    for (const char* forbidden : {"<script", "<img src", "<iframe", "<b ", "<h1>Evil"}) {
        EXPECT_FALSE(contains(body, forbidden)) << forbidden;
    }
    EXPECT_TRUE(contains(body, "/Apps/&lt;script&gt;x&lt;/script&gt;"));
    EXPECT_TRUE(contains(page, "default-src 'none'"));
}

TEST_F(DocumentPageTest, TheSandboxIsShownAboveAndBesideTheDeclarations) {
    const auto page = [&](std::optional<ZREntitlements> entitlements, bool connects = true) {
        auto sandboxed = std::make_shared<Lumora>(
            *document("Example Ltd", "Edits text.",
                      connects ? std::vector{connection("Syncs.")} : std::vector<Description>{}));
        sandboxed->setEntitlements(std::move(entitlements));
        auto application = installed(LoadState::loaded);
        application.document = sandboxed;
        return bodyOf(pageHTML(selecting(application)));
    };
    const auto note = [](std::string_view key) { return "<p class=\"sandbox-note\">" + text(key) + "</p>"; };
    const auto noClient = page(ZREntitlements{true, false, true, true, {}});
    EXPECT_TRUE(contains(noClient,
                         "<div class=\"sandbox\"><p>" +
                             ZRLocalizedFormat::format(text("sandboxOnInfo %@ %@"),
                                                       {text("sandboxNotAllowed"), text("sandboxAllowed")}) +
                             "</p><p>" + text("hardenedRuntimeOnInfo") + "</p></div>\n"));
    EXPECT_TRUE(contains(noClient, "<p dir=\"auto\">Syncs.</p>\n" + note("sandboxNote_outgoingNotAllowed")));
    // Allowed to connect out, the connection needs no note; the top needs none either.
    EXPECT_FALSE(contains(page(ZREntitlements{true, true, false, false, {}}), "sandbox-note"));
    EXPECT_TRUE(contains(page(ZREntitlements{true, true, false, false, {}}, false),
                         "</p>" + note("sandboxNote_outgoingAllowedButNoneDeclared") + "</div>"));
    const auto unsandboxed = page(ZREntitlements{false, false, false, false, "unreadable"});
    EXPECT_TRUE(contains(unsandboxed, "<div class=\"sandbox\"><p>" + text("sandboxOffInfo") + "</p><p>" +
                                          text("hardenedRuntimeOffInfo") + "</p><p>" +
                                          text("entitlementsUnreadableInfo") + "</p></div>"));
    EXPECT_FALSE(contains(page(std::nullopt), "class=\"sandbox"));
}

TEST_F(DocumentPageTest, EveryPageTextIsTranslated) {
    for (const char* language : {"en", "de"}) {
        ZRPreferredLanguages::overridePreferredLanguages(std::vector<std::string>{language});
        const auto expectTranslated = [&](std::initializer_list<std::string_view> keys) {
            for (const auto key : keys) {
                const auto value = text(key);
                EXPECT_NE(value, key) << language << ": " << key;
                // A format takes its arguments in order or by position ("%1$@").
                EXPECT_EQ(key.ends_with("%@"), contains(value, "%@") || contains(value, "$@"))
                    << language << ": " << key;
            }
        };
        expectTranslated({"emptySelectionHeading", "emptySelectionText", "lumoraLoadPendingHeading",
                          "lumoraLoadFailedHeading", "lumoraLoadFailedText", "lumoraUnavailableHeading",
                          "lumoraUnavailableText", "lumoraNoReadPermissionForSelectedApplicationHeading",
                          "lumoraNoReadPermissionForSelectedApplicationText", "lumoraNoReadPermissionHeading",
                          "lumoraNoReadPermissionForHomeDirectoryText",
                          "lumoraNoReadPermissionTextAboveTable", "lumoraNoReadPermissionTextBelowTable",
                          "grantReadPermissionButtonTitle", "showPreviewApplicationsHeading",
                          "showPreviewApplicationsText", "showPreviewApplicationsButtonTitle",
                          "lumoraHasNoConnectionDescriptionsHeading",
                          "lumoraHasNoConnectionDescriptionsText"});
        expectTranslated({"applicationVersionFormat %@", "previewApplicationNotInstalledInfo",
                          "noAppDescriptionAvailableFormat %@", "documentTrustedThroughExtraAnchorInfo",
                          "signatureDeveloperIDFormat %@", "signatureDevelopmentFormat %@", "signatureAdHoc",
                          "signatureNotSigned", "signatureNotValidFormat %@",
                          "signatureTimestampFormat %@ %@"});
        expectTranslated({"sandboxOnInfo %@ %@", "sandboxAllowed", "sandboxNotAllowed", "sandboxOffInfo",
                          "hardenedRuntimeOnInfo", "hardenedRuntimeOffInfo", "entitlementsUnreadableInfo",
                          "sandboxNote_incomingNotAllowed", "sandboxNote_outgoingNotAllowed",
                          "sandboxNote_outgoingAllowedButNoneDeclared"});
        for (const auto key :
             {"loading", "loadingFinishedFormat %lld", "loadError", "cancelButtonTitle", "doneButtonTitle"}) {
            EXPECT_NE(ZRLocalization::lookupLocalizedString(key, "PreviewApplicationsLoadingSheet"), key)
                << language;
        }
    }
}

TEST_F(DocumentPageTest, InstalledApplicationFactsApplyLocalizedInfoValues) {
    TemporaryFolder folder;
    const auto bundle = folder.path() / "Editor.app";
    folder.write("Editor.app/Contents/Info.plist",
                 "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>"
                 "<key>CFBundleShortVersionString</key><string>3.0</string>"
                 "<key>NSHumanReadableCopyright</key><string>Copyright 2024 Example</string>"
                 "</dict></plist>");
    folder.write("Editor.app/Contents/Resources/en.lproj/InfoPlist.strings",
                 "\"NSHumanReadableCopyright\" = \"© 2024 Example, all rights reserved\";");
    const auto facts = installedApplicationFacts(bundle);
    EXPECT_EQ(std::tuple(facts.infoDictionaryReadable, facts.version, facts.copyright, facts.bundlePath),
              std::tuple(true, "3.0", "© 2024 Example, all rights reserved", bundle));
    const auto missing = installedApplicationFacts(folder.path() / "Missing.app");
    EXPECT_FALSE(missing.infoDictionaryReadable || missing.version);
}

} // namespace
