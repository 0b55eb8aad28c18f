#include "Code/Tool/LumoraDocumentText.h"

#include "Code/Model/LumoraSource.h"
#include "Code/Tool/LumoraDocumentJSON.h"

namespace LumoraDocumentText {

namespace {

using Rule = Lumora::ConnectionDescription::HostMatchingRule;

std::string ruleText(const Rule& rule) {
    switch (rule.kind()) {
    case Rule::Kind::host:
        return rule.name();
    case Rule::Kind::fuzzyDomainWildcard:
        return "*." + rule.name();
    case Rule::Kind::exactDomainWildcard:
        return "=*." + rule.name();
    case Rule::Kind::ipAddresses:
        return rule.addresses().displayString();
    case Rule::Kind::localNetwork:
        return "local network";
    case Rule::Kind::berkeleyPacketFilter:
        return "packet filter";
    case Rule::Kind::fuzzyAnyConnectionWildcard:
        return "any host";
    case Rule::Kind::exactAnyConnectionWildcard:
        return "any host (exact)";
    }
    return {};
}

std::string connectionText(const Lumora::ConnectionDescription& description, std::size_t number) {
    std::string hosts;
    for (const auto& rule : description.hostMatchingRules()) {
        hosts += (hosts.empty() ? "" : ", ") + ruleText(rule);
    }
    std::string text =
        "  " + std::to_string(number) + ". " +
        (description.isIncoming() ? "incoming from " : "outgoing to ") + hosts + "\n     protocol " +
        (description.networkProtocol() ? std::string(networkProtocolText(*description.networkProtocol()))
                                       : std::string("any")) +
        ", ports " + (description.ports().isAllPorts() ? "any" : description.ports().displayString()) +
        ", relevance " + std::string(LumoraDocumentJSON::relevanceName(description.relevance())) +
        "\n     Purpose: " + description.localizedPurpose() + "\n";
    if (description.localizedDenyConsequences()) {
        text += "     If denied: " + *description.localizedDenyConsequences() + "\n";
    }
    return text;
}

std::string sourceText(const Lumora::Source& source) {
    std::string text = source.localizedName() + "\n  File: " + source.policyFileURL().path().string() + "\n";
    if (source.developerName()) {
        text += "  Developer: " + *source.developerName() + "\n";
    }
    if (source.developerWebsiteURL()) {
        text += "  Website: " + source.developerWebsiteURL()->absoluteString() + "\n";
    }
    if (const auto& signer = source.requiredCodeSignatureSource()) {
        text += "  Required signer: " +
                (signer->isApple() ? std::string("Apple") : "team " + signer->teamIdentifierValue()) + "\n";
    }
    text += "  Description: " + source.localizedPurpose() + "\n";
    text += "Connections (" + std::to_string(source.connectionDescriptions().size()) + "):\n";
    std::size_t number = 0;
    for (const auto& description : source.connectionDescriptions()) {
        text += connectionText(description, ++number);
    }
    if (!source.serviceDescriptions().empty()) {
        text += "Services (" + std::to_string(source.serviceDescriptions().size()) + "):\n";
        for (const auto& service : source.serviceDescriptions()) {
            text += "  - " + service.localizedName() +
                    (service.identifier() ? " [" + *service.identifier() + "]" : "") + ": " +
                    service.localizedPurpose() + "\n";
        }
    }
    return text;
}

} // namespace

std::string documentText(const Lumora& document) {
    std::string text;
    for (const auto& source : document.sources()) {
        text.append(text.empty() ? "" : "\n").append(sourceText(*source));
    }
    return text;
}

} // namespace LumoraDocumentText
