#pragma once

#include <functional>
#include <string_view>
#include <utility>

/// A set of Unicode scalar values, given by its membership test.
class ZRCharacterSet {
public:
    explicit ZRCharacterSet(std::function<bool(char32_t)> contains)
        : _contains(std::move(contains)) {}

    /// Unicode white space and line breaks (the White_Space property).
    static ZRCharacterSet whitespaceAndNewlines();
    /// Exactly the characters of the UTF-8 text; a malformed byte stands for U+FFFD, as it does
    /// when text is read character by character.
    static ZRCharacterSet charactersInString(std::string_view characters);

    bool contains(char32_t character) const { return _contains(character); }
    /// Every character this set does not contain.
    ZRCharacterSet inverted() const;

private:
    std::function<bool(char32_t)> _contains;
};
