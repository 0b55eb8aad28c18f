#pragma once

#include "Support/TemporaryFolder.h"

#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include <sys/types.h>

/// The sample applications built beside the tests, the authority that signed them, and the
/// declaration the text editor sample carries.
inline const std::string examples = LUMORA_EXAMPLES_DIR;
inline const std::string anchor = examples + "/DemoCertificateAuthority.pem";
inline const std::string exampleDeclaration =
    std::string(LUMORA_SOURCE_DIR) + "/examples/declarations/TextEditor.plist";

/// Copies the sample application `sample` (its links kept as links) to `destination`, making its
/// folders; returns `destination`.
std::filesystem::path copySample(const std::string& sample, const std::filesystem::path& destination);

/// Runs the `lumora` program built beside the tests and captures what it prints.
struct LumoraToolRun {
    int exitStatus = -1;
    std::string standardOutput;
    std::string standardError;
};

/// `environment` ("NAME=value") is added to this process's environment, replacing what it names.
LumoraToolRun runLumoraTool(const std::vector<std::string>& arguments,
                            const std::vector<std::string>& environment = {});

/// Runs any program (looked up on PATH when the name has no slash) the same way.
LumoraToolRun runProgram(const std::string& program, const std::vector<std::string>& arguments,
                         const std::vector<std::string>& environment = {});

/// Starts the `lumora` program with its output discarded and returns its process, for the caller
/// to signal and wait for.
pid_t startLumoraTool(const std::vector<std::string>& arguments,
                      const std::vector<std::string>& environment = {});

/// This process's environment with `changes` ("NAME=value") applied.
std::vector<std::string> changedEnvironment(const std::vector<std::string>& changes);

/// The words of `text` split at single spaces: a command line of literal words, holding no path.
std::vector<std::string> words(std::string_view text);

/// `actual` cut down to the members that `expected` names, level by level (arrays of the same length
/// element by element), so that one comparison checks a whole expected part of a JSON output.
nlohmann::json projected(const nlohmann::json& actual, const nlohmann::json& expected);
