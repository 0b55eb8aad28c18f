#include "ZRFoundation/PropertyList/ZRPropertyListReader.h"

#include "ZRFoundation/PropertyList/ZRPropertyListReaderSupport.h"

#include <algorithm>
#include <string_view>

namespace ZRPropertyListReader {

namespace {

bool startsWith(std::span<const std::uint8_t> bytes, std::string_view prefix) {
    return bytes.size() >= prefix.size() &&
           std::equal(prefix.begin(), prefix.end(), bytes.begin(), [](char expected, std::uint8_t byte) {
               return static_cast<std::uint8_t>(expected) == byte;
           });
}

bool isXMLWhitespace(std::uint8_t byte) {
    return byte == ' ' || byte == '\t' || byte == '\n' || byte == '\r';
}

// The first character after white space is '<', in UTF-8 (with or without a byte order mark) or
// in UTF-16 with a byte order mark.
bool looksLikeXML(std::span<const std::uint8_t> bytes) {
    std::size_t unitSize = 1;
    std::size_t lowByte = 0;
    if (startsWith(bytes, "\xEF\xBB\xBF")) {
        bytes = bytes.subspan(3);
    } else if (startsWith(bytes, "\xFF\xFE")) {
        bytes = bytes.subspan(2);
        unitSize = 2;
    } else if (startsWith(bytes, "\xFE\xFF")) {
        bytes = bytes.subspan(2);
        unitSize = 2;
        lowByte = 1;
    }
    for (std::size_t i = 0; i + unitSize <= bytes.size(); i += unitSize) {
        if (unitSize == 2 && bytes[i + 1 - lowByte] != 0) {
            return false;
        }
        const std::uint8_t character = bytes[i + lowByte];
        if (!isXMLWhitespace(character)) {
            return character == '<';
        }
    }
    return false;
}

} // namespace

Result readPropertyList(std::span<const std::uint8_t> bytes, const Limits& limits) {
    if (bytes.size() > limits.maximumInputSize) {
        return ZRPropertyListReaderSupport::failure(
            Format::XML, ZRPropertyListReaderSupport::inputTooLargeDescription(limits.maximumInputSize));
    }
    if (startsWith(bytes, "bplist00")) {
        return readBinary(bytes, limits);
    }
    if (looksLikeXML(bytes)) {
        return readXML(bytes, limits);
    }
    return readOpenStep(bytes, limits);
}

} // namespace ZRPropertyListReader
