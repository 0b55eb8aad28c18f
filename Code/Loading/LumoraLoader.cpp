#include "Code/Loading/LumoraLoader.h"

#include "Code/Loading/LumoraRequiredSigner.h"
#include "Code/Loading/ZRBundleResourceVerifier.h"
#include "Code/Model/LumoraDeclarationFile.h"
#include "Code/Model/LumoraSource.h"
#include "ZRFoundation/Localization/ZRLocalizedFormat.h"
#include "ZRFoundation/PropertyList/ZRPropertyListReader.h"

#include <algorithm>

namespace fs = std::filesystem;

namespace LumoraLoader {

namespace {

using InitializationError = Lumora::InitializationError;
using SourceType = Lumora::Source::SourceType;
const std::vector<std::string> fallbackLocalizations{"en"};

struct Context {
    const Options& options;
    bool usedExtraTrustAnchor = false;
    /// Of the main executable's signature.
    std::optional<ZREntitlements> entitlements;
};

// The signer named in the signature; Mac App Store signatures name none.
std::optional<std::string> signerName(const ZRCodeSignatureCheckResult& result) {
    if (result.certificateType() == ZRCodeSignatureCertificateType::macAppStore) {
        return std::nullopt;
    }
    return result.certificateSubjectDisplayString();
}

// The verified file "Lumora.plist", or else "Lumora.json", parsed by its own extension's reader.
std::pair<ZRURL, ZRPropertyListDictionary> readDictionary(const ZRBundleResourceVerifier& verifier) {
    for (const std::string_view extension : {"plist", "json"}) {
        std::optional<ZRBundleResourceVerifier::VerifiedData> verified;
        try {
            verified = verifier.verifiedData(lumoraResourceName, extension);
        } catch (const ZRBundleResourceVerifier::Error& error) {
            if (error.errorCase() == ZRBundleResourceVerifier::Error::Case::fileNotFound) {
                continue;
            }
            throw;
        }
        const auto& data = *verified;
        auto read = LumoraDeclarationFile::readDeclaration(data.bytes, extension == "json");
        if (auto* failure = std::get_if<LumoraDeclarationFile::ReadFailure>(&read)) {
            throw InitializationError::fileCorrupt(data.url, failure->debugMessage());
        }
        auto& dictionary = std::get<ZRPropertyListDictionary>(read);
        return {data.url, std::move(dictionary)};
    }
    throw InitializationError::bundleHasNoLumora(ZRURL::fileURL(verifier.bundle().bundlePath(), true));
}

bool hasLumoraResource(const ZRBundle& bundle) {
    return bundle.pathForResource(lumoraResourceName, "plist") ||
           bundle.pathForResource(lumoraResourceName, "json");
}

// The file names that make up a bundle's declaration: the declaration in either form and its
// string tables. Each one the seal lists must still be there; otherwise declarations could
// vanish, or fall back to another form, without the signature noticing.
const std::vector<std::string>& declarationFileNames() {
    static const std::vector<std::string> names{std::string(lumoraResourceName) + ".plist",
                                                std::string(lumoraResourceName) + ".json",
                                                std::string(lumoraTableName) + ".strings"};
    return names;
}

void noteTrust(const ZRBundleResourceVerifier& verifier, Context& context) {
    context.usedExtraTrustAnchor =
        context.usedExtraTrustAnchor || verifier.codeSignatureCheckResult().usedExtraTrustAnchor();
}

// The bundle's source, from a verifier of the bundle that carries a declaration.
std::shared_ptr<const Lumora::Source> readSource(ZRBundleResourceVerifier& verifier,
                                                 const std::optional<std::string>& parentName) {
    const auto bundleURL = ZRURL::fileURL(verifier.bundle().bundlePath(), true);
    const auto [fileURL, dictionary] = readDictionary(verifier);
    // Fails the load when a table file is present but tampered or unreadable.
    (void)verifier.localizationTable(lumoraTableName, fallbackLocalizations);
    auto source = Lumora::Source::makeFromBundleDictionary(
        SourceType::internal, bundleURL, fileURL, signerName(verifier.codeSignatureCheckResult()), parentName,
        dictionary, &verifier, std::string(lumoraTableName), fallbackLocalizations);
    LumoraRequiredSigner::verify(*source, verifier.codeSignatureCheckResult());
    return source;
}

// The folders whose bundles may carry declarations of their own, in search order.
std::vector<fs::path> nestedBundleFolders(const ZRBundle& bundle) {
    return {bundle.sharedFrameworksPath(), bundle.privateFrameworksPath(), bundle.builtInPlugInsPath(),
            bundle.bundlePath() / "Contents" / "XPCServices", bundle.bundlePath() / "XPCServices"};
}

// The nested bundles found are exactly the nested code `parent` sealed: each is listed in the
// parent's seal and its code directory is the one sealed there (which in turn binds its own seal),
// and nothing sealed is missing. Checking the hash instead of every sealed file keeps loads fast.
void appendAdditionalSources(const ZRBundleResourceVerifier& parent,
                             const std::optional<std::string>& parentName, Context& context,
                             std::vector<std::shared_ptr<const Lumora::Source>>& sources, std::size_t depth) {
    constexpr std::size_t maximumDepth = 16;
    if (depth > maximumDepth) {
        return;
    }
    const auto folders = nestedBundleFolders(parent.bundle());
    parent.verifySealedNestedCodePresent(folders);
    for (const auto& folder : folders) {
        std::error_code error;
        std::vector<fs::path> entries;
        for (fs::directory_iterator entry(folder, error), end; !error && entry != end;
             entry.increment(error)) {
            entries.push_back(entry->path());
        }
        // Directory order is the file system's; sorting makes loads repeatable.
        std::sort(entries.begin(), entries.end());
        for (const auto& entry : entries) {
            std::error_code linkError;
            if (fs::is_symlink(entry, linkError)) {
                continue;
            }
            const auto nested = ZRBundle::bundleWithPath(entry);
            if (!nested) {
                continue;
            }
            const auto sealedHash = parent.sealedNestedCodeHash(entry);
            ZRBundleResourceVerifier verifier(nested, context.options.extraTrustAnchors);
            if (sealedHash && verifier.codeSignatureCheckResult().codeDirectoryHash() != sealedHash) {
                throw ZRBundleResourceVerifier::Error(
                    ZRBundleResourceVerifier::Error::Case::codeSignatureVerificationFailed,
                    ZRURL::fileURL(entry, true));
            }
            noteTrust(verifier, context);
            verifier.verifySealedResourcesPresent(declarationFileNames());
            if (hasLumoraResource(*nested)) {
                sources.push_back(readSource(verifier, parentName));
            }
            appendAdditionalSources(verifier, parentName, context, sources, depth + 1);
        }
    }
}

Lumora loadBundle(const ZRURL& url, Context& context) {
    const auto bundle = ZRBundle::bundleWithPath(url.path());
    if (!bundle) {
        throw InitializationError::bundleNotFound(url);
    }
    const auto bundleURL = ZRURL::fileURL(bundle->bundlePath(), true);
    const bool hasDeclaration = hasLumoraResource(*bundle);
    std::optional<ZRBundleResourceVerifier> verifier;
    try {
        verifier.emplace(bundle, context.options.extraTrustAnchors);
    } catch (const ZRBundleResourceVerifier::Error&) {
        // Without a signature there is no seal to miss a declaration from.
        if (!hasDeclaration) {
            throw InitializationError::bundleHasNoLumora(bundleURL);
        }
        throw;
    }
    verifier->verifySealedResourcesPresent(declarationFileNames());
    if (!hasDeclaration) {
        throw InitializationError::bundleHasNoLumora(bundleURL);
    }
    noteTrust(*verifier, context);
    context.entitlements = verifier->codeSignatureCheckResult().entitlements();
    auto primary = readSource(*verifier, std::nullopt);
    const std::string parentName = primary->localizedName();
    std::vector<std::shared_ptr<const Lumora::Source>> additional;
    appendAdditionalSources(*verifier, parentName, context, additional, 0);
    return Lumora(std::move(primary), std::move(additional));
}

Lumora loadExecutable(const ZRURL& url, Context& context) {
    const auto result = ZRCodeSignatureChecker::checkFileURL(
        url.path(), ZRCodeSignatureCheckInfoPList | ZRCodeSignatureCheckIgnoreCache,
        context.options.extraTrustAnchors);
    if (!result || result->validity() != ZRCodeSignatureCheckResult::validityValid) {
        throw ZRBundleResourceVerifier::Error(
            ZRBundleResourceVerifier::Error::Case::codeSignatureVerificationFailed, url);
    }
    context.usedExtraTrustAnchor = result->usedExtraTrustAnchor();
    context.entitlements = result->entitlements();
    const auto* declaration = result->infoPList() ? result->infoPList()->find("Lumora") : nullptr;
    const auto* dictionary = declaration ? declaration->dictionaryValue() : nullptr;
    if (dictionary == nullptr) {
        throw InitializationError::bundleHasNoLumora(url);
    }
    auto source = Lumora::Source::makeFromEmbeddedDictionary(
        SourceType::internal, url, url, signerName(*result), std::nullopt, *dictionary,
        LumoraDeclarationFile::stringTableFromLocalizations(*dictionary));
    LumoraRequiredSigner::verify(*source, *result);
    return Lumora(std::move(source), {});
}

} // namespace

Lumora load(const ZRURL& url, const Options& options) {
    Context context{options, false, std::nullopt};
    Lumora document = url.hasDirectoryPath() ? loadBundle(url, context) : loadExecutable(url, context);
    document.setTrustedThroughExtraAnchor(context.usedExtraTrustAnchor);
    document.setEntitlements(std::move(context.entitlements));
    return document;
}

} // namespace LumoraLoader

