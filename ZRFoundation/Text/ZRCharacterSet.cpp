#include "ZRFoundation/Text/ZRCharacterSet.h"

#include "ZRFoundation/Text/ZRUnicodeText.h"

#include <algorithm>
#include <vector>

ZRCharacterSet ZRCharacterSet::whitespaceAndNewlines() {
    return ZRCharacterSet(&ZRUnicodeText::isWhitespaceOrNewline);
}

ZRCharacterSet ZRCharacterSet::charactersInString(std::string_view characters) {
    std::vector<char32_t> members;
    for (std::size_t offset = 0; offset < characters.size();
         offset += ZRUnicodeText::characterLengthAt(characters, offset)) {
        members.push_back(ZRUnicodeText::characterAt(characters, offset));
    }
    std::sort(members.begin(), members.end());
    members.erase(std::unique(members.begin(), members.end()), members.end());
    return ZRCharacterSet([members = std::move(members)](char32_t character) {
        return std::binary_search(members.begin(), members.end(), character);
    });
}

ZRCharacterSet ZRCharacterSet::inverted() const {
    return ZRCharacterSet([contains = _contains](char32_t character) { return !contains(character); });
}
