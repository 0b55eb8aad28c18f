#include "ZRFoundation/CodeSigning/ZRCodeRequirement.h"

#include "ZRFoundation/CodeSigning/ZRByteView.h"
#include "ZRFoundation/CodeSigning/ZRCertificate.h"
#include "ZRFoundation/Crypto/ZRDigest.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdio>
#include <limits>

namespace {

/// Decimal digits as a word. Leading zeros do not make a number octal: "010" is ten, the
/// way the requirement language has always read integers. No sign, nothing past 2^32 - 1.
std::optional<std::uint32_t> unsignedWord(std::string_view digits) {
    std::uint32_t number = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), number);
    if (digits.empty() || error != std::errc() || end != digits.data() + digits.size()) {
        return std::nullopt;
    }
    return number;
}

// Operation codes of the compiled form.
enum Opcode : std::uint32_t {
    opFalse = 0,
    opTrue = 1,
    opIdent = 2,
    opAppleAnchor = 3,
    opAnchorHash = 4,
    opInfoKeyValue = 5,
    opAnd = 6,
    opOr = 7,
    opCDHash = 8,
    opNot = 9,
    opInfoKeyField = 10,
    opCertField = 11,
    opTrustedCert = 12,
    opTrustedCerts = 13,
    opCertGeneric = 14,
    opAppleGenericAnchor = 15,
    opEntitlementField = 16,
    opCertPolicy = 17,
    opNamedAnchor = 18,
    opNamedCode = 19,
    opPlatform = 20,
    opNotarized = 21,
    opCertFieldDate = 22,
    opLegacyDevID = 23,
};
constexpr std::uint32_t opFlagMask = 0xff000000;
constexpr std::uint32_t opGenericFalse = 0x80000000;
constexpr std::uint32_t opGenericSkip = 0x40000000;

enum Match : std::uint32_t {
    matchExists = 0,
    matchEqual = 1,
    matchContains = 2,
    matchBeginsWith = 3,
    matchEndsWith = 4,
    matchLessThan = 5,
    matchGreaterThan = 6,
    matchLessEqual = 7,
    matchGreaterEqual = 8,
    matchAbsent = 14,
};

constexpr std::uint32_t expressionForm = 1;
constexpr std::int32_t leafSlot = 0;
constexpr std::int32_t anchorSlot = -1;

ZRCodeSigningError invalid(std::string text) {
    return ZRCodeSigningError{ZROSStatus::errSecCSReqInvalid, "requirement: " + std::move(text)};
}

ZRCodeSigningError unsupported(std::string text) {
    return ZRCodeSigningError{ZROSStatus::errSecCSReqUnsupported, "requirement: " + std::move(text)};
}

std::string hex(std::span<const std::uint8_t> bytes) {
    return ZRDigest::hexString(bytes);
}

/// Dotted form of the contents of a DER object identifier; nothing for malformed bytes.
std::optional<std::string> dottedOID(std::span<const std::uint8_t> bytes) {
    if (bytes.empty() || bytes.size() > 64) {
        return std::nullopt;
    }
    std::string text;
    std::uint64_t value = 0;
    bool first = true;
    for (std::size_t index = 0; index < bytes.size(); ++index) {
        if (value > (std::uint64_t{1} << 56)) {
            return std::nullopt;
        }
        value = (value << 7) | (bytes[index] & 0x7f);
        if (bytes[index] & 0x80) {
            if (index + 1 == bytes.size()) {
                return std::nullopt;
            }
            continue;
        }
        if (first) {
            const std::uint64_t arc = value < 80 ? value / 40 : 2;
            text = std::to_string(arc) + "." + std::to_string(value - arc * 40);
            first = false;
        } else {
            text += "." + std::to_string(value);
        }
        value = 0;
    }
    return text;
}

std::optional<std::vector<std::uint8_t>> oidBytes(std::string_view dotted) {
    std::vector<std::uint64_t> arcs;
    std::uint64_t value = 0;
    bool digits = false;
    for (const char character : dotted) {
        if (character == '.') {
            if (!digits) {
                return std::nullopt;
            }
            arcs.push_back(value);
            value = 0;
            digits = false;
        } else if (character >= '0' && character <= '9' && value < (std::uint64_t{1} << 56)) {
            value = value * 10 + static_cast<std::uint64_t>(character - '0');
            digits = true;
        } else {
            return std::nullopt;
        }
    }
    if (!digits) {
        return std::nullopt;
    }
    arcs.push_back(value);
    if (arcs.size() < 2 || arcs[0] > 2 || (arcs[0] < 2 && arcs[1] >= 40)) {
        return std::nullopt;
    }
    std::vector<std::uint8_t> bytes;
    auto append = [&](std::uint64_t arc) {
        std::uint8_t groups[10];
        int count = 0;
        do {
            groups[count++] = static_cast<std::uint8_t>(arc & 0x7f);
            arc >>= 7;
        } while (arc != 0);
        while (count > 0) {
            --count;
            bytes.push_back(static_cast<std::uint8_t>(groups[count] | (count > 0 ? 0x80 : 0)));
        }
    };
    append(arcs[0] * 40 + arcs[1]);
    for (std::size_t index = 2; index < arcs.size(); ++index) {
        append(arcs[index]);
    }
    return bytes;
}

