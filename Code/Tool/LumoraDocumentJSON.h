#pragma once

#include "Code/Loading/LumoraSignatureSummary.h"
#include "Code/Model/Lumora.h"
#include "Code/Model/LumoraConnectionDescription.h"
#include "Code/Model/LumoraSource.h"

#include <nlohmann/json.hpp>

/// The JSON shapes the command line prints for documents, sources and connection descriptions.
namespace LumoraDocumentJSON {

nlohmann::ordered_json documentJSON(const Lumora& document);
nlohmann::ordered_json sourceJSON(const Lumora::Source& source);
nlohmann::ordered_json connectionJSON(const Lumora::ConnectionDescription& description);
/// {"kind", "author", "teamIdentifier", "secureTimestamp", "error"}; null when the signature could
/// not be read.
nlohmann::ordered_json signatureJSON(const std::optional<LumoraSignatureSummary>& signature);
nlohmann::ordered_json parseErrorJSON(const Lumora::Source::ParseError& error);

std::string_view relevanceName(Lumora::ConnectionDescription::Relevance relevance);

} // namespace LumoraDocumentJSON
