#include "ZRFoundation/Text/ZRUnicodeText.h"

#include "ZRFoundation/Localization/ZRPreferredLanguages.h"

#include <algorithm>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>

#include <unicode/coll.h>
#include <unicode/locid.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>
#include <unicode/utf8.h>

namespace ZRUnicodeText {

bool isWhitespaceOrNewline(char32_t c) {
    if (c == U'\t' || (c >= U'\n' && c <= U'\r') || c == 0x85) {
        return true;
    }
    const auto type = u_charType(static_cast<UChar32>(c));
    return type == U_SPACE_SEPARATOR || type == U_LINE_SEPARATOR || type == U_PARAGRAPH_SEPARATOR;
}

std::string removingWhitespaceAndNewlines(std::string_view text) {
    std::string result;
    result.reserve(text.size());
    std::size_t offset = 0;
    while (offset < text.size()) {
        const auto lead = static_cast<std::uint8_t>(text[offset]);
        if (lead < 0x80) {
            if (!isWhitespaceOrNewline(lead)) {
                result.push_back(static_cast<char>(lead));
            }
            ++offset;
            continue;
        }
        // Decode one sequence inside a window of at most four bytes, so that offsets stay small
        // whatever the text's length.
        const auto* window = reinterpret_cast<const std::uint8_t*>(text.data() + offset);
        const auto windowLength = static_cast<std::int32_t>(std::min<std::size_t>(4, text.size() - offset));
        std::int32_t consumed = 0;
        UChar32 c = 0;
        U8_NEXT(window, consumed, windowLength, c);
        if (c < 0 || !isWhitespaceOrNewline(static_cast<char32_t>(c))) {
            result.append(text.substr(offset, static_cast<std::size_t>(consumed)));
        }
        offset += static_cast<std::size_t>(consumed);
    }
    return result;
}

bool isWhitespace(char32_t c) {
    return c == U'\t' || u_charType(static_cast<UChar32>(c)) == U_SPACE_SEPARATOR;
}

namespace {

// Decodes the character that starts at `offset`; malformed bytes count as one non-space unit.
char32_t characterAt(std::string_view text, std::size_t offset, std::size_t& length) {
    const auto* window = reinterpret_cast<const std::uint8_t*>(text.data() + offset);
    const auto windowLength = static_cast<std::int32_t>(std::min<std::size_t>(4, text.size() - offset));
    std::int32_t consumed = 0;
    UChar32 c = 0;
    U8_NEXT(window, consumed, windowLength, c);
    length = static_cast<std::size_t>(consumed);
    return c < 0 ? U'\uFFFD' : static_cast<char32_t>(c);
}

// The length of the character that ends at `end`.
std::size_t lengthOfCharacterEndingAt(std::string_view text, std::size_t end) {
    std::size_t start = end - 1;
    while (start > 0 && end - start < 4 && (static_cast<std::uint8_t>(text[start]) & 0xC0) == 0x80) {
        --start;
    }
    std::size_t length = 0;
    characterAt(text, start, length);
    return start + length == end ? end - start : 1;
}

} // namespace

char32_t characterAt(std::string_view text, std::size_t offset) {
    std::size_t length = 0;
    return characterAt(text, offset, length);
}

std::size_t characterLengthAt(std::string_view text, std::size_t offset) {
    std::size_t length = 0;
    characterAt(text, offset, length);
    return std::max<std::size_t>(length, 1);
}

std::string trimmingWhitespace(std::string_view text) {
    std::size_t begin = 0;
    while (begin < text.size()) {
        std::size_t length = 0;
        if (!isWhitespace(characterAt(text, begin, length))) {
            break;
        }
        begin += length;
    }
    std::size_t end = text.size();
    while (end > begin) {
        const std::size_t length = lengthOfCharacterEndingAt(text, end);
        std::size_t decoded = 0;
        if (!isWhitespace(characterAt(text, end - length, decoded))) {
            break;
        }
        end -= length;
    }
    return std::string(text.substr(begin, end - begin));
}

namespace {

std::string toUTF8(const icu::UnicodeString& text) {
    std::string result;
    text.toUTF8String(result);
    return result;
}

icu::UnicodeString fromUTF8(std::string_view text) {
    return icu::UnicodeString::fromUTF8(
        icu::StringPiece(text.data(), static_cast<std::int32_t>(text.size())));
}

} // namespace

std::string uppercased(std::string_view text) {
    auto unicode = fromUTF8(text);
    return toUTF8(unicode.toUpper(icu::Locale::getRoot()));
}

std::string lowercased(std::string_view text) {
    auto unicode = fromUTF8(text);
    return toUTF8(unicode.toLower(icu::Locale::getRoot()));
}

std::string capitalizingFirstCharacter(std::string_view text) {
    if (text.empty()) {
        return {};
    }
    std::size_t length = 0;
    characterAt(text, 0, length);
    return uppercased(text.substr(0, length)) + std::string(text.substr(length));
}

std::string replacingOccurrences(std::string_view text, std::string_view target,
                                 std::string_view replacement) {
    if (target.empty()) {
        return std::string(text);
    }
    std::string result;
    std::size_t start = 0;
    for (auto found = text.find(target); found != std::string_view::npos; found = text.find(target, start)) {
        result.append(text.substr(start, found - start));
        result.append(replacement);
        start = found + target.size();
    }
    result.append(text.substr(start));
    return result;
}

namespace {

// One configured collator per locale, built on first use and kept for the process. Comparisons
// run under the mutex: a collator is cheap to call but not documented as safe to share.
std::mutex collatorsMutex;
std::map<std::string, std::unique_ptr<icu::Collator>, std::less<>> collators;

icu::Collator* standardCollator(std::string_view localeIdentifier) {
    auto found = collators.find(localeIdentifier);
    if (found != collators.end()) {
        return found->second.get();
    }
    UErrorCode status = U_ZERO_ERROR;
    const icu::Locale locale = icu::Locale::forLanguageTag(
        icu::StringPiece(localeIdentifier.data(), static_cast<std::int32_t>(localeIdentifier.size())),
        status);
    std::unique_ptr<icu::Collator> collator;
    if (U_SUCCESS(status)) {
        collator.reset(icu::Collator::createInstance(locale, status));
    }
    if (!collator || U_FAILURE(status)) {
        status = U_ZERO_ERROR;
        collator.reset(icu::Collator::createInstance(icu::Locale::getRoot(), status));
    }
    if (collator && U_SUCCESS(status)) {
        // Secondary strength keeps accents apart but treats case and width variants as equal.
        collator->setStrength(icu::Collator::SECONDARY);
        collator->setAttribute(UCOL_NUMERIC_COLLATION, UCOL_ON, status);
    }
    if (!collator || U_FAILURE(status)) {
        collator.reset();
    }
    auto* result = collator.get();
    collators.emplace(std::string(localeIdentifier), std::move(collator));
    return result;
}

} // namespace

int localizedStandardCompare(std::string_view a, std::string_view b) {
    const auto languages = ZRPreferredLanguages::preferredLanguages();
    return localizedStandardCompare(a, b, languages.empty() ? std::string_view("en") : languages.front());
}

int localizedStandardCompare(std::string_view a, std::string_view b, std::string_view localeIdentifier) {
    const auto first = fromUTF8(a);
    const auto second = fromUTF8(b);
    std::lock_guard lock(collatorsMutex);
    if (const auto* collator = standardCollator(localeIdentifier)) {
        UErrorCode status = U_ZERO_ERROR;
        const auto order = collator->compare(first, second, status);
        if (U_SUCCESS(status)) {
            return order == UCOL_LESS ? -1 : (order == UCOL_GREATER ? 1 : 0);
        }
    }
    // Without ICU data, code point order still gives a consistent answer.
    const auto order = first.compareCodePointOrder(second);
    return order < 0 ? -1 : (order > 0 ? 1 : 0);
}

} // namespace ZRUnicodeText
