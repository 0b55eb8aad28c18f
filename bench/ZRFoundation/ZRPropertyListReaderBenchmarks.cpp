#include "ZRFoundation/PropertyList/ZRPropertyListReader.h"
#include "ZRFoundation/PropertyList/ZRPropertyListWriter.h"

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include <unistd.h>

namespace {

// 1,000 dictionaries of 8 string keys each, like a large catalogue of declarations.
ZRPropertyList sampleValue() {
    ZRPropertyList::Array entries;
    for (int i = 0; i < 1000; ++i) {
        const std::string n = std::to_string(i);
        entries.push_back(ZRPropertyList::dictionary({
            {"Host", ZRPropertyList::string("host" + n + ".example.com")},
            {"Purpose", ZRPropertyList::string("Downloads updates and reports crashes for item " + n)},
            {"DenyConsequences", ZRPropertyList::string("Updates will not be installed.")},
            {"Relevance", ZRPropertyList::string("Essential")},
            {"Protocol", ZRPropertyList::string("TCP")},
            {"Port", ZRPropertyList::string("443")},
            {"Direction", ZRPropertyList::string("Outgoing")},
            {"Identifier", ZRPropertyList::string("com.example.connection." + n)},
        }));
    }
    return ZRPropertyList::array(std::move(entries));
}

std::string jsonText(const ZRPropertyList& value) {
    std::string json = "[";
    for (const auto& entry : *value.arrayValue()) {
        json += json.size() > 1 ? ",\n{" : "\n{";
        bool first = true;
        for (const auto& [key, element] : *entry.dictionaryValue()) {
            json += (first ? "\"" : ", \"") + key + "\": \"" + *element.stringValue() + "\"";
            first = false;
        }
        json += "}";
    }
    return json + "\n]\n";
}

const std::string& sampleXML() {
    static const std::string xml = ZRPropertyListWriter::xmlData(sampleValue());
    return xml;
}

// The binary form made by plistutil, an independent implementation; nothing when it is missing.
const std::optional<std::vector<std::uint8_t>>& sampleBinary() {
    static const auto binary = []() -> std::optional<std::vector<std::uint8_t>> {
        std::string folder = (std::filesystem::temp_directory_path() / "lumora-bench-XXXXXX").string();
        if (mkdtemp(folder.data()) == nullptr) {
            return std::nullopt;
        }
        const std::filesystem::path input = std::filesystem::path(folder) / "sample.plist";
        const std::filesystem::path output = std::filesystem::path(folder) / "sample.bplist";
        std::ofstream(input, std::ios::binary) << sampleXML();
        const std::string command =
            "plistutil -i '" + input.string() + "' -o '" + output.string() + "' -f bin >/dev/null 2>&1";
        std::optional<std::vector<std::uint8_t>> bytes;
        if (std::system(command.c_str()) == 0) {
            std::ifstream file(output, std::ios::binary);
            bytes.emplace(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
        }
        std::error_code ignored;
        std::filesystem::remove_all(folder, ignored);
        return bytes;
    }();
    return binary;
}

std::span<const std::uint8_t> bytesOf(const std::string& text) {
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

void readAndCount(benchmark::State& state, std::span<const std::uint8_t> bytes,
                  ZRPropertyListReader::Result (*reader)(std::span<const std::uint8_t>,
                                                         const ZRPropertyListReader::Limits&)) {
    for (auto _ : state) {
        auto result = reader(bytes, {});
        if (!result) {
            state.SkipWithError(result.errorDescription.c_str());
            break;
        }
        benchmark::DoNotOptimize(result);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes.size()));
}

void ReadXMLPropertyList1000Dictionaries(benchmark::State& state) {
    readAndCount(state, bytesOf(sampleXML()), ZRPropertyListReader::readXML);
}
BENCHMARK(ReadXMLPropertyList1000Dictionaries)->Unit(benchmark::kMillisecond);

void ReadBinaryPropertyList1000Dictionaries(benchmark::State& state) {
    const auto& binary = sampleBinary();
    if (!binary) {
        state.SkipWithError("plistutil (Debian package libplist-utils) is not installed");
        return;
    }
    readAndCount(state, *binary, ZRPropertyListReader::readBinary);
}
BENCHMARK(ReadBinaryPropertyList1000Dictionaries)->Unit(benchmark::kMillisecond);

// A 302-byte binary property list whose 65 arrays each reference the next twice: it would
// expand to 2^66 values. Refusing it should take microseconds, not seconds.
std::vector<std::uint8_t> doublingSharedArrays() {
    constexpr std::uint8_t levels = 65;
    std::vector<std::uint8_t> file = {'b', 'p', 'l', 'i', 's', 't', '0', '0'};
    std::vector<std::uint8_t> offsets;
    for (std::uint8_t level = 0; level <= levels; ++level) {
        offsets.push_back(static_cast<std::uint8_t>(file.size()));
        if (level == levels) {
            file.push_back(0x09);
        } else {
            file.insert(file.end(),
                        {0xA2, static_cast<std::uint8_t>(level + 1), static_cast<std::uint8_t>(level + 1)});
        }
    }
    const auto offsetTable = static_cast<std::uint8_t>(file.size());
    file.insert(file.end(), offsets.begin(), offsets.end());
    file.insert(file.end(), 6, 0);
    file.insert(file.end(), {1, 1});
    for (const std::uint64_t field :
         {std::uint64_t{offsets.size()}, std::uint64_t{0}, std::uint64_t{offsetTable}}) {
        for (int shift = 56; shift >= 0; shift -= 8) {
            file.push_back(static_cast<std::uint8_t>(field >> shift));
        }
    }
    return file;
}

void RefuseBinaryPropertyListOfDoublingSharedArrays(benchmark::State& state) {
    const auto file = doublingSharedArrays();
    for (auto _ : state) {
        auto result = ZRPropertyListReader::readBinary(file);
        if (result) {
            state.SkipWithError("the doubling graph was not refused");
            break;
        }
        benchmark::DoNotOptimize(result);
    }
}
BENCHMARK(RefuseBinaryPropertyListOfDoublingSharedArrays)->Unit(benchmark::kMicrosecond);

void ReadJSONPropertyList1000Dictionaries(benchmark::State& state) {
    static const std::string json = jsonText(sampleValue());
    readAndCount(state, bytesOf(json), ZRPropertyListReader::readJSON);
}
BENCHMARK(ReadJSONPropertyList1000Dictionaries)->Unit(benchmark::kMillisecond);

void WriteXMLPropertyList1000Dictionaries(benchmark::State& state) {
    const auto value = sampleValue();
    for (auto _ : state) {
        auto xml = ZRPropertyListWriter::xmlData(value);
        benchmark::DoNotOptimize(xml);
    }
}
BENCHMARK(WriteXMLPropertyList1000Dictionaries)->Unit(benchmark::kMillisecond);

} // namespace
