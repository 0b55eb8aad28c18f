#pragma once

#include <string>
#include <vector>

/// Runs a program for fixtures and their tests (xorriso to make volumes, 7-Zip to read images
/// back) and collects what it prints.
namespace FixtureCommand {

struct Result {
    /// The program's exit status; -1 when it did not exit normally.
    int exitCode;
    /// Standard output and standard error, interleaved.
    std::string output;
};

/// Runs `arguments` (the program first, looked up in PATH) through the shell, each argument
/// quoted.
Result run(const std::vector<std::string>& arguments);

} // namespace FixtureCommand
