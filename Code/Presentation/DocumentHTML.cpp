#include "Code/Presentation/DocumentHTML.h"

#include "Code/Model/LumoraMatching.h"
#include "Code/Presentation/ConnectionHeading.h"
#include "Code/Presentation/HTMLText.h"
#include "ZRFoundation/Localization/ZRLocalization.h"
#include "ZRFoundation/Localization/ZRLocalizedFormat.h"

#include <map>

namespace {

void append(std::string& fragment, const std::string& format, const std::string& argument) {
    fragment.append(ZRLocalizedFormat::format(format, {argument})).append("\n");
}

// Every description of every source, primary first, each source's in declared order.
std::vector<Lumora::MatchingConnectionDescription> allDescriptions(const Lumora& document) {
    std::vector<Lumora::MatchingConnectionDescription> pairs;
    for (const auto& source : document.sources()) {
        for (const auto& description : source->connectionDescriptions()) {
            pairs.push_back(
                {std::shared_ptr<const Lumora::ConnectionDescription>(source, &description), source});
        }
    }
    return pairs;
}

// How the texts of one source become HTML. The loader writes the containing application's name
// into the texts of nested bundles where they say "%APPNAME%"; a name is whatever its folder is
// called, so it is kept out of link syntax wherever it stands in such a text.
class SourceTexts {
public:
    SourceTexts(const Lumora& document, const Lumora::Source& source) {
        if (&source != document.primarySource().get()) {
            _substitutedName = document.primarySource()->localizedName();
            _collapsedSubstitutedName = collapseWhitespace(_substitutedName);
        }
    }

    /// A sentence: white space collapsed, escaped, its own links converted.
    std::string sentenceHTML(std::string_view text) const {
        return linkifyMarkdown(
            escapeHTMLWithSubstitutedValue(collapseWhitespace(text), _collapsedSubstitutedName));
    }

    /// A text shown as written: escaped, its own links converted.
    std::string textHTML(std::string_view text) const {
        return linkifyMarkdown(escapeHTMLWithSubstitutedValue(text, _substitutedName));
    }

private:
    std::string _substitutedName;
    std::string _collapsedSubstitutedName;
};

// The purpose and the deny consequences. Both together are isolated from each other; a lone text
// is isolated by its paragraph.
std::string connectionText(const Lumora::ConnectionDescription& description, const SourceTexts& texts,
                           unsigned options) {
    std::string text;
    if (options & includeConnectionPurposes) {
        text = texts.sentenceHTML(description.localizedPurpose());
    }
    if ((options & includeDenyConsequences) && description.localizedDenyConsequences()) {
        const std::string consequences = texts.sentenceHTML(*description.localizedDenyConsequences());
        if (!(options & includeConnectionPurposes)) {
            text = consequences;
        } else if (!text.empty() && !consequences.empty()) {
            text = isolatedHTML(text) + " " + isolatedHTML(consequences);
        } else {
            text += " " + consequences;
        }
    }
    return text;
}

std::vector<const Lumora::ConnectionDescription*>
descriptionsOf(const std::vector<Lumora::MatchingConnectionDescription>& pairs) {
    std::vector<const Lumora::ConnectionDescription*> descriptions;
    descriptions.reserve(pairs.size());
    for (const auto& pair : pairs) {
        descriptions.push_back(pair.description.get());
    }
    return descriptions;
}

// The note beside each connection the sandbox will not let happen.
std::map<const Lumora::ConnectionDescription*, SandboxNotes::Kind>
sandboxNotesByDescription(const Lumora& document) {
    std::map<const Lumora::ConnectionDescription*, SandboxNotes::Kind> notes;
    const auto sources = document.sources();
    for (const auto& note : SandboxNotes::notes(document)) {
        if (note.sourceIndex && note.connectionIndex) {
            notes.emplace(&sources[*note.sourceIndex]->connectionDescriptions()[*note.connectionIndex],
                          note.kind);
        }
    }
    return notes;
}

} // namespace

