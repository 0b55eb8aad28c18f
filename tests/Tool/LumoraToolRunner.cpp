#include "Tool/LumoraToolRunner.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

std::string readAll(const std::filesystem::path& path) {
    std::ifstream stream(path, std::ios::binary);
    std::ostringstream contents;
    contents << stream.rdbuf();
    return contents.str();
}

} // namespace

std::filesystem::path copySample(const std::string& sample, const std::filesystem::path& destination) {
    std::filesystem::create_directories(destination.parent_path());
    std::filesystem::copy(examples + "/" + sample, destination,
                          std::filesystem::copy_options::recursive |
                              std::filesystem::copy_options::copy_symlinks);
    return destination;
}

LumoraToolRun runLumoraTool(const std::vector<std::string>& arguments,
                            const std::vector<std::string>& environment) {
    return runProgram(LUMORA_TOOL_PATH, arguments, environment);
}

std::vector<std::string> changedEnvironment(const std::vector<std::string>& changes) {
    std::vector<std::string> result = changes;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string_view text(*entry);
        const auto name = text.substr(0, text.find('=') + 1);
        const bool replaced = std::any_of(changes.begin(), changes.end(), [&](const std::string& change) {
            return change.starts_with(name);
        });
        if (!replaced) {
            result.emplace_back(text);
        }
    }
    return result;
}

namespace {

pid_t spawn(const std::string& program, const std::vector<std::string>& arguments,
            const std::vector<std::string>& environment, const std::filesystem::path& outputPath,
            const std::filesystem::path& errorPath) {
    std::vector<std::string> argumentStrings{program};
    argumentStrings.insert(argumentStrings.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (auto& argument : argumentStrings) {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, outputPath.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errorPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    pid_t child = 0;
    auto environmentStrings = changedEnvironment(environment);
    std::vector<char*> envp;
    for (auto& entry : environmentStrings) {
        envp.push_back(entry.data());
    }
    envp.push_back(nullptr);
    const int spawned = posix_spawnp(&child, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        throw std::runtime_error("cannot start " + program);
    }
    return child;
}

} // namespace

pid_t startLumoraTool(const std::vector<std::string>& arguments,
                      const std::vector<std::string>& environment) {
    return spawn(LUMORA_TOOL_PATH, arguments, environment, "/dev/null", "/dev/null");
}

LumoraToolRun runProgram(const std::string& program, const std::vector<std::string>& arguments,
                         const std::vector<std::string>& environment) {
    const TemporaryFolder outputs;
    const auto outputPath = outputs.path() / "stdout";
    const auto errorPath = outputs.path() / "stderr";
    const pid_t child = spawn(program, arguments, environment, outputPath, errorPath);
    int status = 0;
    waitpid(child, &status, 0);

    LumoraToolRun run;
    run.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.standardOutput = readAll(outputPath);
    run.standardError = readAll(errorPath);
    return run;
}

std::vector<std::string> words(std::string_view text) {
    std::vector<std::string> result;
    for (std::size_t start = 0; start < text.size();) {
        const auto end = std::min(text.find(' ', start), text.size());
        result.emplace_back(text.substr(start, end - start));
        start = end + 1;
    }
    return result;
}

nlohmann::json projected(const nlohmann::json& actual, const nlohmann::json& expected) {
    if (expected.is_object() && actual.is_object()) {
        auto result = nlohmann::json::object();
        for (const auto& [key, value] : expected.items()) {
            if (actual.contains(key)) {
                result[key] = projected(actual[key], value);
            }
        }
        return result;
    }
    if (expected.is_array() && actual.is_array() && expected.size() == actual.size()) {
        auto result = nlohmann::json::array();
        for (std::size_t index = 0; index < actual.size(); ++index) {
            result.push_back(projected(actual[index], expected[index]));
        }
        return result;
    }
    return actual;
}
