#pragma once

#include "Code/Model/LumoraSource.h"
#include "ZRFoundation/Bundle/ZRBundle.h"
#include "ZRFoundation/CodeSigning/ZRCodeSignatureChecker.h"
#include "ZRFoundation/Support/ZRError.h"
#include "ZRFoundation/URL/ZRURL.h"

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

/// Reads resource files of one bundle only after proving that each is exactly the file the bundle's
/// code signature sealed: the signature is valid and anchored at Apple (checked once, at creation),
/// the file is listed in the sealed resource list, and its SHA-256 digest equals the sealed one.
/// The bytes that are hashed are the bytes that are handed out and parsed. It also answers what
/// the seal says about the rest of the bundle without hashing it: which nested code it seals, with
/// which code directory hash, and whether sealed files are still there.
class ZRBundleResourceVerifier : public LumoraLocalizationTableProvider {
public:
    class Error;

    struct VerifiedData {
        ZRURL url;
        std::vector<std::uint8_t> bytes;
    };

    /// The largest resource file read.
    static constexpr std::uintmax_t maximumResourceSize = 16 * 1024 * 1024;

    /// Checks the bundle's signature (with the sealed resource list, answered from the checker's
    /// cache when fresh). Throws Error::codeSignatureVerificationFailed with the bundle URL when the
    /// signature is not valid or seals no resource list. `extraTrustAnchors` are accepted as roots
    /// besides Apple's (tests, samples, developers checking their own signing set-up).
    explicit ZRBundleResourceVerifier(std::shared_ptr<const ZRBundle> bundle,
                                      std::vector<std::vector<std::uint8_t>> extraTrustAnchors = {});

    const ZRBundle& bundle() const { return *_bundle; }
    const ZRCodeSignatureCheckResult& codeSignatureCheckResult() const { return *_checkResult; }

    VerifiedData verifiedData(std::string_view name, std::optional<std::string_view> extension,
                              std::optional<std::string_view> subdirectory = std::nullopt,
                              std::optional<std::string_view> localization = std::nullopt) const;
    /// The verified file parsed as a property-list dictionary; Error::fileReadFailed when it is not one.
    ZRPropertyListDictionary propertyList(std::string_view name, std::optional<std::string_view> extension,
                                          std::optional<std::string_view> subdirectory = std::nullopt,
                                          std::optional<std::string_view> localization = std::nullopt) const;
    /// The verified string table `tableName` (default "Localizable") for the user's languages, then
    /// the fallbacks, then the unlocalized lookup; cached by name for the verifier's lifetime.
    std::optional<LumoraStringTable>
    localizationTable(std::string_view tableName,
                      const std::vector<std::string>& fallbackLocalizations) override;

    /// The code directory hash that this bundle's seal records for the nested code at `path` (a
    /// bundle inside this one); none when the seal records only a requirement, as older signing
    /// tools wrote it. Throws Error::nestedCodeNotSealed when the seal lists no nested code there.
    std::optional<std::vector<std::uint8_t>> sealedNestedCodeHash(const std::filesystem::path& path) const;
    /// Throws Error::sealedFileMissing for the first nested code that the seal lists directly
    /// inside one of `folders` and that is no longer there.
    void verifySealedNestedCodePresent(const std::vector<std::filesystem::path>& folders) const;
    /// Throws Error::sealedFileMissing for the first sealed resource named one of `fileNames`, in
    /// the resources folder or one of its language folders, that is no longer there.
    void verifySealedResourcesPresent(const std::vector<std::string>& fileNames) const;

    /// Where a resource would be expected, for error reports.
    ZRURL expectedResourceURL(std::string_view name, std::optional<std::string_view> extension,
                              std::optional<std::string_view> subdirectory,
                              std::optional<std::string_view> localization) const;

private:
    /// The path's key in the seal: relative to the content folder, when it lies inside it.
    std::optional<std::string> sealKey(const std::filesystem::path& path) const;
    /// The seal's entry for a key, when it is a dictionary.
    const ZRPropertyListDictionary* sealedEntry(std::string_view key) const;
    std::optional<std::vector<std::uint8_t>> sealedDigest(const std::filesystem::path& file) const;

    std::shared_ptr<const ZRBundle> _bundle;
    /// The folder that seal keys are relative to.
    std::filesystem::path _contentsPath;
    ZRCodeSignatureChecker::Result _checkResult;
    std::map<std::string, LumoraStringTable, std::less<>> _localizationTablesCache;
};

/// Why a resource was refused. The description is the "LumoraLocalization" text for
/// "ZRBundleResourceVerifier.Error.<case> %@" with the file's path.
class ZRBundleResourceVerifier::Error : public ZRError {
public:
    enum class Case : std::uint8_t {
        codeSignatureVerificationFailed,
        fileNotFound,
        fileReadFailed,
        /// The seal lists the item (a declaration file or nested code), but it is gone.
        sealedFileMissing,
        /// A bundle lies where nested code is looked for, but its parent's seal does not list it.
        nestedCodeNotSealed,
    };

    Error(Case errorCase, ZRURL file)
        : _case(errorCase)
        , _file(std::move(file)) {}
    Case errorCase() const { return _case; }
    std::string_view caseName() const;
    const ZRURL& file() const { return _file; }
    std::string errorDescription() const override;

private:
    Case _case;
    ZRURL _file;
};
