#pragma once

#include <QString>

/// The window's texts, from the program's string tables in the user's language.
namespace ShellText {

inline constexpr const char* mainWindowTable = "MainWindow";
inline constexpr const char* previewApplicationsLoadingSheetTable = "PreviewApplicationsLoadingSheet";

/// The text for `key` in `table`; the key itself when the table lacks it.
QString localized(const char* key, const char* table = mainWindowTable);

} // namespace ShellText
