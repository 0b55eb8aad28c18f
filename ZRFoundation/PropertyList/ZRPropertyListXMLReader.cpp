// XML property lists through expat. The document type may name the usual external DTD, which is
// never loaded; internal subsets and every entity declaration are refused, so no entity can
// expand. The value is built on an explicit stack of open elements, bounded by the depth limit.

#include "ZRFoundation/PropertyList/ZRISO8601DateFormat.h"
#include "ZRFoundation/PropertyList/ZRPropertyListReader.h"
#include "ZRFoundation/PropertyList/ZRPropertyListReaderSupport.h"
#include "ZRFoundation/Text/ZRBase64.h"

#include <algorithm>
#include <array>
#include <climits>
#include <new>

#include <expat.h>

namespace ZRPropertyListReader {

using namespace ZRPropertyListReaderSupport;

namespace {

enum class ElementKind : std::uint8_t {
    Plist,
    Dict,
    Array,
    Key,
    String,
    Integer,
    Real,
    True,
    False,
    Date,
    Data
};

struct ElementName {
    std::string_view name;
    ElementKind kind;
};

constexpr std::array<ElementName, 11> elementNames{{
    {"plist", ElementKind::Plist},
    {"dict", ElementKind::Dict},
    {"array", ElementKind::Array},
    {"key", ElementKind::Key},
    {"string", ElementKind::String},
    {"integer", ElementKind::Integer},
    {"real", ElementKind::Real},
    {"true", ElementKind::True},
    {"false", ElementKind::False},
    {"date", ElementKind::Date},
    {"data", ElementKind::Data},
}};

std::optional<ElementKind> elementKind(std::string_view name) {
    const auto found = std::find_if(elementNames.begin(), elementNames.end(),
                                    [&](const ElementName& element) { return element.name == name; });
    return found == elementNames.end() ? std::nullopt : std::optional<ElementKind>(found->kind);
}

bool isContainer(ElementKind kind) {
    return kind == ElementKind::Plist || kind == ElementKind::Dict || kind == ElementKind::Array;
}

bool takesText(ElementKind kind) {
    return !isContainer(kind) && kind != ElementKind::True && kind != ElementKind::False;
}

struct OpenElement {
    ElementKind kind;
    std::string name;
    std::string text;
    ZRPropertyList::Array array;
    ZRPropertyListDictionary dictionary;
    std::optional<std::string> pendingKey;
    std::optional<ZRPropertyList> plistValue;
};

bool isWhitespaceOnly(std::string_view text) {
    return trimmingWhitespace(text).empty();
}

class XMLPropertyListBuilder {
public:
    explicit XMLPropertyListBuilder(const Limits& limits)
        : _limits(limits)
        , _parser(XML_ParserCreate(nullptr)) {}
    ~XMLPropertyListBuilder() {
        if (_parser != nullptr) {
            XML_ParserFree(_parser);
        }
    }
    XMLPropertyListBuilder(const XMLPropertyListBuilder&) = delete;
    XMLPropertyListBuilder& operator=(const XMLPropertyListBuilder&) = delete;

    Result parse(std::span<const std::uint8_t> bytes);

private:
    void installHandlers();
    bool feed(std::span<const std::uint8_t> bytes);
    std::string expatErrorDescription() const;

    void startElement(std::string_view name);
    void endElement();
    void characterData(std::string_view text);
    void startDoctype(bool hasInternalSubset);
    void entityDeclaration(std::string_view name);
    void skippedEntity(std::string_view name);

    bool canOpen(std::string_view name, ElementKind kind);
    std::optional<ZRPropertyList> valueOfLeaf(const OpenElement& element);
    void deliver(ZRPropertyList value);
    void fail(const std::string& description);
    std::string atLine() const;

    // Expat is C: exceptions must not cross it. Allocation failures become an ordinary failure.
    template <typename Body>
    static void guarded(void* userData, Body body) {
        auto* builder = static_cast<XMLPropertyListBuilder*>(userData);
        if (!builder->_error.empty()) {
            return;
        }
        try {
            body(*builder);
        } catch (const std::bad_alloc&) {
            builder->fail("Out of memory");
        } catch (const std::length_error&) {
            builder->fail("Out of memory");
        }
    }

