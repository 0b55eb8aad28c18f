// lumora lint: reads one declaration file, parses it as an embedded declaration, and prints the
// document or the reason it was rejected.

#include "Code/Tool/LumoraDocumentJSON.h"
#include "Code/Tool/LumoraDocumentText.h"
#include "Code/Tool/LumoraTool.h"
#include "Code/Tool/TerminalText.h"
#include "Code/Tool/ToolDocumentLoading.h"
#include "Code/Tool/ToolJSON.h"
#include "ZRFoundation/Localization/ZRPreferredLanguages.h"

#include <iostream>

namespace LumoraTool {

int reportDocumentFailure(bool asJSON, const ToolDocumentLoading::Failure& failure) {
    if (asJSON) {
        std::cout << ToolJSON::dump({{"error", failure.error}}) << '\n';
    }
    std::cerr << (TerminalText() << failure.message << TerminalText::newline).string();
    return exitFailure;
}

int runLint(const std::vector<std::string>& arguments) {
    bool asJSON = false;
    std::optional<std::string> file;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const auto& argument = arguments[i];
        if (argument == "--json") {
            asJSON = true;
        } else if (argument == "--language") {
            if (++i == arguments.size()) {
                return usageError("lint", "--language needs a language, for example de or en-GB");
            }
            ZRPreferredLanguages::overridePreferredLanguages(std::vector<std::string>{arguments[i]});
        } else if (argument.starts_with("-") && argument != "-") {
            return usageError("lint", "unknown option " + argument);
        } else if (file) {
            return usageError("lint", "lint takes one file");
        } else {
            file = argument;
        }
    }
    if (!file) {
        return usageError("lint", "no file given");
    }
    const auto loaded = ToolDocumentLoading::loadDeclarationFile(*file);
    if (const auto* failure = std::get_if<ToolDocumentLoading::Failure>(&loaded)) {
        return reportDocumentFailure(asJSON, *failure);
    }
    const auto& document = std::get<Lumora>(loaded);
    if (asJSON) {
        std::cout << ToolJSON::dump(LumoraDocumentJSON::documentJSON(document)) << '\n';
    } else {
        std::cout << LumoraDocumentText::documentText(document).string();
    }
    return exitSuccess;
}

} // namespace LumoraTool
