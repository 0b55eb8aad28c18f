#include "Code/Catalogue/ApplicationFileTypes.h"

#include "Code/Archives/ArchiveFormat.h"
#include "ZRFoundation/CodeSigning/ZRMappedFile.h"

#include <algorithm>
#include <array>
#include <cctype>

#include <sys/stat.h>

namespace ApplicationFileTypes {

namespace {

bool isMachOFile(const std::filesystem::path& path) {
    std::error_code error;
    const auto file = ZRMappedFile::open(path, ZRMappedFile::Links::follow, error);
    return file && startsWithMachOMagic(file->bytes());
}

} // namespace

QStringList lumoraContainerTypes() {
    return {QString::fromLatin1(applicationBundle), QString::fromLatin1(unixExecutable)};
}

std::optional<QString> typeIdentifier(const std::filesystem::path& path) {
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0) {
        return std::nullopt;
    }
    if (S_ISDIR(status.st_mode)) {
        return QString::fromLatin1(hasApplicationExtension(path) ? applicationBundle : folder);
    }
    if (S_ISREG(status.st_mode)) {
        const bool executable = (status.st_mode & (S_IXUSR | S_IXGRP | S_IXOTH)) != 0;
        return QString::fromLatin1(executable || isMachOFile(path) ? unixExecutable : data);
    }
    return QString::fromLatin1(item);
}

bool canContainLumora(const std::filesystem::path& path, bool allowOnlyAppBundles) {
    const auto type = typeIdentifier(path);
    if (!type) {
        return false;
    }
    if (allowOnlyAppBundles) {
        return *type == QLatin1String(applicationBundle);
    }
    return lumoraContainerTypes().contains(*type);
}

bool isArchive(const std::filesystem::path& path) {
    return ArchiveFormats::isDownload(path);
}

bool canBeAdded(const std::filesystem::path& path) {
    return canContainLumora(path, false) || isArchive(path);
}

bool hasApplicationExtension(const std::filesystem::path& path) {
    const auto extension = path.extension().string();
    return extension.size() == applicationExtension.size() &&
           std::equal(extension.begin(), extension.end(), applicationExtension.begin(),
                      [](char a, char b) { return std::tolower(static_cast<unsigned char>(a)) == b; });
}

bool startsWithMachOMagic(std::span<const std::uint8_t> bytes) {
    if (bytes.size() < 4) {
        return false;
    }
    const std::uint32_t magic = std::uint32_t{bytes[0]} << 24 | std::uint32_t{bytes[1]} << 16 |
                                std::uint32_t{bytes[2]} << 8 | std::uint32_t{bytes[3]};
    // Universal headers are always stored big-endian but may be read either way round.
    constexpr std::array<std::uint32_t, 8> magics{0xfeedface, 0xfeedfacf, 0xcefaedfe, 0xcffaedfe,
                                                  0xcafebabe, 0xbebafeca, 0xcafebabf, 0xbfbafeca};
    return std::find(magics.begin(), magics.end(), magic) != magics.end();
}

} // namespace ApplicationFileTypes
