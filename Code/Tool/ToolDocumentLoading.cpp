#include "Code/Tool/ToolDocumentLoading.h"

#include "Code/Loading/LumoraLoadFailure.h"
#include "Code/Model/LumoraDeclarationFile.h"
#include "Code/Tool/LumoraDocumentJSON.h"

#include <filesystem>

#include <unistd.h>

namespace ToolDocumentLoading {

namespace {

nlohmann::ordered_json errorJSON(std::string_view type, std::string_view caseName,
                                 const std::string& description) {
    return nlohmann::ordered_json{{"type", type}, {"case", caseName}, {"description", description}};
}

} // namespace

bool isDeclarationFile(const std::filesystem::path& path) {
    const auto extension = path.extension();
    return extension == ".plist" || extension == ".json";
}

Checked loadApplication(const std::string& path, const LumoraLoader::Options& options) {
    Checked checked;
    if (::access(path.c_str(), R_OK) != 0) {
        checked.state = "noReadPermission";
        return checked;
    }
    std::error_code error;
    const bool isDirectory = std::filesystem::is_directory(path, error);
    try {
        checked.document = LumoraLoader::load(ZRURL::fileURL(path, isDirectory), options);
        checked.state = "loaded";
    } catch (...) {
        const auto failure = LumoraLoadFailure::fromLoaderException(std::current_exception());
        checked.state = failure ? "loadFailed" : "unavailable";
        if (failure) {
            checked.error = errorJSON(failure->type, failure->caseName, failure->description);
            checked.errorText = failure->description;
        }
    }
    // After a load that checked the signature the answer comes from the checker's cache;
    // applications without a document are checked here, so that every state can say who signed.
    checked.signature = LumoraSignatureSummary::read(path, options.extraTrustAnchors);
    return checked;
}

std::variant<Lumora, Failure> loadDeclarationOrApplication(const std::string& path,
                                                           const LumoraLoader::Options& options) {
    if (isDeclarationFile(path)) {
        return loadDeclarationFile(path);
    }
    auto checked = loadApplication(path, options);
    if (checked.document) {
        return std::move(*checked.document);
    }
    const std::string message =
        path + ": " + checked.state + (checked.errorText.empty() ? "" : ": " + checked.errorText);
    return Failure{
        checked.error.is_null()
            ? nlohmann::ordered_json{{"type", checked.state}, {"case", nullptr}, {"description", message}}
            : checked.error,
        message};
}

std::variant<Lumora, Failure> loadDeclarationFile(const std::string& path) {
    try {
        auto read = LumoraDeclarationFile::readDeclarationFile(path);
        const auto url = ZRURL::fileURL(path, false);
        if (const auto* failure = std::get_if<LumoraDeclarationFile::ReadFailure>(&read)) {
            if (!failure->contentIsCorrupt) {
                return Failure{
                    {{"type", "fileCorrupt"}, {"case", nullptr}, {"description", failure->description}},
                    failure->description};
            }
            // The error a bundle's loader gives for the same bytes.
            const auto error = Lumora::InitializationError::fileCorrupt(url, failure->debugMessage());
            return Failure{errorJSON("InitializationError", error.caseName(), error.errorDescription()),
                           error.errorDescription()};
        }
        const auto& dictionary = std::get<ZRPropertyListDictionary>(read);
        auto source = Lumora::Source::makeFromEmbeddedDictionary(
            Lumora::Source::SourceType::internal, url, url, std::nullopt, std::nullopt, dictionary,
            LumoraDeclarationFile::stringTableFromLocalizations(dictionary));
        return Lumora(std::move(source), {});
    } catch (const Lumora::Source::ParseError& error) {
        return Failure{LumoraDocumentJSON::parseErrorJSON(error), path + ": " + error.errorDescription()};
    }
}

} // namespace ToolDocumentLoading
