#pragma once

#include <QString>

/// Text as the search field compares it: without case and without diacritics, and with
/// compatibility characters in their plain form, so that "cafe" finds "Café" and "fi" finds "ﬁ".
namespace SearchTextFolding {

QString folded(const QString& text);

/// Whether `text` contains `searchText`, both folded; empty search text matches everything.
bool contains(const QString& text, const QString& searchText);

} // namespace SearchTextFolding
