#include "tools/FixtureSigner/FixtureEntitlements.h"

#include "ZRFoundation/PropertyList/ZRPropertyListWriter.h"

#include <stdexcept>

namespace FixtureEntitlements {

namespace {

constexpr std::uint8_t booleanTag = 0x01;
constexpr std::uint8_t integerTag = 0x02;
constexpr std::uint8_t utf8StringTag = 0x0c;
constexpr std::uint8_t sequenceTag = 0x30;
constexpr std::uint8_t dictionaryTag = 0xb0;   // [CONTEXT 16], constructed
constexpr std::uint8_t entitlementsTag = 0x70; // [APPLICATION 16], constructed

std::vector<std::uint8_t> text(const std::string& value) {
    return derElement(utf8StringTag, {value.begin(), value.end()});
}

std::vector<std::uint8_t> integer(std::int64_t value) {
    // Two's complement, big-endian, without redundant leading bytes.
    std::vector<std::uint8_t> bytes;
    for (int shift = 56; shift >= 0; shift -= 8) {
        bytes.push_back(static_cast<std::uint8_t>(static_cast<std::uint64_t>(value) >> shift));
    }
    std::size_t start = 0;
    while (start + 1 < bytes.size() && ((bytes[start] == 0 && bytes[start + 1] < 0x80) ||
                                        (bytes[start] == 0xff && bytes[start + 1] >= 0x80))) {
        ++start;
    }
    return derElement(integerTag, {bytes.begin() + static_cast<std::ptrdiff_t>(start), bytes.end()});
}

std::vector<std::uint8_t> dictionary(const ZRPropertyListDictionary& entries);

std::vector<std::uint8_t> value(const ZRPropertyList& item) {
    if (const auto flag = item.booleanValue(); item.isBoolean() && flag) {
        return derElement(booleanTag, {static_cast<std::uint8_t>(*flag ? 0xff : 0x00)});
    }
    if (const auto* string = item.stringValue()) {
        return text(*string);
    }
    if (item.isInteger()) {
        return integer(*item.integerValue());
    }
    if (const auto* array = item.arrayValue()) {
        std::vector<std::uint8_t> contents;
        for (const auto& element : *array) {
            const auto encoded = value(element);
            contents.insert(contents.end(), encoded.begin(), encoded.end());
        }
        return derElement(sequenceTag, contents);
    }
    if (const auto* entries = item.dictionaryValue()) {
        return dictionary(*entries);
    }
    throw std::invalid_argument("no DER form for this entitlement value");
}

std::vector<std::uint8_t> dictionary(const ZRPropertyListDictionary& entries) {
    std::vector<std::uint8_t> contents;
    for (const auto& [key, item] : entries) {
        auto pair = text(key);
        const auto encoded = value(item);
        pair.insert(pair.end(), encoded.begin(), encoded.end());
        const auto entry = derElement(sequenceTag, pair);
        contents.insert(contents.end(), entry.begin(), entry.end());
    }
    return derElement(dictionaryTag, contents);
}

} // namespace

std::vector<std::uint8_t> derElement(std::uint8_t tag, const std::vector<std::uint8_t>& contents) {
    std::vector<std::uint8_t> bytes{tag};
    const std::size_t length = contents.size();
    if (length < 0x80) {
        bytes.push_back(static_cast<std::uint8_t>(length));
    } else {
        std::vector<std::uint8_t> digits;
        for (std::size_t rest = length; rest != 0; rest >>= 8) {
            digits.insert(digits.begin(), static_cast<std::uint8_t>(rest));
        }
        bytes.push_back(static_cast<std::uint8_t>(0x80 | digits.size()));
        bytes.insert(bytes.end(), digits.begin(), digits.end());
    }
    bytes.insert(bytes.end(), contents.begin(), contents.end());
    return bytes;
}

std::vector<std::uint8_t> blob(std::uint32_t magic, const std::vector<std::uint8_t>& payload) {
    std::vector<std::uint8_t> bytes;
    const auto length = static_cast<std::uint32_t>(payload.size() + 8);
    for (const std::uint32_t word : {magic, length}) {
        for (int shift = 24; shift >= 0; shift -= 8) {
            bytes.push_back(static_cast<std::uint8_t>(word >> shift));
        }
    }
    bytes.insert(bytes.end(), payload.begin(), payload.end());
    return bytes;
}

std::vector<std::uint8_t> xmlBlob(const ZRPropertyListDictionary& entitlements) {
    const auto text = ZRPropertyListWriter::xmlData(ZRPropertyList::dictionary(entitlements));
    return blob(0xfade7171, {text.begin(), text.end()});
}

std::vector<std::uint8_t> derBlob(const ZRPropertyListDictionary& entitlements) {
    auto contents = integer(1);
    const auto entries = dictionary(entitlements);
    contents.insert(contents.end(), entries.begin(), entries.end());
    return blob(0xfade7172, derElement(entitlementsTag, contents));
}

} // namespace FixtureEntitlements
