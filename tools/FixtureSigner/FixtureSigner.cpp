#include "tools/FixtureSigner/FixtureSigner.h"

#include "ZRFoundation/CodeSigning/ZRCodeRequirement.h"
#include "ZRFoundation/CodeSigning/ZRCodeSigningDigest.h"

#include <algorithm>
#include <stdexcept>

#include <openssl/bio.h>
#include <openssl/cms.h>
#include <openssl/evp.h>
#include <openssl/objects.h>
#include <openssl/ts.h>
#include <openssl/x509.h>

namespace {

constexpr std::uint32_t codeDirectoryMagic = 0xfade0c02;
constexpr std::uint32_t superBlobMagic = 0xfade0cc0;
constexpr std::uint32_t wrapperMagic = 0xfade0b01;
constexpr std::uint32_t codeDirectoryHeaderSize = 88;
constexpr std::uint32_t cmsAllowance = 16 * 1024;

void require(bool condition, const char* what) {
    if (!condition) {
        throw std::runtime_error(std::string("fixture signer: ") + what);
    }
}

void appendWord(std::vector<std::uint8_t>& bytes, std::uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) {
        bytes.push_back(static_cast<std::uint8_t>(value >> shift));
    }
}

void putWord(std::vector<std::uint8_t>& bytes, std::size_t offset, std::uint32_t value) {
    for (int index = 0; index < 4; ++index) {
        bytes[offset + index] = static_cast<std::uint8_t>(value >> (24 - 8 * index));
    }
}

void putLong(std::vector<std::uint8_t>& bytes, std::size_t offset, std::uint64_t value) {
    putWord(bytes, offset, static_cast<std::uint32_t>(value >> 32));
    putWord(bytes, offset + 4, static_cast<std::uint32_t>(value));
}

std::vector<std::uint8_t> requirementSet(const FixtureSigner::Options& options) {
    std::map<std::uint32_t, ZRCodeRequirement> requirements;
    if (options.designatedRequirement) {
        requirements.emplace(ZRCodeRequirement::designatedRequirementType,
                             ZRCodeRequirement::fromText(*options.designatedRequirement).value());
    }
    return ZRCodeRequirement::requirementSetBlob(requirements);
}