std::string alwaysQuoted(const std::string& value) {
    std::string text = "\"";
    for (const char character : value) {
        if (character == '"' || character == '\\') {
            text += '\\';
        }
        text += character;
    }
    return text + "\"";
}

/// Strings made of letters and digits print bare; anything else is quoted.
std::string quoted(const std::string& value) {
    const bool bare = !value.empty() && std::isalpha(static_cast<unsigned char>(value[0])) &&
                      std::all_of(value.begin(), value.end(), [](char character) {
                          return std::isalnum(static_cast<unsigned char>(character));
                      });
    if (bare) {
        return value;
    }
    return alwaysQuoted(value);
}

std::string slotText(std::int32_t slot) {
    if (slot == leafSlot) {
        return "leaf";
    }
    if (slot == anchorSlot) {
        return "root";
    }
    return std::to_string(slot);
}

} // namespace

struct ZRCodeRequirement::Node {
    std::uint32_t opcode = opFalse;
    std::int32_t slot = 0;
    /// Identifier, key, field name or dotted OID.
    std::string name;
    std::uint32_t match = matchExists;
    std::string value;
    std::vector<std::uint8_t> hash;
    std::vector<std::shared_ptr<const Node>> children;
};

namespace {

using Node = ZRCodeRequirement::Node;
using NodePointer = std::shared_ptr<const Node>;

// --- Compiled form ---------------------------------------------------------------------------

struct BlobDecoder {
    ZRByteView reader;
    std::uint64_t position = 0;
    std::size_t nodeCount = 0;

    std::optional<std::uint32_t> word() {
        const auto value = reader.u32(position);
        if (value) {
            position += 4;
        }
        return value;
    }
    std::optional<std::span<const std::uint8_t>> data() {
        const auto length = word();
        if (!length) {
            return std::nullopt;
        }
        const auto bytes = reader.span(position, *length);
        if (!bytes) {
            return std::nullopt;
        }
        position += (std::uint64_t{*length} + 3) & ~std::uint64_t{3};
        return bytes;
    }
    std::optional<std::string> string() {
        const auto bytes = data();
        if (!bytes) {
            return std::nullopt;
        }
        return std::string(reinterpret_cast<const char*>(bytes->data()), bytes->size());
    }

    std::optional<ZRCodeSigningError> decodeMatch(Node& node) {
        const auto match = word();
        if (!match) {
            return invalid("match operation extends past the end");
        }
        node.match = *match;
        switch (*match) {
        case matchExists:
        case matchAbsent:
            return std::nullopt;
        case matchEqual:
        case matchContains:
        case matchBeginsWith:
        case matchEndsWith:
        case matchLessThan:
        case matchGreaterThan:
        case matchLessEqual:
        case matchGreaterEqual: {
            const auto value = string();
            if (!value) {
                return invalid("match value extends past the end");
            }
            node.value = *value;
            return std::nullopt;
        }
        default:
            return unsupported("match operation " + std::to_string(*match));
        }
    }

