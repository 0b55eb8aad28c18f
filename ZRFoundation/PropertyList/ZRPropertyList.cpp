#include "ZRFoundation/PropertyList/ZRPropertyList.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <ctime>

namespace {

constexpr double referenceDateUnixTime = 978307200.0; // 2001-01-01T00:00:00Z

bool isBareWordCharacter(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' ||
           c == '.' || c == '/' || c == '$' || c == '-' || c == ':';
}

// A string inside an array or dictionary description: bare when it is a plain word, otherwise
// quoted with the old-style escapes.
std::string quotedIfNeeded(const std::string& text) {
    if (!text.empty() && std::all_of(text.begin(), text.end(), isBareWordCharacter)) {
        return text;
    }
    std::string quoted = "\"";
    for (const char c : text) {
        switch (c) {
        case '"':
            quoted += "\\\"";
            break;
        case '\\':
            quoted += "\\\\";
            break;
        case '\n':
            quoted += "\\n";
            break;
        case '\t':
            quoted += "\\t";
            break;
        default:
            quoted += c;
        }
    }
    return quoted + "\"";
}

std::string realText(double value) {
    if (std::isnan(value)) {
        return "nan";
    }
    if (std::isinf(value)) {
        return value > 0 ? "inf" : "-inf";
    }
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
}

std::string dateText(double secondsSinceReferenceDate) {
    const double unixTime = std::floor(secondsSinceReferenceDate + referenceDateUnixTime);
    if (!(unixTime > -1e15 && unixTime < 1e15)) {
        return realText(secondsSinceReferenceDate);
    }
    const auto seconds = static_cast<std::time_t>(unixTime);
    std::tm parts{};
    if (gmtime_r(&seconds, &parts) == nullptr) {
        return realText(secondsSinceReferenceDate);
    }
    char buffer[64];
    std::strftime(buffer, sizeof buffer, "%Y-%m-%dT%H:%M:%SZ", &parts);
    return buffer;
}

std::string nestedDescription(const ZRPropertyList& value) {
    const auto* text = value.stringValue();
    return text ? quotedIfNeeded(*text) : value.description();
}

} // namespace

ZRPropertyList ZRPropertyList::string(std::string value) {
    return ZRPropertyList(Storage(std::move(value)));
}
ZRPropertyList ZRPropertyList::integer(std::int64_t value) {
    return ZRPropertyList(Storage(value));
}
ZRPropertyList ZRPropertyList::real(double value) {
    return ZRPropertyList(Storage(value));
}
ZRPropertyList ZRPropertyList::boolean(bool value) {
    return ZRPropertyList(Storage(value));
}
ZRPropertyList ZRPropertyList::date(Date value) {
    return ZRPropertyList(Storage(value));
}
ZRPropertyList ZRPropertyList::data(Data value) {
    return ZRPropertyList(Storage(std::move(value)));
}

ZRPropertyList ZRPropertyList::array(Array value) {
    return ZRPropertyList(Storage(std::make_shared<const Array>(std::move(value))));
}

ZRPropertyList ZRPropertyList::dictionary(ZRPropertyListDictionary value) {
    return ZRPropertyList(Storage(std::make_shared<const ZRPropertyListDictionary>(std::move(value))));
}

std::optional<std::int64_t> ZRPropertyList::integerValue() const {
    if (const auto* value = std::get_if<std::int64_t>(&_value)) {
        return *value;
    }
    return std::nullopt;
}

std::optional<double> ZRPropertyList::realValue() const {
    if (const auto* value = std::get_if<double>(&_value)) {
        return *value;
    }
    if (const auto* value = std::get_if<std::int64_t>(&_value)) {
        return static_cast<double>(*value);
    }
    return std::nullopt;
}

std::optional<bool> ZRPropertyList::booleanValue() const {
    if (const auto* value = std::get_if<bool>(&_value)) {
        return *value;
    }
    return std::nullopt;
}

