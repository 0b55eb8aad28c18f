// Declaration dictionaries built from fuzz input: parsing either gives a source or a ParseError,
// never another exception or a crash.

#include "Code/Model/LumoraSource.h"
#include "fuzz/FuzzByteSource.h"

#include <array>
#include <cstdint>
#include <string_view>

namespace {

using ByteSource = FuzzByteSource;

constexpr std::array<std::string_view, 18> keys{"LumoraDictionaryVersion",
                                                "CodeSignatureTeamIdentifier",
                                                "DeveloperName",
                                                "Website",
                                                "ApplicationDescription",
                                                "Connections",
                                                "Services",
                                                "Host",
                                                "IsIncoming",
                                                "NetworkProtocol",
                                                "Port",
                                                "Relevance",
                                                "Purpose",
                                                "DenyConsequences",
                                                "Name",
                                                "Identifier",
                                                "Localizations",
                                                "Other"};

// Texts that the parser treats specially, so that the fuzzer reaches the deeper paths quickly.
constexpr std::array<std::string_view, 12> interestingTexts{
    "1.0", "*",         "=*",    "local-net", "bpf", "*.example.com", "10.0.0.0/8, ::1", "80, 443, 8000-8080",
    "tcp", "Essential", "Apple", "%APPNAME%"};

ZRPropertyList value(ByteSource& input, int depth);

ZRPropertyListDictionary dictionary(ByteSource& input, int depth) {
    ZRPropertyListDictionary result;
    const std::size_t count = input.byte() % 8;
    for (std::size_t i = 0; i < count && !input.empty(); ++i) {
        result.set(std::string(keys[input.byte() % keys.size()]), value(input, depth + 1));
    }
    return result;
}

ZRPropertyList value(ByteSource& input, int depth) {
    switch (input.byte() % (depth > 4 ? 5 : 8)) {
    case 0:
        return ZRPropertyList::string(input.text());
    case 1:
        return ZRPropertyList::string(std::string(interestingTexts[input.byte() % interestingTexts.size()]));
    case 2:
        return ZRPropertyList::integer(static_cast<std::int8_t>(input.byte()));
    case 3:
        return ZRPropertyList::boolean(input.byte() % 2 == 0);
    case 4:
        return ZRPropertyList::real(input.byte() / 7.0);
    case 5:
    case 6: {
        ZRPropertyList::Array elements;
        const std::size_t count = input.byte() % 6;
        for (std::size_t i = 0; i < count && !input.empty(); ++i) {
            elements.push_back(ZRPropertyList::dictionary(dictionary(input, depth + 1)));
        }
        return ZRPropertyList::array(std::move(elements));
    }
    default:
        return ZRPropertyList::dictionary(dictionary(input, depth + 1));
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    ByteSource input(data, size);
    const auto declaration = dictionary(input, 0);
    const auto url = ZRURL::fileURL("/Applications/Fuzz.app", true);
    try {
        const auto source = Lumora::Source::makeFromEmbeddedDictionary(
            Lumora::Source::SourceType::internal, url, url, std::string("Signer"), std::string("Parent"),
            declaration, LumoraStringTable{{"x", "y"}});
        (void)source->localizedName();
    } catch (const Lumora::Source::ParseError& error) {
        (void)error.errorDescription();
    }
    return 0;
}
