// Binary property lists ("bplist00"). Layout: an 8-byte header, the objects, a table of object
// offsets, and a 32-byte trailer giving the offset and reference widths, the object count, the
// top object and where the offset table starts. Each object begins with a marker byte whose
// high nibble is the type and whose low nibble is a size or a count (15: the count follows as
// an integer object).
//
// All reads go through ZRByteReader. Objects may only lie between the header and the offset
// table. A reference to an object that is still being decoded is a cycle and fails.
//
// The objects form a graph: writers reference a repeated value from every place it occurs. An
// array or dictionary is decoded once and its value shared by every later reference (copies of a
// ZRPropertyList share their contents); strings and data are copied per reference, as the value
// holds them. Every reference still counts what its object expands to (values, and bytes of
// contents) toward the element, decoded-size and expansion limits, so what a reader of the result
// walks stays within a small multiple of the file's size however the objects are shared.

#include "ZRFoundation/Bytes/ZRByteReader.h"
#include "ZRFoundation/PropertyList/ZRISO8601DateFormat.h"
#include "ZRFoundation/PropertyList/ZRPropertyListReader.h"
#include "ZRFoundation/PropertyList/ZRPropertyListReaderSupport.h"
#include "ZRFoundation/Text/ZRUnicodeConversion.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <limits>
#include <new>
#include <unordered_map>

namespace ZRPropertyListReader {

using namespace ZRPropertyListReaderSupport;

namespace {

constexpr std::string_view magic = "bplist00";
constexpr std::uint64_t headerSize = 8;
constexpr std::uint64_t trailerSize = 32;

struct Trailer {
    std::uint64_t offsetWidth = 0;
    std::uint64_t referenceWidth = 0;
    std::uint64_t objectCount = 0;
    std::uint64_t topObject = 0;
    std::uint64_t offsetTableOffset = 0;
};

// Marker types (high nibble).
enum MarkerType : std::uint8_t {
    Simple = 0x0,
    Integer = 0x1,
    Real = 0x2,
    Date = 0x3,
    Data = 0x4,
    ASCIIString = 0x5,
    UTF16String = 0x6,
    UID = 0x8,
    Array = 0xA,
    Dictionary = 0xD,
};

// What an object expands to when its value is walked: values, and bytes of string, data and key
// contents.
struct Expansion {
    std::uint64_t elements = 0;
    std::uint64_t bytes = 0;
};

// An array or dictionary already decoded, for the next reference to it. `height` counts the
// collections nested in each other along its deepest path, itself included.
struct SharedCollection {
    ZRPropertyList value;
    Expansion expansion;
    std::size_t height = 0;
};

class BinaryPropertyListDecoder {
public:
    BinaryPropertyListDecoder(std::span<const std::uint8_t> bytes, const Limits& limits)
        : _file(bytes)
        , _limits(limits) {}

    Result decode();

private:
    bool readTrailer();
    /// The object `index` at nesting `depth`; `height` receives its collection height.
    std::optional<ZRPropertyList> object(std::uint64_t index, std::size_t depth, std::size_t& height);
    std::optional<ZRPropertyList> sharedObject(const SharedCollection& shared, std::size_t depth,
                                               std::size_t& height);
    std::optional<ZRPropertyList> objectAt(std::uint64_t index, std::size_t depth, std::size_t& height);
    /// Moves the object reader to object `index` and reads its marker byte.
    std::optional<std::uint8_t> objectMarker(std::uint64_t index);
    std::optional<std::uint64_t> count(std::uint8_t marker, std::uint64_t index);
    std::optional<ZRPropertyList> simple(std::uint8_t marker, std::uint64_t index);
    std::optional<ZRPropertyList> integer(std::uint8_t marker, std::uint64_t index);
    std::optional<ZRPropertyList> real(std::uint8_t marker, std::uint64_t index);
    std::optional<ZRPropertyList> date(std::uint64_t index);
    std::optional<ZRPropertyList> data(std::uint8_t marker, std::uint64_t index);
    std::optional<std::string> asciiString(std::uint8_t marker, std::uint64_t index);
    std::optional<std::string> utf16String(std::uint8_t marker, std::uint64_t index);
    std::optional<std::string> key(std::uint64_t index, std::uint64_t dictionaryIndex);
    static std::optional<ZRPropertyList> stringValue(std::optional<std::string> text);
    std::optional<ZRPropertyList> uid(std::uint8_t marker, std::uint64_t index);
    std::optional<std::vector<std::uint64_t>> references(std::uint64_t count, std::uint64_t index);
    std::optional<ZRPropertyList> array(std::uint8_t marker, std::uint64_t index, std::size_t depth,
                                        std::size_t& height);
    std::optional<ZRPropertyList> dictionary(std::uint8_t marker, std::uint64_t index, std::size_t depth,
                                             std::size_t& height);
    std::optional<std::span<const std::uint8_t>> contents(std::uint64_t length, std::uint64_t index);
    /// Adds to what the result expands to; false, with the error set, beyond a limit.
    bool countExpansion(Expansion added);