std::optional<ZRPropertyList::Date> ZRPropertyList::dateValue() const {
    if (const auto* value = std::get_if<Date>(&_value)) {
        return *value;
    }
    return std::nullopt;
}

const ZRPropertyList::Array* ZRPropertyList::arrayValue() const {
    const auto* value = std::get_if<std::shared_ptr<const Array>>(&_value);
    return value ? value->get() : nullptr;
}

const ZRPropertyListDictionary* ZRPropertyList::dictionaryValue() const {
    const auto* value = std::get_if<std::shared_ptr<const ZRPropertyListDictionary>>(&_value);
    return value ? value->get() : nullptr;
}

std::string_view ZRPropertyList::className() const {
    switch (type()) {
    case Type::Null:
        return "NSNull";
    case Type::String:
        return "NSString";
    case Type::Integer:
    case Type::Real:
    case Type::Boolean:
        return "NSNumber";
    case Type::Date:
        return "NSDate";
    case Type::Data:
        return "NSData";
    case Type::Array:
        return "NSArray";
    case Type::Dictionary:
        return "NSDictionary";
    }
    return "NSObject";
}

std::string ZRPropertyList::description() const {
    switch (type()) {
    case Type::Null:
        return "<null>";
    case Type::String:
        return *stringValue();
    case Type::Integer:
        return std::to_string(*integerValue());
    case Type::Real:
        return realText(std::get<double>(_value));
    case Type::Boolean:
        return *booleanValue() ? "1" : "0";
    case Type::Date:
        return dateText(dateValue()->secondsSinceReferenceDate);
    case Type::Data: {
        static constexpr char digits[] = "0123456789abcdef";
        std::string text = "<";
        const auto& bytes = *dataValue();
        for (std::size_t i = 0; i < bytes.size(); ++i) {
            if (i > 0 && i % 4 == 0) {
                text += ' ';
            }
            text += digits[bytes[i] >> 4];
            text += digits[bytes[i] & 0xF];
        }
        return text + ">";
    }
    case Type::Array: {
        std::string text = "(";
        const auto& elements = *arrayValue();
        for (std::size_t i = 0; i < elements.size(); ++i) {
            text += i == 0 ? "" : ", ";
            text += nestedDescription(elements[i]);
        }
        return text + ")";
    }
    case Type::Dictionary: {
        std::string text = "{";
        for (const auto& [key, value] : *dictionaryValue()) {
            text += quotedIfNeeded(key) + " = " + nestedDescription(value) + "; ";
        }
        return text + "}";
    }
    }
    return {};
}

bool ZRPropertyList::operator==(const ZRPropertyList& other) const {
    if (type() != other.type()) {
        return false;
    }
    if (const auto* array = arrayValue()) {
        return *array == *other.arrayValue();
    }
    if (const auto* dictionary = dictionaryValue()) {
        return *dictionary == *other.dictionaryValue();
    }
    return _value == other._value;
}

ZRPropertyListDictionary::ZRPropertyListDictionary(std::initializer_list<Entry> entries) {
    for (const auto& [key, value] : entries) {
        set(key, value);
    }
}

void ZRPropertyListDictionary::set(std::string key, ZRPropertyList value) {
    if (const auto existing = _index.find(key); existing != _index.end()) {
        _entries[existing->second].second = std::move(value);
        return;
    }
    _index.emplace(key, _entries.size());
    _entries.emplace_back(std::move(key), std::move(value));
}

const ZRPropertyList* ZRPropertyListDictionary::find(std::string_view key) const {
    const auto found = _index.find(key);
    return found == _index.end() ? nullptr : &_entries[found->second].second;
}

bool ZRPropertyListDictionary::operator==(const ZRPropertyListDictionary& other) const {
    if (size() != other.size()) {
        return false;
    }
    return std::all_of(_entries.begin(), _entries.end(), [&](const Entry& entry) {
        const auto* theirs = other.find(entry.first);
        return theirs != nullptr && *theirs == entry.second;
    });
}
