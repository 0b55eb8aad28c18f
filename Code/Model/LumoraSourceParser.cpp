// Turns one declaration dictionary into a Lumora::Source, validating every value it reads and
// translating every text it keeps.

#include "Code/Model/LumoraSource.h"
#include "ZRFoundation/Text/ZRUTF8.h"
#include "ZRFoundation/Text/ZRUnicodeText.h"

#include <algorithm>
#include <charconv>

#include <unicode/uchar.h>

namespace {

using Source = Lumora::Source;
using Key = Source::Key;
using ParseError = Source::ParseError;
using ConnectionDescription = Lumora::ConnectionDescription;
using HostMatchingRule = ConnectionDescription::HostMatchingRule;

constexpr std::string_view supportedVersion = "1.0";
constexpr std::string_view applicationNamePlaceholder = "%APPNAME%";

class DictionaryReader {
public:
    explicit DictionaryReader(const ZRPropertyListDictionary& dictionary)
        : _dictionary(dictionary) {}

    std::optional<std::string> optionalString(Key key) const {
        const auto* value = find(key);
        if (value == nullptr) {
            return std::nullopt;
        }
        if (const auto* text = value->stringValue()) {
            return *text;
        }
        throw ParseError::invalidValue(key, *value);
    }

    std::string requiredString(Key key) const {
        auto text = optionalString(key);
        if (!text) {
            throw ParseError::requiredKeyMissing(key);
        }
        return std::move(*text);
    }

    std::optional<bool> optionalBoolean(Key key) const {
        const auto* value = find(key);
        if (value == nullptr) {
            return std::nullopt;
        }
        if (const auto flag = value->booleanValue()) {
            return flag;
        }
        throw ParseError::invalidValue(key, *value);
    }

    /// An array whose every element is a dictionary; any other element fails the whole array.
    std::optional<std::vector<const ZRPropertyListDictionary*>> optionalArrayOfDictionaries(Key key) const {
        const auto* value = find(key);
        if (value == nullptr) {
            return std::nullopt;
        }
        const auto* array = value->arrayValue();
        if (array == nullptr) {
            throw ParseError::invalidValue(key, *value);
        }
        std::vector<const ZRPropertyListDictionary*> dictionaries;
        dictionaries.reserve(array->size());
        for (const auto& element : *array) {
            const auto* dictionary = element.dictionaryValue();
            if (dictionary == nullptr) {
                throw ParseError::invalidValue(key, *value);
            }
            dictionaries.push_back(dictionary);
        }
        return dictionaries;
    }

private:
    const ZRPropertyList* find(Key key) const { return _dictionary.find(Source::rawValue(key)); }
    const ZRPropertyListDictionary& _dictionary;
};

class Translator {
public:
    explicit Translator(const Source::TranslationContext& context)
        : _context(context) {}

    /// Translation through the string table, then the final full stop for sentences, then the
    /// application name for its placeholder.
    std::string localize(const std::string& text, bool isSentence) {
        std::string result = text;
        if (const auto* table = stringTable()) {
            if (const auto found = table->find(text); found != table->end()) {
                result = found->second;
            }
        }
        if (isSentence && (result.empty() || result.back() != '.')) {
            result += '.';
        }
        if (_context.parentName) {
            result =
                ZRUnicodeText::replacingOccurrences(result, applicationNamePlaceholder, *_context.parentName);
        }
        return result;
    }

private:
    const LumoraStringTable* stringTable() {
        if (_context.tableProvider == nullptr) {
            return _context.table ? &*_context.table : nullptr;
        }
        if (!_providedTableLoaded) {
            _providedTableLoaded = true;
            try {
                _providedTable = _context.tableProvider->localizationTable(_context.tableName,
                                                                           _context.fallbackLocalizations);
            } catch (...) {
                // An unreadable table leaves the texts as written.
                _providedTable.reset();
            }
        }
        return _providedTable ? &*_providedTable : nullptr;
    }