    ZRCodeSigningResult<NodePointer> decode(std::size_t depth) {
        if (depth > ZRCodeRequirement::maximumDepth || ++nodeCount > ZRCodeRequirement::maximumNodeCount) {
            return invalid("expression is nested too deeply");
        }
        const auto word0 = word();
        if (!word0) {
            return invalid("expression extends past the end");
        }
        auto node = std::make_shared<Node>();
        node->opcode = *word0 & ~opFlagMask;
        auto needString = [&](std::string& target) -> std::optional<ZRCodeSigningError> {
            auto text = string();
            if (!text) {
                return invalid("string extends past the end");
            }
            target = std::move(*text);
            return std::nullopt;
        };
        auto needSlot = [&]() -> std::optional<ZRCodeSigningError> {
            const auto slot = word();
            if (!slot) {
                return invalid("certificate index extends past the end");
            }
            node->slot = static_cast<std::int32_t>(*slot);
            return std::nullopt;
        };
        std::optional<ZRCodeSigningError> failure;
        switch (node->opcode) {
        case opFalse:
        case opTrue:
        case opAppleAnchor:
        case opAppleGenericAnchor:
        case opTrustedCerts:
        case opNotarized:
        case opLegacyDevID:
            break;
        case opIdent:
        case opNamedAnchor:
        case opNamedCode:
            failure = needString(node->name);
            break;
        case opPlatform: {
            const auto platform = word();
            if (!platform) {
                return invalid("platform extends past the end");
            }
            node->value = std::to_string(*platform);
            break;
        }
        case opAnchorHash:
        case opCDHash: {
            if (node->opcode == opAnchorHash) {
                failure = needSlot();
            }
            const auto bytes = failure ? std::nullopt : data();
            if (!failure && !bytes) {
                failure = invalid("hash extends past the end");
            } else if (bytes) {
                node->hash.assign(bytes->begin(), bytes->end());
            }
            break;
        }
        case opTrustedCert:
            failure = needSlot();
            break;
        case opInfoKeyValue:
            failure = needString(node->name);
            if (!failure) {
                failure = needString(node->value);
                node->match = matchEqual;
            }
            break;
        case opInfoKeyField:
        case opEntitlementField:
            failure = needString(node->name);
            if (!failure) {
                failure = decodeMatch(*node);
            }
            break;
        case opCertField:
        case opCertGeneric:
        case opCertPolicy: {
            failure = needSlot();
            if (failure) {
                break;
            }
            if (node->opcode == opCertField) {
                failure = needString(node->name);
            } else {
                const auto bytes = data();
                const auto dotted = bytes ? dottedOID(*bytes) : std::nullopt;
                if (!dotted) {
                    failure = invalid("certificate field OID is malformed");
                } else {
                    node->name = *dotted;
                }
            }
            if (!failure) {
                failure = decodeMatch(*node);
            }
            break;
        }
        case opNot: {
            auto child = decode(depth + 1);
            if (!child) {
                return child.error();
            }
            node->children.push_back(*child);
            break;
        }
        case opAnd:
        case opOr:
            for (int index = 0; index < 2; ++index) {
                auto child = decode(depth + 1);
                if (!child) {
                    return child.error();
                }
                node->children.push_back(*child);
            }
            break;
        default:
            if ((*word0 & opGenericSkip) != 0 || (*word0 & opGenericFalse) != 0) {
                return unsupported("operation " + std::to_string(node->opcode) + " cannot be skipped here");
            }
            return unsupported("unknown operation " + std::to_string(node->opcode));
        }
        if (failure) {
            return *failure;
        }
        return NodePointer(node);
    }
};

// --- Text form -------------------------------------------------------------------------------

std::string matchText(const Node& node) {
    switch (node.match) {
    case matchExists:
        return " /* exists */";
    case matchAbsent:
        return " /* absent */";
    case matchEqual:
        return " = " + quoted(node.value);
    case matchContains:
        return " ~ " + quoted(node.value);
    case matchBeginsWith:
        return " = " + quoted(node.value) + "*";
    case matchEndsWith:
        return " = *" + quoted(node.value);
    case matchLessThan:
        return " < " + quoted(node.value);
    case matchGreaterThan:
        return " > " + quoted(node.value);
    case matchLessEqual:
        return " <= " + quoted(node.value);
    case matchGreaterEqual:
        return " >= " + quoted(node.value);
    default:
        return " /* unknown match */";
    }
}

enum Precedence { precedenceOr = 0, precedenceAnd = 1, precedencePrimary = 2 };

std::string print(const Node& node, int context) {
    auto wrap = [&](std::string text, int own) { return own < context ? "(" + text + ")" : text; };
    switch (node.opcode) {
    case opFalse:
        return "never";
    case opTrue:
        return "always";
    case opIdent:
        return "identifier " + alwaysQuoted(node.name);
    case opAppleAnchor:
        return "anchor apple";
    case opAppleGenericAnchor:
        return "anchor apple generic";
    case opNamedAnchor:
        return "anchor apple " + quoted(node.name);
    case opNamedCode:
        return "(" + quoted(node.name) + ")";
    case opTrustedCerts:
        return "anchor trusted";
    case opTrustedCert:
        return "certificate " + slotText(node.slot) + " trusted";
    case opAnchorHash:
        return "certificate " + slotText(node.slot) + " = H\"" + hex(node.hash) + "\"";
    case opCDHash:
        return "cdhash H\"" + hex(node.hash) + "\"";
    case opInfoKeyValue:
        return "info[" + node.name + "] = " + quoted(node.value);
    case opInfoKeyField:
        return "info[" + node.name + "]" + matchText(node);
    case opEntitlementField:
        return "entitlement[" + node.name + "]" + matchText(node);
    case opCertField:
        return "certificate " + slotText(node.slot) + "[" + node.name + "]" + matchText(node);
    case opCertGeneric:
        return "certificate " + slotText(node.slot) + "[field." + node.name + "]" + matchText(node);
    case opCertPolicy:
        return "certificate " + slotText(node.slot) + "[policy." + node.name + "]" + matchText(node);
    case opPlatform:
        return "platform = " + node.value;
    case opNotarized:
        return "notarized";
    case opLegacyDevID:
        return "legacy";
    case opNot:
        return "!" + print(*node.children[0], precedencePrimary);
    case opAnd:
        return wrap(print(*node.children[0], precedenceAnd) + " and " +
                        print(*node.children[1], precedenceAnd + 1),
                    precedenceAnd);
    case opOr:
        return wrap(print(*node.children[0], precedenceOr) + " or " +
                        print(*node.children[1], precedenceOr + 1),
                    precedenceOr);
    default:
        return "/* unknown */";
    }
}

struct TextParser {
    std::string_view text;
    std::size_t position = 0;
    std::size_t nodeCount = 0;
    std::optional<ZRCodeSigningError> failure;

