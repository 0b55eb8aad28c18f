#include "ZRFoundation/CodeSigning/ZREntitlements.h"

#include "ZRFoundation/CodeSigning/ZRMachOFormat.h"
#include "ZRFoundation/CodeSigning/ZROSStatus.h"
#include "ZRFoundation/PropertyList/ZRPropertyListReader.h"

#include <climits>

#include <openssl/asn1.h>
#include <openssl/err.h>

namespace {

constexpr std::size_t blobHeaderSize = 8;

ZRCodeSigningError malformed(std::string description) {
    return {ZROSStatus::errSecCSBadDictionaryFormat, std::move(description)};
}

/// The payload after a blob header with the expected magic and a length that fits the input.
ZRCodeSigningResult<std::span<const std::uint8_t>> blobPayload(std::span<const std::uint8_t> blob,
                                                               std::uint32_t magic, const char* what) {
    if (blob.size() < blobHeaderSize) {
        return malformed(std::string(what) + " blob is too short");
    }
    const auto be32 = [&](std::size_t offset) {
        return std::uint32_t{blob[offset]} << 24 | std::uint32_t{blob[offset + 1]} << 16 |
               std::uint32_t{blob[offset + 2]} << 8 | std::uint32_t{blob[offset + 3]};
    };
    if (be32(0) != magic) {
        return malformed(std::string(what) + " blob has the wrong magic");
    }
    const std::uint32_t length = be32(4);
    if (length < blobHeaderSize || length > blob.size()) {
        return malformed(std::string(what) + " blob length does not fit");
    }
    return blob.subspan(blobHeaderSize, length - blobHeaderSize);
}

/// One DER element: its tag, and its contents inside the input.
struct Element {
    int tag = 0;
    int objectClass = 0;
    bool constructed = false;
    std::span<const std::uint8_t> contents;
    /// The whole element, header included.
    std::span<const std::uint8_t> encoding;
};

class DERReader {
public:
    explicit DERReader(std::span<const std::uint8_t> bytes)
        : _bytes(bytes) {}

    bool atEnd() const { return _bytes.empty(); }

    std::optional<Element> next() {
        if (_bytes.empty() || _bytes.size() > static_cast<std::size_t>(LONG_MAX)) {
            return std::nullopt;
        }
        const unsigned char* cursor = _bytes.data();
        long length = 0;
        Element element;
        const int info = ASN1_get_object(&cursor, &length, &element.tag, &element.objectClass,
                                         static_cast<long>(_bytes.size()));
        // 0x80 flags an error, 0x01 (with the constructed bit) an indefinite length, which DER forbids.
        if ((info & 0x80) != 0 || info == 0x21) {
            ERR_clear_error();
            return std::nullopt;
        }
        const auto headerSize = static_cast<std::size_t>(cursor - _bytes.data());
        if (length < 0 || static_cast<std::size_t>(length) > _bytes.size() - headerSize) {
            return std::nullopt;
        }
        element.constructed = (info & V_ASN1_CONSTRUCTED) != 0;
        element.contents = _bytes.subspan(headerSize, static_cast<std::size_t>(length));
        element.encoding = _bytes.first(headerSize + static_cast<std::size_t>(length));
        _bytes = _bytes.subspan(element.encoding.size());
        return element;
    }

private:
    std::span<const std::uint8_t> _bytes;
};

bool isUniversal(const Element& element, int tag, bool constructed) {
    return element.objectClass == V_ASN1_UNIVERSAL && element.tag == tag &&
           element.constructed == constructed;
}

bool isDictionary(const Element& element) {
    return element.objectClass == V_ASN1_CONTEXT_SPECIFIC && element.tag == 16 && element.constructed;
}

std::optional<std::int64_t> integerValue(const Element& element) {
    const unsigned char* cursor = element.encoding.data();
    ASN1_INTEGER* integer = d2i_ASN1_INTEGER(nullptr, &cursor, static_cast<long>(element.encoding.size()));
    std::int64_t value = 0;
    const bool read = integer != nullptr && ASN1_INTEGER_get_int64(&value, integer) == 1;
    ASN1_INTEGER_free(integer);
    ERR_clear_error();
    return read ? std::optional(value) : std::nullopt;
}

std::optional<ZRPropertyListDictionary> readDictionary(const Element& element, std::size_t depth);

std::optional<ZRPropertyList> readValue(const Element& element, std::size_t depth) {
    if (depth > ZREntitlements::maximumDERDepth) {
        return std::nullopt;
    }
    if (isUniversal(element, V_ASN1_BOOLEAN, false)) {
        if (element.contents.size() != 1) {
            return std::nullopt;
        }
        return ZRPropertyList::boolean(element.contents[0] != 0);
    }
    if (isUniversal(element, V_ASN1_UTF8STRING, false)) {
        return ZRPropertyList::string(std::string(element.contents.begin(), element.contents.end()));
    }
    if (isUniversal(element, V_ASN1_INTEGER, false)) {
        const auto value = integerValue(element);
        return value ? std::optional(ZRPropertyList::integer(*value)) : std::nullopt;
    }
    if (isUniversal(element, V_ASN1_SEQUENCE, true)) {
        ZRPropertyList::Array array;
        DERReader items(element.contents);
        while (!items.atEnd()) {
            const auto item = items.next();
            auto value = item ? readValue(*item, depth + 1) : std::nullopt;
            if (!value) {
                return std::nullopt;
            }
            array.push_back(std::move(*value));
        }
        return ZRPropertyList::array(std::move(array));
    }
    if (isDictionary(element)) {
        auto dictionary = readDictionary(element, depth + 1);
        return dictionary ? std::optional(ZRPropertyList::dictionary(std::move(*dictionary))) : std::nullopt;
    }
    return std::nullopt;
}

std::optional<ZRPropertyListDictionary> readDictionary(const Element& element, std::size_t depth) {
    ZRPropertyListDictionary dictionary;
    DERReader entries(element.contents);
    while (!entries.atEnd()) {
        const auto entry = entries.next();
        if (!entry || !isUniversal(*entry, V_ASN1_SEQUENCE, true)) {
            return std::nullopt;
        }
        DERReader fields(entry->contents);
        const auto key = fields.next();
        const auto valueElement = key ? fields.next() : std::nullopt;
        if (!valueElement || !fields.atEnd() || !isUniversal(*key, V_ASN1_UTF8STRING, false)) {
            return std::nullopt;
        }
        auto value = readValue(*valueElement, depth);
        if (!value) {
            return std::nullopt;
        }
        dictionary.set(std::string(key->contents.begin(), key->contents.end()), std::move(*value));
    }
    return dictionary;
}

bool granted(const ZRPropertyListDictionary& entitlements, std::string_view key) {
    const auto* value = entitlements.find(key);
    return value != nullptr && value->booleanValue().value_or(false);
}

} // namespace

