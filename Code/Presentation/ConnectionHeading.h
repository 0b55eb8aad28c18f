#pragma once

#include "Code/Model/ConnectionInformation.h"
#include "Code/Model/LumoraConnectionDescription.h"
#include "Code/Model/LumoraMatching.h"
#include "Code/Presentation/ShownDescriptionIndex.h"

#include <string>
#include <vector>

/// Pieces of the sentence that heads each declared connection on the document page. Words and
/// formats come from the "LumoraLocalization" table.

/// "a", "a and b", "a, b, and c" with the localized conjunctions.
std::string enumerationText(const std::vector<std::string>& items);

/// The hosts of a rule list as HTML words: "any host", or the packet filter, the local network, host
/// names, domains and addresses enumerated. Host and domain names are HTML-escaped and isolated
/// (<bdi>).
std::string hostsText(const std::vector<Lumora::ConnectionDescription::HostMatchingRule>& rules);

/// "port 443", "ports 80 and 443", or "12 ports", for a specific port set.
std::string portsPhrase(const PortSet& ports);

/// Whether a heading names the protocol and the ports. In the abbreviated mode they are named only
/// where they tell `description` apart from the other shown descriptions of the same direction
/// that share a host rule with it.
struct NamedProtocolAndPorts {
    bool showProtocol = true;
    bool showPorts = true;
};
NamedProtocolAndPorts namedProtocolAndPorts(const Lumora::ConnectionDescription& description, bool abbreviate,
                                            const ShownDescriptionIndex& shown);
NamedProtocolAndPorts namedProtocolAndPorts(const Lumora::ConnectionDescription& description, bool abbreviate,
                                            const std::vector<const Lumora::ConnectionDescription*>& shown);

/// The sentence that heads a connection description on the page (HTML: third-party names are
/// escaped and isolated, localized words are not). `shown` indexes the descriptions the page shows,
/// for the abbreviated mode; `remoteEndpoints` are those of a simulated connection (only the rules
/// that match one of them are named).
std::string connectionHeading(
    const Lumora::ConnectionDescription& description, const Lumora::Source& source, const Lumora& document,
    bool abbreviatePortsAndProtocols, const ShownDescriptionIndex& shown,
    const std::vector<ConnectionInformation::NetworkInformation::RemoteEndpoint>& remoteEndpoints);

/// The same for a single heading, with the shown pairs listed: it indexes them on each call.
std::string connectionHeading(
    const Lumora::ConnectionDescription& description, const Lumora::Source& source, const Lumora& document,
    bool abbreviatePortsAndProtocols, const std::vector<Lumora::MatchingConnectionDescription>& shown,
    const std::vector<ConnectionInformation::NetworkInformation::RemoteEndpoint>& remoteEndpoints);