std::string_view sandboxNoteKey(SandboxNotes::Kind kind) {
    switch (kind) {
    case SandboxNotes::Kind::incomingNotAllowed:
        return "sandboxNote_incomingNotAllowed";
    case SandboxNotes::Kind::outgoingNotAllowed:
        return "sandboxNote_outgoingNotAllowed";
    case SandboxNotes::Kind::outgoingAllowedButNoneDeclared:
        return "sandboxNote_outgoingAllowedButNoneDeclared";
    }
    return {};
}

DocumentHTMLFormats DocumentHTMLFormats::pageFormats() {
    return {
        "<div class=\"application-description\" dir=\"auto\">%@</div>",
        "<p>" + Lumora::localizeString("applicationWebsiteFormat %@") + "</p>",
        "<h3 dir=\"auto\">%@</h3>",
        "<p dir=\"auto\">%@</p>",
        "<h3>%@</h3>",
        "<p dir=\"auto\">%@</p>",
    };
}

std::optional<std::string> documentHTML(const Lumora& document,
                                        const ConnectionInformation* simulatedConnection, unsigned options,
                                        const DocumentHTMLFormats& formats) {
    std::string fragment;
    const auto& primary = *document.primarySource();
    if (options & includeApplicationDescription) {
        append(fragment, formats.descriptionFormat,
               SourceTexts(document, primary).sentenceHTML(primary.localizedPurpose()));
    }
    if ((options & includeDeveloperWebsite) && primary.developerWebsiteURL()) {
        if (const auto website =
                linkedFormatHTML(formats.websiteFormat, primary.developerWebsiteURL()->absoluteString())) {
            fragment.append(*website).append("\n");
        }
    }
    if ((options & includeServices) && simulatedConnection == nullptr) {
        for (const auto& source : document.sources()) {
            const SourceTexts texts(document, *source);
            for (const auto& service : source->serviceDescriptions()) {
                append(fragment, formats.serviceNameFormat, texts.textHTML(service.localizedName()));
                append(fragment, formats.servicePurposeFormat, texts.textHTML(service.localizedPurpose()));
            }
        }
    }

    const auto candidates = simulatedConnection
                                ? document.matchingConnectionDescriptions(*simulatedConnection)
                                : allDescriptions(document);
    std::vector<Lumora::MatchingConnectionDescription> kept;
    std::vector<std::string> texts;
    const Lumora::Source* textsSource = nullptr;
    std::optional<SourceTexts> sourceTexts;
    for (const auto& candidate : candidates) {
        if (candidate.source.get() != textsSource) {
            textsSource = candidate.source.get();
            sourceTexts.emplace(document, *textsSource);
        }
        auto text = connectionText(*candidate.description, *sourceTexts, options);
        if (!text.empty()) {
            kept.push_back(candidate);
            texts.push_back(std::move(text));
        }
    }
    std::vector<ConnectionInformation::NetworkInformation::RemoteEndpoint> endpoints;
    if (simulatedConnection && simulatedConnection->networkInformation()) {
        endpoints = simulatedConnection->networkInformation()->remoteEndpoints();
    }
    const ShownDescriptionIndex shown(descriptionsOf(kept));
    const auto notes = (options & includeSandboxNotes)
                           ? sandboxNotesByDescription(document)
                           : std::map<const Lumora::ConnectionDescription*, SandboxNotes::Kind>();
    for (std::size_t i = 0; i < kept.size(); ++i) {
        if (options & includeConnectionHeadings) {
            append(fragment, formats.connectionHeadingFormat,
                   connectionHeading(*kept[i].description, *kept[i].source, document,
                                     (options & abbreviatePortsAndProtocols) != 0, shown, endpoints));
        }
        append(fragment, formats.connectionTextFormat, texts[i]);
        if (const auto note = notes.find(kept[i].description.get()); note != notes.end()) {
            fragment.append("<p class=\"sandbox-note\">")
                .append(ZRLocalization::lookupLocalizedString(sandboxNoteKey(note->second), "MainWindow"))
                .append("</p>\n");
        }
    }
    if (fragment.empty()) {
        return std::nullopt;
    }
    return fragment;
}
