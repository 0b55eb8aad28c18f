#pragma once

#include "Code/Model/Lumora.h"
#include "Code/Tool/TerminalText.h"

/// A plain-text summary of a document for a person at a terminal.
namespace LumoraDocumentText {

TerminalText documentText(const Lumora& document);

} // namespace LumoraDocumentText
