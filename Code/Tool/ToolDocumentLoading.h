#pragma once

#include "Code/Loading/LumoraLoader.h"
#include "Code/Loading/LumoraSignatureSummary.h"
#include "Code/Model/Lumora.h"

#include <filesystem>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <variant>

/// Turning a path given on the command line into a document, or into the error to report.
namespace ToolDocumentLoading {

struct Failure {
    /// {"type": …, "case": …, "description": …}
    nlohmann::ordered_json error;
    /// One line for standard error.
    std::string message;
};

/// Whether `path` names a bare declaration file (by its ".plist" or ".json" name) rather than an
/// application.
bool isDeclarationFile(const std::filesystem::path& path);

/// A bare declaration file (.plist in any property-list form, or .json), parsed as an embedded
/// declaration with the string table of its own "Localizations", if any. Nothing is verified.
std::variant<Lumora, Failure> loadDeclarationFile(const std::string& path);

/// An application (bundle folder or single executable) loaded as the viewer loads it, with the state
/// the viewer would show: "loaded", "unavailable" (no document), "noReadPermission" or "loadFailed".
struct Checked {
    std::string state;
    /// {"type": …, "case": …, "description": …} for "loadFailed", null otherwise.
    nlohmann::ordered_json error = nullptr;
    std::string errorText;
    std::optional<Lumora> document;
    /// The main executable's signature, whenever it could be read, whatever the state.
    std::optional<LumoraSignatureSummary> signature;
};
Checked loadApplication(const std::string& path, const LumoraLoader::Options& options);

/// A declaration file (by its ".plist" or ".json" name) as `loadDeclarationFile`, anything else
/// as `loadApplication`.
std::variant<Lumora, Failure> loadDeclarationOrApplication(const std::string& path,
                                                           const LumoraLoader::Options& options);

} // namespace ToolDocumentLoading
