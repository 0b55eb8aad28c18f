#pragma once

#include "ZRFoundation/CodeSigning/ZRCodeSigningResult.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

/// A code requirement: decoded from its compiled form (magic 0xfade0c00) or compiled from the
/// text language, printed the way signing tools print designated requirements, and evaluated
/// against a verified signature.
class ZRCodeRequirement {
public:
    static constexpr std::uint32_t magic = 0xfade0c00;
    static constexpr std::uint32_t setMagic = 0xfade0c01;
    static constexpr std::uint32_t designatedRequirementType = 3;
    static constexpr std::size_t maximumDepth = 64;
    static constexpr std::size_t maximumNodeCount = 4096;

    /// What a requirement is evaluated against.
    struct Context {
        std::string identifier;
        /// The certificate chain, leaf first, DER.
        std::vector<std::vector<std::uint8_t>> certificates;
        /// The chain ends at one of Apple's roots (or an anchor the caller added explicitly).
        bool appleAnchored = false;
        std::vector<std::uint8_t> cdhash;
        std::uint8_t platform = 0;
        /// String values of the bound Info.plist, looked up by key; null when there is none.
        std::function<std::optional<std::string>(std::string_view)> infoValue;
    };

    /// errSecCSReqInvalid for damaged bytes, errSecCSReqUnsupported for unknown operations.
    static ZRCodeSigningResult<ZRCodeRequirement> fromBlob(std::span<const std::uint8_t> blob);
    static ZRCodeSigningResult<ZRCodeRequirement> fromText(std::string_view text);
    /// The requirements of a requirement set blob (magic 0xfade0c01), keyed by type (3 is the
    /// designated requirement).
    static ZRCodeSigningResult<std::map<std::uint32_t, ZRCodeRequirement>>
    requirementSet(std::span<const std::uint8_t> blob);

    std::string text() const;
    /// The compiled form (magic 0xfade0c00).
    std::vector<std::uint8_t> blob() const;
    /// A requirement set blob (magic 0xfade0c01) holding the given requirements by type.
    static std::vector<std::uint8_t>
    requirementSetBlob(const std::map<std::uint32_t, ZRCodeRequirement>& requirements);
    /// 0 when satisfied, errSecCSReqFailed when not, errSecCSReqUnsupported when the requirement
    /// uses something this platform cannot evaluate.
    std::int32_t evaluate(const Context& context) const;

    struct Node;

private:
    explicit ZRCodeRequirement(std::shared_ptr<const Node> root)
        : _root(std::move(root)) {}

    std::shared_ptr<const Node> _root;
};
