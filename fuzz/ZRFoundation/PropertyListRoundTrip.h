#pragma once

// Shared by the property-list fuzz targets: a value that a reader accepted must survive being
// written as XML and read back. Legitimate exceptions, which the check skips or allows for:
// - the null value (JSON null, binary 0x00) has no XML form, and the writer refuses it;
// - strings holding characters that XML 1.0 cannot carry (control characters other than tab,
//   line feed and carriage return; U+FFFE and U+FFFF) cannot be read back by any XML reader;
// - NaN is not equal to itself, so reals compare NaN with NaN as equal;
// - XML dates hold whole seconds, so dates compare after truncating to the second below.

#include "ZRFoundation/PropertyList/ZRPropertyListReader.h"
#include "ZRFoundation/PropertyList/ZRPropertyListWriter.h"

#include <cmath>
#include <cstdlib>
#include <string_view>

namespace PropertyListRoundTrip {

inline bool isXMLText(std::string_view text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (byte < 0x20 && byte != '\t' && byte != '\n' && byte != '\r') {
            return false;
        }
        // U+FFFE and U+FFFF: EF BF BE and EF BF BF.
        if (byte == 0xEF && text.substr(i + 1, 1) == "\xBF" && i + 2 < text.size() &&
            (static_cast<unsigned char>(text[i + 2]) & 0xFE) == 0xBE) {
            return false;
        }
    }
    return true;
}

// Recursion is bounded by the readers' depth limit.
inline bool isWritable(const ZRPropertyList& value) {
    switch (value.type()) {
    case ZRPropertyList::Type::Null:
        return false;
    case ZRPropertyList::Type::String:
        return isXMLText(*value.stringValue());
    case ZRPropertyList::Type::Array:
        for (const auto& element : *value.arrayValue()) {
            if (!isWritable(element)) {
                return false;
            }
        }
        return true;
    case ZRPropertyList::Type::Dictionary:
        for (const auto& [key, element] : *value.dictionaryValue()) {
            if (!isXMLText(key) || !isWritable(element)) {
                return false;
            }
        }
        return true;
    default:
        return true;
    }
}

inline bool equivalent(const ZRPropertyList& read, const ZRPropertyList& original) {
    if (read.type() != original.type()) {
        return false;
    }
    switch (original.type()) {
    case ZRPropertyList::Type::Real: {
        const double a = *read.realValue();
        const double b = *original.realValue();
        return a == b || (std::isnan(a) && std::isnan(b));
    }
    case ZRPropertyList::Type::Date:
        return read.dateValue()->secondsSinceReferenceDate ==
               std::floor(original.dateValue()->secondsSinceReferenceDate);
    case ZRPropertyList::Type::Array: {
        const auto& a = *read.arrayValue();
        const auto& b = *original.arrayValue();
        if (a.size() != b.size()) {
            return false;
        }
        for (std::size_t i = 0; i < a.size(); ++i) {
            if (!equivalent(a[i], b[i])) {
                return false;
            }
        }
        return true;
    }
    case ZRPropertyList::Type::Dictionary: {
        const auto& a = read.dictionaryValue()->entries();
        const auto& b = original.dictionaryValue()->entries();
        if (a.size() != b.size()) {
            return false;
        }
        // The writer keeps the key order, so entries correspond one to one.
        for (std::size_t i = 0; i < a.size(); ++i) {
            if (a[i].first != b[i].first || !equivalent(a[i].second, b[i].second)) {
                return false;
            }
        }
        return true;
    }
    default:
        return read == original;
    }
}

/// Limits for the fuzz runs: smaller element and expansion limits keep every run fast.
inline ZRPropertyListReader::Limits fuzzLimits() {
    ZRPropertyListReader::Limits limits;
    limits.maximumElementCount = 200000;
    limits.maximumDecodedSize = 16 * 1024 * 1024;
    return limits;
}

/// Aborts (a fuzz finding) when an accepted value does not read back equal from its XML form.
inline void checkXMLRoundTrip(const ZRPropertyListReader::Result& result) {
    if (!result) {
        if (result.errorDescription.empty()) {
            std::abort(); // every failure carries a description
        }
        return;
    }
    if (!isWritable(*result.value)) {
        return;
    }
    const std::string xml = ZRPropertyListWriter::xmlData(*result.value);
    auto limits = fuzzLimits();
    limits.maximumInputSize = xml.size();
    const auto reread = ZRPropertyListReader::readXML(
        std::span(reinterpret_cast<const std::uint8_t*>(xml.data()), xml.size()), limits);
    if (!reread || !equivalent(*reread.value, *result.value)) {
        std::abort();
    }
}

} // namespace PropertyListRoundTrip
