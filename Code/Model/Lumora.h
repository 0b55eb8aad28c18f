#pragma once

#include "ZRFoundation/CodeSigning/ZREntitlements.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class ConnectionInformation;

/// One application's document: the declaration of the application (or single executable) itself
/// and those of the bundles nested inside it, in the order the loader found them.
class Lumora {
public:
    class Source;
    class ConnectionDescription;
    class ServiceDescription;
    class CodeSignatureSource;
    class InitializationError;
    /// One result of `matchingConnectionDescriptions` (defined in LumoraMatching.h).
    struct MatchingConnectionDescription;

    /// Match quality, ordered none < fallback < fuzzy < exact.
    enum class Match : std::uint8_t { none = 0, fallback = 1, fuzzy = 2, exact = 3 };

    /// The application's own string table that names services and describes load errors.
    static constexpr std::string_view localizationTable = "LumoraLocalization";
    /// The text for `key` from the application's "LumoraLocalization" table, or `key` itself.
    static std::string localizeString(std::string_view key);

    Lumora(std::shared_ptr<const Source> primarySource,
           std::vector<std::shared_ptr<const Source>> additionalSources);

    const std::shared_ptr<const Source>& primarySource() const { return _primarySource; }
    const std::vector<std::shared_ptr<const Source>>& additionalSources() const { return _additionalSources; }
    /// The primary source, then the additional sources.
    std::vector<std::shared_ptr<const Source>> sources() const;

    /// The declared connection descriptions of all sources that cover `connection`, best first:
    /// only the best one when it matches exactly, otherwise every fuzzy match, otherwise every
    /// fallback match. The result type is defined in LumoraMatching.h.
    std::vector<MatchingConnectionDescription>
    matchingConnectionDescriptions(const ConnectionInformation& connection) const;

    /// True when a signature was accepted only through an extra trust anchor given by the user;
    /// such documents are marked wherever they are shown.
    bool isTrustedThroughExtraAnchor() const { return _trustedThroughExtraAnchor; }
    void setTrustedThroughExtraAnchor(bool trusted) { _trustedThroughExtraAnchor = trusted; }

    /// What the main executable's verified signature grants: sandbox, network access, hardened
    /// runtime. None when the loader did not read it.
    const std::optional<ZREntitlements>& entitlements() const { return _entitlements; }
    void setEntitlements(std::optional<ZREntitlements> entitlements) {
        _entitlements = std::move(entitlements);
    }

private:
    bool _trustedThroughExtraAnchor = false;
    std::optional<ZREntitlements> _entitlements;
    std::shared_ptr<const Source> _primarySource;
    std::vector<std::shared_ptr<const Source>> _additionalSources;
};

/// The signer a declaration requires of the code that carries it: a team, or the platform vendor.
class Lumora::CodeSignatureSource {
public:
    static CodeSignatureSource apple() { return CodeSignatureSource(true, {}); }
    static CodeSignatureSource teamIdentifier(std::string teamIdentifier) {
        return CodeSignatureSource(false, std::move(teamIdentifier));
    }
    bool isApple() const { return _isApple; }
    /// Empty for `apple`.
    const std::string& teamIdentifierValue() const { return _teamIdentifier; }
    bool operator==(const CodeSignatureSource&) const = default;

private:
    CodeSignatureSource(bool isApple, std::string teamIdentifier)
        : _isApple(isApple)
        , _teamIdentifier(std::move(teamIdentifier)) {}
    bool _isApple;
    std::string _teamIdentifier;
};

/// A service the application offers.
class Lumora::ServiceDescription {
public:
    ServiceDescription(std::optional<std::string> identifier, std::string localizedName,
                       std::string localizedPurpose)
        : _identifier(std::move(identifier))
        , _localizedName(std::move(localizedName))
        , _localizedPurpose(std::move(localizedPurpose)) {}

    const std::optional<std::string>& identifier() const { return _identifier; }
    const std::string& localizedName() const { return _localizedName; }
    const std::string& localizedPurpose() const { return _localizedPurpose; }
    bool operator==(const ServiceDescription&) const = default;

private:
    std::optional<std::string> _identifier;
    std::string _localizedName;
    std::string _localizedPurpose;
};
