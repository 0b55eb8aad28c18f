#pragma once

#include "ZRFoundation/CodeSigning/ZRCodeInfoError.h"
#include "ZRFoundation/CodeSigning/ZRCodeSignatureCertificateType.h"
#include "ZRFoundation/CodeSigning/ZRTrustEvaluator.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

/// The code signature of one architecture slice, read straight from the file's Mach-O
/// structures: code directory hashes and identifiers, the signer's names and key digest, the
/// certificate kind, and whether the signature is cryptographically valid.
class ZRCodeInfo {
public:
    using Bytes = std::vector<std::uint8_t>;

    /// One record per slice in file order. Throws ZRCodeInfoError (96 for too little data, 8
    /// for anything that is no Mach-O or whose signature cannot be located, or the open error).
    /// With `checkCrypto` the file is checked (requirement skipped) and every record gets the
    /// outcome; without, every signature counts as cryptographically correct.
    static std::vector<ZRCodeInfo>
    readFromFileURL(const std::filesystem::path& fileURL, bool checkCrypto,
                    const std::vector<ZRTrustEvaluator::Certificate>& extraTrustAnchors = {});
    static bool haveEqualCertificateType(const std::vector<ZRCodeInfo>& infos);
    static std::string macAppStoreDisplayName() { return "Mac App Store"; }

    std::int64_t cpuType = 0;
    std::int64_t cpuSubtype = 0;
    std::optional<Bytes> cdHash;
    std::optional<Bytes> cdHash256;
    std::optional<std::string> cdIdentifier;
    std::optional<std::string> cdTeamIdentifier;
    bool signatureIsCryptographicallyCorrect = false;
    bool signatureIsFormallyCorrect = false;
    bool signatureHasTrustedAnchor = false;
    bool signatureCertificateIsRevoked = false;
    ZRCodeSignatureCertificateType signatureCertificateType = ZRCodeSignatureCertificateType::none;
    std::optional<Bytes> signerPublicKeySHA256;
    std::optional<std::string> signerUserID;
    std::optional<std::string> signerOrganizationalUnit;
    std::optional<std::string> rootCACommonName;
    std::optional<std::string> rootCAOrganization;
    std::optional<std::string> signerCommonName;
    std::optional<std::string> signerOrganization;
    std::uint32_t kernelCSFlags = 0;

    bool hasTrustedSignature() const;
    std::optional<std::string> authorDisplayString() const;
    std::string authorDisplayStringWithTeamID() const;
    std::string description() const;
};
