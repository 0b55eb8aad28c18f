#pragma once

#include "Code/Model/Lumora.h"

#include <nlohmann/json.hpp>
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

/// A bare declaration file (.plist in any property-list form, or .json), parsed as an embedded
/// declaration with the string table of its own "Localizations", if any. Nothing is verified.
std::variant<Lumora, Failure> loadDeclarationFile(const std::string& path);

} // namespace ToolDocumentLoading