std::string_view Lumora::InitializationError::caseName() const {
    switch (_case) {
    case Case::bundleHasNoLumora:
        return "bundleHasNoLumora";
    case Case::bundleNotFound:
        return "bundleNotFound";
    case Case::bundleCodeSignatureNotValid:
        return "bundleCodeSignatureNotValid";
    case Case::codeSignatureNotAccepted:
        return "codeSignatureNotAccepted";
    case Case::fileCorrupt:
        return "fileCorrupt";
    case Case::noExternalSourceBundle:
        return "noExternalSourceBundle";
    case Case::signerMismatch:
        return "signerMismatch";
    }
    return "";
}

std::string Lumora::InitializationError::errorDescription() const {
    if (_case == Case::noExternalSourceBundle) {
        return Lumora::localizeString("InitializationError.noExternalSourceBundle");
    }
    const std::string key = "InitializationError." + std::string(caseName()) + " %@";
    if (_case == Case::signerMismatch) {
        const std::string codeSigner =
            _codeSigner.value_or(Lumora::localizeString("InitializationError.signerMismatch.noTeam"));
        return ZRLocalizedFormat::format(Lumora::localizeString(key),
                                         {_url.path().string(), _namedSigner, codeSigner});
    }
    std::string text = ZRLocalizedFormat::format(Lumora::localizeString(key), {_url.path().string()});
    if (_case == Case::fileCorrupt && _debugMessage) {
        text += ": " + *_debugMessage;
    }
    return text;
}
