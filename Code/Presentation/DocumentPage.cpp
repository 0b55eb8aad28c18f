#include "Code/Presentation/DocumentPage.h"

#include "Code/Model/LumoraSource.h"
#include "Code/Presentation/DocumentHTML.h"
#include "Code/Presentation/HTMLText.h"
#include "ZRFoundation/Bundle/ZRBundle.h"
#include "ZRFoundation/Localization/ZRLocalization.h"
#include "ZRFoundation/Localization/ZRLocalizedFormat.h"
#include "ZRFoundation/Localization/ZRPreferredLanguages.h"
#include "ZRFoundation/PropertyList/ZRPropertyList.h"
#include "ZRFoundation/PropertyList/ZRTypedAccessors.h"
#include "ZRFoundation/Text/ZRBase64.h"
#include "ZRFoundation/URL/ZRURL.h"

#include <array>
#include <ctime>
#include <memory>

#include <unicode/datefmt.h>
#include <unicode/locid.h>
#include <unicode/unistr.h>

namespace {

using Snapshot = DocumentPageSnapshot;

constexpr std::string_view contentSecurityPolicy =
    "default-src 'none'; style-src 'unsafe-inline'; img-src data:";

std::string localize(std::string_view key) {
    return ZRLocalization::lookupLocalizedString(key, "MainWindow");
}

std::string format(const std::string& format, const std::string& argument) {
    return ZRLocalizedFormat::format(format, {argument});
}

// A date in the reader's language and time zone, in the long style ("10 February 2023").
std::string longDate(std::time_t time) {
    const auto languages = ZRPreferredLanguages::preferredLanguages();
    UErrorCode status = U_ZERO_ERROR;
    const auto locale = icu::Locale::forLanguageTag(languages.empty() ? "en" : languages.front(), status);
    const std::unique_ptr<icu::DateFormat> formatter(
        icu::DateFormat::createDateInstance(icu::DateFormat::kLong, U_SUCCESS(status) ? locale : "en"));
    if (!formatter) {
        return {};
    }
    icu::UnicodeString text;
    formatter->format(static_cast<UDate>(time) * 1000.0, text);
    std::string utf8;
    return text.toUTF8String(utf8);
}

// The line saying who signed: the kind with the signer, then the date a timestamp authority
// vouched for.
std::string signatureLine(const LumoraSignatureSummary& signature) {
    using Kind = LumoraSignatureSummary::Kind;
    const auto isolated = [](const std::optional<std::string>& text) {
        return isolatedHTML(escapeHTML(text.value_or("")));
    };
    std::string line;
    switch (signature.kind) {
    case Kind::developerID:
        line = format(localize("signatureDeveloperIDFormat %@"), isolated(signature.author));
        break;
    case Kind::macAppStore:
        line = localize("signatureMacAppStore");
        break;
    case Kind::apple:
        line = localize("signatureApple");
        break;
    case Kind::development:
        line = format(localize("signatureDevelopmentFormat %@"), isolated(signature.author));
        break;
    case Kind::adHoc:
        line = localize("signatureAdHoc");
        break;
    case Kind::notSigned:
        line = localize("signatureNotSigned");
        break;
    case Kind::invalid:
        line = format(localize("signatureNotValidFormat %@"), isolated(signature.error));
        break;
    }
    if (signature.secureTimestamp) {
        line = ZRLocalizedFormat::format(localize("signatureTimestampFormat %@ %@"),
                                         {line, escapeHTML(longDate(*signature.secureTimestamp))});
    }
    return line;
}

// A path as the page names it: without a trailing slash (except for the root).
std::string pathText(const std::filesystem::path& path) {
    std::string text = path.lexically_normal().string();
    while (text.size() > 1 && text.back() == '/') {
        text.pop_back();
    }
    return text;
}

std::filesystem::path containingFolder(const std::filesystem::path& bundlePath) {
    return std::filesystem::path(pathText(bundlePath)).parent_path();
}

// ---- Style sheet

struct StyleRule {
    std::string_view selector;
    std::string_view comment;
    std::vector<std::string> declarations;
    bool blankLineBefore = false;
};

std::vector<std::string> buttonDeclarations(const PageColors& colors) {
    return {"-webkit-appearance: none; /* necessary to allow custom button styling */",
            "border: none;",
            "border-radius: 0.25em;",
            "color: white;",
            "background-color: " + colors.button + ";",
            "font-size: 13pt;",
            "padding: 0.4em 1.5em;"};
}

std::vector<StyleRule> styleRules(const PageColors& colors) {
    const std::vector<std::string> textDeclarations{"font-size: 13pt;", "line-height: 18pt;",
                                                    "color: " + colors.paragraph + ";",
                                                    "word-break: break-word;"};
    const std::vector<std::string> iconBeside{"margin-right: 8px;", "margin-top: 3px;"};
    const std::vector<std::string> sideHeader{"display: flex;", "flex-direction: row;",
                                              "align-items: flex-start;"};
    const std::vector<std::string> sideText{"display: flex;", "flex-direction: column;",
                                            "align-items: flex-start;", "justify-content: center;"};
    const std::vector<std::string> pressed{"background-color: " + colors.buttonPressed + ";"};
    return {
        {"html", "", {"font-family: system-ui, -apple-system;"}},
        {"body",
         "",
         {"background-color: " + colors.background + ";", "color: " + colors.text + ";", "padding: 36px;",
          "max-width: 1000px;"}},
        {"a", "", {"color: " + colors.link + ";"}},
        {"h1", "", {"font-size: 20pt;", "font-weight: bold;"}},
        {"h2",
         "general headings",
         {"margin-top: 32px;", "margin-bottom: 0px;", "font-size: 16pt;", "font-weight: normal;",
          "line-height: 1.35em;", "color: " + colors.heading + ";"}},
        {"h2:first-child", "", {"margin-top: 0;"}},
        {"body > h3, body > p",
         "long pages: what is out of view is laid out only when it scrolls in",
         {"content-visibility: auto;", "contain-intrinsic-size: auto 40px;"}},
        {"h3",
         "connection header",
         {"margin-top: 42px;", "margin-bottom: 0px;", "font-size: 13pt;", "font-weight: bold;",
          "line-height: 24px;"}},
        {"h3 + p", "", {"margin-top: 8px;"}},
        {"p", "", textDeclarations},
        {"li", "", textDeclarations},
        {".header",
         "",
         {"display: flex;", "flex-direction: row;", "align-items: stretch;", "min-height: 140px;"},
         true},
        {".header > .text",
         "",
         {"display: flex;", "flex-direction: column;", "align-items: flex-start;", "justify-content: top;",
          "word-break: break-word;"}},
        {".header > .text h1",
         "application name",
         {"margin: 0;", "margin-top: 16px;", "margin-bottom: 8pt;", "padding: 0;"}},
        {".header > .text p",
         "application detail lines",
         {"margin: 2px 0;", "padding: 0;", "font-size: 13px;", "line-height: 16px;",
          "color: " + colors.detail + ";"}},
        {".header > .icon", "", {"margin-right: 16px;"}},
        {".noReadPermissionHeader", "", sideHeader, true},
        {".noReadPermissionHeader > .icon", "", iconBeside},
        {".noReadPermissionHeader > .text", "", sideText},
        {".noReadPermissionHeader > .text h2", "cannot read warning", {"margin: 0;", "padding: 0;"}},
        {".previewApplicationsHeader", "", sideHeader, true},
        {".previewApplicationsHeader > .icon", "", iconBeside},
        {".previewApplicationsHeader > .text", "", sideText},
        {".previewApplicationsHeader > .text h2", "", {"margin: 0;", "padding: 0;"}},
        {".showPreviewApplicationsForm", "", {"text-align: center;", "margin-top: 30px;"}, true},
        {".showPreviewApplicationsForm input", "", buttonDeclarations(colors)},
        {".showPreviewApplicationsForm input:active", "", pressed},
        {".grant-read-permission", "", {"text-align: center;", "margin-top: 30px;"}, true},
        {".grant-read-permission input", "", buttonDeclarations(colors)},
        {".grant-read-permission input:active", "", pressed},
        {".application-description",
         "",
         {"color: " + colors.description + ";", "margin-top: 32px;", "margin-bottom: 0px;",
          "font-size: 16pt;", "font-weight: normal;", "line-height: 1.35em;"}},
    };
}

std::string styleSheet(const PageColors& colors) {
    std::string text;
    for (const auto& rule : styleRules(colors)) {
        if (rule.blankLineBefore) {
            text += "\n";
        }
        text += std::string(12, ' ') + std::string(rule.selector) + " {";
        if (!rule.comment.empty()) {
            text += " /* " + std::string(rule.comment) + " */";
        }
        text += "\n";
        for (const auto& declaration : rule.declarations) {
            text += std::string(16, ' ') + declaration + "\n";
        }
        text += std::string(12, ' ') + "}\n";
    }
    return text;
}

// ---- Header

std::string paragraph(const std::string& html) {
    return "<p>" + html + "</p>";
}

// A paragraph holding one third-party text and nothing else, isolated as a whole.
std::string isolatedParagraph(const std::string& html) {
    return "<p dir=\"auto\">" + html + "</p>";
}

std::string installedDetailLines(const Snapshot::InstalledApplication& application) {
    std::string lines;
    if (application.infoDictionaryReadable) {
        if (application.version) {
            lines += paragraph(format(localize("applicationVersionFormat %@"),
                                      isolatedHTML(escapeHTML(*application.version))));
        }
        if (application.loadState == Snapshot::LoadState::loaded && application.document) {
            const auto& developerName = application.document->primarySource()->developerName();
            const bool namedInCopyright = application.copyright && developerName &&
                                          application.copyright->find(*developerName) != std::string::npos;
            if (developerName && !namedInCopyright) {
                lines += isolatedParagraph(escapeHTML(*developerName));
            }
        }
        if (application.copyright) {
            std::string_view trimmed = *application.copyright;
            while (!trimmed.empty() && trimmed.front() == '"') {
                trimmed.remove_prefix(1);
            }
            while (!trimmed.empty() && trimmed.back() == '"') {
                trimmed.remove_suffix(1);
            }
            lines += trimmed.starts_with("Copyright")
                         ? isolatedParagraph(" " + escapeHTML(trimmed))
                         : paragraph("Copyright  " + isolatedHTML(escapeHTML(trimmed)));
        }
    }
    if (const auto& origin = application.archiveOrigin) {
        const auto archiveName = escapeHTML(origin->archive.filename().string());
        lines +=
            paragraph(origin->folderInArchive().empty()
                          ? format(localize("applicationInArchiveFormat %@"), isolatedHTML(archiveName))
                          : ZRLocalizedFormat::format(localize("applicationInArchiveFolderFormat %@ %@"),
                                                      {isolatedHTML(archiveName),
                                                       isolatedHTML(escapeHTML(origin->folderInArchive()))}));
    } else {
        lines += isolatedParagraph(escapeHTML(pathText(containingFolder(application.bundlePath))));
    }
    if (application.signature) {
        lines += paragraph(signatureLine(*application.signature));
    }
    if (application.loadState == Snapshot::LoadState::loaded && application.document &&
        application.document->isTrustedThroughExtraAnchor()) {
        lines += paragraph(localize("documentTrustedThroughExtraAnchorInfo"));
    }
    return lines;
}

std::string headerHTML(const Snapshot::Application& application) {
    std::string detailLines;
    if (const auto* installed = std::get_if<Snapshot::InstalledApplication>(&application.kind)) {
        detailLines = installedDetailLines(*installed);
    } else if (const auto* preview = std::get_if<Snapshot::PreviewApplication>(&application.kind)) {
        if (!preview->developerName.empty()) {
            detailLines += isolatedParagraph(escapeHTML(preview->developerName));
        }
        detailLines += paragraph(localize("previewApplicationNotInstalledInfo"));
    }
    return "<div class=\"header\">\n    <div class=\"icon\">" + imageHTML(application.iconPNG, 64, 64) +
           "</div>\n    <div class=\"text\">\n        <h1 dir=\"auto\">" +
           escapeHTML(application.displayName) + "</h1>\n        " + detailLines + "\n    </div>\n</div>\n";
}

// ---- Content

std::size_t connectionDescriptionCount(const Lumora& document) {
    std::size_t count = 0;
    for (const auto& source : document.sources()) {
        count += source->connectionDescriptions().size();
    }
    return count;
}

std::string headingThenParagraphs(std::string_view headingKey, std::string_view textKey) {
    return "<h2>" + localize(headingKey) + "</h2>\n" + paragraphsHTML(localize(textKey));
}

// ---- Sandbox

// What the main executable's entitlements say about its connections, and the note about the whole
// document, above the declarations; nothing when they were not read.
std::string sandboxHTML(const Lumora& document) {
    const auto& entitlements = document.entitlements();
    if (!entitlements) {
        return "";
    }
    std::string html;
    if (entitlements->appSandbox) {
        const auto allowed = [](bool allows) {
            return localize(allows ? "sandboxAllowed" : "sandboxNotAllowed");
        };
        html += paragraph(ZRLocalizedFormat::format(
            localize("sandboxOnInfo %@ %@"),
            {allowed(entitlements->networkClient), allowed(entitlements->networkServer)}));
    } else {
        html += paragraph(localize("sandboxOffInfo"));
    }
    html += paragraph(
        localize(entitlements->hardenedRuntime ? "hardenedRuntimeOnInfo" : "hardenedRuntimeOffInfo"));
    if (entitlements->error) {
        html += paragraph(localize("entitlementsUnreadableInfo"));
    }
    for (const auto& note : SandboxNotes::notes(document)) {
        if (!note.connectionIndex) {
            html += "<p class=\"sandbox-note\">" + localize(sandboxNoteKey(note.kind)) + "</p>";
        }
    }
    return "<div class=\"sandbox\">" + html + "</div>\n";
}

std::string installedContent(const Snapshot::InstalledApplication& application, const Snapshot& snapshot) {
    switch (application.loadState) {
    case Snapshot::LoadState::loaded: {
        if (!application.document) {
            return "";
        }
        unsigned options = defaultDocumentHTMLOptions | includeSandboxNotes;
        if (!snapshot.showPortsAndProtocols) {
            options |= abbreviatePortsAndProtocols;
        }
        std::string content = sandboxHTML(*application.document);
        content += documentHTML(*application.document, snapshot.simulatedConnection.get(), options,
                                DocumentHTMLFormats::pageFormats())
                       .value_or("");
        if (connectionDescriptionCount(*application.document) == 0) {
            content += "<h3>" + localize("lumoraHasNoConnectionDescriptionsHeading") + "</h3>" +
                       paragraphsHTML(localize("lumoraHasNoConnectionDescriptionsText"));
        }
        return content;
    }
    case Snapshot::LoadState::noReadPermission:
        return headingThenParagraphs("lumoraNoReadPermissionForSelectedApplicationHeading",
                                     "lumoraNoReadPermissionForSelectedApplicationText") +
               "\n\n" + grantReadPermissionFormHTML(containingFolder(application.bundlePath));
    case Snapshot::LoadState::unavailable:
        return headingThenParagraphs("lumoraUnavailableHeading", "lumoraUnavailableText");
    case Snapshot::LoadState::loadFailed:
        return headingThenParagraphs("lumoraLoadFailedHeading", "lumoraLoadFailedText") + "\n" +
               paragraph(escapeHTML(application.errorDescription));
    case Snapshot::LoadState::loadPending:
        return "<h2>" + localize("lumoraLoadPendingHeading") + "</h2>";
    }
    return "";
}

std::string previewContent(const Snapshot::Application& application,
                           const Snapshot::PreviewApplication& preview) {
    // The name goes into a sentence of the program's that may carry links of its own.
    const std::string description =
        preview.applicationDescription.empty()
            ? linkifyMarkdown(format(localize("noAppDescriptionAvailableFormat %@"),
                                     isolatedHTML(escapeHTMLAndMarkdown(application.displayName))))
            : linkifyMarkdown(escapeHTML(preview.applicationDescription));
    std::string content = format(DocumentHTMLFormats::pageFormats().descriptionFormat, description);
    if (const auto website =
            linkedFormatHTML(DocumentHTMLFormats::pageFormats().websiteFormat, preview.url)) {
        content.append("\n").append(*website);
    }
    return content;
}

std::string applicationBody(const Snapshot::Application& application, const Snapshot& snapshot) {
    std::string body = headerHTML(application);
    if (const auto* installed = std::get_if<Snapshot::InstalledApplication>(&application.kind)) {
        body += installedContent(*installed, snapshot);
    } else if (const auto* preview = std::get_if<Snapshot::PreviewApplication>(&application.kind)) {
        body += previewContent(application, *preview);
    }
    return body;
}

// ---- Empty selection

std::string sideHeader(std::string_view className, const std::vector<std::uint8_t>& image,
                       std::string_view headingKey) {
    return "<br/>\n\n<div class=\"" + std::string(className) + "\">\n    <div class=\"icon\">" +
           imageHTML(image, 22, 22) + "</div>\n    <div class=\"text\">\n        <h2>" +
           localize(headingKey) + "</h2>\n    </div>\n</div>";
}

bool isHomeFolder(const std::filesystem::path& folder, const std::filesystem::path& home) {
    return !home.empty() && ZRURL::fileURL(folder, true) == ZRURL::fileURL(home, true);
}

std::optional<std::string> noReadPermissionSection(const Snapshot& snapshot) {
    const auto& folders = snapshot.proposedFoldersToGrantReadPermission;
    if (folders.empty()) {
        return std::nullopt;
    }
    std::string section =
        sideHeader("noReadPermissionHeader", snapshot.cautionImagePNG, "lumoraNoReadPermissionHeading");
    if (folders.size() == 1 && isHomeFolder(folders.front(), snapshot.homeFolder)) {
        section += paragraphsHTML(localize("lumoraNoReadPermissionForHomeDirectoryText"));
    } else {
        section += paragraphsHTML(localize("lumoraNoReadPermissionTextAboveTable")) + "\n<ul>\n";
        for (std::size_t index = 0; index < folders.size(); ++index) {
            section.append(index ? "\n" : "")
                .append("    <li dir=\"auto\">")
                .append(escapeHTML(pathText(folders[index])));
            section.append("</li>");
        }
        section += "\n</ul>\n" + paragraphsHTML(localize("lumoraNoReadPermissionTextBelowTable"));
    }
    return section + grantReadPermissionFormHTML(folders.front());
}

std::string emptySelectionBody(const Snapshot& snapshot) {
    std::string body = headingThenParagraphs("emptySelectionHeading", "emptySelectionText");
    if (const auto section = noReadPermissionSection(snapshot)) {
        return body + *section;
    }
    if (snapshot.previewApplicationsSourceOffered && !snapshot.previewApplicationsSourceEnabled &&
        snapshot.initialLoadingFinished) {
        body += sideHeader("previewApplicationsHeader", snapshot.previewApplicationsImagePNG,
                           "showPreviewApplicationsHeading") +
                "\n" + paragraphsHTML(localize("showPreviewApplicationsText")) +
                "\n<div class=\"showPreviewApplicationsForm\">\n"
                "    <form action=\"showPreviewApplications\" method=\"post\">\n"
                "        <input type=\"submit\" value=\"" +
                localize("showPreviewApplicationsButtonTitle") + "\">\n    </form>\n</div>";
    }
    return body;
}

bool isASCIIAlphanumeric(unsigned char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

} // namespace

PageColors PageColors::forAppearance(bool dark, std::optional<PageColor> accentColor) {
    const PageColor accent = accentColor.value_or(PageColor::defaultAccent());
    if (dark) {
        return {PageColor::grey(0.12).hexString(),
                "#FFFFFF",
                "#1FC8FF",
                "#EEEEEE",
                PageColor::colorWithHexString("#FFFFFF")->shadowWithLevel(0.25).hexString(),
                "#CCC",
                accent.hexString(),
                accent.shadowWithLevel(0.2).hexString(),
                "#EEEEEE"};
    }
    return {PageColor::white().hexString(),
            "#333",
            "#00278e",
            "#222",
            PageColor::colorWithHexString("#333")->highlightWithLevel(0.35).hexString(),
            "#888",
            accent.highlightWithLevel(0.1).hexString(),
            accent.shadowWithLevel(0.1).hexString(),
            "#666"};
}

std::string imageHTML(std::span<const std::uint8_t> pngBytes, int width, int height) {
    return "<img\n    width=\"" + std::to_string(width) + "\"\n    height=\"" + std::to_string(height) +
           "\"\n    src=\"data:image/png;base64," + ZRBase64::encode(pngBytes) + "\"\n/>";
}

std::string grantReadPermissionFormHTML(const std::filesystem::path& folder) {
    const auto encoded =
        ZRURL::percentEncoded(ZRURL::fileURL(folder, true).absoluteString(), isASCIIAlphanumeric);
    return "<div class=\"grant-read-permission\">\n    <form action=\"grantReadPermission?fileURL=" +
           encoded + "\" method=\"post\">\n        <input type=\"submit\" value=\"" +
           localize("grantReadPermissionButtonTitle") + "\">\n    </form>\n</div>";
}

std::string pageHTML(const DocumentPageSnapshot& snapshot) {
    const auto colors = PageColors::forAppearance(snapshot.dark, snapshot.accentColor);
    const std::string body = snapshot.selection.size() == 1
                                 ? applicationBody(snapshot.selection.front(), snapshot)
                                 : emptySelectionBody(snapshot);
    return "<meta charset=\"UTF-8\">\n<html>\n    <head>\n"
           "        <meta http-equiv=\"Content-Security-Policy\" content=\"" +
           std::string(contentSecurityPolicy) + "\">\n        <style>\n" + styleSheet(colors) +
           "        </style>\n    </head>\n    <body>\n        " + body + "\n    </body>\n</html>";
}

DocumentPageSnapshot::InstalledApplication
installedApplicationFacts(const std::filesystem::path& bundlePath) {
    DocumentPageSnapshot::InstalledApplication facts;
    facts.bundlePath = bundlePath;
    std::error_code error;
    if (!std::filesystem::is_directory(bundlePath, error)) {
        return facts;
    }
    const auto bundle = ZRBundle::bundleWithPath(bundlePath);
    if (!bundle || bundle->infoDictionary().empty()) {
        return facts;
    }
    facts.infoDictionaryReadable = true;
    ZRPropertyListDictionary merged = bundle->infoDictionary();
    for (const auto& [key, value] : bundle->localizedInfoDictionary()) {
        merged.set(key, value);
    }
    if (const auto* version = ZRTypedAccessors::stringForKey(merged, "CFBundleShortVersionString")) {
        facts.version = *version;
    }
    if (const auto* copyright = ZRTypedAccessors::stringForKey(merged, "NSHumanReadableCopyright")) {
        facts.copyright = *copyright;
    }
    return facts;
}
