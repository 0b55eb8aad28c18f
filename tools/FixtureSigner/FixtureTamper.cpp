#include "tools/FixtureSigner/FixtureTamper.h"

#include "ZRFoundation/Bundle/ZRBundle.h"
#include "ZRFoundation/CodeSigning/ZRByteView.h"
#include "ZRFoundation/CodeSigning/ZRMachOFile.h"

#include <algorithm>
#include <fstream>
#include <iterator>

#include <openssl/cms.h>

std::pair<std::uint64_t, std::uint64_t> FixtureTamper::blobRange(const std::vector<std::uint8_t>& file,
                                                                 std::uint64_t sliceOffset,
                                                                 std::uint32_t slot) {
    const auto parsed = ZRMachOFile::parse(file);
    if (!parsed) {
        return {0, 0};
    }
    for (const auto& slice : parsed->slices()) {
        if (slice.fileOffset != sliceOffset || !slice.codeSignature) {
            continue;
        }
        const ZRByteView reader(slice.signatureBytes());
        const std::uint32_t count = reader.u32(8).value_or(0);
        for (std::uint32_t index = 0; index < count; ++index) {
            if (reader.u32(12 + index * 8) == slot) {
                const std::uint32_t offset = *reader.u32(16 + index * 8);
                return {sliceOffset + slice.codeSignature->offset + offset,
                        reader.u32(offset + 4).value_or(0)};
            }
        }
    }
    return {0, 0};
}

bool FixtureTamper::flipCodeByte(std::vector<std::uint8_t>& file, std::uint64_t sliceOffset) {
    const std::uint64_t offset = sliceOffset + 4096 + 17;
    if (offset >= file.size()) {
        return false;
    }
    file[offset] ^= 0x5a;
    return true;
}

bool FixtureTamper::flipRequirementsByte(std::vector<std::uint8_t>& file, std::uint64_t sliceOffset) {
    const auto [offset, length] = blobRange(file, sliceOffset, 2);
    if (length < 13) {
        return false;
    }
    file[offset + length - 1] ^= 0x01;
    return true;
}

bool FixtureTamper::flipCMSSignatureByte(std::vector<std::uint8_t>& file, std::uint64_t sliceOffset) {
    const auto [offset, length] = blobRange(file, sliceOffset, 0x10000);
    if (length <= 8) {
        return false;
    }
    const unsigned char* cursor = file.data() + offset + 8;
    CMS_ContentInfo* cms = d2i_CMS_ContentInfo(nullptr, &cursor, static_cast<long>(length - 8));
    if (cms == nullptr) {
        return false;
    }
    CMS_SignerInfo* signer = sk_CMS_SignerInfo_value(CMS_get0_SignerInfos(cms), 0);
    const ASN1_OCTET_STRING* value = CMS_SignerInfo_get0_signature(signer);
    const std::vector<std::uint8_t> signature(ASN1_STRING_get0_data(value),
                                              ASN1_STRING_get0_data(value) + ASN1_STRING_length(value));
    CMS_ContentInfo_free(cms);
    const auto begin = file.begin() + static_cast<std::ptrdiff_t>(offset);
    const auto found =
        std::search(begin, begin + static_cast<std::ptrdiff_t>(length), signature.begin(), signature.end());
    if (found == begin + static_cast<std::ptrdiff_t>(length)) {
        return false;
    }
    // The middle of an ECDSA signature is inside an integer: the encoding stays valid.
    *(found + static_cast<std::ptrdiff_t>(signature.size() / 2 + 4)) ^= 0x01;
    return true;
}

bool FixtureTamper::setUnknownSignerDigest(std::vector<std::uint8_t>& file, std::uint64_t sliceOffset) {
    const auto [offset, length] = blobRange(file, sliceOffset, 0x10000);
    static const std::uint8_t sha256OID[] = {0x06, 0x09, 0x60, 0x86, 0x48, 0x01,
                                             0x65, 0x03, 0x04, 0x02, 0x01};
    const auto begin = file.begin() + static_cast<std::ptrdiff_t>(offset);
    const auto end = begin + static_cast<std::ptrdiff_t>(length);
    // The first occurrence is the SignedData's digest list, the second the signer's algorithm.
    auto found = std::search(begin, end, std::begin(sha256OID), std::end(sha256OID));
    if (found == end) {
        return false;
    }
    found = std::search(found + 1, end, std::begin(sha256OID), std::end(sha256OID));
    if (found == end) {
        return false;
    }
    *(found + sizeof sha256OID - 1) = 0x63;
    return true;
}

namespace {

namespace fs = std::filesystem;

bool isRegularFile(const fs::path& path) {
    std::error_code error;
    return fs::is_regular_file(fs::symlink_status(path, error));
}

} // namespace

bool FixtureTamper::addFile(const fs::path& path, const std::string& contents) {
    std::error_code error;
    if (fs::exists(fs::symlink_status(path, error))) {
        return false;
    }
    fs::create_directories(path.parent_path(), error);
    std::ofstream stream(path, std::ios::binary);
    stream << contents;
    return static_cast<bool>(stream);
}

bool FixtureTamper::changeFile(const fs::path& path) {
    if (!isRegularFile(path)) {
        return false;
    }
    std::error_code error;
    const auto modified = fs::last_write_time(path, error);
    {
        std::ofstream stream(path, std::ios::binary | std::ios::app);
        stream << '\n';
        if (!stream) {
            return false;
        }
    }
    // Content changes must be found by hashing, not by a newer date.
    fs::last_write_time(path, modified, error);
    return true;
}

bool FixtureTamper::removeFile(const fs::path& path) {
    std::error_code error;
    return fs::remove(path, error);
}

bool FixtureTamper::swapSymlinkTarget(const fs::path& link, const std::string& newTarget) {
    std::error_code error;
    if (!fs::is_symlink(fs::symlink_status(link, error)) || !fs::remove(link, error)) {
        return false;
    }
    fs::create_symlink(newTarget, link, error);
    return !error;
}

bool FixtureTamper::changeInfoPlist(const fs::path& bundlePath) {
    const auto bundle = ZRBundle::bundleWithPath(bundlePath);
    if (!bundle || !isRegularFile(bundle->infoPlistPath())) {
        return false;
    }
    const auto path = bundle->infoPlistPath();
    std::string text;
    {
        std::ifstream stream(path, std::ios::binary);
        text.assign(std::istreambuf_iterator<char>(stream), std::istreambuf_iterator<char>());
    }
    const auto end = text.rfind("</dict>");
    if (end == std::string::npos) {
        return false;
    }
    text.insert(end, "<key>FixtureTampered</key><true/>\n");
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
    return true;
}
