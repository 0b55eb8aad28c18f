#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <variant>
#include <vector>

class ZRPropertyListDictionary;

/// One property-list value: string, integer, real, Boolean, date, data, array or dictionary, plus
/// null for JSON. Immutable once built; arrays and dictionaries are shared between copies, so a
/// copy is cheap whatever the size.
class ZRPropertyList {
public:
    enum class Type : std::uint8_t { Null, String, Integer, Real, Boolean, Date, Data, Array, Dictionary };
    using Array = std::vector<ZRPropertyList>;
    using Data = std::vector<std::uint8_t>;
    /// Seconds since 2001-01-01 00:00:00 UTC, the property-list epoch.
    struct Date {
        double secondsSinceReferenceDate = 0;
        bool operator==(const Date&) const = default;
    };

    /// The null value.
    ZRPropertyList() = default;

    static ZRPropertyList string(std::string value);
    static ZRPropertyList integer(std::int64_t value);
    static ZRPropertyList real(double value);
    static ZRPropertyList boolean(bool value);
    static ZRPropertyList date(Date value);
    static ZRPropertyList data(Data value);
    static ZRPropertyList array(Array value);
    static ZRPropertyList dictionary(ZRPropertyListDictionary value);
    static ZRPropertyList null() { return {}; }

    Type type() const { return static_cast<Type>(_value.index()); }
    bool isNull() const { return type() == Type::Null; }
    bool isString() const { return type() == Type::String; }
    bool isInteger() const { return type() == Type::Integer; }
    bool isReal() const { return type() == Type::Real; }
    /// Integer or real (Booleans are not numbers here).
    bool isNumber() const { return isInteger() || isReal(); }
    bool isBoolean() const { return type() == Type::Boolean; }
    bool isDate() const { return type() == Type::Date; }
    bool isData() const { return type() == Type::Data; }
    bool isArray() const { return type() == Type::Array; }
    bool isDictionary() const { return type() == Type::Dictionary; }

    /// The value when it has the asked type, nothing otherwise.
    const std::string* stringValue() const { return std::get_if<std::string>(&_value); }
    std::optional<std::int64_t> integerValue() const;
    /// Integers convert; Booleans do not.
    std::optional<double> realValue() const;
    std::optional<bool> booleanValue() const;
    std::optional<Date> dateValue() const;
    const Data* dataValue() const { return std::get_if<Data>(&_value); }
    const Array* arrayValue() const;
    const ZRPropertyListDictionary* dictionaryValue() const;

    /// The class name this value has in the property-list world ("NSString", "NSNumber",
    /// "NSData", "NSDate", "NSArray", "NSDictionary", "NSNull"), as type-mismatch logs name it.
    std::string_view className() const;
    /// Plain text form: a string as it stands, a number in decimal, Booleans as 1 or 0, data as
    /// <hex>, a date in ISO 8601, arrays and dictionaries in the old-style property-list syntax.
    std::string description() const;

    /// Same type and equal contents (dictionaries compare as maps, whatever their key order).
    bool operator==(const ZRPropertyList& other) const;

private:
    using Storage =
        std::variant<std::monostate, std::string, std::int64_t, double, bool, Date, Data,
                     std::shared_ptr<const Array>, std::shared_ptr<const ZRPropertyListDictionary>>;
    explicit ZRPropertyList(Storage value)
        : _value(std::move(value)) {}

    Storage _value;
};

/// A string-keyed dictionary that keeps the order in which its keys were added. Lookup is by
/// hash. Adding a key that is already present replaces its value and keeps its position.
class ZRPropertyListDictionary {
public:
    using Entry = std::pair<std::string, ZRPropertyList>;

    ZRPropertyListDictionary() = default;
    ZRPropertyListDictionary(std::initializer_list<Entry> entries);

    void set(std::string key, ZRPropertyList value);

    const ZRPropertyList* find(std::string_view key) const;
    bool contains(std::string_view key) const { return find(key) != nullptr; }
    std::size_t size() const { return _entries.size(); }
    bool empty() const { return _entries.empty(); }
    const std::vector<Entry>& entries() const { return _entries; }
    auto begin() const { return _entries.begin(); }
    auto end() const { return _entries.end(); }

    bool operator==(const ZRPropertyListDictionary& other) const;

private:
    struct KeyHash {
        using is_transparent = void;
        std::size_t operator()(std::string_view key) const noexcept {
            return std::hash<std::string_view>{}(key);
        }
    };
    std::vector<Entry> _entries;
    std::unordered_map<std::string, std::size_t, KeyHash, std::equal_to<>> _index;
};
