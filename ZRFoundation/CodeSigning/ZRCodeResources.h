#pragma once

#include "ZRFoundation/CodeSigning/ZRResourceRule.h"
#include "ZRFoundation/PropertyList/ZRPropertyList.h"

#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <vector>

/// What the envelope records for one path.
struct ZRResourceSeal {
    enum class Kind : std::uint8_t { file, symlink, nestedCode };
    Kind kind = Kind::file;
    /// For files: SHA-1 ("hash") and SHA-256 ("hash2") digests; either may be missing.
    std::vector<std::uint8_t> sha1;
    std::vector<std::uint8_t> sha256;
    /// For symbolic links: the recorded target.
    std::string symlinkTarget;
    /// For nested code: the designated requirement text (the recorded cdhash is not used).
    std::string requirement;
    bool optional = false;
};

/// A bundle's resource envelope (`_CodeSignature/CodeResources`): the version 2 seal ("files2",
/// "rules2") when present, the version 1 seal ("files", "rules") otherwise.
class ZRCodeResources {
public:
    struct ParseFailure {
        std::string description;
    };

    /// Validates every entry it keeps: a malformed rule or seal entry fails the whole envelope.
    static std::optional<ZRCodeResources> codeResources(const ZRPropertyList& envelope,
                                                        std::string* failure = nullptr);
    /// Reads the envelope bytes (any property-list form) and validates them.
    static std::optional<ZRCodeResources> codeResourcesFromData(std::span<const std::uint8_t> bytes,
                                                                std::string* failure = nullptr);

    /// True when the envelope has "files2" and "rules2".
    bool isVersion2() const { return _isVersion2; }
    const ZRResourceRuleSet& rules() const { return _rules; }
    const std::map<std::string, ZRResourceSeal>& seals() const { return _seals; }
    /// The "files2" dictionary as it stands in the envelope (empty for a version 1 seal).
    const ZRPropertyListDictionary& files2() const { return _files2; }

private:
    ZRCodeResources(bool isVersion2, ZRResourceRuleSet rules, std::map<std::string, ZRResourceSeal> seals,
                    ZRPropertyListDictionary files2)
        : _isVersion2(isVersion2)
        , _rules(std::move(rules))
        , _seals(std::move(seals))
        , _files2(std::move(files2)) {}

    bool _isVersion2;
    ZRResourceRuleSet _rules;
    std::map<std::string, ZRResourceSeal> _seals;
    ZRPropertyListDictionary _files2;
};