std::vector<std::uint8_t> codeDirectory(const FixtureMachOBuilder::Layout& layout,
                                        const FixtureSigner::Options& options, std::uint8_t hashType,
                                        const std::vector<std::uint8_t>& requirements) {
    const std::size_t hashSize = ZRCodeSigningDigest::storedSize(hashType);
    const std::uint64_t limit = layout.signatureOffset;
    const std::uint64_t pageSize =
        options.pageSizeShift == 0 ? limit : std::uint64_t{1} << options.pageSizeShift;
    const std::uint32_t codeSlots =
        static_cast<std::uint32_t>(limit == 0 ? 0 : (limit + pageSize - 1) / pageSize);
    std::uint32_t specialSlots = 0;
    // Linkers write no special slots; signing tools bind the Info.plist and the requirements.
    if (options.kind != FixtureSigner::Kind::linkerSigned) {
        specialSlots = options.resourceDirectory ? 3 : 2;
        if (options.hashEntitlements) {
            specialSlots = options.derEntitlements ? 7 : options.entitlements ? 5 : specialSlots;
        }
    }

    std::vector<std::uint8_t> bytes(codeDirectoryHeaderSize, 0);
    const std::uint32_t identifierOffset = static_cast<std::uint32_t>(bytes.size());
    for (const char character : options.identifier) {
        bytes.push_back(static_cast<std::uint8_t>(character));
    }
    bytes.push_back(0);
    std::uint32_t teamOffset = 0;
    if (options.teamIdentifier) {
        teamOffset = static_cast<std::uint32_t>(bytes.size());
        bytes.insert(bytes.end(), options.teamIdentifier->begin(), options.teamIdentifier->end());
        bytes.push_back(0);
    }
    bytes.resize(bytes.size() + specialSlots * hashSize, 0);
    const std::uint32_t hashOffset = static_cast<std::uint32_t>(bytes.size());
    bytes.resize(bytes.size() + std::size_t{codeSlots} * hashSize, 0);

    auto setSpecial = [&](std::uint32_t slot, std::span<const std::uint8_t> data) {
        const auto digest = ZRCodeSigningDigest::digest(hashType, data);
        std::copy(digest.begin(), digest.end(),
                  bytes.begin() + static_cast<std::ptrdiff_t>(hashOffset - slot * hashSize));
    };
    if (options.bundleInfoPlist && specialSlots >= 1) {
        setSpecial(1, *options.bundleInfoPlist);
    } else if (layout.infoPlistOffset && options.bindInfoPlist && specialSlots >= 1) {
        setSpecial(1, std::span(layout.bytes).subspan(*layout.infoPlistOffset, layout.infoPlistSize));
    }
    if (options.resourceDirectory && specialSlots >= 3) {
        setSpecial(3, *options.resourceDirectory);
    }
    if (specialSlots >= 2) {
        setSpecial(2, requirements);
    }
    if (options.entitlements && specialSlots >= 5) {
        setSpecial(5, *options.entitlements);
    }
    if (options.derEntitlements && specialSlots >= 7) {
        setSpecial(7, *options.derEntitlements);
    }
    for (std::uint32_t page = 0; page < codeSlots; ++page) {
        const std::uint64_t start = page * pageSize;
        const auto digest = ZRCodeSigningDigest::digest(
            hashType, std::span(layout.bytes).subspan(start, std::min(pageSize, limit - start)));
        std::copy(digest.begin(), digest.end(),
                  bytes.begin() + static_cast<std::ptrdiff_t>(hashOffset + page * hashSize));
    }

    std::uint32_t flags = options.extraFlags;
    if (options.kind == FixtureSigner::Kind::adhoc) {
        flags |= 0x2;
    } else if (options.kind == FixtureSigner::Kind::linkerSigned) {
        flags |= 0x20002;
    }
    putWord(bytes, 0, codeDirectoryMagic);
    putWord(bytes, 4, static_cast<std::uint32_t>(bytes.size()));
    putWord(bytes, 8, options.version);
    putWord(bytes, 12, flags);
    putWord(bytes, 16, hashOffset);
    putWord(bytes, 20, identifierOffset);
    putWord(bytes, 24, specialSlots);
    putWord(bytes, 28, codeSlots);
    putWord(bytes, 32, static_cast<std::uint32_t>(limit));
    bytes[36] = static_cast<std::uint8_t>(hashSize);
    bytes[37] = hashType;
    bytes[39] = options.pageSizeShift;
    putWord(bytes, 48, options.version >= 0x20200 ? teamOffset : 0);
    putLong(bytes, 64, 0);
    putLong(bytes, 72, layout.textSegmentSize);
    putLong(bytes, 80, 1);
    return bytes;
}

std::string cdhashesPropertyList(const std::vector<std::vector<std::uint8_t>>& codeDirectories) {
    static constexpr char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string text = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                       "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
                       "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
                       "<plist version=\"1.0\">\n<dict>\n\t<key>cdhashes</key>\n\t<array>\n";
    for (const auto& directory : codeDirectories) {
        const std::uint8_t type = directory[37] == 3 ? 2 : directory[37];
        auto hash = ZRCodeSigningDigest::digest(type, directory);
        hash.resize(20);
        std::string encoded;
        for (std::size_t index = 0; index < hash.size(); index += 3) {
            const std::uint32_t chunk = hash[index] << 16 |
                                        (index + 1 < hash.size() ? hash[index + 1] << 8 : 0) |
                                        (index + 2 < hash.size() ? hash[index + 2] : 0);
            encoded += alphabet[(chunk >> 18) & 63];
            encoded += alphabet[(chunk >> 12) & 63];
            encoded += index + 1 < hash.size() ? alphabet[(chunk >> 6) & 63] : '=';
            encoded += index + 2 < hash.size() ? alphabet[chunk & 63] : '=';
        }
        text += "\t\t<data>\n\t\t" + encoded + "\n\t\t</data>\n";
    }
    return text + "\t</array>\n</dict>\n</plist>\n";
}