    void skipSpace() {
        for (;;) {
            while (position < text.size() && std::isspace(static_cast<unsigned char>(text[position]))) {
                ++position;
            }
            if (text.substr(position, 2) == "/*") {
                const auto end = text.find("*/", position + 2);
                position = end == std::string_view::npos ? text.size() : end + 2;
                continue;
            }
            return;
        }
    }
    bool atEnd() {
        skipSpace();
        return position >= text.size();
    }
    bool symbol(std::string_view expected) {
        skipSpace();
        if (text.substr(position, expected.size()) == expected) {
            position += expected.size();
            return true;
        }
        return false;
    }
    static bool wordCharacter(char character) {
        return std::isalnum(static_cast<unsigned char>(character)) || character == '.' || character == '_' ||
               character == '-';
    }
    std::string peekWord() {
        skipSpace();
        std::size_t end = position;
        while (end < text.size() && wordCharacter(text[end])) {
            ++end;
        }
        return std::string(text.substr(position, end - position));
    }
    bool keyword(std::string_view expected) {
        if (peekWord() == expected) {
            position += expected.size();
            return true;
        }
        return false;
    }
    void fail(std::string message) {
        if (!failure) {
            failure = invalid(message + " at offset " + std::to_string(position));
        }
    }
    std::optional<std::string> value() {
        skipSpace();
        if (position < text.size() && text[position] == '"') {
            std::string result;
            for (++position; position < text.size(); ++position) {
                char character = text[position];
                if (character == '\\' && position + 1 < text.size()) {
                    character = text[++position];
                } else if (character == '"') {
                    ++position;
                    return result;
                }
                result += character;
            }
            fail("unterminated string");
            return std::nullopt;
        }
        const std::string word = peekWord();
        if (word.empty()) {
            fail("expected a value");
            return std::nullopt;
        }
        position += word.size();
        return word;
    }
    std::optional<std::vector<std::uint8_t>> hashValue() {
        skipSpace();
        if (!symbol("H\"")) {
            fail("expected a hash H\"…\"");
            return std::nullopt;
        }
        std::vector<std::uint8_t> bytes;
        while (position + 1 < text.size() && std::isxdigit(static_cast<unsigned char>(text[position])) &&
               std::isxdigit(static_cast<unsigned char>(text[position + 1]))) {
            bytes.push_back(
                static_cast<std::uint8_t>(std::stoi(std::string(text.substr(position, 2)), nullptr, 16)));
            position += 2;
        }
        if (!symbol("\"")) {
            fail("malformed hash");
            return std::nullopt;
        }
        return bytes;
    }
    void parseMatch(Node& node) {
        skipSpace();
        if (keyword("exists")) {
            node.match = matchExists;
            return;
        }
        if (keyword("absent")) {
            node.match = matchAbsent;
            return;
        }
        struct Operator {
            std::string_view text;
            std::uint32_t match;
        };
        static constexpr Operator operators[] = {{"<=", matchLessEqual}, {">=", matchGreaterEqual},
                                                 {"<", matchLessThan},   {">", matchGreaterThan},
                                                 {"~", matchContains},   {"=", matchEqual}};
        for (const auto& candidate : operators) {
            if (!symbol(candidate.text)) {
                continue;
            }
            node.match = candidate.match;
            const bool leadingStar = candidate.match == matchEqual && symbol("*");
            auto parsed = value();
            if (!parsed) {
                return;
            }
            node.value = *parsed;
            if (leadingStar) {
                node.match = matchEndsWith;
            } else if (candidate.match == matchEqual && symbol("*")) {
                node.match = matchBeginsWith;
            }
            return;
        }
        node.match = matchExists;
    }
    std::optional<std::int32_t> certificateSlot() {
        const std::string word = peekWord();
        if (word == "leaf") {
            position += word.size();
            return leafSlot;
        }
        if (word == "root" || word == "anchor") {
            position += word.size();
            return anchorSlot;
        }
        if (symbol("-1")) {
            return anchorSlot;
        }
        if (const auto index = unsignedWord(word);
            index && *index <= static_cast<std::uint32_t>(std::numeric_limits<std::int32_t>::max())) {
            position += word.size();
            return static_cast<std::int32_t>(*index);
        }
        fail("expected a certificate index");
        return std::nullopt;
    }

