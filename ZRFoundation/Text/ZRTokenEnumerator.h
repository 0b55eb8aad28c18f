#pragma once

#include "ZRFoundation/Text/ZRStringComponentEnumerator.h"

#include <optional>
#include <string>
#include <string_view>

/// Cuts UTF-8 text into tokens the way search fields read typed text: components between
/// separators, except that double quotes (") hold a phrase with separators in it together.
///
/// With `stripsQuotes` (the default), `say "hello world" now` gives say, hello world and now: a
/// phrase comes without its quotes, and a quote inside a word ends the word there. Without it, a
/// phrase keeps its quotes unless its closing quote is followed by a separator, and a quote inside
/// a word joins the word to the text up to the separator after the next quote. A token that starts
/// with a quote that is never closed is the rest of the text, opening quote included.
class ZRTokenEnumerator : public ZRStringComponentEnumerator {
public:
    using Options = unsigned;
    static constexpr Options stripsQuotes = 1;

    /// Separated by white space and line breaks, with `stripsQuotes`.
    explicit ZRTokenEnumerator(std::string_view string);
    /// Separated by white space and line breaks.
    ZRTokenEnumerator(std::string_view string, Options options);
    ZRTokenEnumerator(std::string_view string, ZRCharacterSet separatorCharacters, Options options);

    /// The next token, or nothing once there is none. A phrase of nothing between two quotes is
    /// an empty token.
    std::optional<std::string> nextObject() override;

    Options options() const { return _options; }

private:
    std::string tokenWithQuoteInside(std::size_t start, std::size_t quote);
    std::string tokenStartingWithQuote(std::size_t start);

    Options _options;
};
