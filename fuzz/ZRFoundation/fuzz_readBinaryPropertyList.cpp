// Any bytes: no crash, no exception, every failure described, and every accepted value reads
// back equal from the XML the writer makes of it (exceptions in PropertyListRoundTrip.h).

#include "PropertyListRoundTrip.h"
#include "ZRFoundation/PropertyList/ZRPropertyListReader.h"

#include <cstdint>
#include <span>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> bytes(data, size);
    PropertyListRoundTrip::checkXMLRoundTrip(
        ZRPropertyListReader::readBinary(bytes, PropertyListRoundTrip::fuzzLimits()));
    return 0;
}
