#include "Code/Archives/ArchiveFormat.h"
#include "Code/Archives/PbzxDecoder.h"
#include "SevenZipFixtures.h"
#include "Support/TemporaryFolder.h"
#include "tools/ArchiveFixtures/CpioWriter.h"
#include "tools/ArchiveFixtures/FixtureCommand.h"
#include "tools/ArchiveFixtures/InstallerPackageWriter.h"
#include "tools/ArchiveFixtures/XarWriter.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace {

using PayloadEncoding = InstallerPackageWriter::PayloadEncoding;

/// The payload's files, by path below the install location.
const std::map<std::string, std::string>& payloadFiles() {
    static const std::map<std::string, std::string> files = [] {
        std::string executable;
        for (int index = 0; index < 20000; ++index) {
            executable.push_back(static_cast<char>(index * 7 % 251));
        }
        return std::map<std::string, std::string>{
            {"Example.app/Contents/Info.plist", "<plist version=\"1.0\"><dict/></plist>\n"},
            {"Example.app/Contents/MacOS/Example", executable},
            {"Example.app/Contents/Resources/Empty.txt", ""}};
    }();
    return files;
}

std::vector<std::uint8_t> payloadArchive() {
    CpioWriter writer;
    for (const auto* folder : {"Example.app", "Example.app/Contents", "Example.app/Contents/MacOS",
                               "Example.app/Contents/Resources"}) {
        writer.addDirectory(folder);
    }
    for (const auto& [path, contents] : payloadFiles()) {
        writer.addFile(path, contents, path.ends_with("MacOS/Example") ? 0755 : 0644);
    }
    return writer.bytes();
}

using SevenZipFixtures::readFile;
using SevenZipFixtures::writeBytes;

/// Runs 7-Zip and fails the test when it reports an error.
void sevenZip(const std::vector<std::string>& arguments, std::string* output = nullptr) {
    std::vector<std::string> command{"7zz"};
    command.insert(command.end(), arguments.begin(), arguments.end());
    const auto result = FixtureCommand::run(command);
    EXPECT_EQ(result.exitCode, 0) << result.output;
    if (output != nullptr) {
        *output = result.output;
    }
}

struct Encoding {
    const char* name;
    PayloadEncoding encoding;
    std::uint64_t pbzxChunkSize;
};

class InstallerPackageWriterPackage : public testing::TestWithParam<Encoding> {};

TEST_P(InstallerPackageWriterPackage, IsReadBackBySevenZipDownToThePayloadsFiles) {
    const auto& encoding = GetParam();
    TemporaryFolder work;
    const auto archive = payloadArchive();
    InstallerPackageWriter::Component component;
    component.installLocation = "/Applications";
    component.archive = archive;
    component.encoding = encoding.encoding;
    component.pbzxChunkSize = encoding.pbzxChunkSize;
    const auto package = work.path() / "Example.pkg";
    writeBytes(package, InstallerPackageWriter::componentPackage(component));

    std::string error;
    EXPECT_EQ(ArchiveFormats::recognizeFile(package, error), ArchiveFormat::xar);
    std::string listing;
    sevenZip({"l", "-slt", package.string()}, &listing);
    EXPECT_THAT(listing, testing::HasSubstr("Path = PackageInfo\n"));
    EXPECT_THAT(listing, testing::HasSubstr("Path = Payload\n"));

    const auto packageFolder = work.path() / "package";
    sevenZip({"x", "-o" + packageFolder.string(), package.string()});
    EXPECT_THAT(readFile(packageFolder / "PackageInfo"),
                testing::HasSubstr("install-location=\"/Applications\""));

    // The payload comes out of the package as it was stored; its cpio archive takes one more step.
    const auto cpio = work.path() / "Payload.cpio";
    if (encoding.encoding == PayloadEncoding::gzip) {
        sevenZip({"x", "-o" + (work.path() / "gunzipped").string(), (packageFolder / "Payload").string()});
        std::filesystem::rename(work.path() / "gunzipped" / "Payload~", cpio);
    } else {
        const PbzxDecoder decoder({.maximumOutputSize = 1 << 30, .maximumRatio = 1 << 20});
        EXPECT_EQ(decoder.decodeFile(packageFolder / "Payload", cpio), archive.size());
    }
    EXPECT_EQ(readFile(cpio), std::string(archive.begin(), archive.end()));

    const auto installed = work.path() / "installed";
    sevenZip({"x", "-tcpio", "-o" + installed.string(), cpio.string()});
    for (const auto& [path, contents] : payloadFiles()) {
        EXPECT_EQ(readFile(installed / path), contents) << path;
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, InstallerPackageWriterPackage,
                         testing::Values(Encoding{"GzipPayload", PayloadEncoding::gzip, 0},
                                         Encoding{"PbzxPayload", PayloadEncoding::pbzx, 16 * 1024 * 1024},
                                         Encoding{"PbzxPayloadOfSeveralChunks", PayloadEncoding::pbzx, 4096}),
                         caseName);

TEST(InstallerPackageWriter, NamesPackageFilesInFoldersOfTheArchive) {
    TemporaryFolder work;
    const auto product = work.path() / "Product.pkg";
    InstallerPackageWriter::Component component;
    component.archive = CpioWriter().bytes();
    const auto inner = InstallerPackageWriter::payload(component);
    writeBytes(product,
               XarWriter()
                   .addFile("Distribution", std::string("<installer-gui-script/>\n"))
                   .addFile("Example.pkg/PackageInfo", InstallerPackageWriter::packageInfo(component))
                   .addFile("Example.pkg/Payload", inner)
                   .bytes());
    std::string listing;
    sevenZip({"l", "-slt", product.string()}, &listing);
    EXPECT_THAT(listing, testing::HasSubstr("Path = Distribution\n"));
    EXPECT_THAT(listing, testing::HasSubstr("Path = Example.pkg/Payload\n"));
    sevenZip({"x", "-o" + (work.path() / "out").string(), product.string()});
    EXPECT_EQ(readFile(work.path() / "out" / "Example.pkg" / "Payload"),
              std::string(inner.begin(), inner.end()));
}

} // namespace
