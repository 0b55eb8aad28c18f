#include "ZRFoundation/CodeSigning/ZROSStatus.h"

namespace ZROSStatus {

std::string description(Value status) {
    switch (status) {
    case success:
        return "No error.";
    case errSecCSUnsigned:
        return "code object is not signed at all";
    case errSecCSSignatureFailed:
        return "invalid signature (code or signature have been modified)";
    case errSecCSSignatureNotVerifiable:
        return "the code signature cannot be verified";
    case errSecCSSignatureUnsupported:
        return "unsupported type or version of signature";
    case errSecCSBadDictionaryFormat:
        return "a required plist file or resource is malformed";
    case errSecCSResourcesNotSealed:
        return "resources are not sealed";
    case errSecCSResourcesNotFound:
        return "code has no resources but signature indicates they must be present";
    case errSecCSResourcesInvalid:
        return "the sealed resource directory is invalid";
    case errSecCSBadResource:
        return "a sealed resource is missing or invalid";
    case errSecCSReqInvalid:
        return "invalid or corrupted code requirement(s)";
    case errSecCSReqUnsupported:
        return "unsupported type of code requirement";
    case errSecCSReqFailed:
        return "code failed to satisfy specified code requirement(s)";
    case errSecCSBadObjectFormat:
        return "the object file format is invalid or unsuitable";
    case errSecCSSignatureInvalid:
        return "the signature is internally inconsistent";
    case errSecCSInfoPlistFailed:
        return "Info.plist failed to validate";
    case errSecCSNoMainExecutable:
        return "code object lacks a main executable";
    case errSecCSResourceDirectoryFailed:
        return "the sealed resource directory does not match its hash";
    case errSecCSUnsignedNestedCode:
        return "nested code is unsigned";
    case errSecCSBadNestedCode:
        return "nested code is modified or invalid";
    case errSecCSBadBundleFormat:
        return "bundle format unrecognized, invalid, or unsuitable";
    case errSecCSResourceNotSupported:
        return "a resource of an unsupported kind is present";
    case errSecCSRegularFile:
        return "the main executable or Info.plist must be a regular file";
    case errSecCSUnsealedAppRoot:
        return "unsealed contents present in the bundle root";
    case errSecCSWeakResourceRules:
        return "the resource rules omit or exclude too much";
    case errSecCSBadFrameworkVersion:
        return "a framework version failed to validate";
    case errSecCSUnsealedFrameworkRoot:
        return "unsealed contents present in the root directory of a framework";
    case errSecCSWeakResourceEnvelope:
        return "the resource envelope is obsolete (version 1 signature)";
    case errSecCSInvalidSymlink:
        return "a symbolic link points outside the bundle";
    case errSecCSBadMainExecutable:
        return "main executable failed strict validation";
    case errSecCSUnsupportedDigestAlgorithm:
        return "unsupported digest algorithm";
    case errSecCSBadTeamIdentifier:
        return "the team identifier of the code directory differs from the signing certificate";
    case errSecCSSignatureUntrusted:
        return "the signing certificate is not trusted";
    case trustCertificateExpired:
        return "a certificate of the chain has expired";
    case trustCertificateNotValidYet:
        return "a certificate of the chain is not yet valid";
    case trustCertificateRevoked:
        return "a certificate of the chain has been revoked";
    case trustNotTrusted:
        return "the certificate chain is not trusted";
    case errSecCSStaticCodeNotFound:
        return "the file cannot be opened";
    case errSecIO:
        return "the file cannot be read";
    default:
        return "code-signing status " + std::to_string(status);
    }
}

} // namespace ZROSStatus
