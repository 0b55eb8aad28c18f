#include "Code/Tool/ToolDocumentLoading.h"

#include "Code/Model/LumoraDeclarationFile.h"
#include "Code/Tool/LumoraDocumentJSON.h"

namespace ToolDocumentLoading {

std::variant<Lumora, Failure> loadDeclarationFile(const std::string& path) {
    try {
        auto read = LumoraDeclarationFile::readDeclarationFile(path);
        if (const auto* failure = std::get_if<LumoraDeclarationFile::ReadFailure>(&read)) {
            return Failure{
                {{"type", "fileCorrupt"}, {"case", nullptr}, {"description", failure->description}},
                path + ": " + failure->description};
        }
        const auto& dictionary = std::get<ZRPropertyListDictionary>(read);
        const auto url = ZRURL::fileURL(path, false);
        auto source = Lumora::Source::makeFromEmbeddedDictionary(
            Lumora::Source::SourceType::internal, url, url, std::nullopt, std::nullopt, dictionary,
            LumoraDeclarationFile::stringTableFromLocalizations(dictionary));
        return Lumora(std::move(source), {});
    } catch (const Lumora::Source::ParseError& error) {
        return Failure{LumoraDocumentJSON::parseErrorJSON(error), path + ": " + error.errorDescription()};
    }
}

} // namespace ToolDocumentLoading
