#include "Code/Presentation/ConnectionHeading.h"

#include "Code/Presentation/HTMLText.h"
#include "ZRFoundation/Localization/ZRLocalizedFormat.h"
#include "ZRFoundation/Text/ZRConcatenation.h"
#include "ZRFoundation/Text/ZRUnicodeText.h"

#include <algorithm>

namespace {

using Rule = Lumora::ConnectionDescription::HostMatchingRule;

std::string localized(std::string_view key) {
    return Lumora::localizeString(key);
}

bool isAnyConnectionWildcard(const Rule& rule) {
    return rule.kind() == Rule::Kind::fuzzyAnyConnectionWildcard ||
           rule.kind() == Rule::Kind::exactAnyConnectionWildcard;
}

} // namespace

std::string enumerationText(const std::vector<std::string>& items) {
    switch (items.size()) {
    case 0:
        return {};
    case 1:
        return items[0];
    case 2:
        return items[0] + " " + localized("enumerationConjunction") + " " + items[1];
    default: {
        std::string text;
        for (std::size_t i = 0; i + 1 < items.size(); ++i) {
            text += (i == 0 ? "" : ", ") + items[i];
        }
        return text + localized("enumerationConjunctionPrefixedWithSerialComma") + " " + items.back();
    }
    }
}

std::string hostsText(const std::vector<Rule>& rules) {
    if (std::any_of(rules.begin(), rules.end(), isAnyConnectionWildcard)) {
        return localized("anyHost");
    }
    const auto hasKind = [&](Rule::Kind kind) {
        return std::any_of(rules.begin(), rules.end(),
                           [kind](const Rule& rule) { return rule.kind() == kind; });
    };
    std::vector<std::string> hostNames;
    std::vector<std::string> domains;
    std::vector<std::string> addresses;
    for (const auto& rule : rules) {
        switch (rule.kind()) {
        case Rule::Kind::host:
            hostNames.push_back(isolatedHTML(escapeHTML(rule.name())));
            break;
        case Rule::Kind::fuzzyDomainWildcard:
        case Rule::Kind::exactDomainWildcard:
            domains.push_back(isolatedHTML(escapeHTML(rule.name())));
            break;
        case Rule::Kind::ipAddresses:
            addresses.push_back(rule.addresses().displayString());
            break;
        default:
            break;
        }
    }
    std::vector<std::string> inner;
    if (!hostNames.empty()) {
        inner.push_back(enumerationText(hostNames));
    }
    if (!domains.empty()) {
        inner.push_back(localized(domains.size() == 1 ? "domainPrefix" : "domainsPrefix") + " " +
                        enumerationText(domains));
    }
    if (!addresses.empty()) {
        inner.push_back(enumerationText(addresses));
    }
    std::vector<std::string> outer;
    if (hasKind(Rule::Kind::berkeleyPacketFilter)) {
        outer.push_back(localized("bpf"));
    }
    if (hasKind(Rule::Kind::localNetwork)) {
        outer.push_back(localized("localNetwork"));
    }
    if (!inner.empty()) {
        outer.push_back(enumerationText(inner));
    }
    return enumerationText(outer);
}

std::string portsPhrase(const PortSet& ports) {
    const std::size_t count = ports.count();
    if (count == 1) {
        return ZRLocalizedFormat::format(localized("portFormat %lu"),
                                         {std::uint64_t{ports.runs().front().first}});
    }
    if (count <= 9) {
        std::vector<std::string> numbers;
        for (const auto port : ports.ports()) {
            numbers.push_back(std::to_string(port));
        }
        return ZRLocalizedFormat::format(localized("portsFormat %@"), {enumerationText(numbers)});
    }
    return ZRLocalizedFormat::format(localized("portsCountFormat %lu"), {std::uint64_t{count}});
}

NamedProtocolAndPorts namedProtocolAndPorts(const Lumora::ConnectionDescription& description, bool abbreviate,
                                            const ShownDescriptionIndex& shown) {
    if (!abbreviate) {
        return {true, true};
    }
    const auto& protocol = description.networkProtocol();
    const bool specificPorts = description.ports().isSpecific();
    if (!protocol && !specificPorts) {
        return {false, false};
    }
    // TCP goes without saying unless a description it must be told apart from uses TCP too; the
    // ports are named when one of those leaves some of them out.
    const bool showProtocol = protocol != NetworkProtocol::tcp || shown.hasAnotherUsingTCP(description);
    const bool showPorts = specificPorts && shown.hasAnotherMissingPorts(description);
    return {showProtocol, showPorts};
}

NamedProtocolAndPorts namedProtocolAndPorts(const Lumora::ConnectionDescription& description, bool abbreviate,
                                            const std::vector<const Lumora::ConnectionDescription*>& shown) {
    return namedProtocolAndPorts(description, abbreviate, ShownDescriptionIndex(shown));
}

