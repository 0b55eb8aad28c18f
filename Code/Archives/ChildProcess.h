// ChildProcess: runs a program as a child process under resource limits and a deadline, capturing
// its output, with no shell in between. The child gets its own process group, which is killed as a
// whole when the deadline passes, the work is cancelled, the output grows past its bound, or the
// child itself exits (so nothing it started outlives it).
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class CancellationToken;

class ChildProcess {
public:
    /// Limits set in the child before it runs the program; zero leaves a limit as inherited.
    struct ResourceLimits {
        /// The largest file the child may write (RLIMIT_FSIZE).
        std::uint64_t fileSize = 0;
        /// The child's address space (RLIMIT_AS).
        std::uint64_t addressSpace = 0;
        /// Processor time (RLIMIT_CPU): the child is sent SIGXCPU, a second later SIGKILL.
        std::uint64_t cpuSeconds = 0;
    };

    struct Options {
        /// The program (an absolute or relative path when it holds a '/', otherwise a name looked
        /// up in PATH) followed by its arguments; the first element is also the child's argv[0].
        std::vector<std::string> arguments;
        /// "NAME=value" entries; none inherits this process's environment. Either way LC_ALL=C
        /// replaces any LC_ALL given, and PATH lookup uses this environment's PATH.
        std::optional<std::vector<std::string>> environment;
        /// The child's working folder; none keeps this process's.
        std::optional<std::filesystem::path> workingDirectory;
        ResourceLimits limits;
        /// Wall-clock time after which the child's process group is killed.
        std::chrono::milliseconds deadline{std::chrono::minutes(5)};
        /// The most standard output kept; more kills the child's process group.
        std::size_t outputLimit = std::size_t{64} << 20;
        /// Shown each piece of standard output as it arrives, on the thread that runs the child.
        std::function<void(std::string_view piece)> outputObserver;
    };

    /// Why a child could not be started.
    enum class StartFailure {
        none,
        /// The program does not exist (not in PATH, or no file at the path given).
        notFound,
        /// Anything else: no permission, not an executable, pipes or fork failed.
        other,
    };

    struct Result {
        StartFailure startFailure = StartFailure::none;
        /// What went wrong in starting the program, in English; empty when it started.
        std::string error;
        /// The child's exit status when it exited, the signal's number when a signal ended it.
        std::optional<int> exitCode;
        std::optional<int> signal;
        bool timedOut = false;
        bool cancelled = false;
        bool outputLimitExceeded = false;
        /// Standard output, up to the limit.
        std::string output;
        /// The last `errorOutputTail` bytes of standard error.
        std::string errorOutput;

        bool started() const { return startFailure == StartFailure::none; }
        /// Started, exited with status 0, and nothing cut it short.
        bool succeeded() const {
            return started() && exitCode == 0 && !timedOut && !cancelled && !outputLimitExceeded;
        }
    };

    static constexpr std::size_t errorOutputTail = std::size_t{16} << 10;

    /// Runs the child to its end (or until it is killed) and reaps it. `cancellation`, when given,
    /// may be cancelled from another thread while this runs. Never throws for the child's sake;
    /// std::bad_alloc may pass through.
    static Result run(const Options& options, const CancellationToken* cancellation = nullptr);

    /// The executable file `name` names in the colon-separated folders of `searchPath` (an empty
    /// element means the current folder), or none; a `name` holding '/' is returned as is.
    static std::optional<std::filesystem::path> findProgram(std::string_view name,
                                                            std::string_view searchPath);
};
