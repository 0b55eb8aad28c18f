#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

/// The mounts this process sees, as the kernel lists them in /proc/self/mountinfo. Plain C++, so
/// that the parser can be fuzzed without Qt.
class MountTable {
public:
    struct Entry {
        /// Unique among the mounts that exist at one time; reused after an unmount.
        unsigned long mountID = 0;
        /// Where the mount is seen, with the kernel's octal escapes (\040 for a space) decoded:
        /// the exact bytes of the path, which need not be UTF-8.
        std::string mountPoint;
        std::string fileSystemType;

        bool operator==(const Entry&) const = default;
    };

    /// One line of the table (without its line feed). None when the line does not have the
    /// shape "ID PARENT MAJOR:MINOR ROOT MOUNT-POINT OPTIONS [OPTIONAL...] - TYPE SOURCE OPTIONS",
    /// when the mount point is not an absolute path, or when an escape is malformed.
    static std::optional<Entry> parseLine(std::string_view line);
    /// Every well-formed line of `text`; malformed lines are skipped.
    static std::vector<Entry> parse(std::string_view text);
    /// The table of the calling process; empty when it cannot be read.
    static std::vector<Entry> readCurrent();

    /// Kernel-internal file systems that never hold applications and that a walk must not enter.
    static bool isPseudoFileSystem(std::string_view fileSystemType);
};