    NodePointer primary(std::size_t depth) {
        if (depth > ZRCodeRequirement::maximumDepth || ++nodeCount > ZRCodeRequirement::maximumNodeCount) {
            fail("expression is nested too deeply");
            return nullptr;
        }
        auto node = std::make_shared<Node>();
        if (symbol("(")) {
            auto inner = expression(depth + 1);
            if (!symbol(")")) {
                fail("expected )");
            }
            return inner;
        }
        if (symbol("!") || keyword("not")) {
            node->opcode = opNot;
            auto child = primary(depth + 1);
            if (!child) {
                return nullptr;
            }
            node->children.push_back(child);
            return node;
        }
        if (keyword("always") || keyword("true")) {
            node->opcode = opTrue;
        } else if (keyword("never") || keyword("false")) {
            node->opcode = opFalse;
        } else if (keyword("anchor")) {
            if (keyword("apple")) {
                node->opcode = keyword("generic") ? opAppleGenericAnchor : opAppleAnchor;
            } else if (keyword("trusted")) {
                node->opcode = opTrustedCerts;
            } else if (symbol("=")) {
                node->opcode = opAnchorHash;
                node->slot = anchorSlot;
                auto hash = hashValue();
                node->hash = hash.value_or(std::vector<std::uint8_t>());
            } else {
                fail("unknown anchor form");
            }
        } else if (keyword("identifier")) {
            node->opcode = opIdent;
            symbol("=");
            node->name = value().value_or("");
        } else if (keyword("cdhash")) {
            node->opcode = opCDHash;
            node->hash = hashValue().value_or(std::vector<std::uint8_t>());
        } else if (keyword("platform")) {
            node->opcode = opPlatform;
            symbol("=");
            if (const auto platform = unsignedWord(value().value_or(""))) {
                node->value = std::to_string(*platform);
            } else {
                fail("platform must be a decimal number below 2^32");
            }
        } else if (keyword("notarized")) {
            node->opcode = opNotarized;
        } else if (keyword("info") || keyword("entitlement")) {
            const bool info = text.substr(position - 4, 4) == "info";
            node->opcode = info ? opInfoKeyField : opEntitlementField;
            if (!symbol("[")) {
                fail("expected [");
                return nullptr;
            }
            const auto close = text.find(']', position);
            if (close == std::string_view::npos) {
                fail("expected ]");
                return nullptr;
            }
            node->name = std::string(text.substr(position, close - position));
            position = close + 1;
            parseMatch(*node);
        } else if (keyword("certificate") || keyword("cert")) {
            const auto slot = certificateSlot();
            if (!slot) {
                return nullptr;
            }
            node->slot = *slot;
            if (keyword("trusted")) {
                node->opcode = opTrustedCert;
            } else if (symbol("=")) {
                node->opcode = opAnchorHash;
                node->hash = hashValue().value_or(std::vector<std::uint8_t>());
            } else if (symbol("[")) {
                const auto close = text.find(']', position);
                if (close == std::string_view::npos) {
                    fail("expected ]");
                    return nullptr;
                }
                const std::string field(text.substr(position, close - position));
                position = close + 1;
                if (field.rfind("field.", 0) == 0 || field.rfind("policy.", 0) == 0) {
                    const bool policy = field[0] == 'p';
                    node->opcode = policy ? opCertPolicy : opCertGeneric;
                    node->name = field.substr(policy ? 7 : 6);
                    if (!oidBytes(node->name)) {
                        fail("malformed OID " + node->name);
                    }
                } else {
                    node->opcode = opCertField;
                    node->name = field;
                }
                parseMatch(*node);
            } else {
                fail("expected a certificate test");
            }
        } else {
            fail("unexpected text");
            return nullptr;
        }
        return failure ? nullptr : node;
    }
    NodePointer conjunction(std::size_t depth) {
        auto left = primary(depth + 1);
        while (left && keyword("and")) {
            auto right = primary(depth + 1);
            if (!right) {
                return nullptr;
            }
            if (++nodeCount > ZRCodeRequirement::maximumNodeCount) {
                fail("requirement is too large");
                return nullptr;
            }
            auto node = std::make_shared<Node>();
            node->opcode = opAnd;
            node->children = {left, right};
            left = node;
        }
        return left;
    }
    NodePointer expression(std::size_t depth) {
        auto left = conjunction(depth + 1);
        while (left && keyword("or")) {
            auto right = conjunction(depth + 1);
            if (!right) {
                return nullptr;
            }
            if (++nodeCount > ZRCodeRequirement::maximumNodeCount) {
                fail("requirement is too large");
                return nullptr;
            }
            auto node = std::make_shared<Node>();
            node->opcode = opOr;
            node->children = {left, right};
            left = node;
        }
        return left;
    }
};

// --- Encoding ------------------------------------------------------------------------------

struct BlobEncoder {
    std::vector<std::uint8_t> bytes;

