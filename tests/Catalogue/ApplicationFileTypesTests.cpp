#include "Catalogue/CatalogueTestSupport.h"
#include "Code/Catalogue/ApplicationFileTypes.h"
#include "Code/Catalogue/QtStrings.h"

#include <QTemporaryDir>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace CatalogueTestSupport;

namespace {

namespace fs = std::filesystem;
namespace Types = ApplicationFileTypes;

/// How a case's item is made in its fresh folder.
enum class ItemKind { directory, regularFile, linkToBundle, danglingLink, fifo, missing };

/// An item and what type it reads as (none when it cannot be examined), and whether it may carry a
/// document when any container type is allowed and when only bundles are. A regular file holds
/// `contents` and has `executeBits` added to its mode.
struct FileTypeCase {
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
    fs::create_directories(folder);
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

} // namespace

TEST(ApplicationFileTypes, ReadTheTypeOfEachItemAndWhetherItMayCarryADocument) {
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    using enum ItemKind;
    const FileTypeCase cases[] = {
        {directory, "Real.app", Types::applicationBundle, true, true},
        {directory, "Loud.APP", Types::applicationBundle, true, true},
        {directory, "Folder", Types::folder, false, false},
        {directory, "Almost.apps", Types::folder, false, false},
        {regularFile, "Fake.app", Types::data, false, false, "hello"},
        {regularFile, "script", Types::unixExecutable, true, false, "#!/bin/sh\n", fs::perms::owner_exec},
        {regularFile, "tool", Types::unixExecutable, true, false, "#!/bin/sh\n", fs::perms::others_exec},
        // Which magic numbers are Mach-O is the magic table's below; here the file's first bytes count.
        {regularFile, "thin", Types::unixExecutable, true, false, bytes({0xcf, 0xfa, 0xed, 0xfe, 7, 0})},
        {regularFile, "short", Types::data, false, false, bytes({0xcf, 0xfa, 0xed})},
        {regularFile, "empty", Types::data, false, false},
        {regularFile, "elf", Types::data, false, false, bytes({0x7f, 'E', 'L', 'F', 2, 1})},
        {linkToBundle, "Link.app", Types::applicationBundle, true, true},
        // The extension is the link's own, as the item is named where it was found.
        {linkToBundle, "Link", Types::folder, false, false},
        {danglingLink, "Dangling.app", std::nullopt, false, false},
        {missing, "Missing.app", std::nullopt, false, false},
        {fifo, "pipe.app", Types::item, false, false}};
    int index = 0;
    for (const auto& item : cases) {
        SCOPED_TRACE(item.name);
        const auto path = makeItem(item, QtStrings::toPath(folder.path()) / std::to_string(++index));
        EXPECT_EQ(ApplicationFileTypes::typeIdentifier(path),
                  item.type ? std::optional(QString::fromLatin1(*item.type)) : std::nullopt);
        EXPECT_EQ(ApplicationFileTypes::canContainLumora(path, false), item.canContainLumora);
        EXPECT_EQ(ApplicationFileTypes::canContainLumora(path, true), item.canContainLumoraAsBundleOnly);
    }
}

TEST(ApplicationFileTypes, RecognisesMachOFromTheFirstFourBytes) {
    const std::pair<std::vector<std::uint8_t>, bool> cases[] = {
        {{0xfe, 0xed, 0xfa, 0xce}, true},
        {{0xfe, 0xed, 0xfa, 0xcf}, true},
        {{0xce, 0xfa, 0xed, 0xfe}, true},
        {{0xcf, 0xfa, 0xed, 0xfe, 0x07, 0x00}, true},
        {{0xca, 0xfe, 0xba, 0xbe}, true},
        {{0xbe, 0xba, 0xfe, 0xca}, true},
        {{0xca, 0xfe, 0xba, 0xbf}, true},
        {{0xbf, 0xba, 0xfe, 0xca}, true},
        // Not at the start, a near miss, an ELF header, three bytes and none.
        {{0x00, 0xfe, 0xed, 0xfa, 0xcf}, false},
        {{0xfe, 0xed, 0xfa, 0xcd}, false},
        {{0x7f, 'E', 'L', 'F'}, false},
        {{0xfe, 0xed, 0xfa}, false},
        {{}, false}};
    for (const auto& [magic, isMachO] : cases) {
        EXPECT_EQ(ApplicationFileTypes::startsWithMachOMagic(magic), isMachO)
            << testing::PrintToString(magic);
    }
}
