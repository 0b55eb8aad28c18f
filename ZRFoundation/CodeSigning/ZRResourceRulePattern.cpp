#include "ZRFoundation/CodeSigning/ZRResourceRulePattern.h"

#include "ZRFoundation/Text/ZRUTF8.h"

#include <array>
#include <cstdio>
#include <limits>
#include <mutex>
#include <optional>
#include <unordered_map>
#include <vector>

#include <unicode/regex.h>

namespace {

// Distinct patterns kept compiled for the process.
constexpr std::size_t maximumSharedPatternCount = 512;
// Backtracking memory one match may use.
constexpr std::int32_t maximumMatchStackBytes = 1024 * 1024;

// The POSIX character classes, as ICU properties with the same intent.
struct CharacterClass {
    std::string_view name;
    std::string_view property;
};
constexpr std::array<CharacterClass, 12> characterClasses = {{
    {"alnum", "\\p{alnum}"},
    {"alpha", "\\p{Alphabetic}"},
    {"blank", "\\p{blank}"},
    {"cntrl", "\\p{Cc}"},
    {"digit", "\\p{Nd}"},
    {"graph", "\\p{graph}"},
    {"lower", "\\p{Lowercase}"},
    {"print", "\\p{print}"},
    {"punct", "\\p{P}"},
    {"space", "\\p{White_Space}"},
    {"upper", "\\p{Uppercase}"},
    {"xdigit", "\\p{xdigit}"},
}};

// Rewrites a POSIX extended regular expression in ICU's syntax. Every character that stands for
// itself is written as \x{…}, which ICU reads literally inside and outside sets, so no character
// can take on a meaning ICU gives it and POSIX does not.
class POSIXPatternTranslator {
public:
    explicit POSIXPatternTranslator(std::vector<UChar32> pattern)
        : _pattern(std::move(pattern)) {}

    std::optional<icu::UnicodeString> translate() {
        while (_index < _pattern.size()) {
            if (!translateNext()) {
                return std::nullopt;
            }
        }
        return _output;
    }

private:
    bool translateNext() {
        const UChar32 c = _pattern[_index++];
        switch (c) {
        case '\\':
            return escaped();
        case '[':
            return bracketExpression();
        case '(':
            append("(?:");
            return true;
        case '$':
            // The end of the text only; ICU's "$" also matches before a final line end.
            append("\\z");
            return true;
        case '{':
            // Intervals are refused before a pattern gets here; refuse them here too.
            return false;
        case ')':
        case '|':
        case '*':
        case '+':
        case '?':
        case '.':
        case '^':
            _output.append(c);
            return true;
        default:
            appendLiteral(c);
            return true;
        }
    }

    bool escaped() {
        if (_index >= _pattern.size()) {
            return false;
        }
        const UChar32 c = _pattern[_index++];
        // A back-reference in the GNU and enhanced dialects; POSIX has none.
        if (c >= '1' && c <= '9') {
            return false;
        }
        appendLiteral(c);
        return true;
    }

    // "[" has been read. A "]" right after "[" or "[^" is a member; a backslash is a member.
    bool bracketExpression() {
        append("[");
        if (peek() == '^') {
            append("^");
            ++_index;
        }
        bool first = true;
        for (;;) {
            const auto c = peek();
            if (!c) {
                return false;
            }
            if (*c == ']' && !first) {
                ++_index;
                append("]");
                return true;
            }
            first = false;
            if (*c == '[' && (peek(1) == ':' || peek(1) == '=' || peek(1) == '.')) {
                if (!characterClass()) {
                    return false;
                }
                continue;
            }
            if (!memberOrRange()) {
                return false;
            }
        }
    }

    bool memberOrRange() {
        const UChar32 start = _pattern[_index++];
        if (peek() == '-' && peek(1) && *peek(1) != ']') {
            const UChar32 end = *peek(1);
            if (end == '[' || end < start) {
                return false;
            }
            _index += 2;
            appendLiteral(start);
            append("-");
            appendLiteral(end);
            return true;
        }
        appendLiteral(start);
        return true;
    }

