#include "Tool/LumoraToolRunner.h"

#include <fstream>
#include <regex>
#include <set>
#include <sstream>

#include <gtest/gtest.h>

namespace {

/// Every option literal ("--name") in one of the program's source files.
std::set<std::string> optionsInSource(const std::string& file) {
    std::ifstream stream(std::string(LUMORA_SOURCE_DIR) + "/Code/Tool/" + file);
    std::stringstream text;
    text << stream.rdbuf();
    const std::string source = text.str();
    std::set<std::string> options;
    static const std::regex option("\"(--[a-z][a-z-]*)\"");
    for (auto match = std::sregex_iterator(source.begin(), source.end(), option);
         match != std::sregex_iterator(); ++match) {
        options.insert((*match)[1]);
    }
    return options;
}

} // namespace

TEST(LumoraHelp, ProgramHelpListsEveryCommandAndExitsCleanly) {
    const auto run = runLumoraTool({"--help"});
    EXPECT_EQ(run.exitStatus, 0);
    for (const char* command : {"lint", "check", "show", "match", "codesign", "page", "scan"}) {
        EXPECT_NE(run.standardOutput.find(std::string("  lumora ") + command + " "), std::string::npos)
            << command;
    }
    EXPECT_NE(run.standardOutput.find("Exit status:"), std::string::npos);
    const auto version = runLumoraTool({"--version"});
    EXPECT_EQ(version.exitStatus, 0);
    EXPECT_EQ(version.standardOutput.rfind("lumora ", 0), 0u);
}

// The help comes from the manual's source, not from the parsers: an option a parser accepts but
// the manual leaves out is a fault of the manual.
TEST(LumoraHelp, EachCommandsHelpNamesEveryOptionItAccepts) {
    const std::vector<std::pair<std::string, std::vector<std::string>>> commands{
        {"lint", {"LintCommand.cpp"}},
        {"check", {"CheckCommand.cpp"}},
        {"show", {"CheckCommand.cpp", "ToolArchiveExtraction.cpp"}},
        {"match", {"MatchCommand.cpp", "ToolConnectionOptions.cpp"}},
        {"codesign", {"CodesignCommand.cpp"}},
        {"page", {"PageCommand.cpp", "ToolArchiveExtraction.cpp"}},
        {"scan", {"ScanCommand.cpp"}},
    };
    for (const auto& [command, files] : commands) {
        const auto run = runLumoraTool({command, "--json", "--help"});
        EXPECT_EQ(run.exitStatus, 0) << command;
        EXPECT_EQ(run.standardOutput.rfind("usage: lumora " + command, 0), 0u) << run.standardOutput;
        for (const auto& file : files) {
            for (const auto& option : optionsInSource(file)) {
                EXPECT_NE(run.standardOutput.find(option), std::string::npos) << command << " " << option;
            }
        }
    }
}

TEST(LumoraHelp, MissingResourcesAreNamedInsteadOfIgnored) {
    const auto run = runLumoraTool({"check", examples + "/TextEditor.app"},
                                   {"LUMORA_RESOURCES_DIR=/nonexistent/Resources"});
    EXPECT_EQ(run.exitStatus, 1);
    EXPECT_NE(run.standardError.find("/nonexistent/Resources"), std::string::npos) << run.standardError;
    // Help and the version need no resources.
    EXPECT_EQ(runLumoraTool({"--version"}, {"LUMORA_RESOURCES_DIR=/nonexistent"}).exitStatus, 0);
}
