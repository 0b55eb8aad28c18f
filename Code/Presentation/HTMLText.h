#pragma once

#include <string>
#include <string_view>

/// Text functions shared by the page, the document fragment and the connection headings.

/// The text with every run of white space and line breaks replaced by one space, and none at
/// either end.
std::string collapseWhitespace(std::string_view text);

/// Markdown-style links "[text](address)" become anchors. Only http, https and mailto addresses
/// are linked: any other link is left as written. The address is placed in a double-quoted
/// attribute, so the text handed in must already be HTML-escaped where it comes from a third party.
std::string linkifyMarkdown(std::string_view text);

/// `linkifyMarkdown`, then each non-empty line wrapped in a paragraph, lines joined by "\n".
std::string paragraphsHTML(std::string_view text);

/// The text with "&", "<", ">", '"' and "'" written as character references, safe both as element
/// content and inside a quoted attribute.
std::string escapeHTML(std::string_view text);
