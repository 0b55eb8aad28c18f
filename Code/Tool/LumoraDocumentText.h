#pragma once

#include "Code/Model/Lumora.h"

#include <string>

/// A plain-text summary of a document for a person at a terminal.
namespace LumoraDocumentText {

std::string documentText(const Lumora& document);

} // namespace LumoraDocumentText
