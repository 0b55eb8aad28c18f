#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <system_error>
#include <vector>

/// A regular file's contents in memory: mapped read-only when large, so that hashing a large
/// executable streams through the page cache without copies; read into a buffer when small.
///
/// Every file a bundle supplies is opened here. The open itself never waits: a FIFO, a device or
/// a link to one planted where a file belongs would otherwise block the reading thread for good
/// (or stream forever). Only regular files are read; anything else is reported as unreadable.
class ZRMappedFile {
public:
    enum class Links {
        /// A symbolic link in the last component is refused, even one swapped in after a look at
        /// the path.
        refuse,
        /// A link is followed, for the places a bundle's layout puts one (a framework's top-level
        /// executable); what it leads to must still be a regular file.
        follow,
    };

    /// The mapping, or an error (with the system's error code) when the file cannot be opened,
    /// is not a regular file, or cannot be mapped.
    static std::shared_ptr<const ZRMappedFile> open(const std::filesystem::path& path, Links links,
                                                    std::error_code& error);

    /// The contents of a regular file (a symbolic link is not followed) of at most `maximumSize`
    /// bytes; none for anything else or when it cannot be read.
    static std::optional<std::vector<std::uint8_t>> readRegularFile(const std::filesystem::path& path,
                                                                    std::uintmax_t maximumSize);
    /// The same, with a choice about links and the reason when there are none: the system's
    /// error, `is_a_directory`, `not_supported` for other kinds of file, or `file_too_large`.
    static std::optional<std::vector<std::uint8_t>> readRegularFile(const std::filesystem::path& path,
                                                                    std::uintmax_t maximumSize, Links links,
                                                                    std::error_code& error);

    ~ZRMappedFile();
    ZRMappedFile(const ZRMappedFile&) = delete;
    ZRMappedFile& operator=(const ZRMappedFile&) = delete;

    std::span<const std::uint8_t> bytes() const { return {_data, _size}; }
    /// Whole seconds of the modification time seen when the file was opened.
    std::int64_t modificationTime() const { return _modificationTime; }

private:
    ZRMappedFile() = default;

    const std::uint8_t* _data = nullptr;
    std::size_t _size = 0;
    bool _mapped = false;
    std::vector<std::uint8_t> _buffer;
    std::int64_t _modificationTime = 0;
};
