#include "tools/ArchiveFixtures/FixtureCommand.h"

#include <array>
#include <cstdio>
#include <stdexcept>

#include <sys/wait.h>

namespace {

std::string shellQuoted(const std::string& argument) {
    std::string quoted = "'";
    for (const char character : argument) {
        if (character == '\'') {
            quoted.append("'\\''");
        } else {
            quoted.push_back(character);
        }
    }
    quoted.push_back('\'');
    return quoted;
}

} // namespace

FixtureCommand::Result FixtureCommand::run(const std::vector<std::string>& arguments) {
    std::string line;
    for (const auto& argument : arguments) {
        line.append(shellQuoted(argument)).append(" ");
    }
    line.append("2>&1 </dev/null");
    FILE* pipe = ::popen(line.c_str(), "r");
    if (pipe == nullptr) {
        throw std::runtime_error("cannot run " + arguments.front());
    }
    Result result{-1, {}};
    std::array<char, 4096> buffer{};
    std::size_t count = 0;
    while ((count = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0) {
        result.output.append(buffer.data(), count);
    }
    const int status = ::pclose(pipe);
    if (status != -1 && WIFEXITED(status)) {
        result.exitCode = WEXITSTATUS(status);
    }
    return result;
}
