#pragma once

#include "ZRFoundation/PropertyList/ZRPropertyListReader.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

/// Pieces the four property-list readers share: results, limit messages and the number forms.
namespace ZRPropertyListReaderSupport {

using ZRPropertyListReader::Format;
using ZRPropertyListReader::Result;

Result failure(Format format, std::string description);
Result success(Format format, ZRPropertyList value);

std::string inputTooLargeDescription(std::size_t maximumInputSize);
std::string nestingTooDeepDescription(std::size_t maximumDepth);
std::string tooManyElementsDescription(std::size_t maximumElementCount);

/// A character for an error message: 'x' when printable ASCII, otherwise its hexadecimal byte.
std::string quotedCharacter(char c);
/// At most 40 bytes of a value for an error message, quoted.
std::string quotedExcerpt(std::string_view text);

/// Decimal or 0x hexadecimal with optional sign, surrounded by optional white space. Nothing for
/// other text and for values outside the signed 64-bit range.
std::optional<std::int64_t> integerFromText(std::string_view text);
/// Decimal with optional exponent, or nan, inf, infinity (any case, optional sign).
std::optional<double> realFromText(std::string_view text);

std::string_view trimmingWhitespace(std::string_view text);

} // namespace ZRPropertyListReaderSupport
