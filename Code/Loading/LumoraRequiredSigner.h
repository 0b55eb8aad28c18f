#pragma once

#include "Code/Model/LumoraSource.h"
#include "ZRFoundation/CodeSigning/ZRCodeSignatureCheckResult.h"

#include <optional>
#include <string>

/// Binds a declaration to its signer: a source that names a required signer
/// ("CodeSignatureTeamIdentifier") is accepted only from code that signer signed, so that a
/// declaration copied into someone else's bundle is not shown under its author's name.
namespace LumoraRequiredSigner {

/// The team that signed: the code directory's team identifier. Code directories older than
/// version 0x20200 carry none; the leaf certificate's organizational unit then names the team.
std::optional<std::string> signingTeam(const ZRCodeSignatureCheckResult& result);

/// Throws Lumora::InitializationError::signerMismatch (with the source's bundle) when `source`
/// requires a signer other than the one of `result`; sources without a requirement always pass.
void verify(const Lumora::Source& source, const ZRCodeSignatureCheckResult& result);

} // namespace LumoraRequiredSigner
