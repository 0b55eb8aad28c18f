#include "Code/Archives/CancellationToken.h"
#include "Code/Archives/ChildProcess.h"
#include "Support/TemporaryFolder.h"

#include <csignal>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using testing::HasSubstr;

namespace {

using namespace std::chrono_literals;

ChildProcess::Options shell(const std::string& script) {
    ChildProcess::Options options;
    options.arguments = {"/bin/sh", "-c", script};
    options.deadline = 30s;
    return options;
}

/// Makes this process the reaper of its orphaned descendants for the object's life, so that a test
/// can wait for a grandchild whose parent has gone: waiting tells how it ended, with no polling.
class OrphanReaper {
public:
    OrphanReaper() { ::prctl(PR_SET_CHILD_SUBREAPER, 1); }
    ~OrphanReaper() { ::prctl(PR_SET_CHILD_SUBREAPER, 0); }
    OrphanReaper(const OrphanReaper&) = delete;
    OrphanReaper& operator=(const OrphanReaper&) = delete;

    /// The signal that ended `process` (a descendant of this one), or 0 when it exited.
    static int endingSignal(pid_t process) {
        int status = 0;
        pid_t waited = -1;
        do {
            waited = ::waitpid(process, &status, 0);
        } while (waited < 0 && errno == EINTR);
        return waited == process && WIFSIGNALED(status) ? WTERMSIG(status) : 0;
    }
};

TEST(ChildProcess, CapturesOutputAndExitStatus) {
    const auto result = ChildProcess::run(shell("printf 'out'; printf 'err' >&2; exit 3"));
    ASSERT_TRUE(result.started()) << result.error;
    EXPECT_EQ(result.exitCode, 3);
    EXPECT_FALSE(result.signal);
    EXPECT_EQ(result.output, "out");
    EXPECT_EQ(result.errorOutput, "err");
    EXPECT_FALSE(result.succeeded());
    EXPECT_TRUE(ChildProcess::run(shell("true")).succeeded());
}

// Arguments reach the program unchanged, a bare name is looked up in the PATH given, the working
// folder is the one asked for, and the child inherits only a closed standard input.
TEST(ChildProcess, RunsTheProgramAsAsked) {
    TemporaryFolder folder;
    auto arguments = shell("printf '%s|' \"$@\"");
    arguments.arguments.insert(arguments.arguments.end(), {"name", "a b", "$(touch x)", "*", ""});
    ChildProcess::Options inPath;
    inPath.arguments = {"sh", "-c", "echo found"};
    inPath.environment = std::vector<std::string>{"PATH=/nonexistent:/bin:/usr/bin"};
    auto working = shell("pwd");
    working.workingDirectory = folder.path();
    const int inherited = ::open("/dev/null", O_RDONLY); // deliberately not close-on-exec
    ASSERT_GE(inherited, 0);
    const std::pair<ChildProcess::Options, std::string> cases[] = {
        {arguments, "a b|$(touch x)|*||"},
        {inPath, "found\n"},
        {working, std::filesystem::canonical(folder.path()).string() + "\n"},
        {shell("readlink /proc/$$/fd/0; test -e /proc/$$/fd/" + std::to_string(inherited) +
               " && echo open || echo closed"),
         "/dev/null\nclosed\n"}};
    for (const auto& [options, output] : cases) {
        const auto result = ChildProcess::run(options);
        EXPECT_TRUE(result.succeeded()) << result.error;
        EXPECT_EQ(result.output, output);
    }
    ::close(inherited);
}

TEST(ChildProcess, KeepsTheWholeOutputOfAChildThatExitsAtOnce) {
    // More than a pipe holds: the reader must keep reading until the end, not stop at the exit.
    const auto result = ChildProcess::run(shell("head -c 300000 /dev/zero"));
    EXPECT_TRUE(result.succeeded());
    EXPECT_EQ(result.output.size(), 300000U);
}

TEST(ChildProcess, ReportsAProgramThatCannotBeStarted) {
    TemporaryFolder folder;
    const auto notExecutable = folder.write("not-executable", "#!/bin/sh\n").string();
    const std::tuple<std::string, ChildProcess::StartFailure, std::string> cases[] = {
        {"/nonexistent/folder/program", ChildProcess::StartFailure::notFound, "/nonexistent/folder/program"},
        {"no-such-program-anywhere", ChildProcess::StartFailure::notFound, "no-such-program-anywhere"},
        {notExecutable, ChildProcess::StartFailure::other, "Permission denied"}};
    for (const auto& [program, failure, error] : cases) {
        ChildProcess::Options options;
        options.arguments = {program};
        const auto result = ChildProcess::run(options);
        EXPECT_EQ(result.startFailure, failure) << program;
        EXPECT_THAT(result.error, HasSubstr(error));
        EXPECT_FALSE(result.exitCode);
    }
}

TEST(ChildProcess, RunsTheChildInItsOwnProcessGroupWithTheCLocale) {
    auto options = shell("echo $$ $(cut -d' ' -f5 /proc/$$/stat) \"$LC_ALL\" \"$EXTRA\"");
    options.environment = std::vector<std::string>{"LC_ALL=de_DE.UTF-8", "EXTRA=kept", "PATH=/usr/bin:/bin"};
    const auto result = ChildProcess::run(options);
    std::istringstream words(result.output);
    std::string process, group, locale, extra;
    words >> process >> group >> locale >> extra;
    EXPECT_EQ(process, group);
    EXPECT_NE(group, std::to_string(::getpgrp()));
    EXPECT_EQ(locale, "C");
    EXPECT_EQ(extra, "kept");
}

TEST(ChildProcess, SetsTheResourceLimitsInTheChild) {
    // The soft limits of processor time, file size, core file size and address space, in that order.
    auto options = shell("awk '/^Max (cpu time|file size|core file size|address space)/ {print $(NF-2)}' "
                         "/proc/self/limits");
    options.limits = {.fileSize = 1 << 20, .addressSpace = std::uint64_t{1} << 30, .cpuSeconds = 7};
    EXPECT_EQ(ChildProcess::run(options).output, "7\n1048576\n0\n1073741824\n");
}

TEST(ChildProcess, StopsAFileAtTheFileSizeLimit) {
    TemporaryFolder folder;
    const auto file = folder.path() / "big";
    auto options = shell("exec head -c 3000000 /dev/zero > '" + file.string() + "'");
    options.limits.fileSize = 1 << 20;
    const auto result = ChildProcess::run(options);
    EXPECT_EQ(result.signal, SIGXFSZ);
    EXPECT_EQ(std::filesystem::file_size(file), 1U << 20);
}

TEST(ChildProcess, StopsAChildAtTheProcessorTimeLimit) {
    auto options = shell("while :; do :; done");
    options.limits.cpuSeconds = 1;
    const auto result = ChildProcess::run(options);
    ASSERT_TRUE(result.signal);
    EXPECT_THAT(*result.signal, testing::AnyOf(SIGXCPU, SIGKILL));
    EXPECT_FALSE(result.timedOut);
}

TEST(ChildProcess, KillsTheProcessGroupAtTheDeadline) {
    OrphanReaper reaper;
    auto options = shell("sleep 30 & echo $!; exec sleep 30");
    options.deadline = 200ms;
    const auto started = std::chrono::steady_clock::now();
    const auto result = ChildProcess::run(options);
    EXPECT_LT(std::chrono::steady_clock::now() - started, 10s);
    EXPECT_TRUE(result.timedOut);
    EXPECT_EQ(result.signal, SIGKILL);
    EXPECT_FALSE(result.succeeded());
    const pid_t grandchild = std::stoi(result.output);
    EXPECT_EQ(OrphanReaper::endingSignal(grandchild), SIGKILL);
}

TEST(ChildProcess, KillsWhatTheChildLeftBehindWhenItExits) {
    OrphanReaper reaper;
    // The grandchild keeps the output pipes open: the runner must not wait for them to close.
    const auto result = ChildProcess::run(shell("sleep 30 & echo $!"));
    EXPECT_TRUE(result.succeeded());
    const pid_t grandchild = std::stoi(result.output);
    EXPECT_EQ(OrphanReaper::endingSignal(grandchild), SIGKILL);
}

TEST(ChildProcess, StopsAtTheOutputLimit) {
    auto options = shell("exec yes");
    options.outputLimit = 100'000;
    const auto result = ChildProcess::run(options);
    EXPECT_TRUE(result.outputLimitExceeded);
    EXPECT_EQ(result.output.size(), 100'000U);
    EXPECT_EQ(result.signal, SIGKILL);
    EXPECT_FALSE(result.succeeded());
}

TEST(ChildProcess, KeepsTheTailOfStandardError) {
    const auto result = ChildProcess::run(shell("head -c 100000 /dev/zero | tr '\\0' a >&2; echo end >&2"));
    ASSERT_EQ(result.errorOutput.size(), ChildProcess::errorOutputTail);
    EXPECT_TRUE(result.errorOutput.ends_with("aaa\nend\n") || result.errorOutput.ends_with("aaaend\n"));
    EXPECT_FALSE(result.outputLimitExceeded);
}

TEST(ChildProcess, IsCancelledFromAnotherThread) {
    OrphanReaper reaper;
    TemporaryFolder folder;
    const auto fifo = folder.path() / "started";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    CancellationToken token;
    // The child says it runs through the FIFO; opening the FIFO for reading waits for that.
    std::thread canceller([&] {
        std::ifstream started(fifo);
        std::string line;
        std::getline(started, line);
        token.cancel();
    });
    auto options = shell("sleep 30 & echo $! > '" + fifo.string() + "'; exec sleep 30");
    const auto started = std::chrono::steady_clock::now();
    const auto result = ChildProcess::run(options, &token);
    canceller.join();
    EXPECT_LT(std::chrono::steady_clock::now() - started, 10s);
    EXPECT_TRUE(result.cancelled);
    EXPECT_FALSE(result.timedOut);
    EXPECT_EQ(result.signal, SIGKILL);
}

TEST(ChildProcess, StartsNothingWhenAlreadyCancelled) {
    TemporaryFolder folder;
    CancellationToken token;
    token.cancel();
    const auto result = ChildProcess::run(shell("touch '" + (folder.path() / "ran").string() + "'"), &token);
    EXPECT_TRUE(result.cancelled);
    EXPECT_FALSE(result.exitCode);
    EXPECT_FALSE(std::filesystem::exists(folder.path() / "ran"));
}

TEST(ChildProcess, LooksUpProgramsOnlyAsExecutableFiles) {
    TemporaryFolder folder;
    folder.write("tool", "");
    std::filesystem::create_directory(folder.path() / "folder");
    const auto searchPath = folder.path().string() + ":/bin";
    EXPECT_EQ(ChildProcess::findProgram("tool", folder.path().string()), std::nullopt);
    EXPECT_EQ(ChildProcess::findProgram("folder", folder.path().string()), std::nullopt);
    EXPECT_EQ(ChildProcess::findProgram("sh", searchPath), std::filesystem::path("/bin/sh"));
    EXPECT_EQ(ChildProcess::findProgram("./relative/tool", ""), std::filesystem::path("./relative/tool"));
    EXPECT_EQ(ChildProcess::findProgram("", "/bin"), std::nullopt);
}

} // namespace
