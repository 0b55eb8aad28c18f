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
/// The bytes that are hashed are the bytes that are handed out and parsed.
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

    /// Where a resource would be expected, for error reports.
    ZRURL expectedResourceURL(std::string_view name, std::optional<std::string_view> extension,
                              std::optional<std::string_view> subdirectory,
                              std::optional<std::string_view> localization) const;

private:
    std::optional<std::string> sealedResourceKey(const std::filesystem::path& file) const;
    std::optional<std::vector<std::uint8_t>> sealedDigest(const std::filesystem::path& file) const;

    std::shared_ptr<const ZRBundle> _bundle;
    ZRCodeSignatureChecker::Result _checkResult;
    std::map<std::string, LumoraStringTable, std::less<>> _localizationTablesCache;
};

/// Why a resource was refused. The description is the "LumoraLocalization" text for
/// "ZRBundleResourceVerifier.Error.<case> %@" with the file's path.
class ZRBundleResourceVerifier::Error : public ZRError {
public:
    enum class Case : std::uint8_t { codeSignatureVerificationFailed, fileNotFound, fileReadFailed };

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
