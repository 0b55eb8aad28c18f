#include "Catalogue/CatalogueTestSupport.h"
#include "Code/Catalogue/ApplicationFileTypes.h"
#include "Code/Catalogue/QtStrings.h"

#include <QTemporaryDir>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace CatalogueTestSupport;

namespace {

namespace fs = std::filesystem;

/// An item made in a fresh folder, what type it reads as (none when it cannot be examined), and
/// whether it may carry a document when any container type is allowed and when only bundles are.
struct FileTypeCase {
    const char* name;
    std::function<fs::path(const fs::path& folder)> make;
    std::optional<const char*> type;
    bool canContainLumora;
    bool canContainLumoraAsBundleOnly;
};

fs::path file(const fs::path& folder, const std::string& name, const std::string& contents,
              fs::perms executeBits = fs::perms::none) {
    writeFile(folder / name, contents);
    fs::permissions(folder / name, executeBits, fs::perm_options::add);
    return folder / name;
}

fs::path directory(const fs::path& folder, const std::string& name) {
    fs::create_directories(folder / name);
    return folder / name;
}

std::string bytes(std::initializer_list<unsigned char> values) {
    return std::string(values.begin(), values.end());
}

void PrintTo(const FileTypeCase& testCase, std::ostream* stream) {
    *stream << testCase.name;
}

class ApplicationFileTypesByItem : public ::testing::TestWithParam<FileTypeCase> {
protected:
    QTemporaryDir _folder;
};

} // namespace

TEST_P(ApplicationFileTypesByItem, ReadsTheTypeAndWhetherItMayCarryADocument) {
    ASSERT_TRUE(_folder.isValid());
    const auto path = GetParam().make(QtStrings::toPath(_folder.path()));
    const auto type = ApplicationFileTypes::typeIdentifier(path);
    if (GetParam().type) {
        EXPECT_EQ(type, QString::fromLatin1(*GetParam().type));
    } else {
        EXPECT_EQ(type, std::nullopt);
    }
    EXPECT_EQ(ApplicationFileTypes::canContainLumora(path, false), GetParam().canContainLumora);
    EXPECT_EQ(ApplicationFileTypes::canContainLumora(path, true), GetParam().canContainLumoraAsBundleOnly);
}

INSTANTIATE_TEST_SUITE_P(
    Items, ApplicationFileTypesByItem,
    testing::Values(
        FileTypeCase{"bundle", [](const fs::path& f) { return directory(f, "Real.app"); },
                     ApplicationFileTypes::applicationBundle, true, true},
        FileTypeCase{"bundleExtensionInAnyCase", [](const fs::path& f) { return directory(f, "Loud.APP"); },
                     ApplicationFileTypes::applicationBundle, true, true},
        FileTypeCase{"folder", [](const fs::path& f) { return directory(f, "Folder"); },
                     ApplicationFileTypes::folder, false, false},
        FileTypeCase{"folderNamedLikeABundleWithMore",
                     [](const fs::path& f) { return directory(f, "Almost.apps"); },
                     ApplicationFileTypes::folder, false, false},
        FileTypeCase{"plainFileNamedLikeABundle",
                     [](const fs::path& f) { return file(f, "Fake.app", "hello"); },
                     ApplicationFileTypes::data, false, false},
        FileTypeCase{
            "scriptWithOwnerExecuteBit",
            [](const fs::path& f) { return file(f, "script", "#!/bin/sh\n", fs::perms::owner_exec); },
            ApplicationFileTypes::unixExecutable, true, false},
        FileTypeCase{"scriptWithOnlyOthersExecuteBit",
                     [](const fs::path& f) { return file(f, "tool", "#!/bin/sh\n", fs::perms::others_exec); },
                     ApplicationFileTypes::unixExecutable, true, false},
        FileTypeCase{"machOWithoutExecuteBit",
                     [](const fs::path& f) {
                         return file(f, "thin", bytes({0xcf, 0xfa, 0xed, 0xfe, 7, 0}));
                     },
                     ApplicationFileTypes::unixExecutable, true, false},
        FileTypeCase{"universalWithoutExecuteBit",
                     [](const fs::path& f) {
                         return file(f, "fat", bytes({0xca, 0xfe, 0xba, 0xbe, 0, 2}));
                     },
                     ApplicationFileTypes::unixExecutable, true, false},
        FileTypeCase{"truncatedMagic",
                     [](const fs::path& f) {
                         return file(f, "short", bytes({0xcf, 0xfa, 0xed}));
                     },
                     ApplicationFileTypes::data, false, false},
        FileTypeCase{"emptyFile", [](const fs::path& f) { return file(f, "empty", ""); },
                     ApplicationFileTypes::data, false, false},
        FileTypeCase{"elfWithoutExecuteBit",
                     [](const fs::path& f) {
                         return file(f, "elf", bytes({0x7f, 'E', 'L', 'F', 2, 1}));
                     },
                     ApplicationFileTypes::data, false, false},
        FileTypeCase{"linkToBundle",
                     [](const fs::path& f) {
                         fs::create_directory_symlink(directory(f, "Target.app"), f / "Link.app");
                         return f / "Link.app";
                     },
                     ApplicationFileTypes::applicationBundle, true, true},
        // The extension is the link's own, as the item is named where it was found.
        FileTypeCase{"linkWithoutTheExtensionToBundle",
                     [](const fs::path& f) {
                         fs::create_directory_symlink(directory(f, "Target.app"), f / "Link");
                         return f / "Link";
                     },
                     ApplicationFileTypes::folder, false, false},
        FileTypeCase{"danglingLink",
                     [](const fs::path& f) {
                         fs::create_symlink(f / "Gone.app", f / "Dangling.app");
                         return f / "Dangling.app";
                     },
                     std::nullopt, false, false},
        FileTypeCase{"missing", [](const fs::path& f) { return f / "Missing.app"; }, std::nullopt, false,
                     false},
        FileTypeCase{"pipe",
                     [](const fs::path& f) {
                         ::mkfifo((f / "pipe.app").c_str(), 0600);
                         return f / "pipe.app";
                     },
                     ApplicationFileTypes::item, false, false}),
    [](const testing::TestParamInfo<FileTypeCase>& item) { return std::string(item.param.name); });

