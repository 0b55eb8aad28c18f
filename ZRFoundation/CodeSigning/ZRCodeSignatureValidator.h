#pragma once

#include "ZRFoundation/CodeSigning/ZRCodeRequirement.h"
#include "ZRFoundation/CodeSigning/ZRCodeSigningError.h"
#include "ZRFoundation/CodeSigning/ZREntitlements.h"
#include "ZRFoundation/CodeSigning/ZROSStatus.h"
#include "ZRFoundation/CodeSigning/ZRTrustEvaluator.h"

#include <cstdint>
#include <ctime>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <vector>

/// Validates the embedded signature of one executable file (thin or universal) and yields one
/// status, in the order a signing verifier works: code directories, CMS signature and
/// certificate chain, special slots, page hashes, the caller's requirement, then the strict
/// structure checks. Bundles call it for their main executable with the bundle's Info.plist and
/// sealed resource directory bytes, which special slots 1 and 3 bind.
class ZRCodeSignatureValidator {
public:
    struct Request {
        std::filesystem::path executable;
        /// The Info.plist bound by special slot 1. Without it a single executable's
        /// __TEXT,__info_plist section is used.
        std::optional<std::vector<std::uint8_t>> infoPlist;
        /// The sealed resource directory bound by special slot 3 (_CodeSignature/CodeResources);
        /// checked only when given.
        std::optional<std::vector<std::uint8_t>> resourceDirectory;
        /// Applied to every examined slice; a failure gives errSecCSReqFailed.
        std::optional<ZRCodeRequirement> requirement;
        bool allArchitectures = true;
        /// Examine only this architecture ("i386"); the file must contain it.
        std::optional<std::string> architecture;
        bool strict = true;
        std::vector<ZRTrustEvaluator::Certificate> extraTrustAnchors;
    };

    /// What the signature of the main slice says, whether or not it validates.
    struct SigningInformation {
        std::string architecture;
        bool isSigned = false;
        std::uint32_t flags = 0;
        std::optional<std::string> identifier;
        std::optional<std::string> teamIdentifier;
        /// Of the best code directory, 20 bytes.
        std::vector<std::uint8_t> cdhash;
        std::uint8_t platform = 0;
        /// The best code directory hashes the resource envelope (special slot 3).
        bool sealsResourceDirectory = false;
        /// The chain as evaluated, leaf first (DER); when no chain could be built, the certificates
        /// the signature carries, in their order.
        std::vector<ZRTrustEvaluator::Certificate> certificates;
        bool appleAnchored = false;
        bool extraAnchorUsed = false;
        std::string trustErrorDescription;
        std::optional<std::time_t> timestamp;
        std::optional<std::time_t> signingTime;
        /// The Info.plist bytes bound by special slot 1, when there are any.
        std::optional<std::vector<std::uint8_t>> infoPlist;
        /// The designated requirement as text, when the signature carries one.
        std::optional<std::string> designatedRequirement;
        /// What the entitlements blobs whose hashes the best code directory holds grant, with its
        /// hardened-runtime flag; blobs it does not vouch for are ignored.
        ZREntitlements entitlements;

        bool isAdhoc() const { return (flags & 0x2) != 0; }
    };

    struct Outcome {
        /// Set when the file cannot be examined at all (unreadable, malformed Mach-O, missing
        /// architecture): there is then no signing information.
        std::optional<ZRCodeSigningError> creationError;
        ZROSStatus::Value status = ZROSStatus::success;
        std::string description;
        SigningInformation information;

        /// The status of the whole attempt: the creation error's, or the validation's.
        ZROSStatus::Value overallStatus() const { return creationError ? creationError->status : status; }
    };

    static Outcome validate(const Request& request);
    /// The same over bytes already in memory (`request.executable` only names them).
    static Outcome validate(std::span<const std::uint8_t> bytes, const Request& request);
};