    const Limits& _limits;
    XML_Parser _parser;
    std::vector<OpenElement> _open;
    std::optional<ZRPropertyList> _root;
    std::size_t _elementCount = 0;
    // Arrays and dictionaries open inside each other.
    std::size_t _collectionDepth = 0;
    std::string _error;
};

void XMLPropertyListBuilder::installHandlers() {
    XML_SetUserData(_parser, this);
    XML_SetParamEntityParsing(_parser, XML_PARAM_ENTITY_PARSING_NEVER);
    XML_SetElementHandler(
        _parser,
        [](void* userData, const XML_Char* name, const XML_Char**) {
            guarded(userData, [&](XMLPropertyListBuilder& builder) { builder.startElement(name); });
        },
        [](void* userData, const XML_Char*) {
            guarded(userData, [&](XMLPropertyListBuilder& builder) { builder.endElement(); });
        });
    XML_SetCharacterDataHandler(_parser, [](void* userData, const XML_Char* text, int length) {
        guarded(userData, [&](XMLPropertyListBuilder& builder) {
            builder.characterData(std::string_view(text, static_cast<std::size_t>(length)));
        });
    });
    XML_SetStartDoctypeDeclHandler(_parser, [](void* userData, const XML_Char*, const XML_Char*,
                                               const XML_Char*, int hasInternalSubset) {
        guarded(userData,
                [&](XMLPropertyListBuilder& builder) { builder.startDoctype(hasInternalSubset != 0); });
    });
    XML_SetEntityDeclHandler(_parser, [](void* userData, const XML_Char* name, int, const XML_Char*, int,
                                         const XML_Char*, const XML_Char*, const XML_Char*, const XML_Char*) {
        guarded(userData, [&](XMLPropertyListBuilder& builder) { builder.entityDeclaration(name); });
    });
    XML_SetSkippedEntityHandler(_parser, [](void* userData, const XML_Char* name, int) {
        guarded(userData, [&](XMLPropertyListBuilder& builder) { builder.skippedEntity(name); });
    });
}

Result XMLPropertyListBuilder::parse(std::span<const std::uint8_t> bytes) {
    if (_parser == nullptr) {
        return failure(Format::XML, "Out of memory");
    }
    if (bytes.size() > _limits.maximumInputSize) {
        return failure(Format::XML, inputTooLargeDescription(_limits.maximumInputSize));
    }
    installHandlers();
    if (!feed(bytes)) {
        return failure(Format::XML, _error.empty() ? expatErrorDescription() : _error);
    }
    if (!_root) {
        return failure(Format::XML, "No property list value");
    }
    return success(Format::XML, std::move(*_root));
}

bool XMLPropertyListBuilder::feed(std::span<const std::uint8_t> bytes) {
    constexpr std::size_t chunkSize = 1 << 20;
    do {
        const std::size_t length = std::min(bytes.size(), chunkSize);
        const bool isFinal = length == bytes.size();
        if (XML_Parse(_parser, reinterpret_cast<const char*>(bytes.data()), static_cast<int>(length),
                      isFinal ? XML_TRUE : XML_FALSE) != XML_STATUS_OK) {
            return false;
        }
        bytes = bytes.subspan(length);
    } while (!bytes.empty());
    return _error.empty();
}

std::string XMLPropertyListBuilder::expatErrorDescription() const {
    const XML_LChar* message = XML_ErrorString(XML_GetErrorCode(_parser));
    std::string description = message != nullptr ? message : "XML error";
    if (!description.empty() && description.front() >= 'a' && description.front() <= 'z') {
        description.front() = static_cast<char>(description.front() - 'a' + 'A');
    }
    return description + atLine();
}

std::string XMLPropertyListBuilder::atLine() const {
    return " at line " + std::to_string(XML_GetCurrentLineNumber(_parser));
}

void XMLPropertyListBuilder::fail(const std::string& description) {
    if (_error.empty()) {
        _error = description;
    }
    XML_StopParser(_parser, XML_FALSE);
}

void XMLPropertyListBuilder::startDoctype(bool hasInternalSubset) {
    if (hasInternalSubset) {
        fail("Document type declarations with an internal subset are not allowed" + atLine());
    }
}

void XMLPropertyListBuilder::entityDeclaration(std::string_view name) {
    fail("Entity declaration '" + std::string(name) + "' is not allowed" + atLine());
}

void XMLPropertyListBuilder::skippedEntity(std::string_view name) {
    fail("Reference to undeclared entity '" + std::string(name) + "'" + atLine());
}

bool XMLPropertyListBuilder::canOpen(std::string_view name, ElementKind kind) {
    if (_open.empty()) {
        if (_root || kind == ElementKind::Key) {
            fail("Unexpected element <" + std::string(name) + ">" + atLine());
            return false;
        }
        return true;
    }
    const OpenElement& parent = _open.back();
    if (!isContainer(parent.kind)) {
        fail("Unexpected element <" + std::string(name) + "> inside <" + parent.name + ">" + atLine());
        return false;
    }
    if (kind == ElementKind::Plist) {
        fail("Unexpected element <plist>" + atLine());
        return false;
    }
    if (parent.kind == ElementKind::Plist && parent.plistValue) {
        fail("More than one value in <plist>" + atLine());
        return false;
    }
    if (parent.kind != ElementKind::Dict && kind == ElementKind::Key) {
        fail("Unexpected element <key> inside <" + parent.name + ">" + atLine());
        return false;
    }
    if (parent.kind == ElementKind::Dict) {
        if (parent.pendingKey && kind == ElementKind::Key) {
            fail("Missing value for key " + quotedExcerpt(*parent.pendingKey) + atLine());
            return false;
        }
        if (!parent.pendingKey && kind != ElementKind::Key) {
            fail("Expected <key> but found <" + std::string(name) + ">" + atLine());
            return false;
        }
    }
    return true;
}

void XMLPropertyListBuilder::startElement(std::string_view name) {
    const auto kind = elementKind(name);
    if (!kind) {
        fail("Unknown element <" + std::string(name) + ">" + atLine());
        return;
    }
    if (!canOpen(name, *kind)) {
        return;
    }
    const bool isCollection = *kind == ElementKind::Array || *kind == ElementKind::Dict;
    if (isCollection && _collectionDepth >= _limits.maximumDepth) {
        fail(nestingTooDeepDescription(_limits.maximumDepth) + atLine());
        return;
    }
    if (*kind != ElementKind::Plist && *kind != ElementKind::Key &&
        ++_elementCount > _limits.maximumElementCount) {
        fail(tooManyElementsDescription(_limits.maximumElementCount) + atLine());
        return;
    }
    _open.push_back(OpenElement{*kind, std::string(name), {}, {}, {}, {}, {}});
    _collectionDepth += isCollection ? 1 : 0;
}

void XMLPropertyListBuilder::characterData(std::string_view text) {
    if (_open.empty()) {
        return;
    }
    OpenElement& element = _open.back();
    if (takesText(element.kind)) {
        element.text += text;
    } else if (!isWhitespaceOnly(text)) {
        fail("Unexpected text in <" + element.name + ">" + atLine());
    }
}

std::optional<ZRPropertyList> XMLPropertyListBuilder::valueOfLeaf(const OpenElement& element) {
    switch (element.kind) {
    case ElementKind::String:
        return ZRPropertyList::string(element.text);
    case ElementKind::True:
        return ZRPropertyList::boolean(true);
    case ElementKind::False:
        return ZRPropertyList::boolean(false);
    case ElementKind::Integer:
        if (const auto value = integerFromText(element.text)) {
            return ZRPropertyList::integer(*value);
        }
        fail("Invalid integer " + quotedExcerpt(element.text) + atLine());
        return std::nullopt;
    case ElementKind::Real:
        if (const auto value = realFromText(element.text)) {
            return ZRPropertyList::real(*value);
        }
        fail("Invalid real " + quotedExcerpt(element.text) + atLine());
        return std::nullopt;
    case ElementKind::Date:
        if (const auto value =
                ZRISO8601DateFormat::secondsSinceReferenceDate(trimmingWhitespace(element.text))) {
            return ZRPropertyList::date({*value});
        }
        fail("Invalid date " + quotedExcerpt(element.text) + atLine());
        return std::nullopt;
    case ElementKind::Data:
        if (auto value = ZRBase64::decode(element.text)) {
            return ZRPropertyList::data(std::move(*value));
        }
        fail("Invalid base64 data" + atLine());
        return std::nullopt;
    case ElementKind::Plist:
    case ElementKind::Dict:
    case ElementKind::Array:
    case ElementKind::Key:
        break;
    }
    return std::nullopt;
}

void XMLPropertyListBuilder::endElement() {
    if (_open.empty()) {
        return;
    }
    OpenElement element = std::move(_open.back());
    _open.pop_back();
    if (element.kind == ElementKind::Array || element.kind == ElementKind::Dict) {
        --_collectionDepth;
    }
    switch (element.kind) {
    case ElementKind::Key:
        _open.back().pendingKey = std::move(element.text);
        return;
    case ElementKind::Plist:
        if (!element.plistValue) {
            fail("Empty <plist>" + atLine());
            return;
        }
        deliver(std::move(*element.plistValue));
        return;
    case ElementKind::Array:
        deliver(ZRPropertyList::array(std::move(element.array)));
        return;
    case ElementKind::Dict:
        if (element.pendingKey) {
            fail("Missing value for key " + quotedExcerpt(*element.pendingKey) + atLine());
            return;
        }
        deliver(ZRPropertyList::dictionary(std::move(element.dictionary)));
        return;
    default:
        if (auto value = valueOfLeaf(element)) {
            deliver(std::move(*value));
        }
    }
}

void XMLPropertyListBuilder::deliver(ZRPropertyList value) {
    if (_open.empty()) {
        _root = std::move(value);
        return;
    }
    OpenElement& parent = _open.back();
    if (parent.kind == ElementKind::Plist) {
        parent.plistValue = std::move(value);
    } else if (parent.kind == ElementKind::Array) {
        parent.array.push_back(std::move(value));
    } else {
        // Duplicate keys: the last value wins, at the key's first position.
        parent.dictionary.set(std::move(*parent.pendingKey), std::move(value));
        parent.pendingKey.reset();
    }
}

} // namespace

Result readXML(std::span<const std::uint8_t> bytes, const Limits& limits) {
    XMLPropertyListBuilder builder(limits);
    return builder.parse(bytes);
}

} // namespace ZRPropertyListReader
