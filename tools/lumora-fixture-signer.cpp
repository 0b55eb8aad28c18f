// lumora-fixture-signer: makes signed test executables and the certificates they chain to.
//   lumora-fixture-signer KIND ARCH OUTPUT-DIRECTORY
// KIND: developer-id, development, mac-app-store, self-signed, adhoc, linker, unsigned
// ARCH: x86_64, arm64, universal. Writes OUTPUT-DIRECTORY/fixture and, for certificate
// signatures, OUTPUT-DIRECTORY/anchor.pem (the test root to pass as an extra trust anchor).

#include "tools/FixtureSigner/FixtureCertificateHierarchy.h"
#include "tools/FixtureSigner/FixtureSigner.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

int usage() {
    std::fputs("usage: lumora-fixture-signer "
               "developer-id|development|mac-app-store|self-signed|adhoc|linker|unsigned "
               "x86_64|arm64|universal OUTPUT-DIRECTORY\n",
               stderr);
    return 2;
}

void write(const std::filesystem::path& path, const void* data, std::size_t size) {
    std::ofstream stream(path, std::ios::binary);
    stream.write(static_cast<const char*>(data), static_cast<std::streamsize>(size));
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        return usage();
    }
    const std::string kind = argv[1];
    const std::string architecture = argv[2];
    const std::filesystem::path directory = argv[3];
    std::filesystem::create_directories(directory);
    const auto hierarchy = FixtureCertificateHierarchy::make();
    FixtureSigner::Options options;
    options.teamIdentifier = FixtureCertificateHierarchy::teamIdentifier;
    options.designatedRequirement = FixtureSigner::developerIDRequirement(
        options.identifier, FixtureCertificateHierarchy::teamIdentifier);
    options.chain = {&hierarchy.intermediate, &hierarchy.root};
    if (kind == "developer-id") {
        options.signer = &hierarchy.developerIDLeaf;
    } else if (kind == "development") {
        options.signer = &hierarchy.developmentLeaf;
    } else if (kind == "mac-app-store") {
        options.signer = &hierarchy.macAppStoreLeaf;
    } else if (kind == "self-signed") {
        options.signer = &hierarchy.selfSignedLeaf;
        options.chain = {};
    } else if (kind == "adhoc" || kind == "linker" || kind == "unsigned") {
        options.kind = kind == "adhoc" ? FixtureSigner::Kind::adhoc : FixtureSigner::Kind::linkerSigned;
        options.teamIdentifier.reset();
        options.designatedRequirement.reset();
    } else {
        return usage();
    }
    auto sliceFor = [&](FixtureMachOBuilder::Architecture arch) {
        FixtureMachOBuilder::Executable executable;
        executable.architecture = arch;
        executable.infoPlist =
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">\n<dict>\n"
            "\t<key>CFBundleIdentifier</key>\n\t<string>com.example.fixture</string>\n</dict>\n"
            "</plist>\n";
        return kind == "unsigned" ? FixtureSigner::makeUnsigned(executable)
                                  : FixtureSigner::sign(executable, options);
    };
    std::vector<std::uint8_t> bytes;
    if (architecture == "x86_64") {
        bytes = sliceFor(FixtureMachOBuilder::Architecture::x86_64);
    } else if (architecture == "arm64") {
        bytes = sliceFor(FixtureMachOBuilder::Architecture::arm64);
    } else if (architecture == "universal") {
        bytes = FixtureMachOBuilder::universal({sliceFor(FixtureMachOBuilder::Architecture::x86_64),
                                                sliceFor(FixtureMachOBuilder::Architecture::arm64)});
    } else {
        return usage();
    }
    write(directory / "fixture", bytes.data(), bytes.size());
    const std::string anchor = hierarchy.root.pem();
    write(directory / "anchor.pem", anchor.data(), anchor.size());
    std::printf("%s\n", (directory / "fixture").c_str());
    return 0;
}
