#include "Code/Tool/ToolJSON.h"

#include "ZRFoundation/Text/ZRUTF8.h"

#include <algorithm>

namespace ToolJSON {

namespace {

void repairStrings(json& value) {
    if (value.is_string()) {
        auto& text = value.get_ref<std::string&>();
        if (!ZRUTF8::isValid(text)) {
            text = ZRUTF8::replacingInvalidSequences(text);
        }
    } else if (value.is_array()) {
        for (auto& element : value) {
            repairStrings(element);
        }
    } else if (value.is_object()) {
        // Keys cannot be changed in place: an object with a bad key is built anew, in order.
        const bool keysAreValid = std::ranges::all_of(
            value.items(), [](const auto& member) { return ZRUTF8::isValid(member.key()); });
        if (!keysAreValid) {
            json repaired = json::object();
            for (auto& [key, member] : value.items()) {
                repaired[ZRUTF8::replacingInvalidSequences(key)] = std::move(member);
            }
            value = std::move(repaired);
        }
        for (auto& [key, member] : value.items()) {
            repairStrings(member);
        }
    }
}

} // namespace

std::string dump(json value, int indent) {
    repairStrings(value);
    return value.dump(indent);
}

void appendPath(json& object, std::string_view path) {
    appendExactText(object, "path", path);
}

void appendExactText(json& object, const std::string& key, std::string_view text) {
    object[key] = text;
    if (!ZRUTF8::isValid(text)) {
        object[key + "PercentEncoded"] = ZRUTF8::percentEncodingInvalidBytes(text);
    }
}

} // namespace ToolJSON
