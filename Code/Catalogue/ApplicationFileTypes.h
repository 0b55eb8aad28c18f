#pragma once

#include <QString>
#include <QStringList>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string_view>

/// The type identifiers of the file system items that may be applications. Linux has no system-wide
/// type identification to ask, so this stands in for it with the few types the catalogue cares
/// about, told apart by a folder's extension, a file's mode bits and a file's first four bytes.
namespace ApplicationFileTypes {

inline constexpr const char* applicationBundle = "com.apple.application-bundle";
inline constexpr const char* unixExecutable = "public.unix-executable";
inline constexpr const char* folder = "public.folder";
inline constexpr const char* data = "public.data";
/// Anything else that exists: a device, a socket, a pipe.
inline constexpr const char* item = "public.item";

/// The extension of an application bundle's folder.
inline constexpr std::string_view applicationExtension = ".app";

/// The types of the items that may carry a document, in order: application bundles, then Unix
/// executables.
QStringList lumoraContainerTypes();

/// The type identifier of the item at `path`, links followed: a folder named *.app (in any case) is
/// an application bundle, a regular file that is a Mach-O or carries an execute bit is a Unix
/// executable, any other folder or regular file is a folder or plain data. None when the item cannot
/// be examined.
std::optional<QString> typeIdentifier(const std::filesystem::path& path);

/// Whether the item at `path` may carry a document: an application bundle, or (unless
/// `allowOnlyAppBundles`) a Unix executable.
bool canContainLumora(const std::filesystem::path& path, bool allowOnlyAppBundles);

/// Whether the item at `path` is a regular file (links followed) that is a download the catalogue
/// opens: a disk image, a zip, tar or cpio archive, an installer package or a compressed stream,
/// by its name or by its first and last bytes (so that a damaged download is opened, and its
/// fault reported).
bool isArchive(const std::filesystem::path& path);

/// Whether the item at `path` can be added by hand: what may carry a document, or an archive.
bool canBeAdded(const std::filesystem::path& path);

/// Whether the last component ends in ".app", compared without regard to case as type identifiers
/// match extensions.
bool hasApplicationExtension(const std::filesystem::path& path);

/// Whether `bytes` begin with a Mach-O magic number: a thin 32- or 64-bit file in either byte order,
/// or a universal file with 32- or 64-bit offsets.
bool startsWithMachOMagic(std::span<const std::uint8_t> bytes);

} // namespace ApplicationFileTypes