std::vector<std::uint8_t> derSequence(int nid, const std::vector<std::uint8_t>& digest) {
    // SEQUENCE { OBJECT IDENTIFIER, OCTET STRING } with short lengths (digests are small).
    unsigned char* oid = nullptr;
    const int oidLength = i2d_ASN1_OBJECT(OBJ_nid2obj(nid), &oid);
    std::vector<std::uint8_t> inner(oid, oid + oidLength);
    OPENSSL_free(oid);
    inner.push_back(0x04);
    inner.push_back(static_cast<std::uint8_t>(digest.size()));
    inner.insert(inner.end(), digest.begin(), digest.end());
    std::vector<std::uint8_t> sequence{0x30, static_cast<std::uint8_t>(inner.size())};
    sequence.insert(sequence.end(), inner.begin(), inner.end());
    return sequence;
}

int hashNID(std::uint8_t type) {
    switch (type) {
    case 1:
        return NID_sha1;
    case 4:
        return NID_sha384;
    case 5:
        return NID_sha512;
    default:
        return NID_sha256;
    }
}

int fixedTime(TS_RESP_CTX*, void* data, long* seconds, long* microseconds) {
    *seconds = static_cast<long>(*static_cast<std::time_t*>(data));
    *microseconds = 0;
    return 1;
}

std::vector<std::uint8_t> timestampToken(std::span<const std::uint8_t> signatureValue,
                                         const FixtureSigner::Options& options) {
    unsigned char digest[32];
    EVP_Digest(signatureValue.data(), signatureValue.size(), digest, nullptr, EVP_sha256(), nullptr);
    TS_REQ* request = TS_REQ_new();
    TS_REQ_set_version(request, 1);
    TS_MSG_IMPRINT* imprint = TS_MSG_IMPRINT_new();
    X509_ALGOR* algorithm = X509_ALGOR_new();
    X509_ALGOR_set0(algorithm, OBJ_nid2obj(NID_sha256), V_ASN1_NULL, nullptr);
    TS_MSG_IMPRINT_set_algo(imprint, algorithm); // copies
    X509_ALGOR_free(algorithm);
    TS_MSG_IMPRINT_set_msg(imprint, digest, sizeof digest);
    TS_REQ_set_msg_imprint(request, imprint);
    TS_REQ_set_cert_req(request, 1);
    BIO* requestBIO = BIO_new(BIO_s_mem());
    i2d_TS_REQ_bio(requestBIO, request);

    TS_RESP_CTX* context = TS_RESP_CTX_new();
    require(TS_RESP_CTX_set_signer_cert(context, options.timestampAuthority->x509()) == 1,
            "timestamp signer");
    TS_RESP_CTX_set_signer_key(context, options.timestampAuthority->privateKey());
    ASN1_OBJECT* policy = OBJ_txt2obj("1.2.3.4.1", 1);
    TS_RESP_CTX_set_def_policy(context, policy);
    TS_RESP_CTX_add_md(context, EVP_sha256());
    TS_RESP_CTX_set_signer_digest(context, EVP_sha256());
    STACK_OF(X509)* chain = sk_X509_new_null();
    for (const auto* certificate : options.timestampChain) {
        sk_X509_push(chain, certificate->x509());
    }
    TS_RESP_CTX_set_certs(context, chain);
    std::time_t time = options.timestampTime.value_or(std::time(nullptr));
    TS_RESP_CTX_set_time_cb(context, fixedTime, &time);
    TS_RESP* response = TS_RESP_create_response(context, requestBIO);
    require(response != nullptr && TS_RESP_get_token(response) != nullptr, "timestamp response");
    unsigned char* buffer = nullptr;
    const int length = i2d_PKCS7(TS_RESP_get_token(response), &buffer);
    std::vector<std::uint8_t> token(buffer, buffer + std::max(length, 0));
    OPENSSL_free(buffer);
    TS_RESP_free(response);
    sk_X509_free(chain);
    ASN1_OBJECT_free(policy);
    TS_RESP_CTX_free(context);
    BIO_free(requestBIO);
    TS_REQ_free(request);
    TS_MSG_IMPRINT_free(imprint);
    return token;
}

} // namespace

