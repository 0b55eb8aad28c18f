#pragma once

#include "ZRFoundation/PropertyList/ZRPropertyList.h"

#include <string>

/// Writes property lists in the standard XML form (declaration, document type, <plist
/// version="1.0">, tab indentation), which every property-list reader understands.
namespace ZRPropertyListWriter {

/// The XML text of `value`. Text is escaped; \r is written as a character reference so that it
/// survives line-end normalisation. Data is base64, dates are ISO 8601 in UTC truncated to the
/// second, reals use the shortest text that reads back to the same value ("nan", "+infinity",
/// "-infinity" for the special values).
///
/// XML 1.0 cannot carry the control characters other than tab, line feed and carriage return,
/// nor U+FFFE and U+FFFF; such characters are written as character references, which strict XML
/// readers (ours included) refuse.
///
/// Throws std::invalid_argument for the null value (XML property lists have none) and for dates
/// outside the years 0001 to 9999.
std::string xmlData(const ZRPropertyList& value);

} // namespace ZRPropertyListWriter
