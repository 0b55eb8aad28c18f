#pragma once

#include <cstdint>
#include <string>

/// The status values the signature checker reports, with the numbers other code-signing tools use
/// for them, so that classifications written against those numbers apply unchanged.
namespace ZROSStatus {

using Value = std::int32_t;

inline constexpr Value success = 0;
inline constexpr Value errSecCSUnsigned = -67062;
inline constexpr Value errSecCSSignatureFailed = -67061;
inline constexpr Value errSecCSSignatureNotVerifiable = -67060;
inline constexpr Value errSecCSSignatureUnsupported = -67059;
inline constexpr Value errSecCSBadDictionaryFormat = -67058;
inline constexpr Value errSecCSResourcesNotSealed = -67057;
inline constexpr Value errSecCSResourcesNotFound = -67056;
inline constexpr Value errSecCSResourcesInvalid = -67055;
inline constexpr Value errSecCSBadResource = -67054;
inline constexpr Value errSecCSResourceRulesInvalid = -67053;
inline constexpr Value errSecCSReqInvalid = -67052;
inline constexpr Value errSecCSReqUnsupported = -67051;
inline constexpr Value errSecCSReqFailed = -67050;
inline constexpr Value errSecCSBadObjectFormat = -67049;
inline constexpr Value errSecCSSignatureInvalid = -67045;
inline constexpr Value errSecCSInfoPlistFailed = -67030;
inline constexpr Value errSecCSNoMainExecutable = -67029;
inline constexpr Value errSecCSResourceDirectoryFailed = -67023;
inline constexpr Value errSecCSUnsignedNestedCode = -67022;
inline constexpr Value errSecCSBadNestedCode = -67021;
inline constexpr Value errSecCSBadBundleFormat = -67028;
inline constexpr Value errSecCSResourceNotSupported = -67016;
inline constexpr Value errSecCSRegularFile = -67015;
inline constexpr Value errSecCSUnsealedAppRoot = -67014;
inline constexpr Value errSecCSWeakResourceRules = -67013;
inline constexpr Value errSecCSBadMainExecutable = -67010;
inline constexpr Value errSecCSBadFrameworkVersion = -67009;
inline constexpr Value errSecCSUnsealedFrameworkRoot = -67008;
inline constexpr Value errSecCSWeakResourceEnvelope = -67007;
inline constexpr Value errSecCSInvalidSymlink = -67003;
inline constexpr Value errSecCSUnsupportedDigestAlgorithm = -67000;
inline constexpr Value errSecCSBadTeamIdentifier = -66997;
inline constexpr Value errSecCSSignatureUntrusted = -66996;
/// Trust-policy failures keep the certificate library's numbering (0x800121xx).
inline constexpr Value trustCertificateExpired = static_cast<Value>(0x8001210Au);
inline constexpr Value trustCertificateNotValidYet = static_cast<Value>(0x8001210Bu);
inline constexpr Value trustCertificateRevoked = static_cast<Value>(0x8001210Cu);
inline constexpr Value trustNotTrusted = static_cast<Value>(0x8001212Au);
/// POSIX-style failures while opening the file.
inline constexpr Value errSecIO = -36;
inline constexpr Value errSecCSStaticCodeNotFound = -67068;

/// A short English text for a status ("code object is not signed at all").
std::string description(Value status);

} // namespace ZROSStatus
