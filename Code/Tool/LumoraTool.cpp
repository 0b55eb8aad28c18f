#include "Code/Tool/LumoraTool.h"

#include "LumoraVersion.h"

#include <array>
#include <functional>

namespace LumoraTool {

namespace {

struct Command {
    std::string_view name;
    std::string_view usage;
    std::string_view summary;
    int (*run)(const std::vector<std::string>&);
};

constexpr std::array commands{
    Command{"lint", "lumora lint [--json] [--language LANG] FILE",
            "Check one declaration file (.plist or .json) and print the document or the error.", runLint},
    Command{"check", "lumora check [--json] [--extra-trust-anchors FILE] PATH...",
            "Load applications as the viewer does and report each one's state.", runCheck},
    Command{"show", "lumora show [--json] [--extra-trust-anchors FILE] PATH",
            "Load one application as the viewer does and print its document.", runShow},
    Command{"match",
            "lumora match [--json] [--incoming] [--host NAME | --domain NAME | --ip TEXT | --local-network | "
            "--bpf]\n"
            "                   [--protocol any|tcp|udp|icmp] [--port N] [--extra-trust-anchors FILE] PATH",
            "Simulate a connection and print the declared connections that cover it, best first.", runMatch},
    Command{"codesign",
            "lumora codesign [--json] [--options HEX] [--verify-resources] [--extra-trust-anchors FILE] PATH",
            "Check the code signature of an executable or bundle and print the result, the problems found\n"
            "      and one record per slice of the main executable.",
            runCodesign},
    Command{"page",
            "lumora page [--dark] [--show-ports] [--developer-connection] [connection options of match]\n"
            "                  [--extra-trust-anchors FILE] [-o FILE] PATH\n"
            "       lumora page [--dark] --empty-selection [--proposed-folder DIR]... [--preview-offered] "
            "[-o FILE]",
            "Write the page the viewer shows for an application or a declaration file (or for no selection).",
            runPage},
    Command{"scan",
            "lumora scan [--json] [--scope DIR]... [--no-live-query] [--folder DIR]... [--no-folders]\n"
            "                  [--add PATH]... [--preview-list-url URL [--preview-list-ca FILE]]\n"
            "                  [--extra-trust-anchors FILE] [--watch SECONDS]",
            "Find and load applications as the viewer's list does and print the list in its order, then the\n"
            "      folders to grant read access to; with --watch, print each change of the list for SECONDS.",
            runScan},
};

void printUsage(std::FILE* stream) {
    std::fputs("usage: lumora COMMAND [OPTIONS] ARGUMENTS\n       lumora --version\n\ncommands:\n", stream);
    for (const auto& command : commands) {
        std::fprintf(stream, "  %.*s\n      %.*s\n", static_cast<int>(command.usage.size()),
                     command.usage.data(), static_cast<int>(command.summary.size()), command.summary.data());
    }
}

} // namespace

int usageError(std::string_view commandName, std::string_view message) {
    std::fprintf(stderr, "lumora: %.*s\n", static_cast<int>(message.size()), message.data());
    for (const auto& command : commands) {
        if (command.name == commandName) {
            std::fprintf(stderr, "usage: %.*s\n", static_cast<int>(command.usage.size()),
                         command.usage.data());
        }
    }
    return exitUsage;
}

int run(int argc, char** argv) {
    const std::vector<std::string> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
    if (arguments.empty()) {
        printUsage(stderr);
        return exitUsage;
    }
    const std::string& first = arguments.front();
    if (first == "--version") {
        std::printf("lumora %s\n", LumoraVersionString);
        return exitSuccess;
    }
    if (first == "--help" || first == "-h" || first == "help") {
        printUsage(stdout);
        return exitSuccess;
    }
    for (const auto& command : commands) {
        if (command.name == first) {
            return command.run(std::vector<std::string>(arguments.begin() + 1, arguments.end()));
        }
    }
    std::fprintf(stderr, "lumora: unknown command '%s'\n", first.c_str());
    printUsage(stderr);
    return exitUsage;
}

} // namespace LumoraTool
