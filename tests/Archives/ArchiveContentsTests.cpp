#include "Code/Archives/ArchiveContents.h"
#include "Code/Archives/ArchiveExtractionCache.h"
#include "SevenZipFixtures.h"
#include "Support/TemporaryFolder.h"
#include "tools/ArchiveFixtures/CpioWriter.h"
#include "tools/ArchiveFixtures/InstallerPackageWriter.h"
#include "tools/ArchiveFixtures/UDIFWriter.h"

#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <unistd.h>

using testing::ElementsAre;
using testing::HasSubstr;
using testing::UnorderedElementsAre;

namespace {

namespace fs = std::filesystem;
using Failure = SevenZip::Failure;
using PayloadEncoding = InstallerPackageWriter::PayloadEncoding;

using SevenZipFixtures::writeBytes;

/// A bundle-like folder: enough for the search, which goes by folder names.
void writeApplication(const fs::path& root, const std::string& path) {
    SevenZipFixtures::writeFile(root / path / "Contents/Info.plist",
                                "<plist version=\"1.0\"><dict/></plist>\n");
    SevenZipFixtures::writeFile(root / path / "Contents/MacOS/Example", "binary");
}

std::vector<std::string> pathsInArchive(const ArchiveContents::Result& result) {
    std::vector<std::string> paths;
    for (const auto& application : result.applications) {
        paths.push_back(application.pathInArchive);
    }
    return paths;
}

std::vector<std::uint8_t> payloadWithApplication() {
    return CpioWriter()
        .addDirectory("Example.app")
        .addDirectory("Example.app/Contents")
        .addFile("Example.app/Contents/Info.plist", "<plist version=\"1.0\"><dict/></plist>\n")
        .bytes();
}

std::vector<std::uint8_t> packageWithApplication(PayloadEncoding encoding) {
    InstallerPackageWriter::Component component;
    component.archive = payloadWithApplication();
    component.encoding = encoding;
    return InstallerPackageWriter::componentPackage(component);
}

class ArchiveContentsTest : public SevenZipTest {
protected:
    ArchiveContents::Result extract(const fs::path& archive, const SevenZip::Limits& limits = {}) {
        return ArchiveContents::extract(_sevenZip, archive, destination(), limits);
    }
};

TEST_F(ArchiveContentsTest, FindsTheOutermostBundlesOfAZipInPathOrderAndKeepsTheirLinks) {
    const auto zip = archive("Apps.zip", [](const fs::path& tree) {
        writeApplication(tree, "Second.app");
        writeApplication(tree, "Folder/First.app");
        // A helper inside a bundle is part of that bundle, not an application of its own.
        writeApplication(tree, "Second.app/Contents/Helpers/Helper.app");
        SevenZipFixtures::writeFile(tree / "Second.app/Contents/Frameworks/Fw.framework/Versions/A/Fw",
                                    "code");
        fs::create_directory_symlink("A",
                                     tree / "Second.app/Contents/Frameworks/Fw.framework/Versions/Current");
        SevenZipFixtures::writeFile(tree / "ReadMe.txt", "read me");
        // What loading does not read is left out.
        SevenZipFixtures::writeFile(tree / "Second.app/Contents/Resources/Movie.mov",
                                    std::string(64 * 1024, 'm'));
        SevenZipFixtures::writeFile(tree / "Second.app/Contents/Resources/Lumora.plist", "<plist/>");
    });
    const auto result = extract(zip);
    ASSERT_TRUE(result.succeeded()) << result.message;
    EXPECT_THAT(pathsInArchive(result), ElementsAre("Folder/First.app", "Second.app"));
    const auto& bundle = result.applications[1].bundle;
    const auto link = bundle / "Contents/Frameworks/Fw.framework/Versions/Current";
    ASSERT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(fs::read_symlink(link), "A");
    EXPECT_TRUE(result.unopenedArchives.empty());
    EXPECT_TRUE(fs::exists(bundle / "Contents/Resources/Lumora.plist"));
    EXPECT_TRUE(fs::exists(bundle / "Contents/MacOS/Example"));
    EXPECT_FALSE(fs::exists(bundle / "Contents/Resources/Movie.mov"));
    EXPECT_FALSE(fs::exists(bundle.parent_path() / "ReadMe.txt"));
    EXPECT_FALSE(fs::exists(bundle.parent_path().parent_path() / "contents.selection"));
}

// A disk image's paths start at its volume's root, an installer package's at its install location
// (/Applications is not part of them), and a compressed tar archive is unwrapped first.
TEST_F(ArchiveContentsTest, ReadsTheApplicationsOfDiskImagesPackagesAndCompressedTarArchives) {
    TemporaryFolder work;
    writeApplication(work.path(), "source/Example.app");
    writeApplication(work.path(), "source/Extras/Tool.app");
    const auto image = _folder.path() / "Example.dmg";
    UDIFWriter(UDIFWriter::hfsVolumeFromFolder(work.path() / "source", "Example", work.path())).write(image);
    writeBytes(_folder.path() / "gzip.pkg", packageWithApplication(PayloadEncoding::gzip));
    writeBytes(_folder.path() / "pbzx.pkg", packageWithApplication(PayloadEncoding::pbzx));
    const auto tar = archive("Apps.tar", [](const fs::path& tree) { writeApplication(tree, "Example.app"); });
    SevenZipFixtures::run(
        {"a", "-tgzip", "-bd", "--", (_folder.path() / "Apps.tar.gz").string(), tar.string()});
    const std::pair<const char*, std::vector<std::string>> cases[] = {
        {"Example.dmg", {"Example.app", "Extras/Tool.app"}},
        {"gzip.pkg", {"Example.app"}},
        {"pbzx.pkg", {"Example.app"}},
        {"Apps.tar.gz", {"Example.app"}}};
    for (const auto& [name, paths] : cases) {
        SCOPED_TRACE(name);
        const auto result = extract(_folder.path() / name);
        ASSERT_TRUE(result.succeeded()) << result.message;
        EXPECT_EQ(pathsInArchive(result), paths);
        EXPECT_TRUE(fs::exists(result.applications[0].bundle / "Contents/Info.plist"));
    }
}

TEST_F(ArchiveContentsTest, FollowsOneLevelOfNestingAndNamesDeeperArchives) {
    const auto package = _folder.path() / "inner" / "Installer.pkg";
    writeBytes(package, packageWithApplication(PayloadEncoding::gzip));
    const auto deepest =
        archive("Deepest.zip", [](const fs::path& tree) { writeApplication(tree, "Deep.app"); });
    const auto deeper =
        archive("Deeper.zip", [&](const fs::path& tree) { fs::copy_file(deepest, tree / "Deepest.zip"); });
    const auto outer = archive("Outer.zip", [&](const fs::path& tree) {
        fs::create_directories(tree / "Packages");
        fs::copy_file(package, tree / "Packages/Installer.pkg");
        fs::copy_file(deeper, tree / "Deeper.zip");
        writeApplication(tree, "Top.app");
    });
    const auto folder = destination();
    const auto result = ArchiveContents::extract(_sevenZip, outer, folder, {});
    ASSERT_TRUE(result.succeeded()) << result.message;
    EXPECT_THAT(pathsInArchive(result), ElementsAre("Packages/Installer.pkg/Example.app", "Top.app"));
    EXPECT_THAT(result.unopenedArchives, ElementsAre("Deeper.zip/Deepest.zip"));

    // An extraction folder read again gives the same answer (the cache's reuse rests on this).
    const auto again = ArchiveContents::read(outer, folder);
    EXPECT_EQ(again.applications, result.applications);
    EXPECT_EQ(again.unopenedArchives, result.unopenedArchives);
    EXPECT_FALSE(fs::exists(folder / ".work"));
}

// The payload counts against the limit on the contents that the package itself nearly used up.
TEST_F(ArchiveContentsTest, APayloadBeyondTheLimitIsRefusedAndLeavesTheFolderEmpty) {
    const auto package = _folder.path() / "Big.pkg";
    InstallerPackageWriter::Component component;
    component.archive = CpioWriter().addFile("Big.app/Contents/Data", std::string(256 * 1024, 'x')).bytes();
    writeBytes(package, InstallerPackageWriter::componentPackage(component));
    SevenZip::Limits limits;
    limits.contents.totalSize = 200 * 1024;
    const auto folder = destination();
    const auto result = ArchiveContents::extract(_sevenZip, package, folder, limits);
    EXPECT_EQ(result.failure, Failure::limitExceeded) << result.message;
    EXPECT_TRUE(fs::is_empty(folder));
}

TEST(ArchiveContentsSelection, WritesWhatLoadingReadsAndLeavesLargeResourcesOut) {
    struct Case {
        const char* path;
        bool isLink;
        bool read;
    };
    const Case cases[] = {
        {"Example.app/Contents/Info.plist", false, true},
        {"Volume/Example.app/Contents/MacOS/Example", false, true},
        {"Example.app/Contents/_CodeSignature/CodeResources", false, true},
        {"Example.app/Contents/Resources/Lumora.plist", false, true},
        {"Example.app/Contents/Resources/de.lproj/Lumora.strings", false, true},
        {"Example.app/Contents/Resources/AppIcon.icns", false, true},
        {"Example.app/Contents/Resources/Movie.mov", false, false},
        {"Example.app/Contents/Resources/Levels/level1.dat", false, false},
        {"Example.app/Contents/Frameworks/Fw.framework/Versions/A/Resources/Info.plist", false, true},
        {"Example.app/Contents/Frameworks/Fw.framework/Versions/A/Resources/Big.dat", false, false},
        {"Example.app/Contents/Frameworks/Fw.framework/Resources", true, true},
        {"Example.app/Contents/Frameworks/Fw.framework/Versions/A/Fw", false, true},
        {"Example.app/Contents/Resources/Helper.app/Contents/MacOS/Helper", false, true},
        // A volume or folder named Resources above the bundle changes nothing.
        {"Resources/Example.app/Contents/MacOS/Example", false, true},
        // Outside bundles only what may be an archive.
        {"ReadMe.txt", false, false},
        {"Extras/Installer.pkg", false, true},
        {"Example.APP/Contents/Resources/Sound.aiff", false, false},
    };
    for (const auto& each : cases) {
        EXPECT_EQ(ArchiveContents::isReadByLoading(each.path, each.isLink), each.read) << each.path;
    }
}

TEST(SevenZipProgress, ReadsTheLastPercentageOfRedrawnProgressLines) {
    EXPECT_EQ(SevenZip::progressPercent("  0%\b\b\b\b    \b\b\b\b 42% 3 - Example.app/Contents/Info.plist"),
              42);
    EXPECT_EQ(SevenZip::progressPercent(" 99%\b\b\b\b100%"), 100);
    EXPECT_EQ(SevenZip::progressPercent("Everything is Ok\n"), std::nullopt);
    EXPECT_EQ(SevenZip::progressPercent("% alone, 250%"), std::nullopt);
}

TEST_F(ArchiveContentsTest, ReportsProgressWhileExtracting) {
    const auto zip = archive("Progress.zip", [](const fs::path& tree) {
        writeApplication(tree, "Example.app");
        for (int index = 0; index < 200; ++index) {
            SevenZipFixtures::writeFile(tree / ("Example.app/Contents/MacOS/part" + std::to_string(index)),
                                        std::string(64 * 1024, 'p'));
        }
    });
    std::vector<int> reported;
    const auto result = ArchiveContents::extract(_sevenZip, zip, destination(), {}, nullptr,
                                                 [&](int percent) { reported.push_back(percent); });
    ASSERT_TRUE(result.succeeded()) << result.message;
    EXPECT_TRUE(std::is_sorted(reported.begin(), reported.end()));
    EXPECT_TRUE(std::all_of(reported.begin(), reported.end(), [](int percent) { return percent <= 100; }));
}

TEST(ArchiveContentsNames, MessagesNameTheBundleAsTheReaderKnowsIt) {
    EXPECT_EQ(ArchiveContents::replacingBundlePath(
                  "“/cache/1/contents/A.app/Contents/x” and “/cache/1/contents/A.app”",
                  "/cache/1/contents/A.app/", "A.dmg/A.app"),
              "“A.dmg/A.app/Contents/x” and “A.dmg/A.app”");
    EXPECT_EQ(ArchiveContents::replacingBundlePath("unrelated", "", "A.dmg/A.app"), "unrelated");
}

/// Hostile and broken downloads: each is refused with its own failure, leaves the extraction folder
/// empty and writes nothing beside it.
struct HostileCase {
    const char* name;
    std::function<fs::path(const fs::path& folder)> make;
    Failure failure;
    const char* message;
};

class ArchiveContentsHostile : public ArchiveContentsTest, public testing::WithParamInterface<HostileCase> {};

TEST_P(ArchiveContentsHostile, IsRefusedAndWritesNothing) {
    const auto made = GetParam().make(_folder.path() / "made");
    const auto parent = _folder.path() / "parent";
    fs::create_directories(parent / "folder");
    SevenZip::Limits limits;
    limits.contents.ratioMinimumSize = 1 << 20;
    limits.contents.compressionRatio = 100;
    limits.contents.entryCount = 50'000;
    const auto result = ArchiveContents::extract(_sevenZip, made, parent / "folder", limits);
    EXPECT_EQ(result.failure, GetParam().failure) << result.message;
    EXPECT_THAT(result.message, HasSubstr(GetParam().message));
    EXPECT_TRUE(fs::is_empty(parent / "folder"));
    EXPECT_EQ(std::distance(fs::directory_iterator(parent), fs::directory_iterator()), 1);
    EXPECT_FALSE(fs::exists(_folder.path() / "evil.txt"));
}

fs::path writeMade(const fs::path& folder, const std::string& name, const std::vector<std::uint8_t>& bytes) {
    writeBytes(folder / name, bytes);
    return folder / name;
}

/// Makes a cpio archive of what `writer` holds.
std::function<fs::path(const fs::path&)> cpio(const std::string& name, const CpioWriter& writer) {
    return [name, bytes = writer.bytes()](const fs::path& folder) { return writeMade(folder, name, bytes); };
}

fs::path sevenZipOf(const fs::path& folder, const std::string& name, const std::string& file,
                    std::size_t size) {
    fs::create_directories(folder / "tree");
    fs::resize_file((std::ofstream(folder / "tree" / file), folder / "tree" / file), size);
    EXPECT_EQ(SevenZipFixtures::makeArchive(folder / name, folder / "tree", {"-mx1"}), "");
    return folder / name;
}

fs::path truncatedDiskImage(const fs::path& folder) {
    fs::create_directories(folder / "source/Example.app/Contents");
    std::ofstream(folder / "source/Example.app/Contents/Info.plist") << "<plist/>";
    auto bytes = UDIFWriter(UDIFWriter::hfsVolumeFromFolder(folder / "source", "Example", folder)).bytes();
    bytes.resize(bytes.size() / 2);
    return writeMade(folder, "Example.dmg", bytes);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ArchiveContentsHostile,
    testing::Values(
        HostileCase{"ClimbingName",
                    cpio("climb.cpio", CpioWriter().addEntry("../../evil.txt", 0100644, "evil")),
                    Failure::unsafeEntry, "\"..\""},
        HostileCase{"AbsoluteName",
                    cpio("absolute.cpio", CpioWriter().addEntry("/tmp/evil.txt", 0100644, "evil")),
                    Failure::unsafeEntry, "absolute path"},
        HostileCase{"LinkToEtc", cpio("link.cpio", CpioWriter().addSymlink("Example.app", "/etc")),
                    Failure::unsafeEntry, "points outside"},
        HostileCase{"Fifo",
                    cpio("fifo.cpio",
                         CpioWriter().addDirectory("Example.app").addEntry("./Example.app/pipe", 010644, "")),
                    Failure::unsafeEntry, "neither a file"},
        HostileCase{
            "ZerosBeyondTheRatio",
            [](const fs::path& folder) { return sevenZipOf(folder, "zeros.zip", "zeros.bin", 16 << 20); },
            Failure::limitExceeded, "expand more than 100 times"},
        HostileCase{"TooManyEntries",
                    [](const fs::path& folder) {
                        CpioWriter writer;
                        for (int index = 0; index < 100'000; ++index) {
                            writer.addFile("f" + std::to_string(index), "");
                        }
                        return writeMade(folder, "many.cpio", writer.bytes());
                    },
                    Failure::limitExceeded, "more than 50000 entries"},
        HostileCase{"TruncatedDiskImage", truncatedDiskImage, Failure::cannotOpen, "not a disk image"},
        HostileCase{"TextNamedLikeADiskImage",
                    [](const fs::path& folder) {
                        return writeMade(folder, "Example.dmg", {'t', 'e', 'x', 't'});
                    },
                    Failure::cannotOpen, "not a disk image"}),
    caseName);

class ArchiveExtractionCacheTest : public ArchiveContentsTest {
protected:
    fs::path smallZip(const std::string& name) {
        return archive(name, [](const fs::path& tree) { writeApplication(tree, "Example.app"); });
    }

