#pragma once

// What the macro benchmarks share: a scratch folder and copies of a sample application.

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <map>
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

/// A macro benchmark's command line: numeric options (each with its default), `--json`, and a
/// fixed number of paths. A mistake prints the usage and exits with 2.
struct CommandLine {
    std::map<std::string, std::size_t> numbers;
    bool json = false;
    std::vector<std::filesystem::path> paths;

    /// `numbers` names the accepted options ("--count") with their defaults; `pathsNeeded` says
    /// what the paths are, for the message when their number is wrong.
    static CommandLine parse(int argc, char** argv, const std::string& usage,
                             std::map<std::string, std::size_t> numbers, std::size_t pathCount,
                             const std::string& pathsNeeded, bool acceptsJSON = true) {
        const auto fail = [&](const std::string& problem) {
            std::cerr << (argc > 0 ? std::filesystem::path(argv[0]).filename().string() : "benchmark") << ": "
                      << problem << "\nusage: " << usage << "\n";
            std::exit(2);
        };
        CommandLine line;
        line.numbers = std::move(numbers);
        for (int index = 1; index < argc; ++index) {
            const std::string argument = argv[index];
            if (const auto number = line.numbers.find(argument); number != line.numbers.end()) {
                const long value = ++index < argc ? std::strtol(argv[index], nullptr, 10) : 0;
                if (value <= 0 || value > 100000) {
                    fail(argument + " needs a positive number");
                }
                number->second = static_cast<std::size_t>(value);
            } else if (argument == "--json" && acceptsJSON) {
                line.json = true;
            } else if (argument.starts_with("--")) {
                fail("unknown option " + argument);
            } else {
                line.paths.emplace_back(argument);
            }
        }
        if (line.paths.size() != pathCount) {
            fail("needs " + pathsNeeded);
        }
        return line;
    }
};

} // namespace MacroBenchmarkSupport
