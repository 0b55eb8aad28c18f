#pragma once

#include "ZRFoundation/PropertyList/ZRPropertyList.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

/// Typed reads from a property-list dictionary.
///
/// The checked getters return nothing when the key is absent or holds a value of another class;
/// a value of another class is also logged to standard error as
/// "-[NSDictionary objectForKey:KEY] returns FOUND instead of expected EXPECTED", with the class
/// names of ZRPropertyList::className(). The unchecked getters (`unsafe...`) never log: they are
/// for code that probes values whose type may legitimately vary.
///
/// Numbers follow the property-list class: Booleans, integers and reals are all "NSNumber", so
/// `integerForKey` and `boolForKey` accept any of them (a real is truncated toward zero, and
/// gives nothing when it is not finite or out of range; a number is true when it is not zero).
namespace ZRTypedAccessors {

const std::string* stringForKey(const ZRPropertyListDictionary& dictionary, std::string_view key);
/// An integer, real or Boolean value.
const ZRPropertyList* numberForKey(const ZRPropertyListDictionary& dictionary, std::string_view key);
std::optional<std::int64_t> integerForKey(const ZRPropertyListDictionary& dictionary, std::string_view key);
std::optional<bool> boolForKey(const ZRPropertyListDictionary& dictionary, std::string_view key);
const ZRPropertyList::Data* dataForKey(const ZRPropertyListDictionary& dictionary, std::string_view key);
const ZRPropertyList::Array* arrayForKey(const ZRPropertyListDictionary& dictionary, std::string_view key);
const ZRPropertyListDictionary* dictionaryForKey(const ZRPropertyListDictionary& dictionary,
                                                 std::string_view key);
std::optional<ZRPropertyList::Date> dateForKey(const ZRPropertyListDictionary& dictionary,
                                               std::string_view key);

const std::string* unsafeStringForKey(const ZRPropertyListDictionary& dictionary, std::string_view key);
const ZRPropertyList* unsafeNumberForKey(const ZRPropertyListDictionary& dictionary, std::string_view key);
std::optional<std::int64_t> unsafeIntegerForKey(const ZRPropertyListDictionary& dictionary,
                                                std::string_view key);
std::optional<bool> unsafeBoolForKey(const ZRPropertyListDictionary& dictionary, std::string_view key);
const ZRPropertyList::Data* unsafeDataForKey(const ZRPropertyListDictionary& dictionary,
                                             std::string_view key);
const ZRPropertyList::Array* unsafeArrayForKey(const ZRPropertyListDictionary& dictionary,
                                               std::string_view key);
const ZRPropertyListDictionary* unsafeDictionaryForKey(const ZRPropertyListDictionary& dictionary,
                                                       std::string_view key);
std::optional<ZRPropertyList::Date> unsafeDateForKey(const ZRPropertyListDictionary& dictionary,
                                                     std::string_view key);

} // namespace ZRTypedAccessors
