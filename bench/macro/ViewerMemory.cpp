// lumora-viewer-memory: the memory of the whole viewer with a long list. Copies a sample
// application COUNT times into a temporary folder, starts lumora-viewer offscreen on that folder
// (taking a screenshot, so that it quits by itself), and once the selected application's page is
// on screen sums the resident (RSS) and proportional (PSS) memory of the viewer and every process
// it started (the web engine's zygotes, renderer and utilities).
//
//   lumora-viewer-memory [--count N] VIEWER APPLICATION ANCHOR-FILE
//
// The environment must let the viewer run offscreen (QT_QPA_PLATFORM=offscreen, and as root
// QTWEBENGINE_DISABLE_SANDBOX=1): bench/viewer-memory.sh sets it.

#include "bench/macro/MacroBenchmarkSupport.h"

#include <chrono>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

struct Settings {
    std::size_t count;
    std::filesystem::path viewer;
    std::filesystem::path application;
    std::filesystem::path anchorFile;
};

Settings parse(int argc, char** argv) {
    const auto line = MacroBenchmarkSupport::CommandLine::parse(
        argc, argv, "lumora-viewer-memory [--count N] VIEWER APPLICATION ANCHOR-FILE", {{"--count", 1000}}, 3,
        "the viewer, an application and the file of its trust anchor", false);
    return Settings{line.numbers.at("--count"), line.paths[0], line.paths[1], line.paths[2]};
}

struct ProcessMemory {
    int pid = 0;
    std::string name;
    long rssKilobytes = 0;
    long pssKilobytes = 0;
};

/// The parent of `pid` and its command name, from /proc/PID/stat; none once it has gone.
std::optional<std::pair<int, std::string>> parentAndName(int pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text;
    if (!std::getline(stat, text)) {
        return std::nullopt;
    }
    const auto nameStart = text.find('(');
    const auto nameEnd = text.rfind(')');
    if (nameStart == std::string::npos || nameEnd == std::string::npos || nameEnd < nameStart) {
        return std::nullopt;
    }
    std::istringstream rest(text.substr(nameEnd + 1));
    std::string state;
    int parent = 0;
    if (!(rest >> state >> parent)) {
        return std::nullopt;
    }
    return std::pair{parent, text.substr(nameStart + 1, nameEnd - nameStart - 1)};
}

/// `root` and all its descendants, found through the parents in /proc.
std::vector<std::pair<int, std::string>> processTree(int root) {
    std::multimap<int, std::pair<int, std::string>> children;
    std::string rootName;
    for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
        const std::string name = entry.path().filename().string();
        if (name.find_first_not_of("0123456789") != std::string::npos) {
            continue;
        }
        const int pid = std::stoi(name);
        if (const auto process = parentAndName(pid)) {
            children.emplace(process->first, std::pair{pid, process->second});
            if (pid == root) {
                rootName = process->second;
            }
        }
    }
    std::vector<std::pair<int, std::string>> tree{{root, rootName}};
    for (std::size_t index = 0; index < tree.size(); ++index) {
        const auto [first, last] = children.equal_range(tree[index].first);
        for (auto child = first; child != last; ++child) {
            tree.push_back(child->second);
        }
    }
    return tree;
}

/// RSS and PSS in kilobytes from /proc/PID/smaps_rollup.
ProcessMemory memoryOf(int pid, const std::string& name) {
    ProcessMemory memory{pid, name, 0, 0};
    std::ifstream rollup("/proc/" + std::to_string(pid) + "/smaps_rollup");
    std::string key;
    long value = 0;
    std::string unit;
    std::string line;
    while (std::getline(rollup, line)) {
        std::istringstream fields(line);
        if (!(fields >> key >> value)) {
            continue;
        }
        if (key == "Rss:") {
            memory.rssKilobytes = value;
        } else if (key == "Pss:") {
            memory.pssKilobytes = value;
        }
    }
    return memory;
}

} // namespace

int main(int argc, char** argv) {
    const Settings settings = parse(argc, argv);
    MacroBenchmarkSupport::TemporaryFolder folder("lumora-viewer-memory");
    const auto copyStart = Clock::now();
    MacroBenchmarkSupport::copyApplication(settings.application, folder.path(), settings.count);
    std::printf("%zu copies of %s made in %.1f s\n", settings.count, settings.application.filename().c_str(),
                std::chrono::duration<double>(Clock::now() - copyStart).count());

    const std::string screenshot = (folder.path() / "screenshot.png").string();
    const std::string scope = folder.path().string();
    const std::string selection = settings.application.stem().string();
    std::vector<std::string> arguments{settings.viewer.string(),
                                       "--screenshot",
                                       screenshot,
                                       "--select",
                                       selection,
                                       "--report-first-paint",
                                       "--scope",
                                       scope,
                                       "--folder",
                                       scope,
                                       "--extra-trust-anchors",
                                       settings.anchorFile.string()};
    std::vector<char*> argumentPointers;
    for (auto& argument : arguments) {
        argumentPointers.push_back(argument.data());
    }
    argumentPointers.push_back(nullptr);

    int errors[2];
    if (::pipe(errors) != 0) {
        std::perror("pipe");
        return 1;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, errors[1], STDERR_FILENO);
    posix_spawn_file_actions_addclose(&actions, errors[0]);
    pid_t viewer = 0;
    const auto start = Clock::now();
    if (posix_spawn(&viewer, settings.viewer.c_str(), &actions, nullptr, argumentPointers.data(), environ) !=
        0) {
        std::perror("cannot start the viewer");
        return 1;
    }
    posix_spawn_file_actions_destroy(&actions);
    ::close(errors[1]);

    // The viewer reports on its standard error when the page is on screen; the screenshot follows
    // more than a second later, so the processes are measured while the window is up.
    FILE* viewerErrors = ::fdopen(errors[0], "r");
    char line[4096];
    bool visible = false;
    std::string output;
    while (std::fgets(line, sizeof line, viewerErrors) != nullptr) {
        output += line;
        if (std::string_view(line).find("first page visible") != std::string_view::npos) {
            visible = true;
            break;
        }
    }
    if (!visible) {
        std::cerr << "lumora-viewer-memory: the viewer ended before its page was on screen:\n" << output;
        ::waitpid(viewer, nullptr, 0);
        return 1;
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    std::vector<ProcessMemory> processes;
    for (const auto& [pid, name] : processTree(viewer)) {
        processes.push_back(memoryOf(pid, name));
    }
    // Read the rest so that the viewer never blocks on a full pipe, then let it finish.
    while (std::fgets(line, sizeof line, viewerErrors) != nullptr) {
    }
    std::fclose(viewerErrors);
    int status = 0;
    ::waitpid(viewer, &status, 0);

    std::printf("page on screen %.2f s after the start, %zu processes:\n", seconds, processes.size());
    long rss = 0;
    long pss = 0;
    for (const auto& process : processes) {
        std::printf("  %7d %-18s RSS %6.1f MB  PSS %6.1f MB\n", process.pid, process.name.c_str(),
                    static_cast<double>(process.rssKilobytes) / 1024.0,
                    static_cast<double>(process.pssKilobytes) / 1024.0);
        rss += process.rssKilobytes;
        pss += process.pssKilobytes;
    }
    std::printf(
        "total with %zu applications listed: RSS %.1f MB, PSS %.1f MB (goal with 10,000: under 240 MB)\n",
        settings.count, static_cast<double>(rss) / 1024.0, static_cast<double>(pss) / 1024.0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::cerr << "lumora-viewer-memory: the viewer did not end cleanly\n";
        return 1;
    }
    return 0;
}
