#include "ZRFoundation/CodeSigning/ZRCodeInfo.h"

#include "ZRFoundation/CodeSigning/ZRByteView.h"
#include "ZRFoundation/CodeSigning/ZRCMSSignature.h"
#include "ZRFoundation/CodeSigning/ZRCertificate.h"
#include "ZRFoundation/CodeSigning/ZRCodeSignatureChecker.h"
#include "ZRFoundation/CodeSigning/ZRCodeSigningDigest.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>

#include <fcntl.h>
#include <openssl/err.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr std::uint64_t headerReadSize = 0x4000;
constexpr std::uint32_t maximumChainLength = 6;
constexpr std::uint32_t loadCommandCodeSignature = 0x1d;
/// A signature larger than this is not something a signer writes; reading stops there.
constexpr std::uint64_t maximumSignatureSize = 16 * 1024 * 1024;

class File {
public:
    explicit File(const std::filesystem::path& path)
        : _descriptor(::open(path.c_str(), O_RDONLY | O_CLOEXEC)) {}
    ~File() {
        if (_descriptor >= 0) {
            ::close(_descriptor);
        }
    }
    File(const File&) = delete;
    File& operator=(const File&) = delete;

    bool isOpen() const { return _descriptor >= 0; }
    std::uint64_t size() const {
        struct stat status {};
        return ::fstat(_descriptor, &status) == 0 ? static_cast<std::uint64_t>(status.st_size) : 0;
    }
    std::vector<std::uint8_t> read(std::uint64_t offset, std::uint64_t length) const {
        std::vector<std::uint8_t> bytes(length);
        std::uint64_t done = 0;
        while (done < length) {
            const ssize_t count =
                ::pread(_descriptor, bytes.data() + done, length - done, static_cast<off_t>(offset + done));
            if (count <= 0) {
                break;
            }
            done += static_cast<std::uint64_t>(count);
        }
        bytes.resize(done);
        return bytes;
    }

private:
    int _descriptor;
};

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

/// Code directory facts of one slot; false when the directory is malformed.
bool readCodeDirectory(std::span<const std::uint8_t> blob, ZRCodeInfo& info, bool& adhoc) {
    const ZRByteView reader(blob);
    const auto length = reader.u32(4);
    if (reader.u32(0) != 0xfade0c02 || !length || *length > blob.size() || *length < 44) {
        return false;
    }
    const ZRByteView directory(blob.first(*length));
    const std::uint32_t version = *directory.u32(8);
    const auto identifier = directory.cString(*directory.u32(20), directory.size());
    if (!identifier) {
        return false;
    }
    std::optional<std::string> team;
    if (version >= 0x20200) {
        const auto teamOffset = directory.u32(48);
        if (!teamOffset) {
            return false;
        }
        if (*teamOffset != 0) {
            team = directory.cString(*teamOffset, directory.size());
            if (!team) {
                return false;
            }
        }
    }
    const std::uint8_t hashSize = *directory.u8(36);
    if (hashSize == 20 && !info.cdHash) {
        info.cdHash = ZRCodeSigningDigest::digest(ZRCodeSigningDigest::sha1, directory.bytes());
    } else if (hashSize == 32 && !info.cdHash256) {
        info.cdHash256 = ZRCodeSigningDigest::digest(ZRCodeSigningDigest::sha256, directory.bytes());
    }
    if (!info.cdIdentifier) {
        info.cdIdentifier = identifier;
        info.cdTeamIdentifier = team;
    }
    adhoc = adhoc || (*directory.u32(12) & 0x2) != 0;
    return true;
}

void readSignature(std::span<const std::uint8_t> bytes, ZRCodeInfo& info,
                   const std::vector<ZRTrustEvaluator::Certificate>& extraAnchors) {
    const ZRByteView reader(bytes);
    const auto magic = reader.u32(0);
    bool adhoc = false;
    if (magic == 0xfade0c02) {
        info.signatureIsFormallyCorrect = readCodeDirectory(bytes, info, adhoc) && adhoc;
        if (info.signatureIsFormallyCorrect) {
            info.signatureCertificateType = ZRCodeSignatureCertificateType::adhoc;
        }
        return;
    }
    const auto length = reader.u32(4);
    const auto count = reader.u32(8);
    if ((magic != 0xfade0cc0 && magic != 0xfade0cc1) || !length || !count || *length > bytes.size() ||
        *count > 10000 || std::uint64_t{*count} * 8 + 12 > *length) {
        return;
    }
    const ZRByteView blob(bytes.first(*length));
    std::optional<std::span<const std::uint8_t>> wrapper;
    bool directoriesValid = true;
    bool sawDirectory = false;
    bool sawPrimary = false;
    bool sawAlternate = false;
    for (std::uint32_t index = 0; index < *count; ++index) {
        const std::uint32_t slot = *blob.u32(12 + std::uint64_t{index} * 8);
        const std::uint32_t offset = *blob.u32(16 + std::uint64_t{index} * 8);
        const auto blobLength = blob.u32(std::uint64_t{offset} + 4);
        const auto entry = blobLength ? blob.span(offset, *blobLength) : std::nullopt;
        if (!entry) {
            return;
        }
        if ((slot == 0 && !sawPrimary) || (slot == 0x1000 && !sawAlternate)) {
            (slot == 0 ? sawPrimary : sawAlternate) = true;
            sawDirectory = true;
            directoriesValid = readCodeDirectory(*entry, info, adhoc) && directoriesValid;
        } else if (slot == 0x10000 && !wrapper) {
            wrapper = entry;
        }
    }
    if (!sawDirectory || !directoriesValid) {
        return;
    }
    if (!wrapper || wrapper->size() == 8) {
        // An empty wrapper, or none at all as linkers write it, is an ad-hoc signature.
        if (wrapper || adhoc) {
            info.signatureIsFormallyCorrect = true;
            info.signatureCertificateType = ZRCodeSignatureCertificateType::adhoc;
        }
        return;
    }
    if (ZRByteView(*wrapper).u32(0) != 0xfade0b01) {
        return;
    }
    readCMS(wrapper->subspan(8), info, extraAnchors);
}

