// Reading and parsing a declaration with 1,000 connections, in each file form a bundle may hold.

#include "Code/Model/LumoraDeclarationFile.h"
#include "ZRFoundation/PropertyList/ZRPropertyListWriter.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include <benchmark/benchmark.h>

#include <unistd.h>

namespace {

ZRPropertyListDictionary declarationWithConnections(int count) {
    ZRPropertyList::Array connections;
    for (int i = 0; i < count; ++i) {
        ZRPropertyListDictionary connection;
        connection.set("Host", ZRPropertyList::string("host" + std::to_string(i) + ".example.com, *.cdn" +
                                                      std::to_string(i) + ".example.net, 192.0.2." +
                                                      std::to_string(i % 256)));
        connection.set("NetworkProtocol", ZRPropertyList::string(i % 2 ? "TCP" : "UDP"));
        connection.set("Port", ZRPropertyList::string("443, 8000-8080"));
        connection.set("Relevance", ZRPropertyList::string("Essential"));
        connection.set("IsIncoming", ZRPropertyList::boolean(i % 7 == 0));
        connection.set("Purpose", ZRPropertyList::string("Fetches the data set number " + std::to_string(i)));
        connection.set("DenyConsequences", ZRPropertyList::string("The data set will be out of date"));
        connections.push_back(ZRPropertyList::dictionary(std::move(connection)));
    }
    ZRPropertyListDictionary declaration;
    declaration.set("LumoraDictionaryVersion", ZRPropertyList::string("1.0"));
    declaration.set("DeveloperName", ZRPropertyList::string("Example Inc."));
    declaration.set("ApplicationDescription", ZRPropertyList::string("An application with many connections"));
    declaration.set("Connections", ZRPropertyList::array(std::move(connections)));
    return declaration;
}

std::string jsonText(const ZRPropertyListDictionary& declaration) {
    std::string text =
        "{\"LumoraDictionaryVersion\": \"1.0\", \"ApplicationDescription\": \"x\", \"Connections\": [";
    const auto& connections = *declaration.find("Connections")->arrayValue();
    for (std::size_t i = 0; i < connections.size(); ++i) {
        text += i ? ", {" : "{";
        bool first = true;
        for (const auto& [key, value] : *connections[i].dictionaryValue()) {
            text += (first ? "\"" : ", \"") + key + "\": ";
            text += value.isBoolean() ? (*value.booleanValue() ? "true" : "false")
                                      : "\"" + *value.stringValue() + "\"";
            first = false;
        }
        text += "}";
    }
    return text + "]}";
}

std::vector<std::uint8_t> bytesOf(const std::string& text) {
    return {text.begin(), text.end()};
}

// plistutil (libplist-utils) writes the binary form; none when it is not installed.
std::vector<std::uint8_t> binaryForm(const std::string& xml) {
    char folder[] = "/tmp/lumora-bench-XXXXXX";
    if (mkdtemp(folder) == nullptr) {
        return {};
    }
    const std::filesystem::path input = std::filesystem::path(folder) / "in.plist";
    const std::filesystem::path output = std::filesystem::path(folder) / "out.bplist";
    std::ofstream(input) << xml;
    const std::string command =
        "plistutil -i '" + input.string() + "' -o '" + output.string() + "' -f bin 2>/dev/null";
    std::vector<std::uint8_t> bytes;
    if (std::system(command.c_str()) == 0) {
        std::ifstream stream(output, std::ios::binary);
        bytes.assign(std::istreambuf_iterator<char>(stream), std::istreambuf_iterator<char>());
    }
    std::filesystem::remove_all(folder);
    return bytes;
}

void parse(benchmark::State& state, const std::vector<std::uint8_t>& bytes, bool isJSON) {
    if (bytes.empty()) {
        state.SkipWithError("input not available (plistutil missing?)");
        return;
    }
    const auto url = ZRURL::fileURL("/Applications/Bench.app", true);
    for (auto _ : state) {
        auto read = LumoraDeclarationFile::readDeclaration(bytes, isJSON);
        const auto& dictionary = std::get<ZRPropertyListDictionary>(read);
        auto source =
            Lumora::Source::makeFromEmbeddedDictionary(Lumora::Source::SourceType::internal, url, url,
                                                       std::nullopt, std::nullopt, dictionary, std::nullopt);
        benchmark::DoNotOptimize(source);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes.size()));
}

const ZRPropertyListDictionary& benchmarkDeclaration() {
    static const auto declaration = declarationWithConnections(1000);
    return declaration;
}

void ParseDeclarationWith1000ConnectionsXML(benchmark::State& state) {
    static const auto bytes =
        bytesOf(ZRPropertyListWriter::xmlData(ZRPropertyList::dictionary(benchmarkDeclaration())));
    parse(state, bytes, false);
}
BENCHMARK(ParseDeclarationWith1000ConnectionsXML)->Unit(benchmark::kMillisecond);

void ParseDeclarationWith1000ConnectionsBinary(benchmark::State& state) {
    static const auto bytes =
        binaryForm(ZRPropertyListWriter::xmlData(ZRPropertyList::dictionary(benchmarkDeclaration())));
    parse(state, bytes, false);
}
BENCHMARK(ParseDeclarationWith1000ConnectionsBinary)->Unit(benchmark::kMillisecond);

void ParseDeclarationWith1000ConnectionsJSON(benchmark::State& state) {
    static const auto bytes = bytesOf(jsonText(benchmarkDeclaration()));
    parse(state, bytes, true);
}
BENCHMARK(ParseDeclarationWith1000ConnectionsJSON)->Unit(benchmark::kMillisecond);

} // namespace
