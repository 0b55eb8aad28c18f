#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>

/// The containers macOS software is downloaded in, as their bytes show them (never their names).
enum class ArchiveFormat {
    /// An Apple disk image: a `koly` trailer in the last 512 bytes.
    diskImage,
    zip,
    /// Flat installer packages (.pkg, .mpkg) and .xip archives.
    xar,
    tar,
    cpio,
    /// A single compressed stream (often a tar archive, as .tar.gz and the like).
    gzip,
    bzip2,
    xz,
    zstd,
};

namespace ArchiveFormats {

/// How many bytes of a file's start and end recognition looks at.
inline constexpr std::size_t headSize = 512;
inline constexpr std::size_t trailerSize = 512;

/// The format of a file whose first bytes are `head` (up to `headSize`) and whose last bytes are
/// `trailer` (up to `trailerSize`; for a file shorter than that, its whole content); none when
/// the bytes are of no container this program opens.
std::optional<ArchiveFormat> recognize(std::span<const std::uint8_t> head,
                                       std::span<const std::uint8_t> trailer);

/// Reads the start and end of the regular file at `path` and recognises its format. None, with
/// `error` empty, for a file of another kind; none with `error` set when the file cannot be read
/// (it is not a regular file, or reading failed).
std::optional<ArchiveFormat> recognizeFile(const std::filesystem::path& path, std::string& error);

/// Whether `path`'s name ends as a download's does (.dmg, .zip, .pkg, .mpkg, .xip, .tar, .tgz,
/// .tar.gz and the like), in any case. Callers that take a file handed over by name use it beside
/// `recognizeFile`, so that a damaged or mislabelled download is reported as one.
bool hasDownloadExtension(const std::filesystem::path& path);

/// Whether the item at `path` is to be opened as a download when it is handed over: a regular
/// file (links followed) with a download's name or an archive's bytes.
bool isDownload(const std::filesystem::path& path);

/// A short English name for messages ("disk image", "zip archive", ...).
const char* name(ArchiveFormat format);

} // namespace ArchiveFormats
