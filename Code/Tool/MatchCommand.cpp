// lumora match: builds a connection exactly as the developer panel would from the options, and
// prints the declared connection descriptions that cover it, best first.

#include "Code/Model/LumoraMatching.h"
#include "Code/Presentation/ConnectionHeading.h"
#include "Code/Tool/LumoraDocumentJSON.h"
#include "Code/Tool/LumoraTool.h"
#include "Code/Tool/TerminalText.h"
#include "Code/Tool/ToolConnectionOptions.h"
#include "Code/Tool/ToolDocumentLoading.h"
#include "Code/Tool/ToolJSON.h"
#include "Code/Tool/ToolOptions.h"

#include <iostream>

namespace LumoraTool {

namespace {

using json = nlohmann::ordered_json;

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
    LumoraLoader::Options loading;
};

// Applies one option; returns an error message for bad usage.
std::optional<std::string> applyOption(const std::vector<std::string>& arguments, std::size_t& index,
                                       ToolConnectionOptions& connection, MatchOptions& options) {
    const std::string& argument = arguments[index];
    std::optional<std::string> problem;
    if (connection.consume(arguments, index, problem)) {
        return problem;
    }
    if (argument == "--json") {
        options.asJSON = true;
    } else if (argument == "--extra-trust-anchors") {
        return ToolOptions::consumeExtraTrustAnchors(arguments, index, options.loading.extraTrustAnchors);
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
    ToolConnectionOptions connectionOptions;
    MatchOptions options;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        if (const auto problem = applyOption(arguments, i, connectionOptions, options)) {
            return usageError("match", *problem);
        }
    }
    if (!options.path) {
        return usageError("match", "no path given");
    }
    const auto loaded = ToolDocumentLoading::loadDeclarationOrApplication(*options.path, options.loading);
    if (const auto* failure = std::get_if<ToolDocumentLoading::Failure>(&loaded)) {
        return reportDocumentFailure(options.asJSON, *failure);
    }
    const auto& document = std::get<Lumora>(loaded);
    const auto connection = connectionOptions.connectionInformation();
    const auto matches = document.matchingConnectionDescriptions(*connection);

    json list = json::array();
    TerminalText text;
    for (const auto& match : matches) {
        const auto rating =
            connection->networkInformation()
                ? LumoraMatching::descriptionMatch(*match.description, *connection->networkInformation())
                : LumoraMatching::DescriptionMatch{Lumora::Match::fuzzy, 0};
        list.push_back({{"source", match.source->localizedName()},
                        {"match", matchName(rating.match)},
                        {"quality", rating.quality},
                        {"description", LumoraDocumentJSON::connectionJSON(*match.description)}});
        text << matchName(rating.match) << " (quality " << rating.quality << ") "
             << match.source->localizedName() << ": " << match.description->localizedPurpose()
             << TerminalText::newline;
    }
    if (options.asJSON) {
        std::cout << ToolJSON::dump({{"connection", connection->description()}, {"matches", std::move(list)}})
                  << '\n';
    } else {
        TerminalText output;
        output << "Connection:" << connection->description() << TerminalText::newline;
        if (matches.empty()) {
            output << "No declared connection covers it." << TerminalText::newline;
        }
        std::cout << (output << text).string();
    }
    return exitSuccess;
}

} // namespace LumoraTool
