#pragma once

#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

/// The `lumora` command line: a table of commands, each in a file of its own.
namespace LumoraTool {

inline constexpr int exitSuccess = 0;
inline constexpr int exitFailure = 1;
inline constexpr int exitUsage = 2;

int run(int argc, char** argv);

/// Prints "lumora: MESSAGE" and the usage line of `command` on standard error; returns exitUsage.
int usageError(std::string_view command, std::string_view message);

// The commands. Each receives the arguments after its name.
int runLint(const std::vector<std::string>& arguments);
int runMatch(const std::vector<std::string>& arguments);
int runCodesign(const std::vector<std::string>& arguments);
int runCheck(const std::vector<std::string>& arguments);
int runShow(const std::vector<std::string>& arguments);
int runPage(const std::vector<std::string>& arguments);
int runScan(const std::vector<std::string>& arguments);

} // namespace LumoraTool

namespace ToolDocumentLoading {
struct Failure;
}

namespace LumoraTool {
/// Prints a document that could not be loaded (as {"error": …} with --json) and returns exitFailure.
int reportDocumentFailure(bool asJSON, const ToolDocumentLoading::Failure& failure);

} // namespace LumoraTool
