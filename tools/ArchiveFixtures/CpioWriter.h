#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

/// Writes cpio archives in the portable ASCII ("odc") format, as installer payloads hold them:
/// a "." entry first, every name relative and starting "./", "TRAILER!!!" last.
class CpioWriter {
public:
    CpioWriter();

    /// `path` is relative to the archive's root ("Example.app/Contents").
    CpioWriter& addDirectory(const std::string& path, std::uint32_t permissions = 0755);
    CpioWriter& addFile(const std::string& path, std::string_view contents, std::uint32_t permissions = 0644);
    CpioWriter& addSymlink(const std::string& path, const std::string& target);
    /// An entry with a name exactly as given (no "./" added), for damaged archives.
    CpioWriter& addEntry(const std::string& name, std::uint32_t mode, std::string_view contents);

    /// The entries and the trailer.
    std::vector<std::uint8_t> bytes() const;

private:
    std::vector<std::uint8_t> _entries;
    std::uint32_t _nextInode = 1;
};
