#pragma once

// What the macro benchmarks share: a scratch folder and copies of a sample application.

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include <stdlib.h>

namespace MacroBenchmarkSupport {

/// A fresh folder in the temporary folder, removed with its contents at the end.
class TemporaryFolder {
public:
    explicit TemporaryFolder(const std::string& prefix) {
        std::string pattern = (std::filesystem::temp_directory_path() / (prefix + "-XXXXXX")).string();
        if (::mkdtemp(pattern.data()) == nullptr) {
            std::perror("cannot make a temporary folder");
            std::exit(1);
        }
        _path = pattern;
    }
    ~TemporaryFolder() {
        std::error_code error;
        std::filesystem::remove_all(_path, error);
    }
    TemporaryFolder(const TemporaryFolder&) = delete;
    TemporaryFolder& operator=(const TemporaryFolder&) = delete;

    const std::filesystem::path& path() const { return _path; }

private:
    std::filesystem::path _path;
};

/// `count` copies of `application`, each in a numbered folder of its own below `folder`.
inline std::vector<std::filesystem::path> copyApplication(const std::filesystem::path& application,
                                                          const std::filesystem::path& folder,
                                                          std::size_t count) {
    std::vector<std::filesystem::path> copies;
    copies.reserve(count);
    for (std::size_t index = 0; index < count; ++index) {
        const auto copy = folder / std::to_string(index) / application.filename();
        std::filesystem::create_directories(copy.parent_path());
        std::filesystem::copy(application, copy,
                              std::filesystem::copy_options::recursive |
                                  std::filesystem::copy_options::copy_symlinks);
        copies.push_back(copy);
    }
    return copies;
}

} // namespace MacroBenchmarkSupport