std::string FixtureSigner::developerIDRequirement(const std::string& identifier,
                                                  const std::string& teamIdentifier) {
    return "identifier \"" + identifier +
           "\" and anchor apple generic and certificate 1[field.1.2.840.113635.100.6.2.6] /* exists */ and "
           "certificate leaf[field.1.2.840.113635.100.6.1.13] /* exists */ and certificate leaf[subject.OU] "
           "= " +
           teamIdentifier;
}

std::vector<std::uint8_t>
FixtureSigner::cmsSignature(std::span<const std::uint8_t> content,
                            const std::vector<std::vector<std::uint8_t>>& codeDirectories,
                            const Options& options) {
    require(options.signer != nullptr, "a certificate signature needs a signer");
    const unsigned int flags = CMS_PARTIAL | CMS_DETACHED | CMS_BINARY | CMS_NOSMIMECAP;
    CMS_ContentInfo* cms = CMS_sign(nullptr, nullptr, nullptr, nullptr, flags);
    CMS_SignerInfo* signer =
        CMS_add1_signer(cms, options.signer->x509(), options.signer->privateKey(), EVP_sha256(), flags);
    require(signer != nullptr, "signer");
    for (const auto* certificate : options.chain) {
        CMS_add1_cert(cms, certificate->x509());
    }
    if (options.codeDirectoryHashAttributes) {
        const std::string plist = cdhashesPropertyList(codeDirectories);
        CMS_signed_add1_attr_by_txt(signer, "1.2.840.113635.100.9.1", V_ASN1_OCTET_STRING, plist.data(),
                                    static_cast<int>(plist.size()));
        X509_ATTRIBUTE* attribute = nullptr;
        for (const auto& directory : codeDirectories) {
            const std::uint8_t type = directory[37] == 3 ? 2 : directory[37];
            const auto sequence = derSequence(hashNID(type), ZRCodeSigningDigest::digest(type, directory));
            if (attribute == nullptr) {
                attribute = X509_ATTRIBUTE_create_by_txt(nullptr, "1.2.840.113635.100.9.2", V_ASN1_SEQUENCE,
                                                         sequence.data(), static_cast<int>(sequence.size()));
            } else {
                X509_ATTRIBUTE_set1_data(attribute, V_ASN1_SEQUENCE, sequence.data(),
                                         static_cast<int>(sequence.size()));
            }
        }
        CMS_signed_add1_attr(signer, attribute);
        X509_ATTRIBUTE_free(attribute);
    }
    BIO* contentBIO = BIO_new_mem_buf(content.data(), static_cast<int>(content.size()));
    require(CMS_final(cms, contentBIO, nullptr, flags) == 1, "CMS signing");
    BIO_free(contentBIO);
    if (options.timestampAuthority != nullptr) {
        const ASN1_OCTET_STRING* value = CMS_SignerInfo_get0_signature(signer);
        const auto token = timestampToken(
            {ASN1_STRING_get0_data(value), static_cast<std::size_t>(ASN1_STRING_length(value))}, options);
        CMS_unsigned_add1_attr_by_txt(signer, "1.2.840.113549.1.9.16.2.14", V_ASN1_SEQUENCE, token.data(),
                                      static_cast<int>(token.size()));
    }
    unsigned char* buffer = nullptr;
    const int length = i2d_CMS_ContentInfo(cms, &buffer);
    std::vector<std::uint8_t> der(buffer, buffer + std::max(length, 0));
    OPENSSL_free(buffer);
    CMS_ContentInfo_free(cms);
    return der;
}

