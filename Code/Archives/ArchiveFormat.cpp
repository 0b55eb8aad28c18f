#include "Code/Archives/ArchiveFormat.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <string_view>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool startsWith(std::span<const std::uint8_t> bytes, std::string_view magic, std::size_t offset = 0) {
    return bytes.size() >= offset + magic.size() &&
           std::equal(magic.begin(), magic.end(), bytes.begin() + static_cast<std::ptrdiff_t>(offset),
                      [](char expected, std::uint8_t actual) {
                          return static_cast<std::uint8_t>(expected) == actual;
                      });
}

std::uint32_t bigEndian32(std::span<const std::uint8_t> bytes, std::size_t offset) {
    return static_cast<std::uint32_t>(bytes[offset]) << 24 |
           static_cast<std::uint32_t>(bytes[offset + 1]) << 16 |
           static_cast<std::uint32_t>(bytes[offset + 2]) << 8 | static_cast<std::uint32_t>(bytes[offset + 3]);
}

/// A disk image ends in a 512-byte trailer: "koly", version 4, its own size 512.
bool hasDiskImageTrailer(std::span<const std::uint8_t> trailer) {
    if (trailer.size() < ArchiveFormats::trailerSize) {
        return false;
    }
    const auto koly = trailer.last(ArchiveFormats::trailerSize);
    return startsWith(koly, "koly") && bigEndian32(koly, 4) == 4 && bigEndian32(koly, 8) == 512;
}

bool readFully(int descriptor, std::uint8_t* into, std::size_t count, off_t offset) {
    while (count > 0) {
        const ssize_t got = ::pread(descriptor, into, count, offset);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            return false;
        }
        into += got;
        count -= static_cast<std::size_t>(got);
        offset += got;
    }
    return true;
}

} // namespace

std::optional<ArchiveFormat> ArchiveFormats::recognize(std::span<const std::uint8_t> head,
                                                       std::span<const std::uint8_t> trailer) {
    if (hasDiskImageTrailer(trailer)) {
        return ArchiveFormat::diskImage;
    }
    // Local file header, or the end record alone of an empty archive.
    if (startsWith(head, "PK\x03\x04") || startsWith(head, "PK\x05\x06")) {
        return ArchiveFormat::zip;
    }
    if (startsWith(head, "xar!")) {
        return ArchiveFormat::xar;
    }
    // POSIX ("ustar\0") and GNU ("ustar  \0") headers both carry "ustar" here.
    if (startsWith(head, "ustar", 257)) {
        return ArchiveFormat::tar;
    }
    // Portable ASCII ("odc"), new ASCII and its checksummed form, and binary in either byte order.
    if (startsWith(head, "070707") || startsWith(head, "070701") || startsWith(head, "070702") ||
        startsWith(head, "\xc7\x71") || startsWith(head, "\x71\xc7")) {
        return ArchiveFormat::cpio;
    }
    if (startsWith(head, "\x1f\x8b")) {
        return ArchiveFormat::gzip;
    }
    if (startsWith(head, "BZh") && head.size() > 3 && head[3] >= '1' && head[3] <= '9') {
        return ArchiveFormat::bzip2;
    }
    if (startsWith(head, std::string_view("\xfd"
                                          "7zXZ\0",
                                          6))) {
        return ArchiveFormat::xz;
    }
    if (startsWith(head, "\x28\xb5\x2f\xfd")) {
        return ArchiveFormat::zstd;
    }
    return std::nullopt;
}

std::optional<ArchiveFormat> ArchiveFormats::recognizeFile(const std::filesystem::path& path,
                                                           std::string& error) {
    error.clear();
    // Non-blocking: a FIFO or a device named like a download must not stall the caller.
    const int descriptor = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (descriptor < 0) {
        error = std::strerror(errno);
        return std::nullopt;
    }
    struct stat status {};
    std::array<std::uint8_t, headSize> head{};
    std::array<std::uint8_t, trailerSize> trailer{};
    std::size_t headLength = 0;
    std::size_t trailerLength = 0;
    bool readable = ::fstat(descriptor, &status) == 0 && S_ISREG(status.st_mode);
    if (!readable) {
        error = "not a regular file";
    } else {
        const auto size = static_cast<std::size_t>(status.st_size);
        headLength = std::min(size, headSize);
        trailerLength = std::min(size, trailerSize);
        readable =
            readFully(descriptor, head.data(), headLength, 0) &&
            readFully(descriptor, trailer.data(), trailerLength, static_cast<off_t>(size - trailerLength));
        if (!readable) {
            error = "the file could not be read";
        }
    }
    ::close(descriptor);
    if (!readable) {
        return std::nullopt;
    }
    return recognize(std::span(head.data(), headLength), std::span(trailer.data(), trailerLength));
}

bool ArchiveFormats::hasDownloadExtension(const std::filesystem::path& path) {
    auto name = path.filename().string();
    std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return std::tolower(c); });
    for (const std::string_view extension : {".dmg", ".zip", ".pkg", ".mpkg", ".xip", ".tar", ".tgz", ".tbz",
                                             ".tbz2", ".txz", ".gz", ".bz2", ".xz", ".zst", ".cpio"}) {
        if (name.size() > extension.size() && name.ends_with(extension)) {
            return true;
        }
    }
    return false;
}

bool ArchiveFormats::isDownload(const std::filesystem::path& path) {
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error)) {
        return false;
    }
    std::string readError;
    return hasDownloadExtension(path) || recognizeFile(path, readError).has_value();
}

const char* ArchiveFormats::name(ArchiveFormat format) {
    switch (format) {
    case ArchiveFormat::diskImage:
        return "disk image";
    case ArchiveFormat::zip:
        return "zip archive";
    case ArchiveFormat::xar:
        return "installer package";
    case ArchiveFormat::tar:
        return "tar archive";
    case ArchiveFormat::cpio:
        return "cpio archive";
    case ArchiveFormat::gzip:
        return "gzip stream";
    case ArchiveFormat::bzip2:
        return "bzip2 stream";
    case ArchiveFormat::xz:
        return "xz stream";
    case ArchiveFormat::zstd:
        return "zstd stream";
    }
    return "archive";
}
