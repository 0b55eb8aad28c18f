#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

/// Damages signed fixtures in the ways the verifier must notice. The byte functions work on the
/// first slice at `sliceOffset` and return false when the file lacks the part to damage; the file
/// functions edit a written bundle and return false when the item to change is not there.
class FixtureTamper {
public:
    /// Writes a new file (and its folders); false when something is already at `path`.
    static bool addFile(const std::filesystem::path& path, const std::string& contents = "added\n");
    /// Appends a byte to a regular file, keeping its modification time as it was.
    static bool changeFile(const std::filesystem::path& path);
    static bool removeFile(const std::filesystem::path& path);
    /// Points an existing symbolic link at `newTarget`.
    static bool swapSymlinkTarget(const std::filesystem::path& link, const std::string& newTarget);
    /// Adds an entry to the Info.plist of the bundle at `bundlePath` (an application's
    /// `Contents/Info.plist`, a framework's `Resources/Info.plist`), which stays well formed.
    static bool changeInfoPlist(const std::filesystem::path& bundlePath);

    /// Flips a byte of the second page of code.
    static bool flipCodeByte(std::vector<std::uint8_t>& file, std::uint64_t sliceOffset = 0);
    /// Flips a byte of the requirement set, which special slot 2 binds.
    static bool flipRequirementsByte(std::vector<std::uint8_t>& file, std::uint64_t sliceOffset = 0);
    /// Flips a byte inside the CMS signature value.
    static bool flipCMSSignatureByte(std::vector<std::uint8_t>& file, std::uint64_t sliceOffset = 0);
    /// Replaces the signer's digest algorithm by an unassigned one.
    static bool setUnknownSignerDigest(std::vector<std::uint8_t>& file, std::uint64_t sliceOffset = 0);
    /// The file range of a SuperBlob entry (slot) in the first slice, or {0, 0}.
    static std::pair<std::uint64_t, std::uint64_t> blobRange(const std::vector<std::uint8_t>& file,
                                                             std::uint64_t sliceOffset, std::uint32_t slot);
};
