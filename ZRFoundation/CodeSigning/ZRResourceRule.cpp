#include "ZRFoundation/CodeSigning/ZRResourceRule.h"

#include "ZRFoundation/PropertyList/ZRPropertyList.h"

#include <cmath>

namespace {

// Patterns come from the signed envelope, which an attacker may have written: keep them short.
constexpr std::size_t maximumPatternLength = 1024;
// Signing tools write no intervals, no repetition right after another and few "+". Refusing
// them keeps the patterns a hostile envelope can bring to the forms signing tools use.
constexpr std::size_t maximumPlusCount = 8;

bool isSafePattern(std::string_view pattern) {
    std::size_t plusCount = 0;
    bool previousWasRepetition = false;
    for (std::size_t index = 0; index < pattern.size(); ++index) {
        const char c = pattern[index];
        if (c == '\\') {
            ++index;
            previousWasRepetition = false;
            continue;
        }
        const bool isRepetition = c == '*' || c == '+' || c == '?';
        if (c == '{' || (isRepetition && previousWasRepetition)) {
            return false;
        }
        if (c == '+' && ++plusCount > maximumPlusCount) {
            return false;
        }
        previousWasRepetition = isRepetition;
    }
    return true;
}

} // namespace

std::optional<ZRResourceRule> ZRResourceRule::rule(std::string_view pattern, double weight, unsigned flags) {
    if (pattern.size() > maximumPatternLength || pattern.find('\0') != std::string_view::npos ||
        !isSafePattern(pattern) || !std::isfinite(weight)) {
        return std::nullopt;
    }
    const std::string terminated(pattern);
    auto compiled = ZRResourceRulePattern::compile(terminated);
    if (!compiled) {
        return std::nullopt;
    }
    return ZRResourceRule(terminated, weight, flags, std::move(compiled));
}

std::optional<ZRResourceRule> ZRResourceRule::rule(std::string_view pattern, const ZRPropertyList& value) {
    if (const auto include = value.booleanValue()) {
        return rule(pattern, 1.0, *include ? 0U : unsigned{exclusion});
    }
    const auto* settings = value.dictionaryValue();
    if (settings == nullptr) {
        return std::nullopt;
    }
    double weight = 1.0;
    if (const auto* weightValue = settings->find("weight")) {
        const auto number = weightValue->realValue();
        if (!number) {
            return std::nullopt;
        }
        weight = *number;
    }
    unsigned flags = 0;
    const auto isSet = [&](std::string_view key) {
        const auto* flag = settings->find(key);
        return flag != nullptr && flag->booleanValue().value_or(false);
    };
    if (isSet("omit")) {
        flags |= omitted;
    }
    if (isSet("optional")) {
        flags |= optional;
    }
    if (isSet("nested")) {
        flags |= nested;
    }
    return rule(pattern, weight, flags);
}

ZRResourceRuleSet::Selection ZRResourceRuleSet::ruleForPath(std::string_view relativePath) const {
    ZRResourceRule::MatchBudget budget;
    return ruleForPath(relativePath, budget);
}

ZRResourceRuleSet::Selection ZRResourceRuleSet::ruleForPath(std::string_view relativePath,
                                                            ZRResourceRule::MatchBudget& budget) const {
    const ZRResourceRule* best = nullptr;
    for (const auto& rule : _rules) {
        const auto match = rule.match(relativePath, budget);
        if (match == ZRResourceRule::Match::limitExceeded) {
            return {.rule = nullptr, .matchingLimitExceeded = true};
        }
        if (match == ZRResourceRule::Match::no) {
            continue;
        }
        if (rule.hasFlag(ZRResourceRule::exclusion)) {
            return {.rule = &rule};
        }
        if (best == nullptr || rule.weight() > best->weight()) {
            best = &rule;
        }
    }
    return {.rule = best};
}