    void word(std::uint32_t value) {
        for (int shift = 24; shift >= 0; shift -= 8) {
            bytes.push_back(static_cast<std::uint8_t>(value >> shift));
        }
    }
    void data(std::span<const std::uint8_t> value) {
        word(static_cast<std::uint32_t>(value.size()));
        bytes.insert(bytes.end(), value.begin(), value.end());
        while (bytes.size() % 4 != 0) {
            bytes.push_back(0);
        }
    }
    void string(const std::string& value) {
        data({reinterpret_cast<const std::uint8_t*>(value.data()), value.size()});
    }
    void match(const Node& node) {
        word(node.match);
        if (node.match != matchExists && node.match != matchAbsent) {
            string(node.value);
        }
    }
    void encode(const Node& node) {
        word(node.opcode);
        switch (node.opcode) {
        case opIdent:
        case opNamedAnchor:
        case opNamedCode:
            string(node.name);
            break;
        case opPlatform:
            word(unsignedWord(node.value).value_or(0));
            break;
        case opAnchorHash:
            word(static_cast<std::uint32_t>(node.slot));
            data(node.hash);
            break;
        case opCDHash:
            data(node.hash);
            break;
        case opTrustedCert:
            word(static_cast<std::uint32_t>(node.slot));
            break;
        case opInfoKeyValue:
            string(node.name);
            string(node.value);
            break;
        case opInfoKeyField:
        case opEntitlementField:
            string(node.name);
            match(node);
            break;
        case opCertField:
            word(static_cast<std::uint32_t>(node.slot));
            string(node.name);
            match(node);
            break;
        case opCertGeneric:
        case opCertPolicy:
            word(static_cast<std::uint32_t>(node.slot));
            data(oidBytes(node.name).value_or(std::vector<std::uint8_t>()));
            match(node);
            break;
        default:
            break;
        }
        for (const auto& child : node.children) {
            encode(*child);
        }
    }
};

void patchWord(std::vector<std::uint8_t>& bytes, std::size_t offset, std::uint32_t value) {
    for (int index = 0; index < 4; ++index) {
        bytes[offset + index] = static_cast<std::uint8_t>(value >> (24 - 8 * index));
    }
}

std::size_t treeDepth(const Node& node) {
    std::size_t depth = 0;
    for (const auto& child : node.children) {
        depth = std::max(depth, treeDepth(*child));
    }
    return depth + 1;
}

// --- Evaluation ------------------------------------------------------------------------------

enum class Outcome { False, True, Unsupported };

Outcome outcome(bool value) {
    return value ? Outcome::True : Outcome::False;
}

bool stringMatches(const Node& node, const std::optional<std::string>& candidate) {
    switch (node.match) {
    case matchExists:
        return candidate.has_value();
    case matchAbsent:
        return !candidate.has_value();
    default:
        break;
    }
    if (!candidate) {
        return false;
    }
    const std::string& text = *candidate;
    switch (node.match) {
    case matchEqual:
        return text == node.value;
    case matchContains:
        return text.find(node.value) != std::string::npos;
    case matchBeginsWith:
        return text.rfind(node.value, 0) == 0;
    case matchEndsWith:
        return text.size() >= node.value.size() &&
               text.compare(text.size() - node.value.size(), node.value.size(), node.value) == 0;
    case matchLessThan:
        return text < node.value;
    case matchGreaterThan:
        return text > node.value;
    case matchLessEqual:
        return text <= node.value;
    case matchGreaterEqual:
        return text >= node.value;
    default:
        return false;
    }
}

std::optional<ZRCertificate> certificateAt(const ZRCodeRequirement::Context& context, std::int32_t slot) {
    const auto& chain = context.certificates;
    if (chain.empty()) {
        return std::nullopt;
    }
    std::size_t index = 0;
    if (slot == anchorSlot) {
        index = chain.size() - 1;
    } else if (slot >= 0 && static_cast<std::size_t>(slot) < chain.size()) {
        index = static_cast<std::size_t>(slot);
    } else {
        return std::nullopt;
    }
    return ZRCertificate::fromDER(chain[index]);
}

bool appleSigned(const ZRCodeRequirement::Context& context) {
    if (!context.appleAnchored || context.certificates.size() < 3) {
        return false;
    }
    const auto leaf = ZRCertificate::fromDER(context.certificates.front());
    const auto intermediate = ZRCertificate::fromDER(context.certificates[1]);
    return leaf && intermediate &&
           intermediate->lastSubjectValue("CN") ==
               std::optional<std::string>("Apple Code Signing Certification Authority") &&
           intermediate->lastSubjectValue("O") == std::optional<std::string>("Apple Inc.") &&
           leaf->hasExtension("1.2.840.113635.100.6.22");
}

Outcome evaluateNode(const Node& node, const ZRCodeRequirement::Context& context) {
    switch (node.opcode) {
    case opFalse:
        return Outcome::False;
    case opTrue:
        return Outcome::True;
    case opIdent:
        return outcome(context.identifier == node.name);
    case opAppleGenericAnchor:
        return outcome(context.appleAnchored);
    case opAppleAnchor:
        return outcome(appleSigned(context));
    case opAnchorHash: {
        const auto certificate = certificateAt(context, node.slot);
        return outcome(certificate && certificate->sha1() == node.hash);
    }
    case opCDHash:
        return outcome(!context.cdhash.empty() && context.cdhash == node.hash);
    case opPlatform:
        return outcome(std::to_string(context.platform) == node.value);
    case opInfoKeyValue:
    case opInfoKeyField:
        return outcome(stringMatches(node, context.infoValue ? context.infoValue(node.name) : std::nullopt));
    case opCertField: {
        const auto certificate = certificateAt(context, node.slot);
        const auto dot = node.name.find('.');
        if (dot == std::string::npos) {
            return Outcome::Unsupported;
        }
        const std::string part = node.name.substr(0, dot);
        const std::string attribute = node.name.substr(dot + 1);
        if (part != "subject" && part != "issuer") {
            return Outcome::Unsupported;
        }
        if (!certificate) {
            return Outcome::False;
        }
        const auto values =
            part == "subject" ? certificate->subjectValues(attribute) : certificate->issuerValues(attribute);
        if (node.match == matchAbsent) {
            return outcome(values.empty());
        }
        return outcome(std::any_of(values.begin(), values.end(), [&](const std::string& candidate) {
            return stringMatches(node, candidate);
        }));
    }
    case opCertGeneric: {
        if (node.match != matchExists && node.match != matchAbsent) {
            return Outcome::Unsupported;
        }
        const auto certificate = certificateAt(context, node.slot);
        const bool present = certificate && certificate->hasExtension(node.name);
        return outcome(node.match == matchExists ? present : !present);
    }
    case opNot: {
        const Outcome inner = evaluateNode(*node.children[0], context);
        return inner == Outcome::Unsupported ? inner : outcome(inner == Outcome::False);
    }
    case opAnd: {
        const Outcome left = evaluateNode(*node.children[0], context);
        if (left != Outcome::True) {
            return left;
        }
        return evaluateNode(*node.children[1], context);
    }
    case opOr: {
        const Outcome left = evaluateNode(*node.children[0], context);
        if (left != Outcome::False) {
            return left;
        }
        return evaluateNode(*node.children[1], context);
    }
    default:
        return Outcome::Unsupported;
    }
}

} // namespace

