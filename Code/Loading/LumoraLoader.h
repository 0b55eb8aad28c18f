#pragma once

#include "Code/Loading/LumoraInitializationError.h"
#include "Code/Model/Lumora.h"
#include "ZRFoundation/URL/ZRURL.h"

#include <cstdint>
#include <vector>

/// Loads the verified document of an application bundle (a directory URL) or of a single
/// executable (a file URL). Throws Lumora::InitializationError, ZRBundleResourceVerifier::Error,
/// Lumora::Source::ParseError or ZRCodeSignatureCheckError.
namespace LumoraLoader {

struct Options {
    /// Roots accepted besides Apple's; a document accepted through one is marked as such.
    std::vector<std::vector<std::uint8_t>> extraTrustAnchors;
};

/// The names the loader looks for.
inline constexpr std::string_view lumoraResourceName = "Lumora";
inline constexpr std::string_view lumoraTableName = "Lumora";

Lumora load(const ZRURL& url, const Options& options = {});

} // namespace LumoraLoader