    std::nullopt_t fail(std::string description);
    std::nullopt_t failObject(std::uint64_t index, const std::string& problem);

    ZRByteReader _file;
    // The object area, [header end, offset table start).
    ZRByteReader _objects{std::span<const std::uint8_t>()};
    const Limits& _limits;
    Trailer _trailer;
    std::vector<bool> _beingDecoded;
    // By object index. A map, not a table of objectCount entries: the count comes from the file.
    std::unordered_map<std::uint64_t, SharedCollection> _sharedCollections;
    std::uint64_t _elementCount = 0;
    std::uint64_t _decodedSize = 0;
    std::uint64_t _expansionBudget = 0;
    std::string _error;
};

std::nullopt_t BinaryPropertyListDecoder::fail(std::string description) {
    if (_error.empty()) {
        _error = std::move(description);
    }
    return std::nullopt;
}

std::nullopt_t BinaryPropertyListDecoder::failObject(std::uint64_t index, const std::string& problem) {
    return fail("Binary property list object " + std::to_string(index) + " " + problem);
}

Result BinaryPropertyListDecoder::decode() {
    if (_file.size() > _limits.maximumInputSize) {
        return failure(Format::Binary, inputTooLargeDescription(_limits.maximumInputSize));
    }
    const auto header = _file.bytesAt(0, headerSize);
    if (!header || std::memcmp(header->data(), magic.data(), magic.size()) != 0) {
        return failure(Format::Binary, "Not a binary property list (missing \"bplist00\")");
    }
    if (!readTrailer()) {
        return failure(Format::Binary, _error);
    }
    // The input is at most maximumInputSize, so this cannot overflow for any sensible limits;
    // saturate all the same.
    const std::uint64_t size = _file.size();
    const std::uint64_t factor = _limits.maximumExpansionFactor;
    _expansionBudget = factor != 0 && size > (std::numeric_limits<std::uint64_t>::max() / 2) / factor
                           ? std::numeric_limits<std::uint64_t>::max() / 2
                           : size * factor;
    _expansionBudget +=
        std::min<std::uint64_t>(_limits.expansionAllowance, std::numeric_limits<std::uint64_t>::max() / 4);
    try {
        std::size_t height = 0;
        auto value = object(_trailer.topObject, 0, height);
        if (!value) {
            return failure(Format::Binary, _error);
        }
        return success(Format::Binary, std::move(*value));
    } catch (const std::bad_alloc&) {
        return failure(Format::Binary, "Out of memory");
    } catch (const std::length_error&) {
        return failure(Format::Binary, "Out of memory");
    }
}

bool BinaryPropertyListDecoder::readTrailer() {
    if (_file.size() < headerSize + trailerSize) {
        fail("Binary property list too short for its trailer");
        return false;
    }
    ZRByteReader trailer(*_file.bytesAt(_file.size() - trailerSize, trailerSize));
    trailer.skip(6); // unused bytes and the sort version
    _trailer.offsetWidth = *trailer.readUInt8();
    _trailer.referenceWidth = *trailer.readUInt8();
    _trailer.objectCount = *trailer.readBigEndian(8);
    _trailer.topObject = *trailer.readBigEndian(8);
    _trailer.offsetTableOffset = *trailer.readBigEndian(8);

    const auto validWidth = [](std::uint64_t width) { return width >= 1 && width <= 8; };
    if (!validWidth(_trailer.offsetWidth) || !validWidth(_trailer.referenceWidth)) {
        fail("Binary property list trailer has invalid offset or reference width");
        return false;
    }
    if (_trailer.objectCount == 0 || _trailer.topObject >= _trailer.objectCount) {
        fail("Binary property list trailer has invalid object count or top object");
        return false;
    }
    const std::uint64_t tableEnd = _file.size() - trailerSize;
    if (_trailer.offsetTableOffset < headerSize || _trailer.offsetTableOffset > tableEnd ||
        _trailer.objectCount > (tableEnd - _trailer.offsetTableOffset) / _trailer.offsetWidth) {
        fail("Binary property list offset table out of range");
        return false;
    }
    _objects = ZRByteReader(*_file.bytesAt(headerSize, _trailer.offsetTableOffset - headerSize));
    _beingDecoded.assign(static_cast<std::size_t>(_trailer.objectCount), false);
    return true;
}

std::optional<std::uint8_t> BinaryPropertyListDecoder::objectMarker(std::uint64_t index) {
    ZRByteReader table(_file);
    // The table was checked to hold objectCount entries, and index < objectCount.
    if (!table.seek(_trailer.offsetTableOffset + index * _trailer.offsetWidth)) {
        return failObject(index, "offset out of range");
    }
    const auto offset = table.readBigEndian(_trailer.offsetWidth);
    if (!offset || *offset < headerSize || *offset >= _trailer.offsetTableOffset) {
        return failObject(index, "offset out of range");
    }
    // The offset lies before the offset table, so inside the object bytes.
    _objects.seek(*offset - headerSize);
    return *_objects.readUInt8();
}

std::optional<ZRPropertyList> BinaryPropertyListDecoder::object(std::uint64_t index, std::size_t depth,
                                                                std::size_t& height) {
    height = 0;
    if (index >= _trailer.objectCount) {
        return fail("Binary property list reference " + std::to_string(index) + " out of range");
    }
    if (_beingDecoded[static_cast<std::size_t>(index)]) {
        return failObject(index, "contains itself");
    }
    if (const auto found = _sharedCollections.find(index); found != _sharedCollections.end()) {
        return sharedObject(found->second, depth, height);
    }
    const Expansion before{_elementCount, _decodedSize};
    if (!countExpansion({.elements = 1})) {
        return std::nullopt;
    }
    _beingDecoded[static_cast<std::size_t>(index)] = true;
    auto value = objectAt(index, depth, height);
    _beingDecoded[static_cast<std::size_t>(index)] = false;
    if (value && (value->isArray() || value->isDictionary())) {
        const Expansion expansion{_elementCount - before.elements, _decodedSize - before.bytes};
        _sharedCollections.try_emplace(index, SharedCollection{*value, expansion, height});
    }
    return value;
}

// A collection decoded before: its value again, once its nesting and expansion are counted here.
std::optional<ZRPropertyList> BinaryPropertyListDecoder::sharedObject(const SharedCollection& shared,
                                                                      std::size_t depth,
                                                                      std::size_t& height) {
    // Its innermost collection lies at depth + height - 1, which must stay below the limit.
    if (shared.height > _limits.maximumDepth || depth > _limits.maximumDepth - shared.height) {
        return fail(nestingTooDeepDescription(_limits.maximumDepth));
    }
    if (!countExpansion(shared.expansion)) {
        return std::nullopt;
    }
    height = shared.height;
    return shared.value;
}

std::optional<ZRPropertyList> BinaryPropertyListDecoder::objectAt(std::uint64_t index, std::size_t depth,
                                                                  std::size_t& height) {
    const auto read = objectMarker(index);
    if (!read) {
        return std::nullopt;
    }
    const std::uint8_t marker = *read;
    switch (marker >> 4) {
    case Simple:
        return simple(marker, index);
    case Integer:
        return integer(marker, index);
    case Real:
        return real(marker, index);
    case Date:
        return marker == 0x33 ? date(index) : failObject(index, "has an invalid date marker");
    case Data:
        return data(marker, index);
    case ASCIIString:
        return stringValue(asciiString(marker, index));
    case UTF16String:
        return stringValue(utf16String(marker, index));
    case UID:
        return uid(marker, index);
    case Array:
        return array(marker, index, depth, height);
    case Dictionary:
        return dictionary(marker, index, depth, height);
    default:
        break;
    }
    char hex[8];
    std::snprintf(hex, sizeof hex, "0x%02X", static_cast<unsigned>(marker));
    return failObject(index, std::string("has unsupported marker ") + hex);
}

std::optional<ZRPropertyList> BinaryPropertyListDecoder::simple(std::uint8_t marker, std::uint64_t index) {
    switch (marker) {
    case 0x00:
        return ZRPropertyList::null();
    case 0x08:
        return ZRPropertyList::boolean(false);
    case 0x09:
        return ZRPropertyList::boolean(true);
    case 0x0F:
        return failObject(index, "is a fill byte, not a value");
    default:
        return failObject(index, "has an invalid marker");
    }
}

std::optional<ZRPropertyList> BinaryPropertyListDecoder::integer(std::uint8_t marker, std::uint64_t index) {
    const unsigned sizeExponent = marker & 0x0F;
    if (sizeExponent <= 2) {
        // 1, 2 and 4 bytes are unsigned.
        const auto value = _objects.readBigEndian(std::uint64_t{1} << sizeExponent);
        return value ? std::optional(ZRPropertyList::integer(static_cast<std::int64_t>(*value)))
                     : failObject(index, "integer runs past the object area");
    }
    if (sizeExponent == 3) {
        // 8 bytes are signed.
        const auto value = _objects.readBigEndian(8);
        return value ? std::optional(ZRPropertyList::integer(std::bit_cast<std::int64_t>(*value)))
                     : failObject(index, "integer runs past the object area");
    }
    if (sizeExponent == 4) {
        // 16 bytes, two's complement: accepted when the value fits 64 bits signed.
        const auto high = _objects.readBigEndian(8);
        const auto low = _objects.readBigEndian(8);
        if (!high || !low) {
            return failObject(index, "integer runs past the object area");
        }
        const auto value = std::bit_cast<std::int64_t>(*low);
        const std::uint64_t signExtension = value < 0 ? ~std::uint64_t{0} : 0;
        if (*high != signExtension) {
            return failObject(index, "integer out of the 64-bit range");
        }
        return ZRPropertyList::integer(value);
    }
    return failObject(index, "integer has an invalid size");
}

std::optional<ZRPropertyList> BinaryPropertyListDecoder::real(std::uint8_t marker, std::uint64_t index) {
    if (marker == 0x22) {
        const auto bits = _objects.readBigEndian(4);
        return bits ? std::optional(
                          ZRPropertyList::real(std::bit_cast<float>(static_cast<std::uint32_t>(*bits))))
                    : failObject(index, "real runs past the object area");
    }
    if (marker == 0x23) {
        const auto bits = _objects.readBigEndian(8);
        return bits ? std::optional(ZRPropertyList::real(std::bit_cast<double>(*bits)))
                    : failObject(index, "real runs past the object area");
    }
    return failObject(index, "real has an invalid size");
}

std::optional<ZRPropertyList> BinaryPropertyListDecoder::date(std::uint64_t index) {
    const auto bits = _objects.readBigEndian(8);
    if (!bits) {
        return failObject(index, "date runs past the object area");
    }
    const double seconds = std::bit_cast<double>(*bits);
    if (!ZRISO8601DateFormat::isRepresentable(seconds)) {
        return failObject(index, "date out of range");
    }
    return ZRPropertyList::date({seconds});
}

// The count in the marker's low nibble, or, when that is 15, the integer object that follows.
std::optional<std::uint64_t> BinaryPropertyListDecoder::count(std::uint8_t marker, std::uint64_t index) {
    if ((marker & 0x0F) != 0x0F) {
        return marker & 0x0F;
    }
    const auto countMarker = _objects.readUInt8();
    if (!countMarker || (*countMarker >> 4) != Integer || (*countMarker & 0x0F) > 3) {
        return failObject(index, "has an invalid count");
    }
    const auto value = _objects.readBigEndian(std::uint64_t{1} << (*countMarker & 0x0F));
    if (!value) {
        return failObject(index, "count runs past the object area");
    }
    return *value;
}

bool BinaryPropertyListDecoder::countExpansion(Expansion added) {
    if (added.elements >
        _limits.maximumElementCount - std::min<std::uint64_t>(_elementCount, _limits.maximumElementCount)) {
        fail(tooManyElementsDescription(_limits.maximumElementCount));
        return false;
    }
    if (added.bytes >
        _limits.maximumDecodedSize - std::min<std::uint64_t>(_decodedSize, _limits.maximumDecodedSize)) {
        fail("Binary property list expands to more than " + std::to_string(_limits.maximumDecodedSize) +
             " bytes");
        return false;
    }
    // Each count stays within the budget, so neither sum overflows.
    const std::uint64_t expanded = _elementCount + _decodedSize;
    if (added.elements + added.bytes > _expansionBudget - std::min(expanded, _expansionBudget)) {
        fail("Binary property list expands through shared objects to more than " +
             std::to_string(_expansionBudget) + " values and bytes (" +
             std::to_string(_limits.maximumExpansionFactor) + " times its size, plus " +
             std::to_string(_limits.expansionAllowance) + ")");
        return false;
    }
    _elementCount += added.elements;
    _decodedSize += added.bytes;
    return true;
}

std::optional<std::span<const std::uint8_t>> BinaryPropertyListDecoder::contents(std::uint64_t length,
                                                                                 std::uint64_t index) {
    const auto bytes = _objects.readBytes(length);
    if (!bytes) {
        return failObject(index, "length " + std::to_string(length) + " runs past the object area");
    }
    if (!countExpansion({.bytes = length})) {
        return std::nullopt;
    }
    return bytes;
}

std::optional<ZRPropertyList> BinaryPropertyListDecoder::data(std::uint8_t marker, std::uint64_t index) {
    const auto length = count(marker, index);
    const auto bytes = length ? contents(*length, index) : std::nullopt;
    if (!bytes) {
        return std::nullopt;
    }
    return ZRPropertyList::data(ZRPropertyList::Data(bytes->begin(), bytes->end()));
}

std::optional<ZRPropertyList> BinaryPropertyListDecoder::stringValue(std::optional<std::string> text) {
    return text ? std::optional(ZRPropertyList::string(std::move(*text))) : std::nullopt;
}

std::optional<std::string> BinaryPropertyListDecoder::asciiString(std::uint8_t marker, std::uint64_t index) {
    const auto length = count(marker, index);
    const auto bytes = length ? contents(*length, index) : std::nullopt;
    if (!bytes) {
        return std::nullopt;
    }
    for (const std::uint8_t byte : *bytes) {
        if (byte >= 0x80) {
            return failObject(index, "has a non-ASCII byte in an ASCII string");
        }
    }
    return std::string(bytes->begin(), bytes->end());
}

std::optional<std::string> BinaryPropertyListDecoder::utf16String(std::uint8_t marker, std::uint64_t index) {
    const auto length = count(marker, index);
    if (!length) {
        return std::nullopt;
    }
    if (*length > std::numeric_limits<std::uint64_t>::max() / 2) {
        return failObject(index, "length " + std::to_string(*length) + " runs past the object area");
    }
    const auto bytes = contents(*length * 2, index);
    if (!bytes) {
        return std::nullopt;
    }
    std::u16string units(bytes->size() / 2, u'\0');
    for (std::size_t i = 0; i < units.size(); ++i) {
        units[i] = static_cast<char16_t>(((*bytes)[2 * i] << 8) | (*bytes)[2 * i + 1]);
    }
    std::string text;
    if (ZRUnicodeConversion::appendUTF8FromUTF16(text, units)) {
        // Unpaired surrogates have no UTF-8 form; the string is refused rather than altered.
        return failObject(index, "has an unpaired UTF-16 surrogate");
    }
    return text;
}

// Keyed-archive object references. Shown as the dictionary {"CF$UID" = n} that XML property lists
// use for them.
std::optional<ZRPropertyList> BinaryPropertyListDecoder::uid(std::uint8_t marker, std::uint64_t index) {
    const std::uint64_t width = (marker & 0x0F) + 1u;
    if (width > 4) {
        return failObject(index, "UID has an invalid size");
    }
    const auto value = _objects.readBigEndian(width);
    if (!value) {
        return failObject(index, "UID runs past the object area");
    }
    ZRPropertyListDictionary dictionary;
    dictionary.set("CF$UID", ZRPropertyList::integer(static_cast<std::int64_t>(*value)));
    return ZRPropertyList::dictionary(std::move(dictionary));
}

std::optional<std::vector<std::uint64_t>> BinaryPropertyListDecoder::references(std::uint64_t referenceCount,
                                                                                std::uint64_t index) {
    // Check the whole list fits before allocating for it.
    if (referenceCount > _objects.remaining() / _trailer.referenceWidth) {
        return failObject(index, "count " + std::to_string(referenceCount) + " runs past the object area");
    }
    std::vector<std::uint64_t> list(static_cast<std::size_t>(referenceCount));
    for (auto& reference : list) {
        reference = *_objects.readBigEndian(_trailer.referenceWidth);
    }
    return list;
}

std::optional<ZRPropertyList> BinaryPropertyListDecoder::array(std::uint8_t marker, std::uint64_t index,
                                                               std::size_t depth, std::size_t& height) {
    if (depth >= _limits.maximumDepth) {
        return fail(nestingTooDeepDescription(_limits.maximumDepth));
    }
    const auto elementCount = count(marker, index);
    const auto list = elementCount ? references(*elementCount, index) : std::nullopt;
    if (!list) {
        return std::nullopt;
    }
    ZRPropertyList::Array elements;
    elements.reserve(list->size());
    std::size_t innerHeight = 0;
    for (const std::uint64_t reference : *list) {
        std::size_t elementHeight = 0;
        auto element = object(reference, depth + 1, elementHeight);
        if (!element) {
            return std::nullopt;
        }
        innerHeight = std::max(innerHeight, elementHeight);
        elements.push_back(std::move(*element));
    }
    height = innerHeight + 1;
    return ZRPropertyList::array(std::move(elements));
}

std::optional<ZRPropertyList> BinaryPropertyListDecoder::dictionary(std::uint8_t marker, std::uint64_t index,
                                                                    std::size_t depth, std::size_t& height) {
    if (depth >= _limits.maximumDepth) {
        return fail(nestingTooDeepDescription(_limits.maximumDepth));
    }
    const auto entryCount = count(marker, index);
    if (!entryCount) {
        return std::nullopt;
    }
    if (*entryCount > std::numeric_limits<std::uint64_t>::max() / 2) {
        return failObject(index, "count " + std::to_string(*entryCount) + " runs past the object area");
    }
    const auto list = references(*entryCount * 2, index);
    if (!list) {
        return std::nullopt;
    }
    ZRPropertyListDictionary entries;
    std::size_t innerHeight = 0;
    for (std::size_t i = 0; i < *entryCount; ++i) {
        auto entryKey = key((*list)[i], index);
        if (!entryKey) {
            return std::nullopt;
        }
        std::size_t valueHeight = 0;
        auto value = object((*list)[static_cast<std::size_t>(*entryCount) + i], depth + 1, valueHeight);
        if (!value) {
            return std::nullopt;
        }
        innerHeight = std::max(innerHeight, valueHeight);
        // Duplicate keys: the last value wins.
        entries.set(std::move(*entryKey), std::move(*value));
    }
    height = innerHeight + 1;
    return ZRPropertyList::dictionary(std::move(entries));
}

// A dictionary key: a string object, decoded straight into text. Strings contain nothing, so keys
// need no cycle check; like XML keys, they do not count as elements.
std::optional<std::string> BinaryPropertyListDecoder::key(std::uint64_t index,
                                                          std::uint64_t dictionaryIndex) {
    if (index >= _trailer.objectCount) {
        return fail("Binary property list reference " + std::to_string(index) + " out of range");
    }
    const auto read = objectMarker(index);
    if (!read) {
        return std::nullopt;
    }
    const std::uint8_t marker = *read;
    switch (marker >> 4) {
    case ASCIIString:
        return asciiString(marker, index);
    case UTF16String:
        return utf16String(marker, index);
    default:
        return failObject(dictionaryIndex, "has a key that is not a string");
    }
}

} // namespace

Result readBinary(std::span<const std::uint8_t> bytes, const Limits& limits) {
    BinaryPropertyListDecoder decoder(bytes, limits);
    return decoder.decode();
}

} // namespace ZRPropertyListReader
