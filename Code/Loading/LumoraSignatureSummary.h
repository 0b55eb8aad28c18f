#pragma once

#include "ZRFoundation/CodeSigning/ZRCodeSignatureCheckResult.h"

#include <cstdint>
#include <ctime>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

/// Who signed an application's main executable, as the reader is told it: the kind of signature,
/// the signer and the team, and the moment a timestamp authority vouches for.
struct LumoraSignatureSummary {
    enum class Kind : std::uint8_t {
        developerID,
        macAppStore,
        apple,
        development,
        adHoc,
        notSigned,
        invalid
    };

    Kind kind = Kind::notSigned;
    /// The signer with its team ("Example Ltd (FIXTURE123)"), for valid certificate signatures.
    std::optional<std::string> author;
    /// The code directory's team, or the leaf certificate's unit for code directories without one;
    /// for valid certificate signatures.
    std::optional<std::string> teamIdentifier;
    /// Only a time a timestamp authority signed for a valid signature, never the time the signer
    /// states.
    std::optional<std::time_t> secureTimestamp;
    /// The checker's reason, for `invalid`.
    std::optional<std::string> error;

    /// "developerID", "macAppStore", "apple", "development", "adHoc", "unsigned", "invalid".
    static std::string_view kindName(Kind kind);
    /// The secure timestamp in UTC as ISO 8601 ("2023-02-10T17:03:37Z").
    std::optional<std::string> secureTimestampText() const;

    /// From the check result of the main executable. The author is ZRCodeInfo's, described from
    /// the check result's own leaf certificate rather than by reading and evaluating the file again.
    static LumoraSignatureSummary make(const ZRCodeSignatureCheckResult& result);

    /// Checks the application (a bundle folder or an executable) with the sealed resource list only,
    /// as the loader does, so that a fresh answer comes from the checker's cache; none when the
    /// signature cannot be read at all.
    static std::optional<LumoraSignatureSummary>
    read(const std::filesystem::path& application,
         const std::vector<std::vector<std::uint8_t>>& extraTrustAnchors);

    bool operator==(const LumoraSignatureSummary&) const = default;
};