    // "[:name:]"; collating elements "[.x.]" and equivalence classes "[=x=]" are refused.
    bool characterClass() {
        if (peek(1) != ':') {
            return false;
        }
        std::string name;
        for (std::size_t index = _index + 2; index + 1 < _pattern.size(); ++index) {
            if (_pattern[index] == ':' && _pattern[index + 1] == ']') {
                for (const auto& characterClass : characterClasses) {
                    if (characterClass.name == name) {
                        append(characterClass.property);
                        _index = index + 2;
                        // A class cannot begin a range.
                        return !(peek() == '-' && peek(1) && *peek(1) != ']');
                    }
                }
                return false;
            }
            if (_pattern[index] < 'a' || _pattern[index] > 'z') {
                return false;
            }
            name += static_cast<char>(_pattern[index]);
        }
        return false;
    }

    std::optional<UChar32> peek(std::size_t ahead = 0) const {
        if (_index + ahead >= _pattern.size()) {
            return std::nullopt;
        }
        return _pattern[_index + ahead];
    }

    void append(std::string_view text) {
        _output.append(icu::UnicodeString::fromUTF8(
            icu::StringPiece(text.data(), static_cast<std::int32_t>(text.size()))));
    }

    void appendLiteral(UChar32 c) {
        char escape[16];
        std::snprintf(escape, sizeof escape, "\\x{%X}", static_cast<unsigned>(c));
        append(escape);
    }

    std::vector<UChar32> _pattern;
    std::size_t _index = 0;
    icu::UnicodeString _output;
};

UBool spendBudgetUnit(const void* context, std::int32_t) {
    auto* remainingUnits = static_cast<std::int32_t*>(const_cast<void*>(context));
    return --*remainingUnits > 0;
}

} // namespace

ZRResourceRulePattern::ZRResourceRulePattern(std::unique_ptr<icu::RegexPattern> compiled)
    : _compiled(std::move(compiled)) {}

ZRResourceRulePattern::~ZRResourceRulePattern() = default;

std::shared_ptr<const ZRResourceRulePattern> ZRResourceRulePattern::compile(const std::string& pattern) {
    static std::mutex mutex;
    static std::unordered_map<std::string, std::shared_ptr<const ZRResourceRulePattern>> patterns;
    {
        std::lock_guard lock(mutex);
        if (const auto found = patterns.find(pattern); found != patterns.end()) {
            return found->second;
        }
    }
    const auto characters = ZRUTF8::codePoints(pattern);
    const auto translated =
        characters
            ? POSIXPatternTranslator(std::vector<UChar32>(characters->begin(), characters->end())).translate()
            : std::nullopt;
    if (!translated) {
        return nullptr;
    }
    UErrorCode status = U_ZERO_ERROR;
    UParseError parseError{};
    std::unique_ptr<icu::RegexPattern> compiled(
        icu::RegexPattern::compile(*translated, UREGEX_DOTALL, parseError, status));
    if (U_FAILURE(status) || !compiled) {
        return nullptr;
    }
    std::shared_ptr<const ZRResourceRulePattern> fresh(new ZRResourceRulePattern(std::move(compiled)));
    std::lock_guard lock(mutex);
    if (patterns.size() >= maximumSharedPatternCount) {
        // Rules keep their own references; the map only saves compiling again.
        patterns.clear();
    }
    return patterns.try_emplace(pattern, std::move(fresh)).first->second;
}

ZRResourceRulePattern::Match ZRResourceRulePattern::match(std::string_view text, Budget& budget) const {
    if (budget.exhausted() ||
        text.size() > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max())) {
        return Match::limitExceeded;
    }
    const icu::UnicodeString subject =
        icu::UnicodeString::fromUTF8(icu::StringPiece(text.data(), static_cast<std::int32_t>(text.size())));
    UErrorCode status = U_ZERO_ERROR;
    // A matcher per call: the compiled pattern is shared between threads, a matcher is not.
    std::unique_ptr<icu::RegexMatcher> matcher(_compiled->matcher(subject, status));
    if (U_FAILURE(status) || !matcher) {
        return Match::limitExceeded;
    }
    // ICU calls back once per 10,000 steps; stopping there ends the match with an error.
    matcher->setMatchCallback(&spendBudgetUnit, &budget._remainingUnits, status);
    matcher->setStackLimit(maximumMatchStackBytes, status);
    const bool found = U_SUCCESS(status) && matcher->find(status);
    if (U_FAILURE(status)) {
        return Match::limitExceeded;
    }
    return found ? Match::yes : Match::no;
}