    fs::path cacheRoot() const { return _folder.path() / "cache" / "archives"; }
};

TEST_F(ArchiveExtractionCacheTest, ReusesTheExtractionOfAnUnchangedArchive) {
    const auto zip = smallZip("Example.zip");
    ArchiveExtractionCache cache(cacheRoot());
    EXPECT_FALSE(fs::exists(cacheRoot()));
    cache.prepare();
    EXPECT_EQ(fs::status(cacheRoot()).permissions() & fs::perms::all, fs::perms::owner_all);

    const auto first = cache.open(_sevenZip, zip, {});
    ASSERT_TRUE(first.contents.succeeded()) << first.contents.message;
    EXPECT_FALSE(first.reused);
    EXPECT_EQ(first.folder.parent_path(), cacheRoot());
    const auto second = cache.open(_sevenZip, zip, {});
    EXPECT_TRUE(second.reused);
    EXPECT_EQ(second.folder, first.folder);
    EXPECT_EQ(second.contents.applications, first.contents.applications);
    EXPECT_GT(cache.size(), 0U);

    // A changed archive is a different archive; a cache opened later finds the finished one.
    fs::last_write_time(zip, fs::last_write_time(zip) + std::chrono::seconds(5));
    const auto changed = cache.open(_sevenZip, zip, {});
    EXPECT_FALSE(changed.reused);
    EXPECT_NE(changed.folder, first.folder);
    ArchiveExtractionCache later(cacheRoot());
    EXPECT_TRUE(later.open(_sevenZip, zip, {}).reused);
}

TEST_F(ArchiveExtractionCacheTest, RemovesTheLeftoversOfEarlierRunsButNotAnotherRunsWork) {
    const auto zip = smallZip("Example.zip");
    std::string finished;
    {
        ArchiveExtractionCache cache(cacheRoot());
        finished = cache.open(_sevenZip, zip, {}).folder.filename().string();
    }
    const auto root = cacheRoot();
    // A process that no longer exists, one that does, a folder without its record, a record
    // without its folder, and something that is no extraction at all.
    fs::create_directories(root / "1-2-3-4-5.partial-999999999/contents/locked");
    fs::permissions(root / "1-2-3-4-5.partial-999999999/contents/locked", fs::perms::none);
    const auto running = root / ("1-2-3-4-6.partial-" + std::to_string(::getppid()));
    fs::create_directories(running);
    fs::create_directories(root / "a-b-c-d-e/contents");
    std::ofstream(root / "a-b-c-d-f.done") << 10;
    std::ofstream(root / "stray.txt") << "x";

    ArchiveExtractionCache cache(root);
    cache.prepare();
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(root)) {
        names.push_back(entry.path().filename().string());
    }
    EXPECT_THAT(names, UnorderedElementsAre(finished, finished + ".done", running.filename().string()));
}

