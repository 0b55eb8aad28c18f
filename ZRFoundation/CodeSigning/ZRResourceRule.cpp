#include "ZRFoundation/CodeSigning/ZRResourceRule.h"

#include "ZRFoundation/PropertyList/ZRPropertyList.h"

#include <cmath>
#include <mutex>
#include <unordered_map>

#include <regex.h>

namespace {

// Patterns come from the signed envelope, which an attacker may have written: keep them short.
constexpr std::size_t maximumPatternLength = 1024;
// The platform's regular-expression compiler copies the operand of every "+" and interval, so
// stacked or nested repetitions grow the compiled form exponentially. Signing tools write none
// of those forms: refuse intervals, a repetition right after another, and more than a few "+".
constexpr std::size_t maximumPlusCount = 8;
// Distinct patterns kept compiled for the process.
constexpr std::size_t maximumSharedPatternCount = 512;

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

struct ZRResourceRule::CompiledPattern {
    regex_t expression{};
    bool compiled = false;
    CompiledPattern() = default;
    CompiledPattern(const CompiledPattern&) = delete;
    CompiledPattern& operator=(const CompiledPattern&) = delete;
    ~CompiledPattern() {
        if (compiled) {
            regfree(&expression);
        }
    }

    /// The compiled pattern, shared: every envelope carries the same few rules, so each is
    /// compiled once per process (matching with one compiled expression from several threads is
    /// safe). None when the pattern does not compile.
    static std::shared_ptr<const CompiledPattern> compile(const std::string& pattern) {
        static std::mutex mutex;
        static std::unordered_map<std::string, std::shared_ptr<const CompiledPattern>> patterns;
        {
            std::lock_guard lock(mutex);
            if (const auto found = patterns.find(pattern); found != patterns.end()) {
                return found->second;
            }
        }
        auto fresh = std::make_shared<CompiledPattern>();
        if (regcomp(&fresh->expression, pattern.c_str(), REG_EXTENDED | REG_NOSUB) != 0) {
            return nullptr;
        }
        fresh->compiled = true;
        std::lock_guard lock(mutex);
        if (patterns.size() >= maximumSharedPatternCount) {
            // Rules keep their own references; the map only saves compiling again.
            patterns.clear();
        }
        return patterns.try_emplace(pattern, std::move(fresh)).first->second;
    }
};

std::optional<ZRResourceRule> ZRResourceRule::rule(std::string_view pattern, double weight, unsigned flags) {
    if (pattern.size() > maximumPatternLength || pattern.find('\0') != std::string_view::npos ||
        !isSafePattern(pattern) || !std::isfinite(weight)) {
        return std::nullopt;
    }
    const std::string terminated(pattern);
    auto compiled = CompiledPattern::compile(terminated);
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

bool ZRResourceRule::matches(std::string_view relativePath) const {
    const std::string terminated(relativePath);
    return regexec(&_compiled->expression, terminated.c_str(), 0, nullptr, 0) == 0;
}

const ZRResourceRule* ZRResourceRuleSet::ruleForPath(std::string_view relativePath) const {
    const ZRResourceRule* best = nullptr;
    for (const auto& rule : _rules) {
        if (!rule.matches(relativePath)) {
            continue;
        }
        if (rule.hasFlag(ZRResourceRule::exclusion)) {
            return &rule;
        }
        if (best == nullptr || rule.weight() > best->weight()) {
            best = &rule;
        }
    }
    return best;
}
