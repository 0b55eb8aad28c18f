#pragma once

#include "Support/TemporaryFolder.h"
#include "ZRFoundation/PropertyList/ZRPropertyListReader.h"

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <iterator>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace PropertyListTestSupport {

inline std::span<const std::uint8_t> bytes(std::string_view text) {
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

inline bool hasPlistutil() {
    return std::system("command -v plistutil >/dev/null 2>&1") == 0;
}

/// The binary form of an XML property list, made by the system's plistutil (an implementation
/// independent of ours); nothing when the conversion fails.
inline std::optional<std::vector<std::uint8_t>> binaryFromXMLWithPlistutil(std::string_view xml) {
    const TemporaryFolder folder;
    const auto input = folder.write("input.plist", std::string(xml));
    const auto output = folder.path() / "output.bplist";
    const std::string command =
        "plistutil -i '" + input.string() + "' -o '" + output.string() + "' -f bin >/dev/null 2>&1";
    if (std::system(command.c_str()) != 0) {
        return std::nullopt;
    }
    std::ifstream file(output, std::ios::binary);
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(file), {});
}

/// Assembles a binary property list from encoded objects: header, objects, offset table and
/// trailer, with the given widths. Tests use it to build malformed files byte by byte.
struct BinaryPropertyListLayout {
    std::vector<std::vector<std::uint8_t>> objects = {};
    std::uint8_t offsetWidth = 1;
    std::uint8_t referenceWidth = 1;
    std::uint64_t topObject = 0;
    std::optional<std::uint64_t> objectCountOverride = std::nullopt;
    std::optional<std::uint64_t> offsetTableOffsetOverride = std::nullopt;
    std::vector<std::uint64_t> offsetOverrides = {}; // by object index, when not empty
};

inline void appendBigEndian(std::vector<std::uint8_t>& bytes, std::uint64_t value, unsigned width) {
    for (unsigned i = width; i > 0; --i) {
        bytes.push_back(i > 8 ? std::uint8_t{0} : static_cast<std::uint8_t>(value >> (8 * (i - 1))));
    }
}

inline std::vector<std::uint8_t> binaryPropertyList(const BinaryPropertyListLayout& layout) {
    std::vector<std::uint8_t> file = {'b', 'p', 'l', 'i', 's', 't', '0', '0'};
    std::vector<std::uint64_t> offsets;
    for (const auto& object : layout.objects) {
        offsets.push_back(file.size());
        file.insert(file.end(), object.begin(), object.end());
    }
    if (!layout.offsetOverrides.empty()) {
        offsets = layout.offsetOverrides;
    }
    const std::uint64_t offsetTableOffset = file.size();
    for (const std::uint64_t offset : offsets) {
        appendBigEndian(file, offset, layout.offsetWidth);
    }
    file.insert(file.end(), 6, 0);
    file.push_back(layout.offsetWidth);
    file.push_back(layout.referenceWidth);
    appendBigEndian(file, layout.objectCountOverride.value_or(offsets.size()), 8);
    appendBigEndian(file, layout.topObject, 8);
    appendBigEndian(file, layout.offsetTableOffsetOverride.value_or(offsetTableOffset), 8);
    return file;
}

} // namespace PropertyListTestSupport
