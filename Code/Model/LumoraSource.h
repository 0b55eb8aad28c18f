#pragma once

#include "Code/Model/Lumora.h"
#include "Code/Model/LumoraConnectionDescription.h"
#include "ZRFoundation/PropertyList/ZRPropertyList.h"
#include "ZRFoundation/Support/ZRError.h"
#include "ZRFoundation/URL/ZRURL.h"

#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

/// A string table: text as written → translation.
using LumoraStringTable = std::unordered_map<std::string, std::string>;

/// Where a declaration's translations come from when it lives in a bundle: the bundle's verified
/// string table of the given name, for the user's languages with the given fallbacks. It may
/// throw; the parser then keeps texts as written.
class LumoraLocalizationTableProvider {
public:
    virtual ~LumoraLocalizationTableProvider() = default;
    virtual std::optional<LumoraStringTable>
    localizationTable(std::string_view tableName, const std::vector<std::string>& fallbackLocalizations) = 0;
};

/// One declaration file, parsed. Sources are shared by identity: two sources are the same source
/// only if they are the same object.
class Lumora::Source {
public:
    enum class SourceType : std::uint8_t { internal, external, development };

    /// The dictionary keys.
    enum class Key : std::uint8_t {
        dictionaryVersion,
        codeSignatureTeamIdentifier,
        developerName,
        website,
        applicationDescription,
        connections,
        services,
        host,
        isIncoming,
        networkProtocol,
        port,
        relevance,
        purpose,
        denyConsequences,
        name,
        identifier,
    };
    /// The key as it stands in a dictionary ("LumoraDictionaryVersion").
    static std::string_view rawValue(Key key);
    /// The key's case name ("dictionaryVersion"), as error messages write it.
    static std::string_view caseName(Key key);

    class ParseError;

    /// The declaration's translations and the containing application's name, for every text the
    /// parser keeps.
    struct TranslationContext {
        /// Bundle form: asked for `tableName` with `fallbackLocalizations`. May be null.
        LumoraLocalizationTableProvider* tableProvider = nullptr;
        std::string tableName = "Lumora";
        std::vector<std::string> fallbackLocalizations{"en"};
        /// Embedded form: the table itself, if any.
        std::optional<LumoraStringTable> table;
        /// The containing application's name, for "%APPNAME%"; none for a primary source.
        std::optional<std::string> parentName;
    };

    /// Parses a declaration dictionary that lives in a bundle; translations come from
    /// `tableProvider`. Throws ParseError.
    static std::shared_ptr<const Source>
    makeFromBundleDictionary(SourceType type, const ZRURL& bundleURL, const ZRURL& policyFileURL,
                             std::optional<std::string> signerName, std::optional<std::string> parentName,
                             const ZRPropertyListDictionary& dictionary,
                             LumoraLocalizationTableProvider* tableProvider, std::string tableName = "Lumora",
                             std::vector<std::string> fallbackLocalizations = {"en"});
    /// Parses a declaration dictionary with an optional string table of its own. Throws ParseError.
    static std::shared_ptr<const Source>
    makeFromEmbeddedDictionary(SourceType type, const ZRURL& bundleURL, const ZRURL& policyFileURL,
                               std::optional<std::string> signerName, std::optional<std::string> parentName,
                               const ZRPropertyListDictionary& dictionary,
                               std::optional<LumoraStringTable> table);

    Source(SourceType type, ZRURL bundleURL, ZRURL policyFileURL, std::optional<std::string> developerName,
           std::optional<ZRURL> developerWebsiteURL, std::string localizedPurpose,
           std::vector<ConnectionDescription> connectionDescriptions,
           std::vector<ServiceDescription> serviceDescriptions,
           std::optional<CodeSignatureSource> requiredCodeSignatureSource);

    SourceType type() const { return _type; }
    const ZRURL& bundleURL() const { return _bundleURL; }
    const ZRURL& policyFileURL() const { return _policyFileURL; }
    const std::optional<std::string>& developerName() const { return _developerName; }
    const std::optional<ZRURL>& developerWebsiteURL() const { return _developerWebsiteURL; }
    const std::string& localizedPurpose() const { return _localizedPurpose; }
    const std::vector<ConnectionDescription>& connectionDescriptions() const {
        return _connectionDescriptions;
    }
    const std::vector<ServiceDescription>& serviceDescriptions() const { return _serviceDescriptions; }
    const std::optional<CodeSignatureSource>& requiredCodeSignatureSource() const {
        return _requiredCodeSignatureSource;
    }
    /// The bundle's display name without a final ".app"; computed on first use, safe to call from
    /// several threads.
    const std::string& localizedName() const;

private:
    SourceType _type;
    ZRURL _bundleURL;
    ZRURL _policyFileURL;
    std::optional<std::string> _developerName;
    std::optional<ZRURL> _developerWebsiteURL;
    std::string _localizedPurpose;
    std::vector<ConnectionDescription> _connectionDescriptions;
    std::vector<ServiceDescription> _serviceDescriptions;
    std::optional<CodeSignatureSource> _requiredCodeSignatureSource;
    mutable std::once_flag _localizedNameOnce;
    mutable std::string _localizedName;
};

/// Why a declaration dictionary was rejected.
class Lumora::Source::ParseError : public ZRError {
public:
    enum class Case : std::uint8_t { versionMismatch, requiredKeyMissing, invalidValue, invalidDictionary };

    static ParseError versionMismatch(std::string expected, std::string actual);
    static ParseError requiredKeyMissing(Key key);
    static ParseError invalidValue(Key key, ZRPropertyList value);
    static ParseError invalidDictionary();

    Case errorCase() const { return _case; }
    /// "versionMismatch", "requiredKeyMissing", "invalidValue" or "invalidDictionary".
    std::string_view caseName() const;
    const std::optional<Key>& key() const { return _key; }
    const std::string& expected() const { return _expected; }
    const std::string& actual() const { return _actual; }
    const ZRPropertyList& value() const { return _value; }

    std::string errorDescription() const override;

private:
    explicit ParseError(Case errorCase)
        : _case(errorCase) {}
    Case _case;
    std::optional<Key> _key;
    std::string _expected;
    std::string _actual;
    ZRPropertyList _value;
};
