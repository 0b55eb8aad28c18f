#pragma once

#include <nlohmann/json.hpp>
#include <string>
#include <string_view>

/// The one way the command line turns JSON into text. Strings in a document come from file names,
/// signatures and declaration files, and any of them may hold bytes that are not UTF-8, which the
/// JSON writer refuses; every command prints through `dump`, which repairs them first.
namespace ToolJSON {

using json = nlohmann::ordered_json;

/// `value` as text (indented by `indent` spaces, or on one line for -1), with every string and
/// object key that is not well-formed UTF-8 shown with U+FFFD in place of its ill-formed parts.
/// Two keys of one object that become equal keep the later value.
std::string dump(json value, int indent = 2);

/// Appends "path": PATH to `object`. When PATH is not well-formed UTF-8 (and so is shown with U+FFFD),
/// "pathPercentEncoded" follows with its exact bytes: '%' and every ill-formed byte written as %XX,
/// so that percent-decoding gives back the name of the file.
void appendPath(json& object, std::string_view path);
/// The same for any text that names a file exactly: KEY, and KEY + "PercentEncoded" when needed.
void appendExactText(json& object, const std::string& key, std::string_view text);

} // namespace ToolJSON