namespace {

struct HeadingFormat {
    std::string_view key;
    enum class Arguments : std::uint8_t {
        protocolSourceHosts,
        protocolSourcePortsHosts,
        protocolHostsSource,
        protocolPortsHostsSource,
        source,
        protocolSource,
        protocolSourcePorts
    };
    Arguments arguments;
};

HeadingFormat headingFormat(bool incoming, bool anyHost, bool hasPorts, bool hasProtocolText) {
    using Arguments = HeadingFormat::Arguments;
    if (!anyHost) {
        if (!incoming) {
            return hasPorts ? HeadingFormat{"connectionDescriptionHeadingFormat_toPort %@ %@ %@ %@",
                                            Arguments::protocolSourcePortsHosts}
                            : HeadingFormat{"connectionDescriptionHeadingFormat %@ %@ %@",
                                            Arguments::protocolSourceHosts};
        }
        return hasPorts ? HeadingFormat{"connectionDescriptionHeadingFormat_incomingOnPort %@ %@ %@ %@",
                                        Arguments::protocolPortsHostsSource}
                        : HeadingFormat{"connectionDescriptionHeadingFormat_incoming %@ %@ %@",
                                        Arguments::protocolHostsSource};
    }
    if (!incoming) {
        if (hasPorts) {
            return {"anyConnectionDescriptionHeadingFormat_toPort %@ %@ %@", Arguments::protocolSourcePorts};
        }
        return hasProtocolText ? HeadingFormat{"anyConnectionDescriptionHeadingFormat_withProtocol %@ %@",
                                               Arguments::protocolSource}
                               : HeadingFormat{"anyConnectionDescriptionHeadingFormat %@", Arguments::source};
    }
    return hasPorts ? HeadingFormat{"anyConnectionDescriptionHeadingFormat_incomingOnPort %@ %@ %@",
                                    Arguments::protocolSourcePorts}
                    : HeadingFormat{"anyConnectionDescriptionHeadingFormat_incoming %@ %@",
                                    Arguments::protocolSource};
}

} // namespace

std::string connectionHeading(
    const Lumora::ConnectionDescription& description, const Lumora::Source& source, const Lumora& document,
    bool abbreviatePortsAndProtocols, const ShownDescriptionIndex& shown,
    const std::vector<ConnectionInformation::NetworkInformation::RemoteEndpoint>& remoteEndpoints) {
    const auto named = namedProtocolAndPorts(description, abbreviatePortsAndProtocols, shown);
    const std::string protocolText =
        named.showProtocol && description.networkProtocol()
            ? std::string(networkProtocolText(*description.networkProtocol())) + " "
            : std::string();
    const std::optional<std::string> portsText = named.showPorts && description.ports().isSpecific()
                                                     ? std::optional(portsPhrase(description.ports()))
                                                     : std::nullopt;
    const std::string sourceText =
        &source == document.primarySource().get()
            ? std::string()
            : ZRConcatenation::concatenated(
                  " ", ZRLocalizedFormat::format(localized("viaSourceNameFormat %@"),
                                                 {isolatedHTML(escapeHTML(source.localizedName()))}));
    const auto rules =
        LumoraMatching::matchingHostMatchingRules(description.hostMatchingRules(), remoteEndpoints);
    const bool anyHost = std::any_of(rules.begin(), rules.end(), isAnyConnectionWildcard);
    const std::string hosts = anyHost ? std::string() : hostsText(rules);

    const auto format =
        headingFormat(description.isIncoming(), anyHost, portsText.has_value(), !protocolText.empty());
    using Arguments = HeadingFormat::Arguments;
    std::vector<ZRLocalizedFormat::Argument> arguments;
    const std::string ports = portsText.value_or("");
    switch (format.arguments) {
    case Arguments::protocolSourceHosts:
        arguments = {protocolText, sourceText, hosts};
        break;
    case Arguments::protocolSourcePortsHosts:
        arguments = {protocolText, sourceText, ports, hosts};
        break;
    case Arguments::protocolHostsSource:
        arguments = {protocolText, hosts, sourceText};
        break;
    case Arguments::protocolPortsHostsSource:
        arguments = {protocolText, ports, hosts, sourceText};
        break;
    case Arguments::source:
        arguments = {sourceText};
        break;
    case Arguments::protocolSource:
        arguments = {protocolText, sourceText};
        break;
    case Arguments::protocolSourcePorts:
        arguments = {protocolText, sourceText, ports};
        break;
    }
    const std::string sentence =
        collapseWhitespace(ZRLocalizedFormat::format(localized(format.key), arguments));
    return ZRUnicodeText::capitalizingFirstCharacter(sentence);
}

std::string connectionHeading(
    const Lumora::ConnectionDescription& description, const Lumora::Source& source, const Lumora& document,
    bool abbreviatePortsAndProtocols, const std::vector<Lumora::MatchingConnectionDescription>& shown,
    const std::vector<ConnectionInformation::NetworkInformation::RemoteEndpoint>& remoteEndpoints) {
    std::vector<const Lumora::ConnectionDescription*> shownDescriptions;
    shownDescriptions.reserve(shown.size());
    for (const auto& pair : shown) {
        shownDescriptions.push_back(pair.description.get());
    }
    return connectionHeading(description, source, document, abbreviatePortsAndProtocols,
                             ShownDescriptionIndex(shownDescriptions), remoteEndpoints);
}
