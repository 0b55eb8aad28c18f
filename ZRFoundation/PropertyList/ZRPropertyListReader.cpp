#include "ZRFoundation/PropertyList/ZRPropertyListReader.h"

namespace ZRPropertyListReader {

namespace {

Result failure(Format format, std::string description) {
    return Result{std::nullopt, std::move(description), format};
}

} // namespace

Result readPropertyList(std::span<const std::uint8_t>, const Limits&) {
    return failure(Format::XML, "Property list reading is not available yet");
}
Result readXML(std::span<const std::uint8_t>, const Limits&) {
    return failure(Format::XML, "not available yet");
}
Result readBinary(std::span<const std::uint8_t>, const Limits&) {
    return failure(Format::Binary, "not available yet");
}
Result readOpenStep(std::span<const std::uint8_t>, const Limits&) {
    return failure(Format::OpenStep, "not available yet");
}
Result readJSON(std::span<const std::uint8_t>, const Limits&) {
    return failure(Format::JSON, "not available yet");
}

} // namespace ZRPropertyListReader