ZRCodeSigningResult<ZRCodeRequirement> ZRCodeRequirement::fromBlob(std::span<const std::uint8_t> blob) {
    const ZRByteView reader(blob);
    if (reader.u32(0) != magic) {
        return invalid("not a requirement blob");
    }
    const auto length = reader.u32(4);
    if (!length || *length > blob.size() || *length < 12) {
        return invalid("blob length is out of range");
    }
    if (reader.u32(8) != expressionForm) {
        return unsupported("requirement is not an expression");
    }
    BlobDecoder decoder{ZRByteView(blob.first(*length)), 12, 0};
    auto root = decoder.decode(0);
    if (!root) {
        return root.error();
    }
    return ZRCodeRequirement(*root);
}

ZRCodeSigningResult<ZRCodeRequirement> ZRCodeRequirement::fromText(std::string_view text) {
    if (text.size() > 64 * 1024) {
        return invalid("text is too long");
    }
    TextParser parser{text, 0, 0, std::nullopt};
    auto root = parser.expression(0);
    if (!parser.failure && root && !parser.atEnd()) {
        parser.fail("unexpected text after the requirement");
    }
    // Chains of "and" and "or" nest the tree without nesting the text: the compiled form must
    // stay within the depth its decoder accepts.
    if (!parser.failure && root && treeDepth(*root) > maximumDepth) {
        parser.fail("requirement is nested too deeply");
    }
    if (parser.failure || !root) {
        return parser.failure.value_or(invalid("empty requirement"));
    }
    return ZRCodeRequirement(root);
}

