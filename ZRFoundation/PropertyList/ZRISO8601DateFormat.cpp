#include "ZRFoundation/PropertyList/ZRISO8601DateFormat.h"

#include <cmath>
#include <cstdint>
#include <cstdio>

namespace ZRISO8601DateFormat {

namespace {

constexpr std::int64_t secondsPerDay = 86400;
constexpr std::int64_t referenceDateDaysSinceUnixEpoch = 11323; // 2001-01-01

// Days since 1970-01-01 of a proleptic Gregorian date (the usual era-based calendar arithmetic).
std::int64_t daysFromCivil(std::int64_t year, std::int64_t month, std::int64_t day) {
    year -= month <= 2 ? 1 : 0;
    const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
    const std::int64_t yearOfEra = year - era * 400;
    const std::int64_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const std::int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

struct CivilDate {
    std::int64_t year;
    std::int64_t month;
    std::int64_t day;
};

CivilDate civilFromDays(std::int64_t days) {
    days += 719468;
    const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const std::int64_t dayOfEra = days - era * 146097;
    const std::int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const std::int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const std::int64_t monthIndex = (5 * dayOfYear + 2) / 153;
    const std::int64_t day = dayOfYear - (153 * monthIndex + 2) / 5 + 1;
    const std::int64_t month = monthIndex < 10 ? monthIndex + 3 : monthIndex - 9;
    return {yearOfEra + era * 400 + (month <= 2 ? 1 : 0), month, day};
}

bool isLeapYear(std::int64_t year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

std::int64_t daysInMonth(std::int64_t year, std::int64_t month) {
    static constexpr std::int64_t days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && isLeapYear(year) ? 29 : days[month - 1];
}

// Exactly `width` decimal digits at `offset`.
std::optional<std::int64_t> digitsAt(std::string_view text, std::size_t offset, std::size_t width) {
    if (offset + width > text.size()) {
        return std::nullopt;
    }
    std::int64_t value = 0;
    for (std::size_t i = offset; i < offset + width; ++i) {
        if (text[i] < '0' || text[i] > '9') {
            return std::nullopt;
        }
        value = value * 10 + (text[i] - '0');
    }
    return value;
}

std::optional<double> fraction(std::string_view digits) {
    if (digits.empty() || digits.size() > 9) {
        return std::nullopt;
    }
    const auto value = digitsAt(digits, 0, digits.size());
    if (!value) {
        return std::nullopt;
    }
    return static_cast<double>(*value) / std::pow(10.0, static_cast<double>(digits.size()));
}

} // namespace

std::optional<double> secondsSinceReferenceDate(std::string_view text) {
    // YYYY-MM-DDTHH:MM:SS[.fff]Z
    if (text.size() < 20 || text[4] != '-' || text[7] != '-' || text[10] != 'T' || text[13] != ':' ||
        text[16] != ':' || text.back() != 'Z') {
        return std::nullopt;
    }
    const auto year = digitsAt(text, 0, 4);
    const auto month = digitsAt(text, 5, 2);
    const auto day = digitsAt(text, 8, 2);
    const auto hour = digitsAt(text, 11, 2);
    const auto minute = digitsAt(text, 14, 2);
    const auto second = digitsAt(text, 17, 2);
    if (!year || !month || !day || !hour || !minute || !second || *year < 1 || *month < 1 || *month > 12 ||
        *day < 1 || *day > daysInMonth(*year, *month) || *hour > 23 || *minute > 59 || *second > 59) {
        return std::nullopt;
    }
    double subsecond = 0;
    if (text.size() > 20) {
        const auto digits = text.substr(20, text.size() - 21);
        if (text[19] != '.') {
            return std::nullopt;
        }
        const auto value = fraction(digits);
        if (!value) {
            return std::nullopt;
        }
        subsecond = *value;
    }
    const std::int64_t days = daysFromCivil(*year, *month, *day) - referenceDateDaysSinceUnixEpoch;
    const std::int64_t seconds = days * secondsPerDay + *hour * 3600 + *minute * 60 + *second;
    return static_cast<double>(seconds) + subsecond;
}

std::optional<std::string> text(double secondsSinceReferenceDate) {
    if (!isRepresentable(secondsSinceReferenceDate)) {
        return std::nullopt;
    }
    const auto seconds = static_cast<std::int64_t>(std::floor(secondsSinceReferenceDate));
    std::int64_t days = seconds / secondsPerDay;
    std::int64_t secondOfDay = seconds % secondsPerDay;
    if (secondOfDay < 0) {
        secondOfDay += secondsPerDay;
        --days;
    }
    const CivilDate date = civilFromDays(days + referenceDateDaysSinceUnixEpoch);
    char buffer[128];
    std::snprintf(buffer, sizeof buffer, "%04lld-%02lld-%02lldT%02lld:%02lld:%02lldZ",
                  static_cast<long long>(date.year), static_cast<long long>(date.month),
                  static_cast<long long>(date.day), static_cast<long long>(secondOfDay / 3600),
                  static_cast<long long>(secondOfDay / 60 % 60), static_cast<long long>(secondOfDay % 60));
    return std::string(buffer);
}

} // namespace ZRISO8601DateFormat
