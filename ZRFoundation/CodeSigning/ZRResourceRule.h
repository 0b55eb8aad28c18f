#pragma once

#include "ZRFoundation/CodeSigning/ZRResourceRulePattern.h"

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class ZRPropertyList;

/// One rule of a resource envelope: a POSIX extended regular expression over paths relative to
/// the bundle's content folder, with its weight and flags.
class ZRResourceRule {
public:
    using Match = ZRResourceRulePattern::Match;
    using MatchBudget = ZRResourceRulePattern::Budget;

    enum Flag : unsigned {
        omitted = 1U << 0,   // matched files are not sealed
        optional = 1U << 1,  // sealed files may be missing
        nested = 1U << 2,    // matched bundles and Mach-O files are nested code
        exclusion = 1U << 3, // the rule wins at once and excludes the path
    };

    /// The rule for one entry of "rules" or "rules2": `true` includes with weight 1, `false`
    /// excludes, a dictionary may set "weight", "omit", "optional" and "nested". None for a value
    /// of another type or a pattern that does not compile (see ZRResourceRulePattern, which
    /// refuses back-references among others).
    static std::optional<ZRResourceRule> rule(std::string_view pattern, const ZRPropertyList& value);
    static std::optional<ZRResourceRule> rule(std::string_view pattern, double weight, unsigned flags);

    /// Whether the rule matches the path; `limitExceeded` once `budget` is spent.
    Match match(std::string_view relativePath, MatchBudget& budget) const {
        return _compiled->match(relativePath, budget);
    }

    const std::string& pattern() const { return _pattern; }
    double weight() const { return _weight; }
    unsigned flags() const { return _flags; }
    bool hasFlag(Flag flag) const { return (_flags & flag) != 0; }

private:
    ZRResourceRule(std::string pattern, double weight, unsigned flags,
                   std::shared_ptr<const ZRResourceRulePattern> compiled)
        : _pattern(std::move(pattern))
        , _weight(weight)
        , _flags(flags)
        , _compiled(std::move(compiled)) {}

    std::string _pattern;
    double _weight;
    unsigned _flags;
    std::shared_ptr<const ZRResourceRulePattern> _compiled;
};

/// The rules of one envelope; `ruleForPath` picks the one that governs a path: an exclusion that
/// matches wins at once, otherwise the matching rule of the highest weight (the first on ties).
class ZRResourceRuleSet {
public:
    struct Selection {
        /// None when no rule matches, or when matching stopped at its limit.
        const ZRResourceRule* rule = nullptr;
        /// The rules took more than their matching budget on this path: which one governs it is
        /// unknown, and the envelope cannot be validated.
        bool matchingLimitExceeded = false;
    };

    explicit ZRResourceRuleSet(std::vector<ZRResourceRule> rules)
        : _rules(std::move(rules)) {}
    /// All rules share one budget for the path: the default, or `budget`, which is spent.
    [[nodiscard]] Selection ruleForPath(std::string_view relativePath) const;
    [[nodiscard]] Selection ruleForPath(std::string_view relativePath,
                                        ZRResourceRule::MatchBudget& budget) const;
    const std::vector<ZRResourceRule>& rules() const { return _rules; }

private:
    std::vector<ZRResourceRule> _rules;
};
