#pragma once

#include <filesystem>
#include <string>
#include <vector>

/// Runs the `lumora` program built beside the tests and captures what it prints.
struct LumoraToolRun {
    int exitStatus = -1;
    std::string standardOutput;
    std::string standardError;
};

LumoraToolRun runLumoraTool(const std::vector<std::string>& arguments);

/// A fresh temporary folder, removed with the object.
class TemporaryFolder {
public:
    TemporaryFolder();
    ~TemporaryFolder();
    TemporaryFolder(const TemporaryFolder&) = delete;
    TemporaryFolder& operator=(const TemporaryFolder&) = delete;

    const std::filesystem::path& path() const { return _path; }
    std::filesystem::path write(const std::string& name, const std::string& contents) const;

private:
    std::filesystem::path _path;
};
