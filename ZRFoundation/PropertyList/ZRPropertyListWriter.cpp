#include "ZRFoundation/PropertyList/ZRPropertyListWriter.h"

#include "ZRFoundation/PropertyList/ZRISO8601DateFormat.h"
#include "ZRFoundation/Text/ZRBase64.h"

#include <charconv>
#include <cmath>
#include <stdexcept>

namespace ZRPropertyListWriter {

namespace {

void appendEscaped(std::string& xml, std::string_view text) {
    for (const char c : text) {
        switch (c) {
        case '&':
            xml += "&amp;";
            break;
        case '<':
            xml += "&lt;";
            break;
        case '>':
            xml += "&gt;";
            break;
        case '\r':
            xml += "&#13;";
            break;
        default:
            if (static_cast<unsigned char>(c) < 0x20 && c != '\t' && c != '\n') {
                xml += "&#" + std::to_string(static_cast<int>(c)) + ";";
            } else {
                xml += c;
            }
        }
    }
}

std::string realText(double value) {
    if (std::isnan(value)) {
        return "nan";
    }
    if (std::isinf(value)) {
        return value > 0 ? "+infinity" : "-infinity";
    }
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
}

std::string dateText(ZRPropertyList::Date date) {
    auto text = ZRISO8601DateFormat::text(date.secondsSinceReferenceDate);
    if (!text) {
        throw std::invalid_argument("Dates outside the years 0001 to 9999 cannot be written");
    }
    return *text;
}

class XMLWriter {
public:
    std::string finish(const ZRPropertyList& value) {
        _xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
               "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
               "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
               "<plist version=\"1.0\">\n";
        write(value, 0);
        _xml += "</plist>\n";
        return std::move(_xml);
    }

private:
    void indent(std::size_t depth) { _xml.append(depth, '\t'); }

    void element(std::string_view name, std::string_view text, std::size_t depth) {
        indent(depth);
        _xml += '<';
        _xml += name;
        _xml += '>';
        appendEscaped(_xml, text);
        _xml += "</";
        _xml += name;
        _xml += ">\n";
    }

    void write(const ZRPropertyList& value, std::size_t depth) {
        switch (value.type()) {
        case ZRPropertyList::Type::Null:
            throw std::invalid_argument("XML property lists have no null value");
        case ZRPropertyList::Type::String:
            element("string", *value.stringValue(), depth);
            return;
        case ZRPropertyList::Type::Integer:
            element("integer", std::to_string(*value.integerValue()), depth);
            return;
        case ZRPropertyList::Type::Real:
            element("real", realText(*value.realValue()), depth);
            return;
        case ZRPropertyList::Type::Boolean:
            indent(depth);
            _xml += *value.booleanValue() ? "<true/>\n" : "<false/>\n";
            return;
        case ZRPropertyList::Type::Date:
            element("date", dateText(*value.dateValue()), depth);
            return;
        case ZRPropertyList::Type::Data:
            element("data", ZRBase64::encode(*value.dataValue()), depth);
            return;
        case ZRPropertyList::Type::Array:
            writeArray(*value.arrayValue(), depth);
            return;
        case ZRPropertyList::Type::Dictionary:
            writeDictionary(*value.dictionaryValue(), depth);
            return;
        }
    }

    void writeArray(const ZRPropertyList::Array& elements, std::size_t depth) {
        indent(depth);
        if (elements.empty()) {
            _xml += "<array/>\n";
            return;
        }
        _xml += "<array>\n";
        for (const auto& element : elements) {
            write(element, depth + 1);
        }
        indent(depth);
        _xml += "</array>\n";
    }

    void writeDictionary(const ZRPropertyListDictionary& dictionary, std::size_t depth) {
        indent(depth);
        if (dictionary.empty()) {
            _xml += "<dict/>\n";
            return;
        }
        _xml += "<dict>\n";
        for (const auto& [key, value] : dictionary) {
            element("key", key, depth + 1);
            write(value, depth + 1);
        }
        indent(depth);
        _xml += "</dict>\n";
    }

    std::string _xml;
};

} // namespace

std::string xmlData(const ZRPropertyList& value) {
    return XMLWriter().finish(value);
}

} // namespace ZRPropertyListWriter
