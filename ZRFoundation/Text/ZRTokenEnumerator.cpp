#include "ZRFoundation/Text/ZRTokenEnumerator.h"

namespace {

constexpr char quoteCharacter = '"';

} // namespace

ZRTokenEnumerator::ZRTokenEnumerator(std::string_view string)
    : ZRTokenEnumerator(string, stripsQuotes) {}

ZRTokenEnumerator::ZRTokenEnumerator(std::string_view string, Options options)
    : ZRTokenEnumerator(string, ZRCharacterSet::whitespaceAndNewlines(), options) {}

ZRTokenEnumerator::ZRTokenEnumerator(std::string_view string, ZRCharacterSet separatorCharacters,
                                     Options options)
    : ZRStringComponentEnumerator(string, separatorCharacters.inverted(), separatorCharacters)
    , _options(options) {}

std::optional<std::string> ZRTokenEnumerator::nextObject() {
    const ZRTextRange component = nextRange();
    if (!component.isFound()) {
        return std::nullopt;
    }
    // A quote is a single byte that no other UTF-8 sequence contains, so a byte search finds
    // exactly the quote characters.
    const std::size_t quote = _string.find(quoteCharacter, component.location);
    if (quote == std::string::npos || quote >= component.end()) {
        return _string.substr(component.location, component.length);
    }
    if (quote > component.location) {
        return tokenWithQuoteInside(component.location, quote);
    }
    return tokenStartingWithQuote(component.location);
}

std::string ZRTokenEnumerator::tokenWithQuoteInside(std::size_t start, std::size_t quote) {
    if ((_options & stripsQuotes) != 0) {
        _location = quote + 1;
        return _string.substr(start, quote - start);
    }
    const std::size_t closingQuote = _string.find(quoteCharacter, quote + 1);
    const std::size_t end = closingQuote == std::string::npos
                                ? _string.size()
                                : firstOffsetOfCharacter(_separatorCharacters, closingQuote + 1);
    _location = offsetAfterCharacterAt(end);
    return _string.substr(start, end - start);
}

std::string ZRTokenEnumerator::tokenStartingWithQuote(std::size_t start) {
    const std::size_t closingQuote = _string.find(quoteCharacter, start + 1);
    if (closingQuote == std::string::npos) {
        _location = _string.size();
        return _string.substr(start);
    }
    if ((_options & stripsQuotes) != 0 || isSeparatorAt(closingQuote + 1)) {
        _location = closingQuote + 1;
        return _string.substr(start + 1, closingQuote - start - 1);
    }
    const std::size_t end = firstOffsetOfCharacter(_separatorCharacters, closingQuote + 1);
    _location = offsetAfterCharacterAt(end);
    return _string.substr(start, end - start);
}
