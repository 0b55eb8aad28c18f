// lumora: the command-line companion of the viewer, for developers and CI.

#include "LumoraVersion.h"

#include <cstdio>
#include <string_view>

namespace {

constexpr int exitUsage = 2;

void printUsage(std::FILE* stream) {
    std::fputs("usage: lumora --version\n"
               "       lumora --help\n",
               stream);
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 2) {
        const std::string_view argument = argv[1];
        if (argument == "--version") {
            std::printf("lumora %s\n", LumoraVersionString);
            return 0;
        }
        if (argument == "--help" || argument == "-h") {
            printUsage(stdout);
            return 0;
        }
    }
    printUsage(stderr);
    return exitUsage;
}
