#include "Support/SpecialFiles.h"

#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace SpecialFiles {

std::string name(Kind kind) {
    switch (kind) {
    case Kind::fifo:
        return "FIFO";
    case Kind::characterDevice:
        return "CharacterDevice";
    case Kind::directory:
        return "Directory";
    case Kind::linkToDevZero:
        return "LinkToDevZero";
    }
    return "Unknown";
}

std::vector<Kind> availableKinds() {
    std::vector<Kind> kinds{Kind::fifo, Kind::directory, Kind::linkToDevZero};
    if (::geteuid() == 0) {
        kinds.push_back(Kind::characterDevice);
    }
    return kinds;
}

bool replaceWith(const std::filesystem::path& path, Kind kind) {
    std::error_code error;
    std::filesystem::remove_all(path, error);
    switch (kind) {
    case Kind::fifo:
        return ::mkfifo(path.c_str(), 0644) == 0;
    case Kind::characterDevice:
        // The same device as /dev/zero: endless bytes for whoever reads it.
        return ::mknod(path.c_str(), S_IFCHR | 0644, makedev(1, 5)) == 0;
    case Kind::directory:
        return std::filesystem::create_directory(path, error);
    case Kind::linkToDevZero:
        std::filesystem::create_symlink("/dev/zero", path, error);
        return !error;
    }
    return false;
}

} // namespace SpecialFiles