std::vector<std::uint8_t> FixtureSigner::makeUnsigned(const FixtureMachOBuilder::Executable& executable) {
    return FixtureMachOBuilder::build(executable, 0).bytes;
}

std::vector<std::uint8_t> FixtureSigner::sign(const FixtureMachOBuilder::Executable& executable,
                                              const Options& options) {
    const auto requirements = requirementSet(options);
    // First pass: the sizes; the layout only changes in the reserved space's length.
    auto estimate = FixtureMachOBuilder::build(executable, 1);
    std::uint64_t size = 12 + 8 * (options.hashTypes.size() + 4) + requirements.size() + 8;
    for (const auto* blob : {&options.entitlements, &options.derEntitlements}) {
        size += *blob ? (*blob)->size() : 0;
    }
    for (const auto type : options.hashTypes) {
        size += codeDirectory(estimate, options, type, requirements).size() + 64;
    }
    if (options.kind == Kind::certificate) {
        size += cmsAllowance;
    }
    auto layout = FixtureMachOBuilder::build(executable, static_cast<std::uint32_t>((size + 15) / 16 * 16));

    std::vector<std::vector<std::uint8_t>> directories;
    for (const auto type : options.hashTypes) {
        directories.push_back(codeDirectory(layout, options, type, requirements));
    }
    struct Entry {
        std::uint32_t slot;
        std::vector<std::uint8_t> blob;
    };
    std::vector<Entry> entries{{0, directories.front()}};
    if (options.kind != Kind::linkerSigned) {
        entries.push_back({2, requirements});
        if (options.entitlements) {
            entries.push_back({5, *options.entitlements});
        }
        if (options.derEntitlements) {
            entries.push_back({7, *options.derEntitlements});
        }
    }
    for (std::size_t index = 1; index < directories.size(); ++index) {
        entries.push_back({static_cast<std::uint32_t>(0x1000 + index - 1), directories[index]});
    }
    if (options.kind != Kind::linkerSigned) {
        std::vector<std::uint8_t> wrapper;
        appendWord(wrapper, wrapperMagic);
        appendWord(wrapper, 8);
        if (options.kind == Kind::certificate) {
            const auto cms = cmsSignature(directories.front(), directories, options);
            wrapper.insert(wrapper.end(), cms.begin(), cms.end());
            putWord(wrapper, 4, static_cast<std::uint32_t>(wrapper.size()));
        }
        entries.push_back({0x10000, wrapper});
    }
    std::vector<std::uint8_t> superBlob;
    appendWord(superBlob, superBlobMagic);
    appendWord(superBlob, 0);
    appendWord(superBlob, static_cast<std::uint32_t>(entries.size()));
    std::uint32_t offset = static_cast<std::uint32_t>(12 + 8 * entries.size());
    for (const auto& entry : entries) {
        appendWord(superBlob, entry.slot);
        appendWord(superBlob, offset);
        offset += static_cast<std::uint32_t>(entry.blob.size());
    }
    for (const auto& entry : entries) {
        superBlob.insert(superBlob.end(), entry.blob.begin(), entry.blob.end());
    }
    putWord(superBlob, 4, static_cast<std::uint32_t>(superBlob.size()));
    require(superBlob.size() <= layout.bytes.size() - layout.signatureOffset, "signature does not fit");
    std::copy(superBlob.begin(), superBlob.end(),
              layout.bytes.begin() + static_cast<std::ptrdiff_t>(layout.signatureOffset));
    return layout.bytes;
}
