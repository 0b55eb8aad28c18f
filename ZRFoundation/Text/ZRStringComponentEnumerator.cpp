#include "ZRFoundation/Text/ZRStringComponentEnumerator.h"

#include "ZRFoundation/Text/ZRUnicodeText.h"

#include <algorithm>
#include <utility>

ZRStringComponentEnumerator::ZRStringComponentEnumerator(std::string_view string,
                                                         ZRCharacterSet componentCharacters,
                                                         ZRCharacterSet separatorCharacters)
    : _string(string)
    , _componentCharacters(std::move(componentCharacters))
    , _separatorCharacters(std::move(separatorCharacters)) {}

ZRStringComponentEnumerator
ZRStringComponentEnumerator::withComponentCharacters(std::string_view string,
                                                     ZRCharacterSet componentCharacters) {
    auto separatorCharacters = componentCharacters.inverted();
    return ZRStringComponentEnumerator(string, std::move(componentCharacters),
                                       std::move(separatorCharacters));
}

ZRStringComponentEnumerator
ZRStringComponentEnumerator::withSeparatorCharacters(std::string_view string,
                                                     ZRCharacterSet separatorCharacters) {
    auto componentCharacters = separatorCharacters.inverted();
    return ZRStringComponentEnumerator(string, std::move(componentCharacters),
                                       std::move(separatorCharacters));
}

std::size_t ZRStringComponentEnumerator::firstOffsetOfCharacter(const ZRCharacterSet& characters,
                                                                std::size_t offset) const {
    while (offset < _string.size() && !characters.contains(ZRUnicodeText::characterAt(_string, offset))) {
        offset += ZRUnicodeText::characterLengthAt(_string, offset);
    }
    return std::min(offset, _string.size());
}

bool ZRStringComponentEnumerator::isSeparatorAt(std::size_t offset) const {
    return offset < _string.size() &&
           _separatorCharacters.contains(ZRUnicodeText::characterAt(_string, offset));
}

std::size_t ZRStringComponentEnumerator::offsetAfterCharacterAt(std::size_t offset) const {
    if (offset >= _string.size()) {
        return _string.size();
    }
    return offset + ZRUnicodeText::characterLengthAt(_string, offset);
}

ZRTextRange ZRStringComponentEnumerator::nextRange() {
    const std::size_t start = firstOffsetOfCharacter(_componentCharacters, _location);
    if (start >= _string.size()) {
        _location = _string.size();
        return {};
    }
    const std::size_t end = firstOffsetOfCharacter(_separatorCharacters, offsetAfterCharacterAt(start));
    _location = end;
    return {start, end - start};
}

std::optional<std::string> ZRStringComponentEnumerator::nextObject() {
    const ZRTextRange range = nextRange();
    if (!range.isFound()) {
        return std::nullopt;
    }
    return _string.substr(range.location, range.length);
}

std::vector<std::string> ZRStringComponentEnumerator::allObjects() {
    std::vector<std::string> objects;
    while (auto object = nextObject()) {
        objects.push_back(std::move(*object));
    }
    return objects;
}