ZRCodeSigningResult<std::map<std::uint32_t, ZRCodeRequirement>>
ZRCodeRequirement::requirementSet(std::span<const std::uint8_t> blob) {
    const ZRByteView reader(blob);
    const auto length = reader.u32(4);
    const auto count = reader.u32(8);
    if (reader.u32(0) != setMagic || !length || !count || *length > blob.size() || *length < 12 ||
        *count > (*length - 12) / 8) {
        return invalid("requirement set is malformed");
    }
    std::map<std::uint32_t, ZRCodeRequirement> requirements;
    const ZRByteView setReader(blob.first(*length));
    for (std::uint32_t index = 0; index < *count; ++index) {
        const std::uint32_t type = *setReader.u32(12 + index * 8);
        const std::uint32_t offset = *setReader.u32(16 + index * 8);
        const auto entryLength = setReader.u32(std::uint64_t{offset} + 4);
        const auto entry = entryLength ? setReader.span(offset, *entryLength) : std::nullopt;
        if (!entry) {
            return invalid("requirement " + std::to_string(type) + " is out of range");
        }
        auto requirement = fromBlob(*entry);
        if (!requirement) {
            return requirement.error();
        }
        requirements.insert_or_assign(type, std::move(requirement).value());
    }
    return requirements;
}

std::string ZRCodeRequirement::text() const {
    return print(*_root, precedenceOr);
}

std::int32_t ZRCodeRequirement::evaluate(const Context& context) const {
    switch (evaluateNode(*_root, context)) {
    case Outcome::True:
        return ZROSStatus::success;
    case Outcome::False:
        return ZROSStatus::errSecCSReqFailed;
    case Outcome::Unsupported:
        break;
    }
    return ZROSStatus::errSecCSReqUnsupported;
}

std::vector<std::uint8_t> ZRCodeRequirement::blob() const {
    BlobEncoder encoder;
    encoder.word(magic);
    encoder.word(0);
    encoder.word(expressionForm);
    encoder.encode(*_root);
    patchWord(encoder.bytes, 4, static_cast<std::uint32_t>(encoder.bytes.size()));
    return encoder.bytes;
}

std::vector<std::uint8_t>
ZRCodeRequirement::requirementSetBlob(const std::map<std::uint32_t, ZRCodeRequirement>& requirements) {
    BlobEncoder encoder;
    encoder.word(setMagic);
    encoder.word(0);
    encoder.word(static_cast<std::uint32_t>(requirements.size()));
    std::size_t indexOffset = encoder.bytes.size();
    for (std::size_t index = 0; index < requirements.size(); ++index) {
        encoder.word(0);
        encoder.word(0);
    }
    for (const auto& [type, requirement] : requirements) {
        patchWord(encoder.bytes, indexOffset, type);
        patchWord(encoder.bytes, indexOffset + 4, static_cast<std::uint32_t>(encoder.bytes.size()));
        indexOffset += 8;
        const auto blob = requirement.blob();
        encoder.bytes.insert(encoder.bytes.end(), blob.begin(), blob.end());
    }
    patchWord(encoder.bytes, 4, static_cast<std::uint32_t>(encoder.bytes.size()));
    return encoder.bytes;
}
