#include "Code/Model/LumoraSource.h"

#include "ZRFoundation/Bundle/ZRFileManager.h"

#include <array>

namespace {

struct KeyNames {
    std::string_view rawValue;
    std::string_view caseName;
};

constexpr std::array<KeyNames, 16> keyNames{{
    {"LumoraDictionaryVersion", "dictionaryVersion"},
    {"CodeSignatureTeamIdentifier", "codeSignatureTeamIdentifier"},
    {"DeveloperName", "developerName"},
    {"Website", "website"},
    {"ApplicationDescription", "applicationDescription"},
    {"Connections", "connections"},
    {"Services", "services"},
    {"Host", "host"},
    {"IsIncoming", "isIncoming"},
    {"NetworkProtocol", "networkProtocol"},
    {"Port", "port"},
    {"Relevance", "relevance"},
    {"Purpose", "purpose"},
    {"DenyConsequences", "denyConsequences"},
    {"Name", "name"},
    {"Identifier", "identifier"},
}};

} // namespace

std::string_view Lumora::Source::rawValue(Key key) {
    return keyNames.at(static_cast<std::size_t>(key)).rawValue;
}

std::string_view Lumora::Source::caseName(Key key) {
    return keyNames.at(static_cast<std::size_t>(key)).caseName;
}

Lumora::Source::Source(SourceType type, ZRURL bundleURL, ZRURL policyFileURL,
                       std::optional<std::string> developerName, std::optional<ZRURL> developerWebsiteURL,
                       std::string localizedPurpose,
                       std::vector<ConnectionDescription> connectionDescriptions,
                       std::vector<ServiceDescription> serviceDescriptions,
                       std::optional<CodeSignatureSource> requiredCodeSignatureSource)
    : _type(type)
    , _bundleURL(std::move(bundleURL))
    , _policyFileURL(std::move(policyFileURL))
    , _developerName(std::move(developerName))
    , _developerWebsiteURL(std::move(developerWebsiteURL))
    , _localizedPurpose(std::move(localizedPurpose))
    , _connectionDescriptions(std::move(connectionDescriptions))
    , _serviceDescriptions(std::move(serviceDescriptions))
    , _requiredCodeSignatureSource(std::move(requiredCodeSignatureSource)) {}

const std::string& Lumora::Source::localizedName() const {
    std::call_once(_localizedNameOnce, [this] {
        std::string name = ZRFileManager::displayNameAtPath(_bundleURL.path());
        if (name.size() >= 4 && name.compare(name.size() - 4, 4, ".app") == 0) {
            name.erase(name.size() - 4);
        }
        _localizedName = std::move(name);
    });
    return _localizedName;
}

Lumora::Source::ParseError Lumora::Source::ParseError::versionMismatch(std::string expected,
                                                                       std::string actual) {
    ParseError error(Case::versionMismatch);
    error._expected = std::move(expected);
    error._actual = std::move(actual);
    return error;
}

Lumora::Source::ParseError Lumora::Source::ParseError::requiredKeyMissing(Key key) {
    ParseError error(Case::requiredKeyMissing);
    error._key = key;
    return error;
}

Lumora::Source::ParseError Lumora::Source::ParseError::invalidValue(Key key, ZRPropertyList value) {
    ParseError error(Case::invalidValue);
    error._key = key;
    error._value = std::move(value);
    return error;
}

Lumora::Source::ParseError Lumora::Source::ParseError::invalidDictionary() {
    return ParseError(Case::invalidDictionary);
}

std::string_view Lumora::Source::ParseError::caseName() const {
    switch (_case) {
    case Case::versionMismatch:
        return "versionMismatch";
    case Case::requiredKeyMissing:
        return "requiredKeyMissing";
    case Case::invalidValue:
        return "invalidValue";
    case Case::invalidDictionary:
        return "invalidDictionary";
    }
    return "";
}

std::string Lumora::Source::ParseError::errorDescription() const {
    switch (_case) {
    case Case::versionMismatch:
        return "Version mismatch: expected version " + _expected + ", but got " + _actual;
    case Case::requiredKeyMissing:
        return "Required value for key " + std::string(Source::caseName(*_key)) + " is missing";
    case Case::invalidValue:
        return "Invalid value for key " + std::string(Source::caseName(*_key)) + ": " + _value.description();
    case Case::invalidDictionary:
        return "The Lumora is in an invalid format";
    }
    return {};
}
