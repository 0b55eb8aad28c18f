#include "Code/Loading/ZRBundleResourceVerifier.h"

#include "ZRFoundation/CodeSigning/ZRCodeSigningDigest.h"
#include "ZRFoundation/CodeSigning/ZRMappedFile.h"
#include "ZRFoundation/Localization/ZRLocalizedFormat.h"
#include "ZRFoundation/PropertyList/ZRPropertyListReader.h"

#include <algorithm>

namespace fs = std::filesystem;

namespace {

using Error = ZRBundleResourceVerifier::Error;

} // namespace

// Unlike the platform's bundle objects, ZRBundle keeps no resource cache tied to a main thread,
// so creating a verifier needs no hop to one: every lookup already sees the disk as it is.
ZRBundleResourceVerifier::ZRBundleResourceVerifier(std::shared_ptr<const ZRBundle> bundle,
                                                   std::vector<std::vector<std::uint8_t>> extraTrustAnchors)
    : _bundle(std::move(bundle))
    // The resources folder lies in the content folder; taking its parent spares a lookup on disk.
    , _contentsPath(_bundle->resourcePath() ? _bundle->resourcePath()->parent_path()
                                            : _bundle->contentsPath()) {
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

std::optional<std::string> ZRBundleResourceVerifier::sealKey(const fs::path& path) const {
    std::string prefix = _contentsPath.string();
    if (!prefix.ends_with("/")) {
        prefix += "/";
    }
    const std::string text = path.string();
    if (!text.starts_with(prefix) || text.size() == prefix.size()) {
        return std::nullopt;
    }
    return text.substr(prefix.size());
}

const ZRPropertyListDictionary* ZRBundleResourceVerifier::sealedEntry(std::string_view key) const {
    const auto* entry = _checkResult->bundleResourceFileInfos()->find(key);
    return entry ? entry->dictionaryValue() : nullptr;
}

std::optional<std::vector<std::uint8_t>> ZRBundleResourceVerifier::sealedDigest(const fs::path& file) const {
    const auto key = sealKey(file);
    const auto* fields = key ? sealedEntry(*key) : nullptr;
    const auto* digest = fields ? fields->find("hash2") : nullptr;
    const auto* bytes = digest ? digest->dataValue() : nullptr;
    return bytes ? std::optional(*bytes) : std::nullopt;
}

namespace {

bool isNestedCodeSeal(const ZRPropertyListDictionary& fields) {
    return fields.find("cdhash") != nullptr || fields.find("requirement") != nullptr;
}

bool isMissing(const fs::path& path) {
    std::error_code error;
    return !fs::exists(fs::symlink_status(path, error));
}

// Nested code replaced by a link is missing too: the loader never follows links to nested code.
bool isMissingCode(const fs::path& path) {
    std::error_code error;
    const auto status = fs::symlink_status(path, error);
    return !fs::is_directory(status) && !fs::is_regular_file(status);
}

} // namespace

std::optional<std::vector<std::uint8_t>>
ZRBundleResourceVerifier::sealedNestedCodeHash(const fs::path& path) const {
    const auto key = sealKey(path);
    const auto* fields = key ? sealedEntry(*key) : nullptr;
    if (fields == nullptr || !isNestedCodeSeal(*fields)) {
        throw Error(Error::Case::nestedCodeNotSealed, ZRURL::fileURL(path, true));
    }
    const auto* hash = fields->find("cdhash");
    const auto* bytes = hash ? hash->dataValue() : nullptr;
    return bytes ? std::optional(*bytes) : std::nullopt;
}

void ZRBundleResourceVerifier::verifySealedNestedCodePresent(const std::vector<fs::path>& folders) const {
    std::vector<std::string> prefixes;
    for (const auto& folder : folders) {
        if (const auto key = sealKey(folder)) {
            prefixes.push_back(*key + "/");
        }
    }
    for (const auto& [key, value] : *_checkResult->bundleResourceFileInfos()) {
        const auto* fields = value.dictionaryValue();
        const bool inFolder =
            std::any_of(prefixes.begin(), prefixes.end(), [&sealed = key](const std::string& prefix) {
                return sealed.starts_with(prefix) && sealed.find('/', prefix.size()) == std::string::npos;
            });
        if (inFolder && fields != nullptr && isNestedCodeSeal(*fields) &&
            isMissingCode(_contentsPath / key)) {
            throw Error(Error::Case::sealedFileMissing, ZRURL::fileURL(_contentsPath / key, true));
        }
    }
}

void ZRBundleResourceVerifier::verifySealedResourcesPresent(const std::vector<std::string>& fileNames) const {
    const auto resources = _bundle->resourcePath().value_or(_contentsPath / "Resources");
    const auto resourcesKey = sealKey(resources);
    if (!resourcesKey) {
        return;
    }
    const std::string prefix = *resourcesKey + "/";
    for (const auto& [key, value] : *_checkResult->bundleResourceFileInfos()) {
        if (!key.starts_with(prefix)) {
            continue;
        }
        const std::string_view relative = std::string_view(key).substr(prefix.size());
        const auto slash = relative.find('/');
        // Directly in the resources folder, or in one of its language folders.
        const bool placed =
            slash == std::string_view::npos || (relative.substr(0, slash).ends_with(".lproj") &&
                                                relative.find('/', slash + 1) == std::string_view::npos);
        const auto name = slash == std::string_view::npos ? relative : relative.substr(slash + 1);
        if (placed && std::find(fileNames.begin(), fileNames.end(), name) != fileNames.end() &&
            isMissing(_contentsPath / key)) {
            throw Error(Error::Case::sealedFileMissing, ZRURL::fileURL(_contentsPath / key, false));
        }
    }
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
    case Case::sealedFileMissing:
        return "sealedFileMissing";
    case Case::nestedCodeNotSealed:
        return "nestedCodeNotSealed";
    }
    return "";
}

std::string ZRBundleResourceVerifier::Error::errorDescription() const {
    const std::string key = "ZRBundleResourceVerifier.Error." + std::string(caseName()) + " %@";
    return ZRLocalizedFormat::format(Lumora::localizeString(key), {_file.path().string()});
}
