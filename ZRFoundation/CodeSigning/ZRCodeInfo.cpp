#include "ZRFoundation/CodeSigning/ZRCodeInfo.h"

#include "ZRFoundation/CodeSigning/ZRByteView.h"
#include "ZRFoundation/CodeSigning/ZRCMSSignature.h"
#include "ZRFoundation/CodeSigning/ZRCertificate.h"
#include "ZRFoundation/CodeSigning/ZRCodeSignatureChecker.h"
#include "ZRFoundation/CodeSigning/ZRCodeSigningDigest.h"
#include "ZRFoundation/CodeSigning/ZREmbeddedSignature.h"
#include "ZRFoundation/CodeSigning/ZRMachOFile.h"
#include "ZRFoundation/CodeSigning/ZRMachOFormat.h"
#include "ZRFoundation/CodeSigning/ZRMappedFile.h"

#include <algorithm>
#include <cstdio>

#include <openssl/err.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

namespace {

constexpr std::uint32_t maximumChainLength = 6;
/// Fewer bytes than a universal header holds cannot be described at all.
constexpr std::uint64_t minimumFileSize = ZRByteView::encodedSize<ZRMachOFormat::FatHeader>();

struct CryptoState {
    bool correct = true;
    bool revoked = false;
};

std::vector<std::uint8_t> publicKeyDER(X509* certificate) {
    unsigned char* buffer = nullptr;
    const int length = i2d_X509_PUBKEY(X509_get_X509_PUBKEY(certificate), &buffer);
    if (length <= 0) {
        return {};
    }
    std::vector<std::uint8_t> bytes(buffer, buffer + length);
    OPENSSL_free(buffer);
    return bytes;
}

const std::vector<std::vector<std::uint8_t>>& trustedRootKeys() {
    static const std::vector<std::vector<std::uint8_t>> keys = [] {
        std::vector<std::vector<std::uint8_t>> result;
        for (const auto& root : ZRTrustEvaluator::appleRootCertificates()) {
            if (const auto certificate = ZRCertificate::fromDER(root)) {
                result.push_back(publicKeyDER(certificate->x509()));
            }
        }
        return result;
    }();
    return keys;
}

/// Follows issuer links from the signer through the enclosed certificates; empty when the chain
/// loops, grows beyond six certificates before reaching a self-issued one, or holds a link whose
/// signature does not verify. Matching names alone would let a file pair a forged root carrying
/// a trusted root's public key with any leaf.
std::vector<X509*> chainFrom(X509* signer, const std::vector<X509*>& certificates) {
    std::vector<X509*> chain{signer};
    while (X509_check_issued(chain.back(), chain.back()) != X509_V_OK) {
        X509* issuer = nullptr;
        for (X509* candidate : certificates) {
            if (X509_check_issued(candidate, chain.back()) == X509_V_OK) {
                issuer = candidate;
                break;
            }
        }
        if (issuer == nullptr) {
            break;
        }
        if (std::find(chain.begin(), chain.end(), issuer) != chain.end() ||
            chain.size() >= maximumChainLength || X509_verify(chain.back(), X509_get0_pubkey(issuer)) != 1) {
            ERR_clear_error();
            return {};
        }
        chain.push_back(issuer);
    }
    return chain;
}

void readCMS(std::span<const std::uint8_t> cms, ZRCodeInfo& info,
             const std::vector<ZRTrustEvaluator::Certificate>& extraAnchors) {
    const auto signature = ZRCMSSignature::parse(cms);
    if (!signature) {
        return;
    }
    const auto chain = chainFrom(signature->signerCertificate(), signature->certificates());
    if (chain.empty()) {
        return;
    }
    std::vector<std::vector<std::uint8_t>> encoded;
    for (X509* certificate : chain) {
        unsigned char* buffer = nullptr;
        const int length = i2d_X509(certificate, &buffer);
        if (length <= 0) {
            return;
        }
        encoded.emplace_back(buffer, buffer + length);
        OPENSSL_free(buffer);
    }
    const auto leaf = ZRCertificate::fromDER(encoded.front());
    const auto root = ZRCertificate::fromDER(encoded.back());
    if (!leaf || !root) {
        return;
    }
    info.signatureIsFormallyCorrect = true;
    const auto rootKey = publicKeyDER(root->x509());
    const auto& keys = trustedRootKeys();
    info.signatureHasTrustedAnchor = std::find(keys.begin(), keys.end(), rootKey) != keys.end();
    for (const auto& anchor : extraAnchors) {
        if (const auto certificate = ZRCertificate::fromDER(anchor);
            certificate && publicKeyDER(certificate->x509()) == rootKey) {
            info.signatureHasTrustedAnchor = true;
        }
    }
    if (leaf->hasExtension("1.2.840.113635.100.6.1.12")) {
        info.signatureCertificateType = ZRCodeSignatureCertificateType::development;
    } else if (leaf->hasExtension("1.2.840.113635.100.6.1.13")) {
        info.signatureCertificateType = ZRCodeSignatureCertificateType::developerID;
    } else if (leaf->hasExtension("1.2.840.113635.100.6.1.9")) {
        info.signatureCertificateType = ZRCodeSignatureCertificateType::macAppStore;
    } else if (leaf->hasExtension("1.2.840.113635.100.6.22")) {
        info.signatureCertificateType = ZRCodeSignatureCertificateType::apple;
    } else {
        info.signatureCertificateType = ZRCodeSignatureCertificateType::other;
    }
    info.signerPublicKeySHA256 = leaf->publicKeySHA256();
    info.signerUserID = leaf->lastSubjectValue("UID");
    info.signerOrganizationalUnit = leaf->lastSubjectValue("OU");
    info.signerCommonName = leaf->lastSubjectValue("CN");
    info.signerOrganization = leaf->lastSubjectValue("O");
    info.rootCACommonName = root->lastSubjectValue("CN");
    info.rootCAOrganization = root->lastSubjectValue("O");
}

/// The cdhashes come from the first directory with 20-byte hashes (SHA-1 of the directory) and
/// the first with 32-byte hashes (its full SHA-256); the names from the first directory.
void describeCodeDirectories(const std::vector<ZRCodeDirectory>& directories, ZRCodeInfo& info) {
    for (const auto& directory : directories) {
        if (directory.hashSize() == 20 && !info.cdHash) {
            info.cdHash = ZRCodeSigningDigest::digest(ZRCodeSigningDigest::sha1, directory.bytes());
        } else if (directory.hashSize() == 32 && !info.cdHash256) {
            info.cdHash256 = ZRCodeSigningDigest::digest(ZRCodeSigningDigest::sha256, directory.bytes());
        }
        if (!info.cdIdentifier) {
            info.cdIdentifier = directory.identifier();
            info.cdTeamIdentifier = directory.teamIdentifier();
        }
    }
}

void describeSignature(std::span<const std::uint8_t> bytes, ZRCodeInfo& info,
                       const std::vector<ZRTrustEvaluator::Certificate>& extraAnchors) {
    const auto signature = ZREmbeddedSignature::parse(bytes, ZRReadingMode::lenient);
    if (!signature) {
        return;
    }
    const auto& directories = signature->codeDirectories();
    describeCodeDirectories(directories, info);
    if (!signature->unreadableBlobs().empty()) {
        return;
    }
    const auto cms = signature->cmsSignature();
    if (!cms || cms->empty()) {
        // An empty wrapper, or none at all as linkers write it, is an ad-hoc signature.
        const bool adhoc = std::any_of(directories.begin(), directories.end(), [](const auto& directory) {
            return (directory.flags() & ZRCodeDirectory::flagAdhoc) != 0;
        });
        if (cms || adhoc) {
            info.signatureIsFormallyCorrect = true;
            info.signatureCertificateType = ZRCodeSignatureCertificateType::adhoc;
        }
        return;
    }
    readCMS(*cms, info, extraAnchors);
}

ZRCodeInfo describeSlice(const ZRMachOSlice& slice, const CryptoState& crypto,
                         const std::vector<ZRTrustEvaluator::Certificate>& extraAnchors) {
    ZRCodeInfo info;
    info.cpuType = slice.cpuType;
    info.cpuSubtype = slice.cpuSubtype;
    info.signatureCertificateIsRevoked = crypto.revoked;
    if (slice.codeSignature) {
        describeSignature(slice.signatureBytes(), info, extraAnchors);
        info.signatureIsCryptographicallyCorrect = crypto.correct;
    }
    return info;
}

std::string hexData(const std::optional<ZRCodeInfo::Bytes>& bytes) {
    if (!bytes) {
        return "<nil>";
    }
    std::string text = "<";
    char digits[3];
    for (std::size_t index = 0; index < bytes->size(); ++index) {
        if (index > 0 && index % 4 == 0) {
            text += ' ';
        }
        std::snprintf(digits, sizeof digits, "%02x", (*bytes)[index]);
        text += digits;
    }
    return text + ">";
}

std::string orNil(const std::optional<std::string>& text) {
    return text.value_or("<nil>");
}

std::string trimmed(const std::string& text) {
    const auto first = text.find_first_not_of(" \t\n\r");
    if (first == std::string::npos) {
        return {};
    }
    const auto last = text.find_last_not_of(" \t\n\r");
    return text.substr(first, last - first + 1);
}

} // namespace

