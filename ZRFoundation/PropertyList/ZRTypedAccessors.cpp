#include "ZRFoundation/PropertyList/ZRTypedAccessors.h"

#include <cmath>
#include <cstdio>
#include <string>

namespace ZRTypedAccessors {

namespace {

constexpr std::string_view numberClassName = "NSNumber";

// The value for `key` when its class is `expectedClassName`; otherwise nothing, logged when
// `logsMismatch`.
const ZRPropertyList* valueOfClass(const ZRPropertyListDictionary& dictionary, std::string_view key,
                                   std::string_view expectedClassName, bool logsMismatch) {
    const ZRPropertyList* value = dictionary.find(key);
    if (value == nullptr) {
        return nullptr;
    }
    const std::string_view className = value->className();
    if (className == expectedClassName) {
        return value;
    }
    if (logsMismatch) {
        // One write per line, so that lines from several threads do not interleave.
        const std::string line = "-[NSDictionary objectForKey:" + std::string(key) + "] returns " +
                                 std::string(className) + " instead of expected " +
                                 std::string(expectedClassName) + "\n";
        std::fwrite(line.data(), 1, line.size(), stderr);
    }
    return nullptr;
}

std::optional<std::int64_t> integerOfNumber(const ZRPropertyList* number) {
    if (number == nullptr) {
        return std::nullopt;
    }
    if (const auto integer = number->integerValue()) {
        return integer;
    }
    if (const auto boolean = number->booleanValue()) {
        return *boolean ? 1 : 0;
    }
    const double real = std::trunc(*number->realValue());
    // [-2^63, 2^63): the doubles that convert to int64 without overflow.
    if (!(real >= -9223372036854775808.0 && real < 9223372036854775808.0)) {
        return std::nullopt;
    }
    return static_cast<std::int64_t>(real);
}

std::optional<bool> boolOfNumber(const ZRPropertyList* number) {
    if (number == nullptr) {
        return std::nullopt;
    }
    if (const auto boolean = number->booleanValue()) {
        return boolean;
    }
    return *number->realValue() != 0;
}

} // namespace

const std::string* stringForKey(const ZRPropertyListDictionary& dictionary, std::string_view key) {
    const auto* value = valueOfClass(dictionary, key, "NSString", true);
    return value ? value->stringValue() : nullptr;
}

const ZRPropertyList* numberForKey(const ZRPropertyListDictionary& dictionary, std::string_view key) {
    return valueOfClass(dictionary, key, numberClassName, true);
}

std::optional<std::int64_t> integerForKey(const ZRPropertyListDictionary& dictionary, std::string_view key) {
    return integerOfNumber(numberForKey(dictionary, key));
}

std::optional<bool> boolForKey(const ZRPropertyListDictionary& dictionary, std::string_view key) {
    return boolOfNumber(numberForKey(dictionary, key));
}

const ZRPropertyList::Data* dataForKey(const ZRPropertyListDictionary& dictionary, std::string_view key) {
    const auto* value = valueOfClass(dictionary, key, "NSData", true);
    return value ? value->dataValue() : nullptr;
}

const ZRPropertyList::Array* arrayForKey(const ZRPropertyListDictionary& dictionary, std::string_view key) {
    const auto* value = valueOfClass(dictionary, key, "NSArray", true);
    return value ? value->arrayValue() : nullptr;
}

const ZRPropertyListDictionary* dictionaryForKey(const ZRPropertyListDictionary& dictionary,
                                                 std::string_view key) {
    const auto* value = valueOfClass(dictionary, key, "NSDictionary", true);
    return value ? value->dictionaryValue() : nullptr;
}

std::optional<ZRPropertyList::Date> dateForKey(const ZRPropertyListDictionary& dictionary,
                                               std::string_view key) {
    const auto* value = valueOfClass(dictionary, key, "NSDate", true);
    return value ? value->dateValue() : std::nullopt;
}

const std::string* unsafeStringForKey(const ZRPropertyListDictionary& dictionary, std::string_view key) {
    const auto* value = valueOfClass(dictionary, key, "NSString", false);
    return value ? value->stringValue() : nullptr;
}

const ZRPropertyList* unsafeNumberForKey(const ZRPropertyListDictionary& dictionary, std::string_view key) {
    return valueOfClass(dictionary, key, numberClassName, false);
}

std::optional<std::int64_t> unsafeIntegerForKey(const ZRPropertyListDictionary& dictionary,
                                                std::string_view key) {
    return integerOfNumber(unsafeNumberForKey(dictionary, key));
}

std::optional<bool> unsafeBoolForKey(const ZRPropertyListDictionary& dictionary, std::string_view key) {
    return boolOfNumber(unsafeNumberForKey(dictionary, key));
}

const ZRPropertyList::Data* unsafeDataForKey(const ZRPropertyListDictionary& dictionary,
                                             std::string_view key) {
    const auto* value = valueOfClass(dictionary, key, "NSData", false);
    return value ? value->dataValue() : nullptr;
}

const ZRPropertyList::Array* unsafeArrayForKey(const ZRPropertyListDictionary& dictionary,
                                               std::string_view key) {
    const auto* value = valueOfClass(dictionary, key, "NSArray", false);
    return value ? value->arrayValue() : nullptr;
}

const ZRPropertyListDictionary* unsafeDictionaryForKey(const ZRPropertyListDictionary& dictionary,
                                                       std::string_view key) {
    const auto* value = valueOfClass(dictionary, key, "NSDictionary", false);
    return value ? value->dictionaryValue() : nullptr;
}

std::optional<ZRPropertyList::Date> unsafeDateForKey(const ZRPropertyListDictionary& dictionary,
                                                     std::string_view key) {
    const auto* value = valueOfClass(dictionary, key, "NSDate", false);
    return value ? value->dateValue() : std::nullopt;
}

} // namespace ZRTypedAccessors