std::optional<ZRCodeInfo> readSlice(const File& file, std::uint64_t offset, std::uint64_t size,
                                    const CryptoState& crypto,
                                    const std::vector<ZRTrustEvaluator::Certificate>& extraAnchors) {
    const auto header = file.read(offset, std::min(headerReadSize, size));
    const auto magic = ZRByteView(header).u32(0);
    if (header.size() < 28 || !magic) {
        return std::nullopt;
    }
    ZRByteView::ByteOrder order;
    bool is64 = false;
    switch (*magic) {
    case 0xfeedface:
        order = ZRByteView::ByteOrder::Big;
        break;
    case 0xfeedfacf:
        order = ZRByteView::ByteOrder::Big;
        is64 = true;
        break;
    case 0xcefaedfe:
        order = ZRByteView::ByteOrder::Little;
        break;
    case 0xcffaedfe:
        order = ZRByteView::ByteOrder::Little;
        is64 = true;
        break;
    default:
        return std::nullopt;
    }
    const ZRByteView reader(header, order);
    ZRCodeInfo info;
    info.cpuType = static_cast<std::int32_t>(*reader.u32(4));
    info.cpuSubtype = static_cast<std::int32_t>(*reader.u32(8));
    info.signatureCertificateIsRevoked = crypto.revoked;
    const std::uint64_t headerSize = is64 ? 32 : 28;
    const std::uint32_t commandCount = *reader.u32(16);
    const std::uint32_t commandsSize = *reader.u32(20);
    if (!reader.contains(headerSize, commandsSize)) {
        return std::nullopt;
    }
    const std::uint64_t commandsEnd = headerSize + commandsSize;
    std::uint64_t position = headerSize;
    std::optional<std::pair<std::uint32_t, std::uint32_t>> signatureRange;
    for (std::uint32_t index = 0; index < commandCount; ++index) {
        const auto command = reader.u32(position);
        const auto commandSize = reader.u32(position + 4);
        if (!command || !commandSize || *commandSize == 0 ||
            !ZRByteView::rangeFits(position, *commandSize, commandsEnd)) {
            break;
        }
        if (*command == loadCommandCodeSignature && *commandSize >= 16) {
            signatureRange = std::make_pair(*reader.u32(position + 8), *reader.u32(position + 12));
            break;
        }
        position += *commandSize;
    }
    if (!signatureRange) {
        return info;
    }
    const auto [dataOffset, dataSize] = *signatureRange;
    if (!ZRByteView::rangeFits(dataOffset, dataSize, size) || dataSize > maximumSignatureSize) {
        return std::nullopt;
    }
    const auto signature = file.read(offset + dataOffset, dataSize);
    if (signature.size() != dataSize) {
        return std::nullopt;
    }
    readSignature(signature, info, extraAnchors);
    info.signatureIsCryptographicallyCorrect = crypto.correct;
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
    const File file(fileURL);
    if (!file.isOpen()) {
        throw ZRCodeInfoError(errno);
    }
    const auto start = file.read(0, headerReadSize);
    if (start.size() < 8) {
        throw ZRCodeInfoError(ZRCodeInfoError::noData);
    }
    const std::uint64_t fileSize = file.size();
    const auto magic = ZRByteView(start).u32(0);
    std::vector<ZRCodeInfo> infos;
    std::optional<int> error;
    if (magic == 0xcafebabe || magic == 0xcafebabf || magic == 0xbebafeca || magic == 0xbfbafeca) {
        const bool bigEndian = magic == 0xcafebabe || magic == 0xcafebabf;
        const bool is64 = magic == 0xcafebabf || magic == 0xbfbafeca;
        const ZRByteView reader(start,
                                bigEndian ? ZRByteView::ByteOrder::Big : ZRByteView::ByteOrder::Little);
        const std::uint64_t count = *reader.u32(4);
        const std::uint64_t entrySize = is64 ? 32 : 20;
        if (count * entrySize > start.size() - 8) {
            throw ZRCodeInfoError(ZRCodeInfoError::noData);
        }
        for (std::uint64_t index = 0; index < count; ++index) {
            const std::uint64_t entry = 8 + index * entrySize;
            const std::uint64_t offset = is64 ? *reader.u64(entry + 8) : *reader.u32(entry + 8);
            const std::uint64_t size = is64 ? *reader.u64(entry + 16) : *reader.u32(entry + 12);
            if (!ZRByteView::rangeFits(offset, size, fileSize)) {
                continue;
            }
            if (auto info = readSlice(file, offset, size, crypto, extraTrustAnchors)) {
                infos.push_back(std::move(*info));
            } else {
                error = ZRCodeInfoError::execFormatError;
            }
        }
    } else if (magic == 0xfeedface || magic == 0xfeedfacf || magic == 0xcefaedfe || magic == 0xcffaedfe) {
        if (auto info = readSlice(file, 0, fileSize, crypto, extraTrustAnchors)) {
            infos.push_back(std::move(*info));
        } else {
            error = ZRCodeInfoError::execFormatError;
        }
    } else {
        throw ZRCodeInfoError(ZRCodeInfoError::execFormatError);
    }
    if (error) {
        throw ZRCodeInfoError(*error);
    }
    if (infos.empty()) {
        throw ZRCodeInfoError(ZRCodeInfoError::execFormatError);
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