std::vector<ZRCodeInfo>
ZRCodeInfo::readFromFileURL(const std::filesystem::path& fileURL, bool checkCrypto,
                            const std::vector<ZRTrustEvaluator::Certificate>& extraTrustAnchors) {
    CryptoState crypto;
    if (checkCrypto) {
        try {
            const auto result = ZRCodeSignatureChecker::checkFileURL(
                fileURL, ZRCodeSignatureCheckSkipRequirement, extraTrustAnchors);
            crypto.correct = result->validity() == ZRCodeSignatureCheckResult::validityValid ||
                             result->validity() == ZRCodeSignatureCheckResult::validityAdhoc;
            crypto.revoked = result->validity() == ZRCodeSignatureCheckResult::validityRevoked;
        } catch (const ZRCodeSignatureCheckError&) {
            crypto.correct = false;
        }
    }
    std::error_code error;
    const auto file = ZRMappedFile::open(fileURL, ZRMappedFile::Links::follow, error);
    if (!file) {
        // A folder has no bytes to describe, like an empty file.
        throw ZRCodeInfoError(error == std::errc::is_a_directory ? ZRCodeInfoError::noData : error.value());
    }
    const auto bytes = file->bytes();
    if (bytes.size() < minimumFileSize) {
        throw ZRCodeInfoError(ZRCodeInfoError::noData);
    }
    if (!ZRMachOFile::isMachO(bytes)) {
        throw ZRCodeInfoError(ZRCodeInfoError::execFormatError);
    }
    // With a Mach-O magic in place, lenient reading refuses only a universal header whose slice
    // table the file does not hold.
    const auto machO = ZRMachOFile::parse(bytes, ZRReadingMode::lenient);
    if (!machO) {
        throw ZRCodeInfoError(ZRCodeInfoError::noData);
    }
    if (!machO->unreadableSlices().empty() || machO->slices().empty()) {
        throw ZRCodeInfoError(ZRCodeInfoError::execFormatError);
    }
    std::vector<ZRCodeInfo> infos;
    for (const auto& slice : machO->slices()) {
        infos.push_back(describeSlice(slice, crypto, extraTrustAnchors));
    }
    return infos;
}

