#pragma once

#include <optional>
#include <string>
#include <string_view>

/// Text functions shared by the page, the document fragment and the connection headings.

/// The text with every run of white space and line breaks replaced by one space, and none at
/// either end.
std::string collapseWhitespace(std::string_view text);

/// Markdown-style links "[text](address)" become anchors. The link text holds no "[", "]" or line
/// break; the address is the shortest run of non-space characters closed by ")". Only addresses
/// that `isLinkableAddress` accepts are linked: any other link is left as written. The address is
/// placed in a double-quoted attribute, so the text handed in must already be HTML-escaped where it
/// comes from a third party. Convert each text on its own, before it is placed in the page, so that
/// brackets of two texts never pair.
std::string linkifyMarkdown(std::string_view text);

/// http, https and mailto addresses without white space or control characters.
bool isLinkableAddress(std::string_view address);

/// `format` (the program's own text, with inline HTML) with its Markdown links converted, where
/// the link written "[text](%@)" takes `address` whole, HTML-escaped. None when `address` is not
/// linkable: the link is then not shown at all rather than as Markdown.
std::optional<std::string> linkedFormatHTML(std::string_view format, std::string_view address);

/// `linkifyMarkdown`, then each non-empty line wrapped in a paragraph, lines joined by "\n".
std::string paragraphsHTML(std::string_view text);

/// The text with "&", "<", ">", '"' and "'" written as character references, safe both as element
/// content and inside a quoted attribute.
std::string escapeHTML(std::string_view text);

/// `escapeHTML`, and "[", "]", "(" and ")" written as character references too: a value
/// substituted into a text that is later searched for links reads the same but can neither open,
/// close nor address a link.
std::string escapeHTMLAndMarkdown(std::string_view text);

/// `escapeHTML(text)`, where every occurrence of `value` (a name substituted into the text before
/// it reached the page) is escaped as by `escapeHTMLAndMarkdown`. Occurrences may overlap; an empty
/// value marks nothing.
std::string escapeHTMLWithSubstitutedValue(std::string_view text, std::string_view value);

/// The HTML inside a <bdi> element: a third-party value within a sentence of the page, isolated
/// so that its direction and its bidirectional controls act on nothing around it.
std::string isolatedHTML(std::string_view html);