TEST_F(ArchiveExtractionCacheTest, RemovesTheLeastRecentlyUsedExtractionsBeyondItsSize) {
    const auto first = smallZip("First.zip");
    const auto second = smallZip("Second.zip");
    const auto third = smallZip("Third.zip");
    // Room for two extractions of about 50 bytes each.
    ArchiveExtractionCache cache(cacheRoot(), 120);
    const auto firstFolder = cache.open(_sevenZip, first, {}).folder;
    const auto secondFolder = cache.open(_sevenZip, second, {}).folder;
    // Using the first makes the second the least recently used.
    fs::last_write_time(fs::path(secondFolder.string() + ".done"),
                        fs::file_time_type::clock::now() - std::chrono::hours(1));
    EXPECT_TRUE(cache.open(_sevenZip, first, {}).reused);
    const auto thirdFolder = cache.open(_sevenZip, third, {}).folder;
    EXPECT_TRUE(fs::exists(firstFolder));
    EXPECT_FALSE(fs::exists(secondFolder));
    EXPECT_TRUE(fs::exists(thirdFolder));

    // The extraction just made stays even when it alone exceeds the size.
    ArchiveExtractionCache tiny(_folder.path() / "tiny", 1);
    const auto opened = tiny.open(_sevenZip, first, {});
    EXPECT_TRUE(fs::exists(opened.folder));
}

TEST_F(ArchiveExtractionCacheTest, AFailedOpeningLeavesNothing) {
    const auto text = _folder.write("Example.zip", "not a zip");
    ArchiveExtractionCache cache(cacheRoot());
    const auto opened = cache.open(_sevenZip, text, {});
    EXPECT_EQ(opened.contents.failure, Failure::cannotOpen);
    EXPECT_TRUE(opened.folder.empty());
    EXPECT_TRUE(fs::is_empty(cacheRoot()));
}

} // namespace