bool ZRCodeInfo::haveEqualCertificateType(const std::vector<ZRCodeInfo>& infos) {
    return !infos.empty() && std::all_of(infos.begin(), infos.end(), [&](const ZRCodeInfo& info) {
        return info.signatureCertificateType == infos.front().signatureCertificateType;
    });
}

bool ZRCodeInfo::hasTrustedSignature() const {
    return signerPublicKeySHA256.has_value() && signatureIsCryptographicallyCorrect &&
           signatureIsFormallyCorrect && signatureHasTrustedAnchor && !signatureCertificateIsRevoked;
}

std::optional<std::string> ZRCodeInfo::authorDisplayString() const {
    switch (signatureCertificateType) {
    case ZRCodeSignatureCertificateType::none:
    case ZRCodeSignatureCertificateType::adhoc:
        return std::nullopt;
    case ZRCodeSignatureCertificateType::developerID:
        if (signerOrganization) {
            return signerOrganization;
        }
        return signerOrganizationalUnit ? signerOrganizationalUnit : std::optional<std::string>("<nil>");
    case ZRCodeSignatureCertificateType::development: {
        if (!signerCommonName) {
            return std::nullopt;
        }
        const auto parenthesis = signerCommonName->find('(');
        return trimmed(parenthesis == std::string::npos ? *signerCommonName
                                                        : signerCommonName->substr(0, parenthesis));
    }
    case ZRCodeSignatureCertificateType::macAppStore:
        return macAppStoreDisplayName();
    case ZRCodeSignatureCertificateType::apple:
        return std::string("Apple, Inc.");
    case ZRCodeSignatureCertificateType::other:
        return signerCommonName;
    }
    return std::nullopt;
}

