// lumora lint: reads one declaration file, parses it as an embedded declaration, and prints the
// document or the reason it was rejected.

#include "Code/Model/LumoraDeclarationFile.h"
#include "Code/Tool/LumoraDocumentJSON.h"
#include "Code/Tool/LumoraDocumentText.h"
#include "Code/Tool/LumoraTool.h"
#include "ZRFoundation/Localization/ZRPreferredLanguages.h"

#include <iostream>

namespace LumoraTool {

namespace {

using json = nlohmann::ordered_json;

int reportFailure(bool asJSON, const json& error, const std::string& description) {
    if (asJSON) {
        std::cout << json{{"error", error}}.dump(2) << '\n';
    }
    std::cerr << description << '\n';
    return exitFailure;
}

} // namespace

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

    try {
        auto read = LumoraDeclarationFile::readDeclarationFile(*file);
        if (const auto* failure = std::get_if<LumoraDeclarationFile::ReadFailure>(&read)) {
            return reportFailure(
                asJSON, {{"type", "fileCorrupt"}, {"case", nullptr}, {"description", failure->description}},
                *file + ": " + failure->description);
        }
        const auto& dictionary = std::get<ZRPropertyListDictionary>(read);
        const auto url = ZRURL::fileURL(*file, false);
        auto source = Lumora::Source::makeFromEmbeddedDictionary(
            Lumora::Source::SourceType::internal, url, url, std::nullopt, std::nullopt, dictionary,
            LumoraDeclarationFile::stringTableFromLocalizations(dictionary));
        const Lumora document(std::move(source), {});
        if (asJSON) {
            std::cout << LumoraDocumentJSON::documentJSON(document).dump(2) << '\n';
        } else {
            std::cout << LumoraDocumentText::documentText(document);
        }
        return exitSuccess;
    } catch (const Lumora::Source::ParseError& error) {
        return reportFailure(asJSON, LumoraDocumentJSON::parseErrorJSON(error),
                             *file + ": " + error.errorDescription());
    }
}

} // namespace LumoraTool
