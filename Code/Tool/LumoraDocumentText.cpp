#include "Code/Tool/LumoraDocumentText.h"

#include "Code/Model/LumoraSource.h"
#include "Code/Model/SandboxNotes.h"
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

TerminalText connectionText(const Lumora::ConnectionDescription& description, std::size_t number) {
    std::string hosts;
    for (const auto& rule : description.hostMatchingRules()) {
        hosts += (hosts.empty() ? "" : ", ") + ruleText(rule);
    }
    TerminalText text;
    text << "  " << number << ". " << (description.isIncoming() ? "incoming from " : "outgoing to ") << hosts
         << TerminalText::newline << "     protocol "
         << (description.networkProtocol() ? networkProtocolText(*description.networkProtocol()) : "any")
         << ", ports " << (description.ports().isAllPorts() ? "any" : description.ports().displayString())
         << ", relevance " << LumoraDocumentJSON::relevanceName(description.relevance())
         << TerminalText::newline << "     Purpose: " << description.localizedPurpose()
         << TerminalText::newline;
    if (description.localizedDenyConsequences()) {
        text << "     If denied: " << *description.localizedDenyConsequences() << TerminalText::newline;
    }
    return text;
}

TerminalText sourceText(const Lumora::Source& source) {
    TerminalText text;
    text << source.localizedName() << TerminalText::newline
         << "  File: " << source.policyFileURL().path().string() << TerminalText::newline;
    if (source.developerName()) {
        text << "  Developer: " << *source.developerName() << TerminalText::newline;
    }
    if (source.developerWebsiteURL()) {
        text << "  Website: " << source.developerWebsiteURL()->absoluteString() << TerminalText::newline;
    }
    if (const auto& signer = source.requiredCodeSignatureSource()) {
        text << "  Required signer: "
             << (signer->isApple() ? std::string("Apple") : "team " + signer->teamIdentifierValue())
             << TerminalText::newline;
    }
    text << "  Description: " << source.localizedPurpose() << TerminalText::newline;
    text << "Connections (" << source.connectionDescriptions().size() << "):" << TerminalText::newline;
    std::size_t number = 0;
    for (const auto& description : source.connectionDescriptions()) {
        text << connectionText(description, ++number);
    }
    if (!source.serviceDescriptions().empty()) {
        text << "Services (" << source.serviceDescriptions().size() << "):" << TerminalText::newline;
        for (const auto& service : source.serviceDescriptions()) {
            text << "  - " << service.localizedName();
            if (service.identifier()) {
                text << " [" << *service.identifier() << "]";
            }
            text << ": " << service.localizedPurpose() << TerminalText::newline;
        }
    }
    return text;
}

TerminalText sandboxText(const Lumora& document) {
    const auto& entitlements = *document.entitlements();
    const auto allowed = [](bool allows) { return allows ? "allowed" : "not allowed"; };
    TerminalText text;
    if (entitlements.appSandbox) {
        text << "Sandbox: on; outgoing connections " << allowed(entitlements.networkClient)
             << ", incoming connections " << allowed(entitlements.networkServer);
    } else {
        text << SandboxNotes::unsandboxedText;
    }
    text << TerminalText::newline << "Hardened runtime: " << (entitlements.hardenedRuntime ? "on" : "off")
         << TerminalText::newline;
    if (entitlements.error) {
        text << "Entitlements not readable: " << *entitlements.error << TerminalText::newline;
    }
    const auto sources = document.sources();
    for (const auto& note : SandboxNotes::notes(document)) {
        text << "Note: ";
        if (note.sourceIndex && note.connectionIndex) {
            text << sources[*note.sourceIndex]->localizedName() << ", connection "
                 << *note.connectionIndex + 1 << ": ";
        }
        text << SandboxNotes::text(note.kind) << TerminalText::newline;
    }
    return text;
}

} // namespace

TerminalText documentText(const Lumora& document) {
    TerminalText text;
    for (const auto& source : document.sources()) {
        if (!text.empty()) {
            text << TerminalText::newline;
        }
        text << sourceText(*source);
    }
    if (document.entitlements()) {
        text << TerminalText::newline << sandboxText(document);
    }
    return text;
}

} // namespace LumoraDocumentText
