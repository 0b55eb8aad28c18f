#pragma once

#include "Code/Model/ConnectionInformation.h"
#include "Code/Model/Lumora.h"
#include "Code/Model/SandboxNotes.h"

#include <optional>
#include <string>
#include <string_view>

/// What the document fragment contains.
enum DocumentHTMLOptions : unsigned {
    includeApplicationDescription = 1,
    includeDeveloperWebsite = 2,
    includeConnectionHeadings = 4,
    includeConnectionPurposes = 8,
    includeDenyConsequences = 16,
    includeServices = 32,
    /// Beside each connection the sandbox will not let happen, a note saying so.
    includeSandboxNotes = 64,
    abbreviatePortsAndProtocols = 256,
};
inline constexpr unsigned defaultDocumentHTMLOptions = 63;

/// The six wrappers of the fragment's pieces, each with one "%@". The website's is Markdown whose
/// link written "[text](%@)" takes the website's address.
struct DocumentHTMLFormats {
    std::string descriptionFormat;
    std::string websiteFormat;
    std::string serviceNameFormat;
    std::string servicePurposeFormat;
    std::string connectionHeadingFormat;
    std::string connectionTextFormat;

    /// The wrappers the document page uses.
    static DocumentHTMLFormats pageFormats();
};

/// The HTML of a loaded document: description, website, services, and each connection with its
/// heading, purpose and deny consequences; with a simulated connection only the descriptions that
/// match it (and no services). Texts from the document are HTML-escaped; Markdown links in each
/// text on its own become links for http, https and mailto addresses, and the containing
/// application's name, substituted into the texts of nested bundles, never takes part in a link. A
/// website that cannot be linked is left out. None when nothing is left to show.
///
/// With includeSandboxNotes, a connection the application's sandbox does not allow is followed by
/// a paragraph of class "sandbox-note" (see sandboxNoteKey).
std::optional<std::string> documentHTML(const Lumora& document,
                                        const ConnectionInformation* simulatedConnection, unsigned options,
                                        const DocumentHTMLFormats& formats);

/// The key of a sandbox note's text in the "MainWindow" string table.
std::string_view sandboxNoteKey(SandboxNotes::Kind kind);
