#pragma once

#include <optional>
#include <string>
#include <string_view>

/// The date form of XML property lists, "2024-02-29T13:45:00Z", as seconds since 2001-01-01
/// 00:00:00 UTC. Only years 0001 to 9999 can be written this way; every reader refuses dates
/// outside them, so every date a reader returns can be written back.
namespace ZRISO8601DateFormat {

/// 0001-01-01T00:00:00Z and the first second after 9999-12-31T23:59:59Z.
constexpr double earliestSecondsSinceReferenceDate = -63113904000.0;
constexpr double endSecondsSinceReferenceDate = 252423993600.0;

inline bool isRepresentable(double secondsSinceReferenceDate) {
    return secondsSinceReferenceDate >= earliestSecondsSinceReferenceDate &&
           secondsSinceReferenceDate < endSecondsSinceReferenceDate;
}

/// "YYYY-MM-DDTHH:MM:SSZ", optionally with a fraction of a second; nothing for anything else or
/// for fields out of range.
std::optional<double> secondsSinceReferenceDate(std::string_view text);

/// The text of a representable date, truncated to the whole second below it; nothing otherwise.
std::optional<std::string> text(double secondsSinceReferenceDate);

} // namespace ZRISO8601DateFormat
