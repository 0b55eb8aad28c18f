#pragma once

#include <QString>

/// Text as the search field compares it: without case and without diacritics, and with
/// compatibility characters in their plain form, so that "cafe" finds "Café" and "fi" finds "ﬁ".
namespace SearchTextFolding {

QString folded(const QString& text);

} // namespace SearchTextFolding
