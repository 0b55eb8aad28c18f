#pragma once

#include "tools/FixtureSigner/FixtureCertificate.h"
#include "tools/FixtureSigner/FixtureMachOBuilder.h"

#include <cstdint>
#include <ctime>
#include <optional>
#include <span>
#include <string>
#include <vector>

/// Signs fixture executables the way Apple's tools do: code directories (SHA-1 in slot 0 and
/// SHA-256 as alternate by default), a requirement set with a designated requirement, and a CMS
/// signature over the slot-0 code directory with both cdhash attributes and an optional
/// timestamp; or ad hoc (empty CMS wrapper) or linker-signed (code directory only).
class FixtureSigner {
public:
    enum class Kind : std::uint8_t { certificate, adhoc, linkerSigned };

    struct Options {
        Kind kind = Kind::certificate;
        std::string identifier = "com.example.fixture";
        std::optional<std::string> teamIdentifier;
        /// Code directories in slot order: the first goes to slot 0, the rest to 0x1000 onwards.
        std::vector<std::uint8_t> hashTypes = {1, 2};
        /// log2 of the page size; 0 hashes the code as one page.
        std::uint8_t pageSizeShift = 12;
        std::uint32_t version = 0x20400;
        std::uint32_t extraFlags = 0;
        /// Signer and the certificates to enclose after it (intermediates, root).
        const FixtureCertificate* signer = nullptr;
        std::vector<const FixtureCertificate*> chain;
        const FixtureCertificate* timestampAuthority = nullptr;
        std::vector<const FixtureCertificate*> timestampChain;
        std::optional<std::time_t> timestampTime;
        std::optional<std::string> designatedRequirement;
        bool bindInfoPlist = true;
        /// For a bundle's main executable: the Info.plist file bound by special slot 1 (instead
        /// of the embedded section) and the resource envelope bound by special slot 3.
        std::optional<std::vector<std::uint8_t>> bundleInfoPlist;
        std::optional<std::vector<std::uint8_t>> resourceDirectory;
        bool codeDirectoryHashAttributes = true;
        /// Entitlements blobs (header included, see FixtureEntitlements) stored in special slots 5
        /// (XML) and 7 (DER), and hashed there by the code directories unless `hashEntitlements`
        /// is false. The hardened runtime is extraFlags 0x10000.
        std::optional<std::vector<std::uint8_t>> entitlements;
        std::optional<std::vector<std::uint8_t>> derEntitlements;
        bool hashEntitlements = true;
    };

    /// One signed slice.
    static std::vector<std::uint8_t> sign(const FixtureMachOBuilder::Executable& executable,
                                          const Options& options);
    static std::vector<std::uint8_t> makeUnsigned(const FixtureMachOBuilder::Executable& executable);
    /// The CMS signature of `content` as the options describe (DER).
    static std::vector<std::uint8_t>
    cmsSignature(std::span<const std::uint8_t> content,
                 const std::vector<std::vector<std::uint8_t>>& codeDirectories, const Options& options);
    /// The designated requirement Apple's tools write for a Developer ID signature.
    static std::string developerIDRequirement(const std::string& identifier,
                                              const std::string& teamIdentifier);
};
