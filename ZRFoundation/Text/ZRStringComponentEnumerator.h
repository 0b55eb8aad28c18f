#pragma once

#include "ZRFoundation/Text/ZRCharacterSet.h"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

/// A run of bytes in UTF-8 text. An enumerator that has nothing more to give reports the
/// not-found location.
struct ZRTextRange {
    static constexpr std::size_t notFound = std::string_view::npos;

    std::size_t location = notFound;
    std::size_t length = 0;

    bool isFound() const { return location != notFound; }
    std::size_t end() const { return location + length; }
    bool operator==(const ZRTextRange&) const = default;
};

/// Cuts UTF-8 text into components: maximal runs of component characters, with the separator
/// characters (every other character) between them skipped. Ranges are byte offsets into the
/// text and always fall on character boundaries; a malformed byte counts as one U+FFFD.
class ZRStringComponentEnumerator {
public:
    static ZRStringComponentEnumerator withComponentCharacters(std::string_view string,
                                                               ZRCharacterSet componentCharacters);
    static ZRStringComponentEnumerator withSeparatorCharacters(std::string_view string,
                                                               ZRCharacterSet separatorCharacters);
    virtual ~ZRStringComponentEnumerator() = default;

    /// The next component's range, or the not-found location once there is none.
    ZRTextRange nextRange();
    /// The next object's text, or nothing once there is none.
    virtual std::optional<std::string> nextObject();
    /// Every object not yet enumerated, in order.
    std::vector<std::string> allObjects();

    const std::string& string() const { return _string; }

protected:
    ZRStringComponentEnumerator(std::string_view string, ZRCharacterSet componentCharacters,
                                ZRCharacterSet separatorCharacters);

    /// The offset of the first character at or after `offset` that is in `characters`, or the
    /// text's length.
    std::size_t firstOffsetOfCharacter(const ZRCharacterSet& characters, std::size_t offset) const;
    bool isSeparatorAt(std::size_t offset) const;
    /// The offset just past the character that starts at `offset`, at most the text's length.
    std::size_t offsetAfterCharacterAt(std::size_t offset) const;

    std::string _string;
    ZRCharacterSet _componentCharacters;
    ZRCharacterSet _separatorCharacters;
    std::size_t _location = 0;
};
