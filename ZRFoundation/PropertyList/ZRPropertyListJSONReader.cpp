// JSON through nlohmann-json's event (SAX) interface: its parser keeps its own state on the heap,
// and the value is built on an explicit stack here, so depth is limited without recursion.
// Objects keep their key order; a repeated key keeps its first position and takes the last value.

#include "ZRFoundation/PropertyList/ZRPropertyListReader.h"
#include "ZRFoundation/PropertyList/ZRPropertyListReaderSupport.h"

#include <algorithm>
#include <limits>
#include <new>
#include <nlohmann/json.hpp>

namespace ZRPropertyListReader {

using namespace ZRPropertyListReaderSupport;

namespace {

struct OpenCollection {
    bool isObject = false;
    ZRPropertyList::Array array;
    ZRPropertyListDictionary dictionary;
    std::string pendingKey;
};

class JSONPropertyListBuilder final : public nlohmann::json_sax<nlohmann::json> {
public:
    explicit JSONPropertyListBuilder(const Limits& limits)
        : _limits(limits) {}

    std::optional<ZRPropertyList>& root() { return _root; }
    const std::string& error() const { return _error; }

    bool null() override { return add(ZRPropertyList::null()); }
    bool boolean(bool value) override { return add(ZRPropertyList::boolean(value)); }
    bool number_integer(number_integer_t value) override { return add(ZRPropertyList::integer(value)); }
    bool number_unsigned(number_unsigned_t value) override {
        // Integers beyond the signed 64-bit range become reals, as the header documents.
        if (value > static_cast<number_unsigned_t>(std::numeric_limits<std::int64_t>::max())) {
            return add(ZRPropertyList::real(static_cast<double>(value)));
        }
        return add(ZRPropertyList::integer(static_cast<std::int64_t>(value)));
    }
    bool number_float(number_float_t value, const string_t&) override {
        return add(ZRPropertyList::real(value));
    }
    bool string(string_t& value) override { return add(ZRPropertyList::string(std::move(value))); }
    bool binary(binary_t&) override { return fail("Binary values are not JSON"); }
    bool start_object(std::size_t) override { return open(true); }
    bool key(string_t& value) override {
        _open.back().pendingKey = std::move(value);
        return true;
    }
    bool end_object() override { return close(); }
    bool start_array(std::size_t) override { return open(false); }
    bool end_array() override { return close(); }
    bool parse_error(std::size_t position, const std::string&,
                     const nlohmann::detail::exception& exception) override;

private:
    bool add(ZRPropertyList value);
    bool open(bool isObject);
    bool close();
    bool countElement();
    bool fail(std::string description);

    const Limits& _limits;
    std::vector<OpenCollection> _open;
    std::optional<ZRPropertyList> _root;
    std::size_t _elementCount = 0;
    std::string _error;
};

bool JSONPropertyListBuilder::fail(std::string description) {
    if (_error.empty()) {
        _error = std::move(description);
    }
    return false;
}

bool JSONPropertyListBuilder::countElement() {
    if (++_elementCount > _limits.maximumElementCount) {
        return fail(tooManyElementsDescription(_limits.maximumElementCount));
    }
    return true;
}

bool JSONPropertyListBuilder::add(ZRPropertyList value) {
    if (!countElement()) {
        return false;
    }
    if (_open.empty()) {
        _root = std::move(value);
    } else if (_open.back().isObject) {
        _open.back().dictionary.set(std::move(_open.back().pendingKey), std::move(value));
    } else {
        _open.back().array.push_back(std::move(value));
    }
    return true;
}

bool JSONPropertyListBuilder::open(bool isObject) {
    if (_open.size() >= _limits.maximumDepth) {
        return fail(nestingTooDeepDescription(_limits.maximumDepth));
    }
    _open.push_back(OpenCollection{isObject, {}, {}, {}});
    return true;
}

bool JSONPropertyListBuilder::close() {
    OpenCollection collection = std::move(_open.back());
    _open.pop_back();
    if (collection.isObject) {
        return add(ZRPropertyList::dictionary(std::move(collection.dictionary)));
    }
    return add(ZRPropertyList::array(std::move(collection.array)));
}

// nlohmann's message reads "[json.exception.parse_error.101] parse error at line 1, column 5:
// syntax error ...": kept without the bracketed identifier, and shortened.
bool JSONPropertyListBuilder::parse_error(std::size_t, const std::string&,
                                          const nlohmann::detail::exception& exception) {
    std::string_view message = exception.what();
    if (const auto end = message.find("] ");
        !message.empty() && message.front() == '[' && end != message.npos) {
        message.remove_prefix(end + 2);
    }
    std::string description(message.substr(0, 200));
    if (!description.empty() && description.front() >= 'a' && description.front() <= 'z') {
        description.front() = static_cast<char>(description.front() - 'a' + 'A');
    }
    return fail(description);
}

} // namespace

Result readJSON(std::span<const std::uint8_t> bytes, const Limits& limits) {
    if (bytes.size() > limits.maximumInputSize) {
        return failure(Format::JSON, inputTooLargeDescription(limits.maximumInputSize));
    }
    const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    try {
        JSONPropertyListBuilder builder(limits);
        const bool parsed = nlohmann::json::sax_parse(text.begin(), text.end(), &builder,
                                                      nlohmann::json::input_format_t::json, true, false);
        if (!parsed || !builder.root()) {
            return failure(Format::JSON, builder.error().empty() ? "Invalid JSON" : builder.error());
        }
        return success(Format::JSON, std::move(*builder.root()));
    } catch (const std::bad_alloc&) {
        return failure(Format::JSON, "Out of memory");
    } catch (const std::length_error&) {
        return failure(Format::JSON, "Out of memory");
    }
}

} // namespace ZRPropertyListReader
