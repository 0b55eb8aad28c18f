#pragma once

#include "ZRFoundation/CodeSigning/ZRCodeSigningResult.h"
#include "ZRFoundation/PropertyList/ZRPropertyList.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

/// What an executable's signature grants it: the entitlements its code directory seals (the XML
/// property list of special slot 5, or the DER form of slot 7 when only that one is present) and
/// the hardened-runtime flag of the code directory. Only the few grants the viewer shows are kept.
struct ZREntitlements {
    static constexpr std::string_view appSandboxKey = "com.apple.security.app-sandbox";
    static constexpr std::string_view networkClientKey = "com.apple.security.network.client";
    static constexpr std::string_view networkServerKey = "com.apple.security.network.server";
    /// The deepest nesting of arrays and dictionaries the DER reader follows.
    static constexpr std::size_t maximumDERDepth = 32;

    bool appSandbox = false;
    bool networkClient = false;
    bool networkServer = false;
    bool hardenedRuntime = false;
    /// Why the sealed entitlements could not be read; the grants above then read as absent.
    std::optional<std::string> error;

    bool operator==(const ZREntitlements&) const = default;

    /// The dictionary of an XML entitlements blob (magic 0xfade7171, header included).
    static ZRCodeSigningResult<ZRPropertyListDictionary> readXMLBlob(std::span<const std::uint8_t> blob);
    /// The dictionary of a DER entitlements blob (magic 0xfade7172, header included): an
    /// [APPLICATION 16] sequence of version 1 and a [CONTEXT 16] dictionary whose entries are
    /// sequences of a UTF8String key and a Boolean, UTF8String, INTEGER, SEQUENCE (array) or
    /// dictionary value.
    static ZRCodeSigningResult<ZRPropertyListDictionary> readDERBlob(std::span<const std::uint8_t> blob);

    /// The grants of sealed blobs (the XML one wins; either may be absent) and code directory flags.
    static ZREntitlements make(std::optional<std::span<const std::uint8_t>> xmlBlob,
                               std::optional<std::span<const std::uint8_t>> derBlob,
                               std::uint32_t codeDirectoryFlags);
};
