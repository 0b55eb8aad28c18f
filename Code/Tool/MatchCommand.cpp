// lumora match: builds a connection exactly as the developer panel would from the options, and
// prints the declared connection descriptions that cover it, best first.

#include "Code/Model/DeveloperPanelModel.h"
#include "Code/Model/LumoraMatching.h"
#include "Code/Presentation/ConnectionHeading.h"
#include "Code/Tool/LumoraDocumentJSON.h"
#include "Code/Tool/LumoraTool.h"
#include "Code/Tool/ToolDocumentLoading.h"

#include <iostream>

namespace LumoraTool {

namespace {

using json = nlohmann::ordered_json;
using EndpointType = DeveloperPanelModel::RemoteEndpointType;

std::string_view matchName(Lumora::Match match) {
    switch (match) {
    case Lumora::Match::exact:
        return "exact";
    case Lumora::Match::fuzzy:
        return "fuzzy";
    case Lumora::Match::fallback:
        return "fallback";
    case Lumora::Match::none:
        return "none";
    }
    return "";
}

struct MatchOptions {
    bool asJSON = false;
    std::optional<std::string> path;
    std::optional<std::string> extraTrustAnchors;
};

// Applies one option to the panel; returns an error message for bad usage.
std::optional<std::string> applyOption(const std::vector<std::string>& arguments, std::size_t& index,
                                       DeveloperPanelModel& panel, MatchOptions& options,
                                       bool& endpointGiven) {
    const std::string& argument = arguments[index];
    const auto value = [&]() -> std::optional<std::string> {
        if (index + 1 >= arguments.size()) {
            return std::nullopt;
        }
        return arguments[++index];
    };
    const auto setEndpoint = [&](EndpointType type,
                                 std::optional<std::string> endpointArgument) -> std::optional<std::string> {
        if (endpointGiven) {
            return "give at most one of --host, --domain, --ip, --local-network and --bpf";
        }
        endpointGiven = true;
        panel.setRemoteEndpointType(type);
        if (endpointArgument) {
            panel.setRemoteEndpointArgument(*endpointArgument);
        }
        return std::nullopt;
    };
    if (argument == "--json") {
        options.asJSON = true;
    } else if (argument == "--incoming") {
        panel.setIsIncoming(true);
    } else if (argument == "--local-network") {
        return setEndpoint(EndpointType::localNetwork, std::nullopt);
    } else if (argument == "--bpf") {
        return setEndpoint(EndpointType::berkeleyPacketFilter, std::nullopt);
    } else if (argument == "--host" || argument == "--domain" || argument == "--ip") {
        const auto text = value();
        if (!text) {
            return argument + " needs a value";
        }
        if (argument == "--ip" && !NQIPAddressSet::addressSetFromDisplayString(*text)) {
            return "'" + *text + "' is not an address, range or network";
        }
        return setEndpoint(argument == "--host"
                               ? EndpointType::host
                               : (argument == "--domain" ? EndpointType::domain : EndpointType::ipAddresses),
                           text);
    } else if (argument == "--protocol") {
        const auto text = value();
        const std::vector<std::string> names{"any", "tcp", "udp", "icmp"};
        const auto found = text ? std::find(names.begin(), names.end(), *text) : names.end();
        if (found == names.end()) {
            return "--protocol takes any, tcp, udp or icmp";
        }
        panel.setNetworkProtocol(
            *DeveloperPanelModel::networkProtocolFromRawValue(static_cast<int>(found - names.begin())));
    } else if (argument == "--port") {
        const auto text = value();
        if (!text) {
            return "--port needs a port number";
        }
        panel.setPortsString(*text);
    } else if (argument == "--extra-trust-anchors") {
        options.extraTrustAnchors = value();
        if (!options.extraTrustAnchors) {
            return "--extra-trust-anchors needs a file";
        }
    } else if (argument.starts_with("-")) {
        return "unknown option " + argument;
    } else if (options.path) {
        return "match takes one path";
    } else {
        options.path = argument;
    }
    return std::nullopt;
}

} // namespace

int runMatch(const std::vector<std::string>& arguments) {
    DeveloperPanelModel panel;
    panel.setSimulateConnection(true);
    MatchOptions options;
    bool endpointGiven = false;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        if (const auto problem = applyOption(arguments, i, panel, options, endpointGiven)) {
            return usageError("match", *problem);
        }
    }
    if (!options.path) {
        return usageError("match", "no path given");
    }
    const auto loaded = ToolDocumentLoading::loadDeclarationFile(*options.path);
    if (const auto* failure = std::get_if<ToolDocumentLoading::Failure>(&loaded)) {
        return reportDocumentFailure(options.asJSON, *failure);
    }
    const auto& document = std::get<Lumora>(loaded);
    const auto connection = panel.connectionInformation();
    const auto matches = document.matchingConnectionDescriptions(*connection);

    json list = json::array();
    std::string text;
    for (const auto& match : matches) {
        const auto rating =
            connection->networkInformation()
                ? LumoraMatching::descriptionMatch(*match.description, *connection->networkInformation())
                : LumoraMatching::DescriptionMatch{Lumora::Match::fuzzy, 0};
        list.push_back({{"source", match.source->localizedName()},
                        {"match", matchName(rating.match)},
                        {"quality", rating.quality},
                        {"description", LumoraDocumentJSON::connectionJSON(*match.description)}});
        text += std::string(matchName(rating.match)) + " (quality " + std::to_string(rating.quality) + ") " +
                match.source->localizedName() + ": " + match.description->localizedPurpose() + "\n";
    }
    if (options.asJSON) {
        std::cout << json{{"connection", connection->description()}, {"matches", std::move(list)}}.dump(2)
                  << '\n';
    } else {
        std::cout << "Connection:" << connection->description() << "\n"
                  << (matches.empty() ? std::string("No declared connection covers it.\n") : text);
    }
    return exitSuccess;
}

} // namespace LumoraTool
