#include "Code/Loading/ZRBundleResourceVerifier.h"

#include "ZRFoundation/CodeSigning/ZRCodeSigningDigest.h"
#include "ZRFoundation/CodeSigning/ZRMappedFile.h"
#include "ZRFoundation/Localization/ZRLocalizedFormat.h"
#include "ZRFoundation/PropertyList/ZRPropertyListReader.h"

namespace fs = std::filesystem;

namespace {

using Error = ZRBundleResourceVerifier::Error;

} // namespace

// Unlike the platform's bundle objects, ZRBundle keeps no resource cache tied to a main thread,
// so creating a verifier needs no hop to one: every lookup already sees the disk as it is.
ZRBundleResourceVerifier::ZRBundleResourceVerifier(std::shared_ptr<const ZRBundle> bundle,
                                                   std::vector<std::vector<std::uint8_t>> extraTrustAnchors)
    : _bundle(std::move(bundle)) {
    const auto bundleURL = ZRURL::fileURL(_bundle->bundlePath(), true);
    try {
        _checkResult = ZRCodeSignatureChecker::checkFileURL(
            _bundle->bundlePath(), ZRCodeSignatureCheckResourceInfos, extraTrustAnchors);
    } catch (const ZRError&) {
        _checkResult = nullptr;
    }
    if (!_checkResult || _checkResult->validity() != ZRCodeSignatureCheckResult::validityValid ||
        !_checkResult->bundleResourceFileInfos()) {
        throw Error(Error::Case::codeSignatureVerificationFailed, bundleURL);
    }
}

ZRURL ZRBundleResourceVerifier::expectedResourceURL(std::string_view name,
                                                    std::optional<std::string_view> extension,
                                                    std::optional<std::string_view> subdirectory,
                                                    std::optional<std::string_view> localization) const {
    std::string relative;
    if (localization) {
        relative.append(*localization).append(".lproj/");
    }
    if (subdirectory) {
        relative.append(*subdirectory);
        if (!subdirectory->ends_with('/')) {
            relative.append(1, '/');
        }
    }
    relative.append(name);
    if (extension) {
        relative.append(1, '.').append(*extension);
    }
    const fs::path base = _bundle->resourcePath().value_or(_bundle->bundlePath() / "Contents" / "Resources");
    return ZRURL::fileURL(base / relative, false);
}

std::optional<std::string> ZRBundleResourceVerifier::sealedResourceKey(const fs::path& file) const {
    const auto resources = _bundle->resourcePath();
    if (!resources) {
        return std::nullopt;
    }
    std::string prefix = resources->parent_path().string();
    if (!prefix.ends_with("/")) {
        prefix += "/";
    }
    const std::string path = file.string();
    if (!path.starts_with(prefix)) {
        return std::nullopt;
    }
    return path.substr(prefix.size());
}

std::optional<std::vector<std::uint8_t>> ZRBundleResourceVerifier::sealedDigest(const fs::path& file) const {
    const auto key = sealedResourceKey(file);
    if (!key) {
        return std::nullopt;
    }
    const auto* entry = _checkResult->bundleResourceFileInfos()->find(*key);
    const auto* fields = entry ? entry->dictionaryValue() : nullptr;
    const auto* digest = fields ? fields->find("hash2") : nullptr;
    const auto* bytes = digest ? digest->dataValue() : nullptr;
    return bytes ? std::optional(*bytes) : std::nullopt;
}

ZRBundleResourceVerifier::VerifiedData
ZRBundleResourceVerifier::verifiedData(std::string_view name, std::optional<std::string_view> extension,
                                       std::optional<std::string_view> subdirectory,
                                       std::optional<std::string_view> localization) const {
    const std::string_view ext = extension.value_or("");
    const std::string_view folder = subdirectory.value_or("");
    const auto found = localization ? _bundle->pathForResource(name, ext, folder, *localization)
                                    : _bundle->pathForResource(name, ext, folder);
    if (!found) {
        throw Error(Error::Case::fileNotFound,
                    expectedResourceURL(name, extension, subdirectory, localization));
    }
    const auto url = ZRURL::fileURL(*found, false);
    const auto expected = sealedDigest(*found);
    if (!expected) {
        throw Error(Error::Case::codeSignatureVerificationFailed, url);
    }
    auto bytes = ZRMappedFile::readRegularFile(*found, maximumResourceSize);
    if (!bytes) {
        throw Error(Error::Case::fileReadFailed, url);
    }
    if (ZRCodeSigningDigest::digest(ZRCodeSigningDigest::sha256, *bytes) != *expected) {
        throw Error(Error::Case::codeSignatureVerificationFailed, url);
    }
    return {url, std::move(*bytes)};
}

ZRPropertyListDictionary
ZRBundleResourceVerifier::propertyList(std::string_view name, std::optional<std::string_view> extension,
                                       std::optional<std::string_view> subdirectory,
                                       std::optional<std::string_view> localization) const {
    const auto data = verifiedData(name, extension, subdirectory, localization);
    const auto parsed = ZRPropertyListReader::readPropertyList(data.bytes);
    const auto* dictionary = parsed ? parsed.value->dictionaryValue() : nullptr;
    if (dictionary == nullptr) {
        throw Error(Error::Case::fileReadFailed,
                    expectedResourceURL(name, extension, subdirectory, localization));
    }
    return *dictionary;
}

std::optional<LumoraStringTable>
ZRBundleResourceVerifier::localizationTable(std::string_view tableName,
                                            const std::vector<std::string>& fallbackLocalizations) {
    const std::string name = tableName.empty() ? std::string("Localizable") : std::string(tableName);
    if (const auto cached = _localizationTablesCache.find(name); cached != _localizationTablesCache.end()) {
        return cached->second;
    }
    const auto preferred = _bundle->preferredLocalizations();
    if (preferred.empty()) {
        return std::nullopt;
    }
    std::vector<std::optional<std::string>> candidates(preferred.begin(), preferred.end());
    candidates.insert(candidates.end(), fallbackLocalizations.begin(), fallbackLocalizations.end());
    candidates.emplace_back(std::nullopt);
    for (const auto& localization : candidates) {
        ZRPropertyListDictionary dictionary;
        try {
            dictionary = localization ? propertyList(name, "strings", std::nullopt, *localization)
                                      : propertyList(name, "strings");
        } catch (const Error& error) {
            if (error.errorCase() == Error::Case::fileNotFound) {
                continue;
            }
            throw;
        }
        LumoraStringTable table;
        bool allStrings = true;
        for (const auto& [key, value] : dictionary) {
            const auto* text = value.stringValue();
            if (text == nullptr) {
                allStrings = false;
                break;
            }
            table.emplace(key, *text);
        }
        if (allStrings) {
            _localizationTablesCache.emplace(name, table);
            return table;
        }
    }
    return std::nullopt;
}

std::string_view ZRBundleResourceVerifier::Error::caseName() const {
    switch (_case) {
    case Case::codeSignatureVerificationFailed:
        return "codeSignatureVerificationFailed";
    case Case::fileNotFound:
        return "fileNotFound";
    case Case::fileReadFailed:
        return "fileReadFailed";
    }
    return "";
}

std::string ZRBundleResourceVerifier::Error::errorDescription() const {
    const std::string key = "ZRBundleResourceVerifier.Error." + std::string(caseName()) + " %@";
    return ZRLocalizedFormat::format(Lumora::localizeString(key), {_file.path().string()});
}
