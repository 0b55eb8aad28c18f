#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include <unicode/uversion.h>

U_NAMESPACE_BEGIN
class RegexPattern;
U_NAMESPACE_END

/// The compiled form of a resource rule's pattern: a POSIX extended regular expression, as
/// regcomp(REG_EXTENDED | REG_NOSUB) reads it on the platform that signs bundles, matched with a
/// bound on the work one path may cost.
///
/// The pattern is translated into ICU's syntax and matched by ICU, whose matcher counts its steps
/// and can be stopped; an automaton-based matcher cannot be stopped, and its compiled form grows
/// exponentially with nested repetitions. POSIX extended expressions define no back-references,
/// so "\1" to "\9" are refused rather than given the GNU meaning (they are what makes a match
/// take exponential time in any engine). Bracket expressions, anchors, alternation, grouping
/// and "*", "+", "?" keep their POSIX meaning; a backslash before any other character makes it
/// literal; collating elements and equivalence classes are refused.
class ZRResourceRulePattern {
public:
    enum class Match : std::uint8_t { no, yes, limitExceeded };

    /// Matching work allowed for one path across all the rules tried on it, in units of 10,000
    /// steps of ICU's matcher (its time-limit ticks). Ordinary rules take a few hundred steps
    /// on an ordinary path, far below one unit; 250 units stop a runaway match within about a
    /// tenth of a second.
    class Budget {
    public:
        static constexpr std::int32_t defaultUnits = 250;
        explicit Budget(std::int32_t units = defaultUnits)
            : _remainingUnits(units) {}
        bool exhausted() const { return _remainingUnits <= 0; }
        std::int32_t remainingUnits() const { return _remainingUnits; }

    private:
        friend class ZRResourceRulePattern;
        std::int32_t _remainingUnits;
    };

    /// The compiled pattern, shared: every envelope carries the same few rules, so each is
    /// compiled once per process. None when the pattern is not a valid POSIX extended regular
    /// expression or uses a feature refused above.
    static std::shared_ptr<const ZRResourceRulePattern> compile(const std::string& pattern);

    /// Whether the pattern matches anywhere in `text`, spending from `budget`. Once the budget
    /// runs out the answer is `limitExceeded`, never a guess.
    Match match(std::string_view text, Budget& budget) const;

    ~ZRResourceRulePattern();
    ZRResourceRulePattern(const ZRResourceRulePattern&) = delete;
    ZRResourceRulePattern& operator=(const ZRResourceRulePattern&) = delete;

private:
    explicit ZRResourceRulePattern(std::unique_ptr<icu::RegexPattern> compiled);
    std::unique_ptr<icu::RegexPattern> _compiled;
};