std::string ZRCodeInfo::authorDisplayStringWithTeamID() const {
    const std::string author = authorDisplayString().value_or("<nil>");
    switch (signatureCertificateType) {
    case ZRCodeSignatureCertificateType::developerID:
        return author + " (" + orNil(signerOrganizationalUnit) + ")";
    case ZRCodeSignatureCertificateType::development:
        return author + " (" + orNil(signerUserID) + ")";
    case ZRCodeSignatureCertificateType::macAppStore:
        return author + " (" + orNil(cdTeamIdentifier) + ")";
    default:
        return author;
    }
}

std::string ZRCodeInfo::description() const {
    char address[40];
    std::snprintf(address, sizeof address, "<ZRCodeInfo: %p>", static_cast<const void*>(this));
    auto boolean = [](bool value) { return std::string(value ? "1" : "0"); };
    char flags[32];
    std::snprintf(flags, sizeof flags, "0x%lx", static_cast<unsigned long>(kernelCSFlags));
    return std::string(address) + ":\ncpuType = " + std::to_string(cpuType) + "\n" +
           "cpuSubtype = " + std::to_string(cpuSubtype) + "\n" + "cdHash = " + hexData(cdHash) + "\n" +
           "cdHash256 = " + hexData(cdHash256) + "\n" + "cdIdentifier = " + orNil(cdIdentifier) + "\n" +
           "cdTeamIdentifier = " + orNil(cdTeamIdentifier) + "\n" +
           "signatureIsCryptographicallyCorrect = " + boolean(signatureIsCryptographicallyCorrect) + "\n" +
           "signatureIsFormallyCorrect = " + boolean(signatureIsFormallyCorrect) + "\n" +
           "signatureHasTrustedAnchor = " + boolean(signatureHasTrustedAnchor) + "\n" +
           "signatureCertificateIsRevoked = " + boolean(signatureCertificateIsRevoked) + "\n" +
           "signatureCertificateType = " + std::to_string(static_cast<int>(signatureCertificateType)) + "\n" +
           "signerPublicKeySHA256 = " + hexData(signerPublicKeySHA256) + "\n" +
           "signerUserID = " + orNil(signerUserID) + "\n" +
           "signerOrganizationalUnit = " + orNil(signerOrganizationalUnit) + "\n" +
           "rootCACommonName = " + orNil(rootCACommonName) + "\n" +
           "rootCAOrganization = " + orNil(rootCAOrganization) + "\n" +
           "signerCommonName = " + orNil(signerCommonName) + "\n" +
           "signerOrganization = " + orNil(signerOrganization) + "\n" + "kernelCSFlags = " + flags + "\n";
}