TEST(ApplicationFileTypes, ListsBundlesThenExecutablesAsContainers) {
    EXPECT_EQ(ApplicationFileTypes::lumoraContainerTypes(),
              QStringList({"com.apple.application-bundle", "public.unix-executable"}));
}

namespace {

struct MagicCase {
    const char* name;
    std::vector<std::uint8_t> bytes;
    bool isMachO;
};

void PrintTo(const MagicCase& testCase, std::ostream* stream) {
    *stream << testCase.name;
}

class MachOMagic : public ::testing::TestWithParam<MagicCase> {};

} // namespace

TEST_P(MachOMagic, IsRecognisedFromTheFirstFourBytes) {
    EXPECT_EQ(ApplicationFileTypes::startsWithMachOMagic(GetParam().bytes), GetParam().isMachO);
}

INSTANTIATE_TEST_SUITE_P(
    Prefixes, MachOMagic,
    testing::Values(MagicCase{"thin32BigEndian", {0xfe, 0xed, 0xfa, 0xce}, true},
                    MagicCase{"thin64BigEndian", {0xfe, 0xed, 0xfa, 0xcf}, true},
                    MagicCase{"thin32LittleEndian", {0xce, 0xfa, 0xed, 0xfe}, true},
                    MagicCase{"thin64LittleEndian", {0xcf, 0xfa, 0xed, 0xfe, 0x07, 0x00}, true},
                    MagicCase{"universal", {0xca, 0xfe, 0xba, 0xbe}, true},
                    MagicCase{"universalReadSwapped", {0xbe, 0xba, 0xfe, 0xca}, true},
                    MagicCase{"universal64", {0xca, 0xfe, 0xba, 0xbf}, true},
                    MagicCase{"universal64ReadSwapped", {0xbf, 0xba, 0xfe, 0xca}, true},
                    MagicCase{"magicNotAtTheStart", {0x00, 0xfe, 0xed, 0xfa, 0xcf}, false},
                    MagicCase{"nearMiss", {0xfe, 0xed, 0xfa, 0xcd}, false},
                    MagicCase{"elf", {0x7f, 'E', 'L', 'F'}, false},
                    MagicCase{"threeBytes", {0xfe, 0xed, 0xfa}, false}, MagicCase{"empty", {}, false}),
    [](const testing::TestParamInfo<MagicCase>& item) { return std::string(item.param.name); });