    const Source::TranslationContext& _context;
    bool _providedTableLoaded = false;
    std::optional<LumoraStringTable> _providedTable;
};

std::vector<std::string> splitAndTrim(const std::string& text, char separator) {
    std::vector<std::string> pieces;
    std::size_t start = 0;
    for (;;) {
        const auto end = text.find(separator, start);
        pieces.push_back(ZRUnicodeText::trimmingWhitespace(std::string_view(text).substr(
            start, end == std::string::npos ? std::string::npos : end - start)));
        if (end == std::string::npos) {
            return pieces;
        }
        start = end + 1;
    }
}

bool startsWith(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

std::optional<HostMatchingRule> ruleForHostPattern(const std::string& pattern) {
    if (pattern.empty()) {
        return std::nullopt;
    }
    if (pattern == "local-net") {
        return HostMatchingRule::localNetwork();
    }
    if (pattern == "bpf") {
        return HostMatchingRule::berkeleyPacketFilter();
    }
    if (pattern == "=*") {
        return HostMatchingRule::exactAnyConnectionWildcard();
    }
    if (pattern == "*") {
        return HostMatchingRule::fuzzyAnyConnectionWildcard();
    }
    if (startsWith(pattern, "=*.")) {
        return HostMatchingRule::exactDomainWildcard(pattern.substr(3));
    }
    if (startsWith(pattern, "*.")) {
        return HostMatchingRule::fuzzyDomainWildcard(pattern.substr(2));
    }
    if (auto addresses = NQIPAddressSet::addressSetFromDisplayString(pattern)) {
        return HostMatchingRule::ipAddresses(std::move(*addresses));
    }
    return HostMatchingRule::host(pattern);
}

// Control and format characters (general categories Cc and Cf) show as nothing, or reorder the
// text around them, so a host name holding one would read as another host's name.
bool containsInvisibleCharacter(std::string_view text) {
    // Property-list strings are valid UTF-8; anything else is refused all the same.
    const auto characters = ZRUTF8::codePoints(text);
    return !characters || std::ranges::any_of(*characters, [](char32_t character) {
        const auto category = u_charType(static_cast<UChar32>(character));
        return category == U_CONTROL_CHAR || category == U_FORMAT_CHAR;
    });
}

std::vector<HostMatchingRule> hostMatchingRules(const std::string& hostText) {
    std::vector<HostMatchingRule> rules;
    for (const auto& pattern : splitAndTrim(hostText, ',')) {
        if (containsInvisibleCharacter(pattern)) {
            throw ParseError::invalidValue(Key::host, ZRPropertyList::string(hostText));
        }
        if (auto rule = ruleForHostPattern(pattern)) {
            rules.push_back(std::move(*rule));
        }
    }
    if (rules.empty()) {
        throw ParseError::invalidValue(Key::host, ZRPropertyList::string(hostText));
    }
    return rules;
}

// ASCII digits with an optional leading "+", value 0…65535.
std::optional<std::uint16_t> portNumber(std::string_view text) {
    if (startsWith(text, "+")) {
        text.remove_prefix(1);
    }
    if (text.empty() || text.find_first_not_of("0123456789") != std::string_view::npos) {
        return std::nullopt;
    }
    std::uint16_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

PortSet portSet(const std::optional<std::string>& portText) {
    if (!portText) {
        return PortSet::allPorts();
    }
    PortSet ports;
    for (const auto& item : splitAndTrim(*portText, ',')) {
        if (item == "*") {
            return PortSet::allPorts();
        }
        const auto parts = splitAndTrim(item, '-');
        const auto first = portNumber(parts[0]);
        if (parts.size() == 1 && first) {
            ports.addPort(*first);
            continue;
        }
        if (parts.size() == 2 && first) {
            const auto last = portNumber(parts[1]);
            if (last && *first < *last) {
                ports.addPorts(*first, *last);
                continue;
            }
        }
        throw ParseError::invalidValue(Key::port, ZRPropertyList::string(item));
    }
    return ports;
}

std::optional<NetworkProtocol> networkProtocol(const std::optional<std::string>& protocolText) {
    if (!protocolText) {
        return std::nullopt;
    }
    const std::string name = ZRUnicodeText::uppercased(*protocolText);
    if (name == "TCP") {
        return NetworkProtocol::tcp;
    }
    if (name == "UDP") {
        return NetworkProtocol::udp;
    }
    if (name == "ICMP") {
        return NetworkProtocol::icmp;
    }
    if (name == "*") {
        return std::nullopt;
    }
    throw ParseError::invalidValue(Key::networkProtocol, ZRPropertyList::string(*protocolText));
}

ConnectionDescription::Relevance relevance(const std::optional<std::string>& relevanceText) {
    if (!relevanceText) {
        return ConnectionDescription::Relevance::default_;
    }
    const std::string word = ZRUnicodeText::lowercased(*relevanceText);
    if (word == "essential") {
        return ConnectionDescription::Relevance::essential;
    }
    if (word == "default") {
        return ConnectionDescription::Relevance::default_;
    }
    if (word == "analytics") {
        return ConnectionDescription::Relevance::analytics;
    }
    throw ParseError::invalidValue(Key::relevance, ZRPropertyList::string(*relevanceText));
}

ConnectionDescription connectionDescription(const ZRPropertyListDictionary& dictionary,
                                            Translator& translator) {
    const DictionaryReader reader(dictionary);
    std::string purpose = translator.localize(reader.requiredString(Key::purpose), true);
    std::optional<std::string> denyConsequences;
    if (const auto written = reader.optionalString(Key::denyConsequences)) {
        denyConsequences = translator.localize(*written, true);
    }
    auto rules = hostMatchingRules(reader.requiredString(Key::host));
    const bool isIncoming = reader.optionalBoolean(Key::isIncoming).value_or(false);
    const auto protocol = networkProtocol(reader.optionalString(Key::networkProtocol));
    auto ports = portSet(reader.optionalString(Key::port));
    const auto connectionRelevance = relevance(reader.optionalString(Key::relevance));
    return ConnectionDescription(isIncoming, std::move(rules), protocol, std::move(ports),
                                 connectionRelevance, std::move(purpose), std::move(denyConsequences));
}

std::optional<Lumora::ServiceDescription> serviceDescription(const ZRPropertyListDictionary& dictionary,
                                                             Translator& translator) {
    const DictionaryReader reader(dictionary);
    std::string purpose = translator.localize(reader.requiredString(Key::purpose), true);
    auto identifier = reader.optionalString(Key::identifier);
    const auto name = reader.optionalString(Key::name);
    if (name) {
        return Lumora::ServiceDescription(std::move(identifier), translator.localize(*name, false),
                                          std::move(purpose));
    }
    if (identifier) {
        // Only a name the application itself knows for the identifier makes the service showable.
        std::string knownName = Lumora::localizeString(*identifier);
        if (knownName != *identifier) {
            return Lumora::ServiceDescription(std::move(identifier), std::move(knownName),
                                              std::move(purpose));
        }
    }
    return std::nullopt;
}

std::optional<Lumora::CodeSignatureSource>
requiredCodeSignatureSource(const std::optional<std::string>& team) {
    if (!team || team->empty()) {
        return std::nullopt;
    }
    if (*team == "Apple") {
        return Lumora::CodeSignatureSource::apple();
    }
    return Lumora::CodeSignatureSource::teamIdentifier(*team);
}

std::shared_ptr<const Source> parseSource(Source::SourceType type, const ZRURL& bundleURL,
                                          const ZRURL& policyFileURL, std::optional<std::string> signerName,
                                          const ZRPropertyListDictionary& dictionary,
                                          const Source::TranslationContext& context) {
    const DictionaryReader reader(dictionary);
    Translator translator(context);

    const std::string version =
        reader.optionalString(Key::dictionaryVersion).value_or(std::string(supportedVersion));
    if (version != supportedVersion) {
        throw ParseError::versionMismatch(std::string(supportedVersion), version);
    }
    auto developerName = reader.optionalString(Key::developerName);
    if (!developerName) {
        developerName = std::move(signerName);
    }
    std::optional<ZRURL> website;
    if (const auto websiteText = reader.optionalString(Key::website)) {
        website = ZRURL::URLWithString(*websiteText);
    }
    std::string purpose = translator.localize(reader.requiredString(Key::applicationDescription), true);

    std::vector<ConnectionDescription> connections;
    if (const auto elements = reader.optionalArrayOfDictionaries(Key::connections)) {
        connections.reserve(elements->size());
        for (const auto* element : *elements) {
            connections.push_back(connectionDescription(*element, translator));
        }
    }
    std::vector<Lumora::ServiceDescription> services;
    if (const auto elements = reader.optionalArrayOfDictionaries(Key::services)) {
        for (const auto* element : *elements) {
            if (auto service = serviceDescription(*element, translator)) {
                services.push_back(std::move(*service));
            }
        }
    }
    auto requiredSigner =
        requiredCodeSignatureSource(reader.optionalString(Key::codeSignatureTeamIdentifier));

    return std::make_shared<const Source>(type, bundleURL, policyFileURL, std::move(developerName),
                                          std::move(website), std::move(purpose), std::move(connections),
                                          std::move(services), std::move(requiredSigner));
}

} // namespace

std::shared_ptr<const Lumora::Source> Lumora::Source::makeFromBundleDictionary(
    SourceType type, const ZRURL& bundleURL, const ZRURL& policyFileURL,
    std::optional<std::string> signerName, std::optional<std::string> parentName,
    const ZRPropertyListDictionary& dictionary, LumoraLocalizationTableProvider* tableProvider,
    std::string tableName, std::vector<std::string> fallbackLocalizations) {
    TranslationContext context;
    context.tableProvider = tableProvider;
    context.tableName = std::move(tableName);
    context.fallbackLocalizations = std::move(fallbackLocalizations);
    context.parentName = std::move(parentName);
    return parseSource(type, bundleURL, policyFileURL, std::move(signerName), dictionary, context);
}

std::shared_ptr<const Lumora::Source> Lumora::Source::makeFromEmbeddedDictionary(
    SourceType type, const ZRURL& bundleURL, const ZRURL& policyFileURL,
    std::optional<std::string> signerName, std::optional<std::string> parentName,
    const ZRPropertyListDictionary& dictionary, std::optional<LumoraStringTable> table) {
    TranslationContext context;
    context.table = std::move(table);
    context.parentName = std::move(parentName);
    return parseSource(type, bundleURL, policyFileURL, std::move(signerName), dictionary, context);
}
