#pragma once

#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

class ZRBundle;

/// Interface texts: every user-visible text is a key looked up in a string table of a bundle (the
/// program's own by default). A missing key yields the key itself; when asked to, each missing
/// key is reported once on standard output as a strings-file line ready to paste into the table.
namespace ZRLocalization {

inline constexpr std::string_view missingKeyMarker = "<@missing-key-marker@>";
inline constexpr std::string_view notYetLocalizedMarker = "<#not-yet-localized#>";
inline constexpr std::string_view defaultTable = "Localizable";
inline constexpr std::string_view reportAllTables = "all";

/// The "LogMissingLocalizations" setting: a table name, "all", or none (no reporting). The
/// program reads it from its settings and hands it in; the core reads no settings store.
void setLogMissingLocalizations(std::optional<std::string> setting);

/// The text for `key` in `table` (none: "Localizable") of `bundle` (null: the program's own).
std::string lookupLocalizedString(std::string_view key, std::optional<std::string_view> table = std::nullopt,
                                  const ZRBundle* bundle = nullptr);

/// Where missing keys are reported (standard output unless changed; for tests).
void setReportStream(std::FILE* stream);

} // namespace ZRLocalization