ZRCodeSigningResult<ZRPropertyListDictionary>
ZREntitlements::readXMLBlob(std::span<const std::uint8_t> blob) {
    const auto payload = blobPayload(blob, ZRMachOFormat::entitlementsMagic, "entitlements");
    if (!payload) {
        return payload.error();
    }
    const auto read = ZRPropertyListReader::readXML(*payload);
    if (!read) {
        return malformed("entitlements: " + read.errorDescription);
    }
    const auto* dictionary = read.value->dictionaryValue();
    if (dictionary == nullptr) {
        return malformed("entitlements are no dictionary");
    }
    return *dictionary;
}

ZRCodeSigningResult<ZRPropertyListDictionary>
ZREntitlements::readDERBlob(std::span<const std::uint8_t> blob) {
    const auto payload = blobPayload(blob, ZRMachOFormat::derEntitlementsMagic, "DER entitlements");
    if (!payload) {
        return payload.error();
    }
    DERReader top(*payload);
    const auto outer = top.next();
    if (!outer || !top.atEnd() || outer->objectClass != V_ASN1_APPLICATION || outer->tag != 16 ||
        !outer->constructed) {
        return malformed("DER entitlements: no [APPLICATION 16] sequence");
    }
    DERReader fields(outer->contents);
    const auto version = fields.next();
    const auto body = version ? fields.next() : std::nullopt;
    if (!body || !fields.atEnd() || !isUniversal(*version, V_ASN1_INTEGER, false) ||
        integerValue(*version) != 1 || !isDictionary(*body)) {
        return malformed("DER entitlements: no version 1 dictionary");
    }
    auto dictionary = readDictionary(*body, 1);
    if (!dictionary) {
        return malformed("DER entitlements: malformed dictionary");
    }
    return std::move(*dictionary);
}

ZREntitlements ZREntitlements::make(std::optional<std::span<const std::uint8_t>> xmlBlob,
                                    std::optional<std::span<const std::uint8_t>> derBlob,
                                    std::uint32_t codeDirectoryFlags) {
    ZREntitlements entitlements;
    entitlements.hardenedRuntime = (codeDirectoryFlags & ZRMachOFormat::codeDirectoryFlagRuntime) != 0;
    if (!xmlBlob && !derBlob) {
        return entitlements;
    }
    const auto dictionary = xmlBlob ? readXMLBlob(*xmlBlob) : readDERBlob(*derBlob);
    if (!dictionary) {
        entitlements.error = dictionary.error().description;
        return entitlements;
    }
    entitlements.appSandbox = granted(*dictionary, appSandboxKey);
    entitlements.networkClient = granted(*dictionary, networkClientKey);
    entitlements.networkServer = granted(*dictionary, networkServerKey);
    return entitlements;
}
