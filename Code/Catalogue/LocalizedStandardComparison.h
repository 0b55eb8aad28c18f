#pragma once

#include <QString>

/// The order people expect of names in a list: case and accents matter only to break ties, and
/// digits compare as numbers ("App 2" before "App 10"). Collates by the user's locale, or by English
/// when the locale is C or POSIX (whose collation ignores numbers). Safe from any thread.
int localizedStandardCompare(const QString& left, const QString& right);
