#include "Catalogue/CatalogueTestSupport.h"
#include "Code/Catalogue/ApplicationFileTypes.h"
#include "Code/Catalogue/QtStrings.h"

#include <QTemporaryDir>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace CatalogueTestSupport;

namespace {

namespace fs = std::filesystem;

/// How a case's item is made in its fresh folder.
enum class ItemKind { directory, regularFile, linkToBundle, danglingLink, fifo, missing };

/// An item and what type it reads as (none when it cannot be examined), and whether it may carry a
/// document when any container type is allowed and when only bundles are. A regular file holds
/// `contents` and has `executeBits` added to its mode.
struct FileTypeCase {
    const char* caseName;
    ItemKind kind;
    const char* name;
    std::optional<const char*> type;
    bool canContainLumora;
    bool canContainLumoraAsBundleOnly;
    std::string contents = {};
    fs::perms executeBits = fs::perms::none;
};

fs::path makeItem(const FileTypeCase& item, const fs::path& folder) {
    const auto path = folder / item.name;
    switch (item.kind) {
    case ItemKind::directory:
        fs::create_directories(path);
        break;
    case ItemKind::regularFile:
        writeFile(path, item.contents);
        fs::permissions(path, item.executeBits, fs::perm_options::add);
        break;
    case ItemKind::linkToBundle:
        fs::create_directories(folder / "Target.app");
        fs::create_directory_symlink(folder / "Target.app", path);
        break;
    case ItemKind::danglingLink:
        fs::create_symlink(folder / "Gone.app", path);
        break;
    case ItemKind::fifo:
        ::mkfifo(path.c_str(), 0600);
        break;
    case ItemKind::missing:
        break;
    }
    return path;
}

std::string bytes(std::initializer_list<unsigned char> values) {
    return std::string(values.begin(), values.end());
}

class ApplicationFileTypesByItem : public ::testing::TestWithParam<FileTypeCase> {
protected:
    QTemporaryDir _folder;
};

} // namespace

TEST_P(ApplicationFileTypesByItem, ReadsTheTypeAndWhetherItMayCarryADocument) {
    ASSERT_TRUE(_folder.isValid());
    const auto path = makeItem(GetParam(), QtStrings::toPath(_folder.path()));
    const auto type = ApplicationFileTypes::typeIdentifier(path);
    if (GetParam().type) {
        EXPECT_EQ(type, QString::fromLatin1(*GetParam().type));
    } else {
        EXPECT_EQ(type, std::nullopt);
    }
    EXPECT_EQ(ApplicationFileTypes::canContainLumora(path, false), GetParam().canContainLumora);
    EXPECT_EQ(ApplicationFileTypes::canContainLumora(path, true), GetParam().canContainLumoraAsBundleOnly);
}

namespace Types = ApplicationFileTypes;

INSTANTIATE_TEST_SUITE_P(
    Items, ApplicationFileTypesByItem,
    testing::ValuesIn(std::vector<FileTypeCase>{
        {"bundle", ItemKind::directory, "Real.app", Types::applicationBundle, true, true},
        {"bundleExtensionInAnyCase", ItemKind::directory, "Loud.APP", Types::applicationBundle, true, true},
        {"folder", ItemKind::directory, "Folder", Types::folder, false, false},
        {"folderNamedLikeABundleWithMore", ItemKind::directory, "Almost.apps", Types::folder, false, false},
        {"plainFileNamedLikeABundle", ItemKind::regularFile, "Fake.app", Types::data, false, false, "hello"},
        {"scriptWithOwnerExecuteBit", ItemKind::regularFile, "script", Types::unixExecutable, true, false,
         "#!/bin/sh\n", fs::perms::owner_exec},
        {"scriptWithOnlyOthersExecuteBit", ItemKind::regularFile, "tool", Types::unixExecutable, true, false,
         "#!/bin/sh\n", fs::perms::others_exec},
        // Which magic numbers are Mach-O is the magic table's below; here the file's first bytes count.
        {"machOWithoutExecuteBit", ItemKind::regularFile, "thin", Types::unixExecutable, true, false,
         bytes({0xcf, 0xfa, 0xed, 0xfe, 7, 0})},
        {"truncatedMagic", ItemKind::regularFile, "short", Types::data, false, false,
         bytes({0xcf, 0xfa, 0xed})},
        {"emptyFile", ItemKind::regularFile, "empty", Types::data, false, false},
        {"elfWithoutExecuteBit", ItemKind::regularFile, "elf", Types::data, false, false,
         bytes({0x7f, 'E', 'L', 'F', 2, 1})},
        {"linkToBundle", ItemKind::linkToBundle, "Link.app", Types::applicationBundle, true, true},
        // The extension is the link's own, as the item is named where it was found.
        {"linkWithoutTheExtensionToBundle", ItemKind::linkToBundle, "Link", Types::folder, false, false},
        {"danglingLink", ItemKind::danglingLink, "Dangling.app", std::nullopt, false, false},
        {"missing", ItemKind::missing, "Missing.app", std::nullopt, false, false},
        {"pipe", ItemKind::fifo, "pipe.app", Types::item, false, false}}),
    [](const auto& testCase) { return std::string(testCase.param.caseName); });

namespace {

struct MagicCase {
    const char* name;
    std::vector<std::uint8_t> bytes;
    bool isMachO;
};

class MachOMagic : public ::testing::TestWithParam<MagicCase> {};

} // namespace

TEST_P(MachOMagic, IsRecognisedFromTheFirstFourBytes) {
    EXPECT_EQ(ApplicationFileTypes::startsWithMachOMagic(GetParam().bytes), GetParam().isMachO);
}

INSTANTIATE_TEST_SUITE_P(Prefixes, MachOMagic,
                         testing::ValuesIn(std::vector<MagicCase>{
                             {"thin32BigEndian", {0xfe, 0xed, 0xfa, 0xce}, true},
                             {"thin64BigEndian", {0xfe, 0xed, 0xfa, 0xcf}, true},
                             {"thin32LittleEndian", {0xce, 0xfa, 0xed, 0xfe}, true},
                             {"thin64LittleEndian", {0xcf, 0xfa, 0xed, 0xfe, 0x07, 0x00}, true},
                             {"universal", {0xca, 0xfe, 0xba, 0xbe}, true},
                             {"universalReadSwapped", {0xbe, 0xba, 0xfe, 0xca}, true},
                             {"universal64", {0xca, 0xfe, 0xba, 0xbf}, true},
                             {"universal64ReadSwapped", {0xbf, 0xba, 0xfe, 0xca}, true},
                             {"magicNotAtTheStart", {0x00, 0xfe, 0xed, 0xfa, 0xcf}, false},
                             {"nearMiss", {0xfe, 0xed, 0xfa, 0xcd}, false},
                             {"elf", {0x7f, 'E', 'L', 'F'}, false},
                             {"threeBytes", {0xfe, 0xed, 0xfa}, false},
                             {"empty", {}, false}}),
                         caseName);
