#include "Code/Tool/LumoraDocumentJSON.h"

#include "Code/Model/SandboxNotes.h"

namespace LumoraDocumentJSON {

namespace {

using json = nlohmann::ordered_json;
using Rule = Lumora::ConnectionDescription::HostMatchingRule;

template <typename T, typename Transform>
json optionalJSON(const std::optional<T>& value, Transform transform) {
    return value ? json(transform(*value)) : json(nullptr);
}

json ruleJSON(const Rule& rule) {
    switch (rule.kind()) {
    case Rule::Kind::host:
        return {{"host", rule.name()}};
    case Rule::Kind::fuzzyDomainWildcard:
        return {{"fuzzyDomainWildcard", rule.name()}};
    case Rule::Kind::exactDomainWildcard:
        return {{"exactDomainWildcard", rule.name()}};
    case Rule::Kind::ipAddresses:
        return {{"ipAddresses", rule.addresses().displayString()}};
    case Rule::Kind::localNetwork:
        return "localNetwork";
    case Rule::Kind::berkeleyPacketFilter:
        return "berkeleyPacketFilter";
    case Rule::Kind::fuzzyAnyConnectionWildcard:
        return "fuzzyAnyConnectionWildcard";
    case Rule::Kind::exactAnyConnectionWildcard:
        return "exactAnyConnectionWildcard";
    }
    return nullptr;
}

std::string_view sourceTypeName(Lumora::Source::SourceType type) {
    switch (type) {
    case Lumora::Source::SourceType::internal:
        return "internal";
    case Lumora::Source::SourceType::external:
        return "external";
    case Lumora::Source::SourceType::development:
        return "development";
    }
    return "";
}

} // namespace

json signatureJSON(const std::optional<LumoraSignatureSummary>& signature) {
    if (!signature) {
        return nullptr;
    }
    auto text = [](const std::string& value) { return value; };
    return {{"kind", LumoraSignatureSummary::kindName(signature->kind)},
            {"author", optionalJSON(signature->author, text)},
            {"teamIdentifier", optionalJSON(signature->teamIdentifier, text)},
            {"secureTimestamp", optionalJSON(signature->secureTimestampText(), text)},
            {"error", optionalJSON(signature->error, text)}};
}

std::string_view relevanceName(Lumora::ConnectionDescription::Relevance relevance) {
    switch (relevance) {
    case Lumora::ConnectionDescription::Relevance::default_:
        return "default";
    case Lumora::ConnectionDescription::Relevance::essential:
        return "essential";
    case Lumora::ConnectionDescription::Relevance::analytics:
        return "analytics";
    }
    return "";
}

json connectionJSON(const Lumora::ConnectionDescription& description) {
    json rules = json::array();
    for (const auto& rule : description.hostMatchingRules()) {
        rules.push_back(ruleJSON(rule));
    }
    return {
        {"isIncoming", description.isIncoming()},
        {"hostMatchingRules", std::move(rules)},
        {"networkProtocol", optionalJSON(description.networkProtocol(),
                                         [](NetworkProtocol p) { return networkProtocolText(p); })},
        {"ports", description.ports().displayString()},
        {"relevance", relevanceName(description.relevance())},
        {"purpose", description.localizedPurpose()},
        {"denyConsequences",
         optionalJSON(description.localizedDenyConsequences(), [](const auto& t) { return t; })},
    };
}

json sourceJSON(const Lumora::Source& source) {
    json connections = json::array();
    for (const auto& description : source.connectionDescriptions()) {
        connections.push_back(connectionJSON(description));
    }
    json services = json::array();
    for (const auto& service : source.serviceDescriptions()) {
        services.push_back(
            {{"identifier", optionalJSON(service.identifier(), [](const auto& t) { return t; })},
             {"name", service.localizedName()},
             {"purpose", service.localizedPurpose()}});
    }
    json signer = nullptr;
    if (const auto& required = source.requiredCodeSignatureSource()) {
        signer =
            required->isApple() ? json("apple") : json{{"teamIdentifier", required->teamIdentifierValue()}};
    }
    return {
        {"type", sourceTypeName(source.type())},
        {"bundleURL", source.bundleURL().absoluteString()},
        {"policyFileURL", source.policyFileURL().absoluteString()},
        {"name", source.localizedName()},
        {"developerName", optionalJSON(source.developerName(), [](const auto& t) { return t; })},
        {"developerWebsiteURL",
         optionalJSON(source.developerWebsiteURL(), [](const ZRURL& url) { return url.absoluteString(); })},
        {"purpose", source.localizedPurpose()},
        {"requiredCodeSignatureSource", std::move(signer)},
        {"connections", std::move(connections)},
        {"services", std::move(services)},
    };
}

json entitlementsJSON(const Lumora& document) {
    const auto& entitlements = document.entitlements();
    if (!entitlements) {
        return nullptr;
    }
    json notes = json::array();
    for (const auto& note : SandboxNotes::notes(document)) {
        notes.push_back(
            {{"source", optionalJSON(note.sourceIndex, [](std::size_t index) { return index; })},
             {"connection", optionalJSON(note.connectionIndex, [](std::size_t index) { return index; })},
             {"text", SandboxNotes::text(note.kind)}});
    }
    return {{"appSandbox", entitlements->appSandbox},
            {"networkClient", entitlements->networkClient},
            {"networkServer", entitlements->networkServer},
            {"hardenedRuntime", entitlements->hardenedRuntime},
            {"error", optionalJSON(entitlements->error, [](const auto& t) { return t; })},
            {"notes", std::move(notes)}};
}

json documentJSON(const Lumora& document) {
    json additional = json::array();
    for (const auto& source : document.additionalSources()) {
        additional.push_back(sourceJSON(*source));
    }
    return {{"primarySource", sourceJSON(*document.primarySource())},
            {"additionalSources", std::move(additional)},
            {"entitlements", entitlementsJSON(document)}};
}

json parseErrorJSON(const Lumora::Source::ParseError& error) {
    return {{"type", "ParseError"}, {"case", error.caseName()}, {"description", error.errorDescription()}};
}

} // namespace LumoraDocumentJSON
