// lumora-make-disk-image: writes an Apple disk image (UDIF, zlib chunks) holding a folder as an
// HFS+ volume, for benchmarks and manual tries.
//   lumora-make-disk-image FOLDER VOLUME-NAME OUTPUT.dmg

#include "tools/ArchiveFixtures/UDIFWriter.h"

#include <cstdio>
#include <exception>
#include <filesystem>

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fputs("usage: lumora-make-disk-image FOLDER VOLUME-NAME OUTPUT.dmg\n", stderr);
        return 2;
    }
    try {
        const std::filesystem::path output = argv[3];
        const auto work = output.parent_path().empty() ? std::filesystem::path(".") : output.parent_path();
        UDIFWriter(UDIFWriter::hfsVolumeFromFolder(argv[1], argv[2], work)).write(output);
        std::filesystem::remove(work / (std::string(argv[2]) + ".iso"));
    } catch (const std::exception& error) {
        std::fprintf(stderr, "lumora-make-disk-image: %s\n", error.what());
        return 1;
    }
    return 0;
}
