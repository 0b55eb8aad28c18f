#include "ZRFoundation/PropertyList/ZRPropertyListReader.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

namespace fs = std::filesystem;

const fs::path resources = fs::path(LUMORA_SOURCE_DIR) / "Resources";

std::set<std::string> keysOfTable(const fs::path& file) {
    std::ifstream stream(file, std::ios::binary);
    const std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(stream)),
                                          std::istreambuf_iterator<char>());
    const auto result = ZRPropertyListReader::readPropertyList(bytes);
    EXPECT_TRUE(result.errorDescription.empty()) << file << ": " << result.errorDescription;
    std::set<std::string> keys;
    if (result.value && result.value->dictionaryValue()) {
        for (const auto& [key, value] : *result.value->dictionaryValue()) {
            keys.insert(key);
        }
    }
    return keys;
}

// Every interface table exists in English and German with the same keys, so that no text falls
// back to its key in either language.
TEST(StringTables, EnglishAndGermanTablesHaveTheSameKeys) {
    std::size_t tables = 0;
    for (const auto& entry : fs::directory_iterator(resources / "en.lproj")) {
        if (entry.path().extension() != ".strings") {
            continue;
        }
        ++tables;
        const auto german = resources / "de.lproj" / entry.path().filename();
        ASSERT_TRUE(fs::exists(german)) << german;
        EXPECT_EQ(keysOfTable(entry.path()), keysOfTable(german)) << entry.path().filename();
    }
    EXPECT_GE(tables, 4U);
}

} // namespace
