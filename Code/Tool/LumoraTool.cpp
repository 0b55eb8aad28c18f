#include "Code/Tool/LumoraTool.h"

#include "Code/Tool/TerminalText.h"
#include "LumoraManual.h"
#include "LumoraVersion.h"
#include "ZRFoundation/Bundle/ZRBundle.h"
#include "ZRFoundation/CodeSigning/ZRCryptoLibrary.h"

#include <algorithm>
#include <array>
#include <functional>

namespace LumoraTool {

namespace {

struct Command {
    std::string_view name;
    int (*run)(const std::vector<std::string>&);
};

constexpr std::array commands{
    Command{"lint", runLint},   Command{"check", runCheck},       Command{"show", runShow},
    Command{"match", runMatch}, Command{"codesign", runCodesign}, Command{"page", runPage},
    Command{"scan", runScan},
};

/// The manual's entry for `name`; every command has one (the tests check that).
const LumoraManual::CommandHelp* commandHelp(std::string_view name) {
    for (const auto& help : LumoraManual::commands) {
        if (help.name == name) {
            return &help;
        }
    }
    return nullptr;
}

void print(std::FILE* stream, std::string_view text) {
    std::fwrite(text.data(), 1, text.size(), stream);
}

} // namespace

int usageError(std::string_view commandName, std::string_view message) {
    print(stderr, (TerminalText() << "lumora: " << message << TerminalText::newline).string());
    if (const auto* help = commandHelp(commandName)) {
        std::fprintf(stderr, "usage: %.*s\n", static_cast<int>(help->usage.size()), help->usage.data());
    }
    return exitUsage;
}

int run(int argc, char** argv) {
    // Before any thread or Qt's network stack can start the crypto library, so that it never tears
    // itself down at exit under threads still using it.
    ZRCryptoLibrary::initialize();
    const std::vector<std::string> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
    if (arguments.empty()) {
        print(stderr, LumoraManual::help);
        return exitUsage;
    }
    const std::string& first = arguments.front();
    if (first == "--version") {
        std::printf("lumora %s\n", LumoraVersionString);
        return exitSuccess;
    }
    if (first == "--help" || first == "-h" || first == "help") {
        print(stdout, LumoraManual::help);
        return exitSuccess;
    }
    for (const auto& command : commands) {
        if (command.name == first) {
            const std::vector<std::string> rest(arguments.begin() + 1, arguments.end());
            if (std::ranges::find(rest, "--help") != rest.end()) {
                if (const auto* help = commandHelp(command.name)) {
                    print(stdout, help->help);
                }
                return exitSuccess;
            }
            if (const auto problem = ZRBundle::mainBundleResourcesProblem("LumoraLocalization")) {
                print(stderr, (TerminalText() << "lumora: " << *problem << TerminalText::newline).string());
                return exitFailure;
            }
            return command.run(rest);
        }
    }
    print(stderr,
          (TerminalText() << "lumora: unknown command '" << first << "'" << TerminalText::newline).string());
    print(stderr, LumoraManual::help);
    return exitUsage;
}

} // namespace LumoraTool
