// The command line's writers fed texts of arbitrary bytes in every field: the JSON never fails to
// print and always reads back, the percent-encoded path gives back the exact bytes, and the text for
// a terminal holds no control character but its own line feeds and tabs.

#include "Code/Model/LumoraSource.h"
#include "Code/Tool/LumoraDocumentJSON.h"
#include "Code/Tool/LumoraDocumentText.h"
#include "Code/Tool/TerminalText.h"
#include "Code/Tool/ToolJSON.h"
#include "ZRFoundation/Text/ZRUTF8.h"
#include "fuzz/FuzzByteSource.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

using json = nlohmann::ordered_json;

using ByteSource = FuzzByteSource;

void require(bool condition) {
    if (!condition) {
        std::abort();
    }
}

// Line feeds and tabs come only from the writers' layout; nothing else may reach a terminal.
void requireTerminalSafe(std::string_view text) {
    require(ZRUTF8::isValid(text));
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<std::uint8_t>(text[i]);
        require(byte >= 0x20 || byte == '\n' || byte == '\t');
        require(byte != 0x7F);
        require(!(byte == 0xC2 && i + 1 < text.size() && static_cast<std::uint8_t>(text[i + 1]) <= 0x9F));
    }
}

void requirePrintable(const json& value) {
    for (const int indent : {2, -1}) {
        const auto text = ToolJSON::dump(value, indent);
        require(ZRUTF8::isValid(text));
        require(json::accept(text));
    }
    requireTerminalSafe(TerminalText().appendJSON(value).string());
}

json tree(ByteSource& input, int depth) {
    switch (input.byte() % (depth > 3 ? 3 : 5)) {
    case 0:
        return input.text();
    case 1:
        return input.byte();
    case 2:
        return nullptr;
    case 3: {
        json array = json::array();
        for (std::size_t count = input.byte() % 4; count > 0 && !input.empty(); --count) {
            array.push_back(tree(input, depth + 1));
        }
        return array;
    }
    default: {
        json object = json::object();
        for (std::size_t count = input.byte() % 4; count > 0 && !input.empty(); --count) {
            object[input.text()] = tree(input, depth + 1);
        }
        return object;
    }
    }
}

std::string percentDecoded(std::string_view text) {
    std::string bytes;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size()) {
            bytes.push_back(
                static_cast<char>(std::strtol(std::string(text.substr(i + 1, 2)).c_str(), nullptr, 16)));
            i += 2;
        } else {
            bytes.push_back(text[i]);
        }
    }
    return bytes;
}

void checkPath(const std::string& path) {
    json object = json::object();
    ToolJSON::appendPath(object, path);
    const auto read = json::parse(ToolJSON::dump(object));
    if (ZRUTF8::isValid(path)) {
        require(read.size() == 1 && read["path"] == path);
    } else {
        require(percentDecoded(read["pathPercentEncoded"].get<std::string>()) == path);
    }
}

ZRPropertyList text(ByteSource& input) {
    return ZRPropertyList::string(input.text());
}

// A declaration whose every free text comes from the input; the host is either a fixed name or
// input too, so that both the documents and the parse errors are written.
ZRPropertyListDictionary declaration(ByteSource& input) {
    ZRPropertyListDictionary connection;
    connection.set("Host", input.byte() % 2 ? text(input) : ZRPropertyList::string("example.com"));
    connection.set("IsIncoming", ZRPropertyList::boolean(input.byte() % 2 == 0));
    connection.set("Purpose", text(input));
    connection.set("DenyConsequences", text(input));
    ZRPropertyListDictionary service;
    service.set("Name", text(input));
    service.set("Identifier", text(input));
    service.set("Purpose", text(input));
    ZRPropertyListDictionary result;
    result.set("LumoraDictionaryVersion", ZRPropertyList::string("1.0"));
    result.set("DeveloperName", text(input));
    result.set("ApplicationDescription", text(input));
    result.set("Connections", ZRPropertyList::array({ZRPropertyList::dictionary(connection)}));
    result.set("Services", ZRPropertyList::array({ZRPropertyList::dictionary(service)}));
    return result;
}

void checkDocument(ByteSource& input) {
    const auto url = ZRURL::fileURL("/Applications/" + input.text() + ".app", true);
    try {
        auto source = Lumora::Source::makeFromEmbeddedDictionary(Lumora::Source::SourceType::internal, url,
                                                                 url, std::nullopt, std::nullopt,
                                                                 declaration(input), LumoraStringTable{});
        const Lumora document(std::move(source), {});
        requirePrintable(LumoraDocumentJSON::documentJSON(document));
        requireTerminalSafe(LumoraDocumentText::documentText(document).string());
    } catch (const Lumora::Source::ParseError& error) {
        requirePrintable(LumoraDocumentJSON::parseErrorJSON(error));
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    requireTerminalSafe(TerminalText::escaped(bytes));
    require(ZRUTF8::isValid(ZRUTF8::replacingInvalidSequences(bytes)));
    checkPath(std::string(bytes));

    ByteSource input(data, size);
    requirePrintable(tree(input, 0));
    checkDocument(input);
    return 0;
}
