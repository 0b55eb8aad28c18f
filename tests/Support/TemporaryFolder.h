#pragma once

#include <filesystem>
#include <string>

/// A fresh temporary folder, removed with everything in it when the object goes.
class TemporaryFolder {
public:
    TemporaryFolder();
    ~TemporaryFolder();
    TemporaryFolder(const TemporaryFolder&) = delete;
    TemporaryFolder& operator=(const TemporaryFolder&) = delete;

    const std::filesystem::path& path() const { return _path; }
    /// Writes `contents` to `name` (a relative path; folders are created) and returns its path.
    std::filesystem::path write(const std::string& name, const std::string& contents) const;

private:
    std::filesystem::path _path;
};
