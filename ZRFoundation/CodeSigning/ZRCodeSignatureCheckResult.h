#pragma once

#include "ZRFoundation/CodeSigning/ZRCodeSignatureCertificateType.h"
#include "ZRFoundation/CodeSigning/ZREntitlements.h"
#include "ZRFoundation/PropertyList/ZRPropertyList.h"

#include <cstdint>
#include <ctime>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

/// The immutable answer of a signature check: validity, certificate kind, and what the signature
/// names and seals.
class ZRCodeSignatureCheckResult {
public:
    using Bytes = std::vector<std::uint8_t>;
    /// Resource problems by kind ("SecCSResourceAdded", …), each a list of relative paths.
    using Details = std::map<std::string, std::vector<std::string>>;

    /// Validity values.
    static constexpr std::uint64_t validityInvalid = 0;
    static constexpr std::uint64_t validityValid = 1;
    static constexpr std::uint64_t validitySignatureBroken = 2;
    static constexpr std::uint64_t validityResourcesDamaged = 3;
    static constexpr std::uint64_t validityNotSigned = 4;
    static constexpr std::uint64_t validityAdhoc = 5;
    static constexpr std::uint64_t validityNotAppleAnchored = 6;
    static constexpr std::uint64_t validityRevoked = 7;
    static constexpr std::uint64_t validityCannotBeChecked = 8;

    /// The short form: everything else absent.
    ZRCodeSignatureCheckResult(std::optional<std::filesystem::path> mainExecutableFileURL,
                               std::uint64_t validity, ZRCodeSignatureCertificateType certificateType,
                               std::optional<Bytes> codeDirectoryHash,
                               std::optional<ZRPropertyListDictionary> bundleResourceFileInfos);
    /// The full form, in declaration order.
    ZRCodeSignatureCheckResult(std::optional<std::filesystem::path> mainExecutableFileURL,
                               std::uint64_t validity, ZRCodeSignatureCertificateType certificateType,
                               std::optional<Bytes> codeDirectoryHash, std::optional<std::string> identifier,
                               std::optional<std::string> teamIdentifier,
                               std::optional<std::string> localizedTrustEvaluationErrorDescription,
                               std::optional<std::string> certificateIssuerDisplayString,
                               std::optional<std::string> certificateSubjectDisplayString,
                               std::optional<std::string> certificateSubjectUnitString,
                               std::optional<std::vector<Bytes>> certificates,
                               std::optional<ZRPropertyListDictionary> bundleResourceFileInfos,
                               std::optional<ZRPropertyListDictionary> infoPList,
                               std::optional<Details> details);

    const std::optional<std::filesystem::path>& mainExecutableFileURL() const {
        return _mainExecutableFileURL;
    }
    std::uint64_t validity() const { return _validity; }
    ZRCodeSignatureCertificateType certificateType() const { return _certificateType; }
    const std::optional<Bytes>& codeDirectoryHash() const { return _codeDirectoryHash; }
    const std::optional<std::string>& identifier() const { return _identifier; }
    const std::optional<std::string>& teamIdentifier() const { return _teamIdentifier; }
    const std::optional<std::string>& localizedTrustEvaluationErrorDescription() const {
        return _localizedTrustEvaluationErrorDescription;
    }
    const std::optional<std::string>& certificateIssuerDisplayString() const {
        return _certificateIssuerDisplayString;
    }
    const std::optional<std::string>& certificateSubjectDisplayString() const {
        return _certificateSubjectDisplayString;
    }
    const std::optional<std::string>& certificateSubjectUnitString() const {
        return _certificateSubjectUnitString;
    }
    /// DER, leaf first, root last.
    const std::optional<std::vector<Bytes>>& certificates() const { return _certificates; }
    const std::optional<ZRPropertyListDictionary>& bundleResourceFileInfos() const {
        return _bundleResourceFileInfos;
    }
    const std::optional<ZRPropertyListDictionary>& infoPList() const { return _infoPList; }
    const std::optional<Details>& details() const { return _details; }

    /// True when the chain was accepted only through an anchor the caller added; such results
    /// must be marked wherever they are shown.
    bool usedExtraTrustAnchor() const { return _usedExtraTrustAnchor; }
    void setUsedExtraTrustAnchor(bool used) { _usedExtraTrustAnchor = used; }

    /// The time a timestamp authority vouched for, set only when the whole signature, timestamp
    /// included, validated; never the signing time the signer states.
    const std::optional<std::time_t>& secureTimestamp() const { return _secureTimestamp; }
    void setSecureTimestamp(std::optional<std::time_t> time) { _secureTimestamp = time; }
    /// What the validation found wrong, when it failed.
    const std::optional<std::string>& failureDescription() const { return _failureDescription; }
    void setFailureDescription(std::optional<std::string> text) { _failureDescription = std::move(text); }
    /// What the sealed entitlements grant; only for signatures that validated.
    const std::optional<ZREntitlements>& entitlements() const { return _entitlements; }
    void setEntitlements(std::optional<ZREntitlements> entitlements) {
        _entitlements = std::move(entitlements);
    }

private:
    std::optional<std::filesystem::path> _mainExecutableFileURL;
    std::uint64_t _validity = 0;
    ZRCodeSignatureCertificateType _certificateType = ZRCodeSignatureCertificateType::none;
    std::optional<Bytes> _codeDirectoryHash;
    std::optional<std::string> _identifier;
    std::optional<std::string> _teamIdentifier;
    std::optional<std::string> _localizedTrustEvaluationErrorDescription;
    std::optional<std::string> _certificateIssuerDisplayString;
    std::optional<std::string> _certificateSubjectDisplayString;
    std::optional<std::string> _certificateSubjectUnitString;
    std::optional<std::vector<Bytes>> _certificates;
    std::optional<ZRPropertyListDictionary> _bundleResourceFileInfos;
    std::optional<ZRPropertyListDictionary> _infoPList;
    std::optional<Details> _details;
    bool _usedExtraTrustAnchor = false;
    std::optional<std::time_t> _secureTimestamp;
    std::optional<std::string> _failureDescription;
    std::optional<ZREntitlements> _entitlements;
};
