#pragma once

#include "Code/Model/Lumora.h"
#include "ZRFoundation/Support/ZRError.h"
#include "ZRFoundation/URL/ZRURL.h"

#include <optional>
#include <string>

/// Why a location yields no document. The description is the "LumoraLocalization" text for
/// "InitializationError.<case> %@…", formatted with the case's payload.
class Lumora::InitializationError : public ZRError {
public:
    enum class Case : std::uint8_t {
        bundleHasNoLumora,
        bundleNotFound,
        bundleCodeSignatureNotValid,
        codeSignatureNotAccepted,
        fileCorrupt,
        noExternalSourceBundle,
        signerMismatch,
    };

    static InitializationError bundleHasNoLumora(ZRURL bundle) {
        return {Case::bundleHasNoLumora, std::move(bundle)};
    }
    static InitializationError bundleNotFound(ZRURL bundle) {
        return {Case::bundleNotFound, std::move(bundle)};
    }
    static InitializationError fileCorrupt(ZRURL file, std::optional<std::string> debugMessage) {
        InitializationError error(Case::fileCorrupt, std::move(file));
        error._debugMessage = std::move(debugMessage);
        return error;
    }

    /// The declaration in `bundle` names `namedSigner` (a team identifier, or "Apple"), but the
    /// code is signed by `codeSigner` (none when the signature names no team).
    static InitializationError signerMismatch(ZRURL bundle, std::string namedSigner,
                                              std::optional<std::string> codeSigner) {
        InitializationError error(Case::signerMismatch, std::move(bundle));
        error._namedSigner = std::move(namedSigner);
        error._codeSigner = std::move(codeSigner);
        return error;
    }

    Case errorCase() const { return _case; }
    std::string_view caseName() const;
    /// The bundle or file concerned.
    const ZRURL& url() const { return _url; }
    const std::optional<std::string>& debugMessage() const { return _debugMessage; }
    /// For signerMismatch: the signer the declaration names, and the team that signed the code.
    const std::string& namedSigner() const { return _namedSigner; }
    const std::optional<std::string>& codeSigner() const { return _codeSigner; }
    std::string errorDescription() const override;

private:
    InitializationError(Case errorCase, ZRURL url)
        : _case(errorCase)
        , _url(std::move(url)) {}
    Case _case;
    ZRURL _url;
    std::optional<std::string> _debugMessage;
    std::string _namedSigner;
    std::optional<std::string> _codeSigner;
};
