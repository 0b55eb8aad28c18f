#pragma once

#include "ZRFoundation/PropertyList/ZRPropertyList.h"

#include <cstdint>
#include <vector>

/// Entitlements blobs as signing tools write them into special slots 5 (XML, magic 0xfade7171)
/// and 7 (DER, magic 0xfade7172).
namespace FixtureEntitlements {

std::vector<std::uint8_t> xmlBlob(const ZRPropertyListDictionary& entitlements);
/// Booleans, strings, integers, arrays and dictionaries; other values throw std::invalid_argument.
std::vector<std::uint8_t> derBlob(const ZRPropertyListDictionary& entitlements);
/// A blob header of `magic` around `payload`.
std::vector<std::uint8_t> blob(std::uint32_t magic, const std::vector<std::uint8_t>& payload);
/// One DER element: `tag` is the whole identifier octet.
std::vector<std::uint8_t> derElement(std::uint8_t tag, const std::vector<std::uint8_t>& contents);

} // namespace FixtureEntitlements
