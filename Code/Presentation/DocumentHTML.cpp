#include "Code/Presentation/DocumentHTML.h"

#include "Code/Model/LumoraMatching.h"
#include "Code/Presentation/ConnectionHeading.h"
#include "Code/Presentation/HTMLText.h"
#include "ZRFoundation/Localization/ZRLocalizedFormat.h"

namespace {

std::string fill(const std::string& format, const std::string& argument) {
    return ZRLocalizedFormat::format(format, {argument}) + "\n";
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

std::string connectionText(const Lumora::ConnectionDescription& description, unsigned options) {
    std::string text;
    if (options & includeConnectionPurposes) {
        text += escapeHTML(collapseWhitespace(description.localizedPurpose()));
    }
    if ((options & includeDenyConsequences) && description.localizedDenyConsequences()) {
        if (options & includeConnectionPurposes) {
            text += " ";
        }
        text += escapeHTML(collapseWhitespace(*description.localizedDenyConsequences()));
    }
    return text;
}

} // namespace

DocumentHTMLFormats DocumentHTMLFormats::pageFormats() {
    return {
        "<div class=\"application-description\">%@</div>",
        "<p>" + linkifyMarkdown(Lumora::localizeString("applicationWebsiteFormat %@")) + "</p>",
        "<h3>%@</h3>",
        "<p>%@</p>",
        "<h3>%@</h3>",
        "<p>%@</p>",
    };
}

std::optional<std::string> documentHTML(const Lumora& document,
                                        const ConnectionInformation* simulatedConnection, unsigned options,
                                        const DocumentHTMLFormats& formats) {
    std::string fragment;
    const auto& primary = *document.primarySource();
    if (options & includeApplicationDescription) {
        fragment +=
            fill(formats.descriptionFormat, escapeHTML(collapseWhitespace(primary.localizedPurpose())));
    }
    if ((options & includeDeveloperWebsite) && primary.developerWebsiteURL()) {
        fragment += fill(formats.websiteFormat, escapeHTML(primary.developerWebsiteURL()->absoluteString()));
    }
    if ((options & includeServices) && simulatedConnection == nullptr) {
        for (const auto& source : document.sources()) {
            for (const auto& service : source->serviceDescriptions()) {
                fragment += fill(formats.serviceNameFormat, escapeHTML(service.localizedName()));
                fragment += fill(formats.servicePurposeFormat, escapeHTML(service.localizedPurpose()));
            }
        }
    }

    const auto candidates = simulatedConnection
                                ? document.matchingConnectionDescriptions(*simulatedConnection)
                                : allDescriptions(document);
    std::vector<Lumora::MatchingConnectionDescription> kept;
    std::vector<std::string> texts;
    for (const auto& candidate : candidates) {
        auto text = connectionText(*candidate.description, options);
        if (!text.empty()) {
            kept.push_back(candidate);
            texts.push_back(std::move(text));
        }
    }
    std::vector<ConnectionInformation::NetworkInformation::RemoteEndpoint> endpoints;
    if (simulatedConnection && simulatedConnection->networkInformation()) {
        endpoints = simulatedConnection->networkInformation()->remoteEndpoints();
    }
    for (std::size_t i = 0; i < kept.size(); ++i) {
        if (options & includeConnectionHeadings) {
            const auto heading =
                connectionHeading(*kept[i].description, *kept[i].source, document,
                                  (options & abbreviatePortsAndProtocols) != 0, kept, endpoints);
            fragment += fill(formats.connectionHeadingFormat, heading);
        }
        fragment += fill(formats.connectionTextFormat, texts[i]);
    }
    if (fragment.empty()) {
        return std::nullopt;
    }
    return linkifyMarkdown(fragment);
}
