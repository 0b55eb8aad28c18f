// ChildProcess: fork and exec with the child's setup done between them, then a poll() loop over the
// child's pipes, its pidfd and the cancellation token until the child ends or is killed.
#include "Code/Archives/ChildProcess.h"

#include "Code/Archives/CancellationToken.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <utility>

#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

/// A file descriptor, closed when the object goes.
class Descriptor {
public:
    Descriptor() = default;
    explicit Descriptor(int descriptor)
        : _descriptor(descriptor) {}
    ~Descriptor() { reset(); }
    Descriptor(Descriptor&& other) noexcept
        : _descriptor(std::exchange(other._descriptor, -1)) {}
    Descriptor& operator=(Descriptor&& other) noexcept {
        if (this != &other) {
            reset(std::exchange(other._descriptor, -1));
        }
        return *this;
    }

    int get() const { return _descriptor; }
    bool valid() const { return _descriptor >= 0; }
    void reset(int descriptor = -1) {
        if (_descriptor >= 0) {
            ::close(_descriptor);
        }
        _descriptor = descriptor;
    }

private:
    int _descriptor = -1;
};

/// A pipe whose ends are close-on-exec and numbered 3 or above, so that the child's dup2() onto
/// 0, 1 and 2 never lands on a pipe end it still needs.
struct Pipe {
    Descriptor readEnd;
    Descriptor writeEnd;
};

Descriptor aboveStandardDescriptors(int descriptor) {
    if (descriptor < 0 || descriptor > STDERR_FILENO) {
        return Descriptor(descriptor);
    }
    Descriptor original(descriptor);
    return Descriptor(::fcntl(descriptor, F_DUPFD_CLOEXEC, STDERR_FILENO + 1));
}

bool makePipe(Pipe& pipe) {
    std::array<int, 2> ends{};
    if (::pipe2(ends.data(), O_CLOEXEC) != 0) {
        return false;
    }
    pipe.readEnd = aboveStandardDescriptors(ends[0]);
    pipe.writeEnd = aboveStandardDescriptors(ends[1]);
    return pipe.readEnd.valid() && pipe.writeEnd.valid();
}

/// What the child reports through the status pipe when it cannot run the program. The pipe is
/// close-on-exec: end of file without a report means exec succeeded.
struct StartReport {
    enum Stage : int { standardDescriptors, workingDirectory, resourceLimits, execute };
    int stage = execute;
    int error = 0;
};

/// Everything the child needs, prepared before fork(): between fork() and exec the child may only
/// make async-signal-safe calls (this process may have other threads), so no allocation there.
struct ChildSetup {
    const char* program = nullptr;
    char* const* arguments = nullptr;
    char* const* environment = nullptr;
    const char* workingDirectory = nullptr;
    int outputWrite = -1;
    int errorWrite = -1;
    int statusWrite = -1;
    std::array<std::pair<int, rlimit>, 4> limits{};
    std::size_t limitCount = 0;
    pid_t parent = 0;
};

[[noreturn]] void reportAndExit(int statusWrite, StartReport::Stage stage) {
    const StartReport report{stage, errno};
    [[maybe_unused]] const ssize_t written = ::write(statusWrite, &report, sizeof report);
    ::_exit(127);
}

/// Marks every descriptor from 3 on close-on-exec (the status pipe is used until exec, then goes).
void closeOtherDescriptorsOnExec() {
    if (::close_range(STDERR_FILENO + 1, ~0U, CLOSE_RANGE_CLOEXEC) == 0) {
        return;
    }
    rlimit openFiles{};
    rlim_t highest = 1 << 16;
    if (::getrlimit(RLIMIT_NOFILE, &openFiles) == 0 && openFiles.rlim_cur != RLIM_INFINITY) {
        highest = std::min<rlim_t>(openFiles.rlim_cur, 1 << 20);
    }
    for (rlim_t descriptor = STDERR_FILENO + 1; descriptor < highest; ++descriptor) {
        ::fcntl(static_cast<int>(descriptor), F_SETFD, FD_CLOEXEC);
    }
}

[[noreturn]] void runChild(const ChildSetup& setup) {
    // Signal dispositions set to "ignore" and the blocked mask survive exec: give the program the
    // defaults, so that SIGPIPE, SIGXCPU and SIGXFSZ end it as they should.
    sigset_t nothing;
    sigemptyset(&nothing);
    ::sigprocmask(SIG_SETMASK, &nothing, nullptr);
    struct sigaction defaultAction {};
    defaultAction.sa_handler = SIG_DFL;
    for (int number = 1; number < NSIG; ++number) {
        ::sigaction(number, &defaultAction, nullptr);
    }
    ::setpgid(0, 0);
    // Killed with this process (the thread that started it waits for it, so it is the thread's
    // end too): a program reading hostile bytes never outlives the one that asked it to.
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (::getppid() != setup.parent) {
        ::_exit(127);
    }

    const int nullDevice = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    if (nullDevice < 0 || ::dup2(nullDevice, STDIN_FILENO) < 0 ||
        ::dup2(setup.outputWrite, STDOUT_FILENO) < 0 || ::dup2(setup.errorWrite, STDERR_FILENO) < 0) {
        reportAndExit(setup.statusWrite, StartReport::standardDescriptors);
    }
    if (setup.workingDirectory != nullptr && ::chdir(setup.workingDirectory) != 0) {
        reportAndExit(setup.statusWrite, StartReport::workingDirectory);
    }
    for (std::size_t index = 0; index < setup.limitCount; ++index) {
        if (::setrlimit(setup.limits[index].first, &setup.limits[index].second) != 0) {
            reportAndExit(setup.statusWrite, StartReport::resourceLimits);
        }
    }
    closeOtherDescriptorsOnExec();
    ::execve(setup.program, setup.arguments, setup.environment);
    reportAndExit(setup.statusWrite, StartReport::execute);
}

std::vector<std::string> childEnvironment(const ChildProcess::Options& options) {
    std::vector<std::string> environment;
    if (options.environment) {
        environment = *options.environment;
    } else {
        for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry) {
            environment.emplace_back(*entry);
        }
    }
    std::erase_if(environment, [](const std::string& entry) { return entry.starts_with("LC_ALL="); });
    environment.emplace_back("LC_ALL=C");
    return environment;
}

std::string_view variable(const std::vector<std::string>& environment, std::string_view name) {
    for (const auto& entry : environment) {
        if (entry.size() > name.size() && entry.starts_with(name) && entry[name.size()] == '=') {
            return std::string_view(entry).substr(name.size() + 1);
        }
    }
    return {};
}

std::vector<char*> pointers(std::vector<std::string>& strings) {
    std::vector<char*> result;
    result.reserve(strings.size() + 1);
    for (auto& string : strings) {
        result.push_back(string.data());
    }
    result.push_back(nullptr);
    return result;
}

void addLimit(ChildSetup& setup, int resource, std::uint64_t soft, std::uint64_t hard) {
    setup.limits[setup.limitCount++] = {resource,
                                        rlimit{static_cast<rlim_t>(soft), static_cast<rlim_t>(hard)}};
}

/// Whether the child has ended, without reaping it: until it is reaped its process and group ids
/// cannot be reused, so the group may still be killed safely.
bool hasExited(pid_t child) {
    siginfo_t information{};
    while (true) {
        if (::waitid(P_PID, static_cast<id_t>(child), &information, WEXITED | WNOHANG | WNOWAIT) == 0) {
            return information.si_pid == child;
        }
        if (errno != EINTR) {
            // Reaped by someone else (SIGCHLD ignored): nothing is left to wait for.
            return true;
        }
    }
}

void reap(pid_t child, ChildProcess::Result& result) {
    int status = 0;
    pid_t waited = -1;
    do {
        waited = ::waitpid(child, &status, 0);
    } while (waited < 0 && errno == EINTR);
    if (waited != child) {
        return;
    }
    if (WIFEXITED(status)) {
        result.exitCode = WEXITSTATUS(status);
    } else if (WIFSIGNALED(status)) {
        result.signal = WTERMSIG(status);
    }
}

ssize_t readSome(int descriptor, char* buffer, std::size_t size) {
    ssize_t got = -1;
    do {
        got = ::read(descriptor, buffer, size);
    } while (got < 0 && errno == EINTR);
    return got;
}

/// Reads the child's two output pipes into the result, within their bounds.
class OutputCollector {
public:
    OutputCollector(Descriptor output, Descriptor error, const ChildProcess::Options& options,
                    ChildProcess::Result& result)
        : _output(std::move(output))
        , _error(std::move(error))
        , _outputLimit(options.outputLimit)
        , _observer(options.outputObserver)
        , _result(result) {}

    bool outputOpen() const { return _output.valid(); }
    bool errorOpen() const { return _error.valid(); }
    int outputDescriptor() const { return _output.get(); }
    int errorDescriptor() const { return _error.get(); }

    /// Reads one chunk from standard output; false when the limit was passed.
    bool readOutput() {
        const ssize_t got = readSome(_output.get(), _buffer.data(), _buffer.size());
        _lastRead = got > 0 ? static_cast<std::size_t>(got) : 0;
        if (got <= 0) {
            if (got == 0 || errno != EAGAIN) {
                _output.reset();
            }
            return true;
        }
        const std::size_t room = _outputLimit - _result.output.size();
        _result.output.append(_buffer.data(), std::min(_lastRead, room));
        if (_observer) {
            _observer(std::string_view(_buffer.data(), std::min(_lastRead, room)));
        }
        if (_lastRead > room) {
            _result.outputLimitExceeded = true;
            return false;
        }
        return true;
    }

    void readError() {
        const ssize_t got = readSome(_error.get(), _buffer.data(), _buffer.size());
        _lastRead = got > 0 ? static_cast<std::size_t>(got) : 0;
        if (got <= 0) {
            if (got == 0 || errno != EAGAIN) {
                _error.reset();
            }
            return;
        }
        auto& tail = _result.errorOutput;
        tail.append(_buffer.data(), _lastRead);
        if (tail.size() > 2 * ChildProcess::errorOutputTail) {
            tail.erase(0, tail.size() - ChildProcess::errorOutputTail);
        }
    }

    /// Reads what is already in the pipes once the child has ended, without waiting for anyone
    /// else who might hold their other ends (a process that left the group), and not past
    /// `deadline`.
    void drain(Clock::time_point deadline) {
        for (const int descriptor : {_output.get(), _error.get()}) {
            if (descriptor >= 0) {
                ::fcntl(descriptor, F_SETFL, ::fcntl(descriptor, F_GETFL) | O_NONBLOCK);
            }
        }
        while (_output.valid() && Clock::now() < deadline && readOutput() && _lastRead > 0) {
        }
        while (_error.valid() && Clock::now() < deadline) {
            readError();
            if (_lastRead == 0) {
                break;
            }
        }
    }

    void finish() {
        auto& tail = _result.errorOutput;
        if (tail.size() > ChildProcess::errorOutputTail) {
            tail.erase(0, tail.size() - ChildProcess::errorOutputTail);
        }
    }

private:
    Descriptor _output;
    Descriptor _error;
    std::size_t _outputLimit;
    const std::function<void(std::string_view)>& _observer;
    ChildProcess::Result& _result;
    std::array<char, 64 * 1024> _buffer{};
    std::size_t _lastRead = 0;
};

int pollTimeout(Clock::time_point now, Clock::time_point deadline, bool mustPollRegularly) {
    auto remaining = std::chrono::ceil<std::chrono::milliseconds>(deadline - now).count();
    // Without a pidfd or a wake descriptor the child's end and a cancellation are looked for at
    // short intervals.
    if (mustPollRegularly) {
        remaining = std::min<decltype(remaining)>(remaining, 50);
    }
    return static_cast<int>(std::clamp<decltype(remaining)>(remaining, 0, 60'000));
}

/// Why the watch over a running child ended.
enum class WatchEnd { exited, timedOut, cancelled, outputLimit, failed };

WatchEnd watch(pid_t child, OutputCollector& collector, Clock::time_point deadline,
               const CancellationToken* cancellation) {
    const Descriptor processDescriptor(static_cast<int>(::syscall(SYS_pidfd_open, child, 0)));
    const int wakeDescriptor = cancellation != nullptr ? cancellation->wakeDescriptor() : -1;
    const bool mustPollRegularly =
        !processDescriptor.valid() || (cancellation != nullptr && wakeDescriptor < 0);
    while (true) {
        if (cancellation != nullptr && cancellation->isCancelled()) {
            return WatchEnd::cancelled;
        }
        const auto now = Clock::now();
        if (now >= deadline) {
            return WatchEnd::timedOut;
        }
        if (hasExited(child)) {
            return WatchEnd::exited;
        }
        std::array<pollfd, 4> watched{};
        std::size_t count = 0;
        const auto add = [&](int descriptor) {
            watched[count++] = pollfd{descriptor, POLLIN, 0};
            return count - 1;
        };
        const std::size_t outputIndex = collector.outputOpen() ? add(collector.outputDescriptor()) : 4;
        const std::size_t errorIndex = collector.errorOpen() ? add(collector.errorDescriptor()) : 4;
        if (processDescriptor.valid()) {
            add(processDescriptor.get());
        }
        if (wakeDescriptor >= 0) {
            add(wakeDescriptor);
        }
        const int ready = ::poll(watched.data(), count, pollTimeout(now, deadline, mustPollRegularly));
        if (ready < 0) {
            if (errno == EINTR || errno == EAGAIN) {
                continue;
            }
            return WatchEnd::failed;
        }
        constexpr short readable = POLLIN | POLLHUP | POLLERR;
        if (outputIndex < count && (watched[outputIndex].revents & readable) != 0 &&
            !collector.readOutput()) {
            return WatchEnd::outputLimit;
        }
        if (errorIndex < count && (watched[errorIndex].revents & readable) != 0) {
            collector.readError();
        }
    }
}

std::string startFailureMessage(const std::string& program, const StartReport& report) {
    std::string message;
    switch (report.stage) {
    case StartReport::standardDescriptors:
        message = "could not set up the standard descriptors for ";
        break;
    case StartReport::workingDirectory:
        message = "could not enter the working folder for ";
        break;
    case StartReport::resourceLimits:
        message = "could not set the resource limits for ";
        break;
    default:
        message = "could not run ";
        break;
    }
    message.append(program).append(": ").append(std::strerror(report.error));
    return message;
}

} // namespace

std::optional<std::filesystem::path> ChildProcess::findProgram(std::string_view name,
                                                               std::string_view searchPath) {
    if (name.empty()) {
        return std::nullopt;
    }
    if (name.find('/') != std::string_view::npos) {
        return std::filesystem::path(name);
    }
    while (true) {
        const std::size_t colon = searchPath.find(':');
        const std::string_view folder = searchPath.substr(0, colon);
        std::filesystem::path candidate(folder.empty() ? std::string_view(".") : folder);
        candidate /= name;
        struct stat status {};
        if (::stat(candidate.c_str(), &status) == 0 && S_ISREG(status.st_mode) &&
            ::access(candidate.c_str(), X_OK) == 0) {
            return candidate;
        }
        if (colon == std::string_view::npos) {
            return std::nullopt;
        }
        searchPath.remove_prefix(colon + 1);
    }
}

ChildProcess::Result ChildProcess::run(const Options& options, const CancellationToken* cancellation) {
    Result result;
    if (options.arguments.empty()) {
        result.startFailure = StartFailure::other;
        result.error = "no program was given";
        return result;
    }
    if (cancellation != nullptr && cancellation->isCancelled()) {
        result.cancelled = true;
        return result;
    }
    auto environment = childEnvironment(options);
    const auto& name = options.arguments.front();
    const auto pathVariable = variable(environment, "PATH");
    const auto program =
        findProgram(name, pathVariable.empty() ? "/usr/local/bin:/usr/bin:/bin" : pathVariable);
    if (!program) {
        result.startFailure = StartFailure::notFound;
        result.error = "could not find the program " + name;
        return result;
    }

    auto arguments = options.arguments;
    const auto argumentPointers = pointers(arguments);
    const auto environmentPointers = pointers(environment);
    const std::string workingDirectory = options.workingDirectory ? options.workingDirectory->string() : "";
    Pipe output;
    Pipe error;
    Pipe status;
    if (!makePipe(output) || !makePipe(error) || !makePipe(status)) {
        result.startFailure = StartFailure::other;
        result.error =
            std::string("could not make pipes for ").append(name).append(": ").append(std::strerror(errno));
        return result;
    }
    ChildSetup setup;
    setup.program = program->c_str();
    setup.arguments = argumentPointers.data();
    setup.environment = environmentPointers.data();
    setup.workingDirectory = options.workingDirectory ? workingDirectory.c_str() : nullptr;
    setup.outputWrite = output.writeEnd.get();
    setup.errorWrite = error.writeEnd.get();
    setup.statusWrite = status.writeEnd.get();
    addLimit(setup, RLIMIT_CORE, 0, 0);
    if (options.limits.fileSize > 0) {
        addLimit(setup, RLIMIT_FSIZE, options.limits.fileSize, options.limits.fileSize);
    }
    if (options.limits.addressSpace > 0) {
        addLimit(setup, RLIMIT_AS, options.limits.addressSpace, options.limits.addressSpace);
    }
    if (options.limits.cpuSeconds > 0) {
        addLimit(setup, RLIMIT_CPU, options.limits.cpuSeconds, options.limits.cpuSeconds + 1);
    }

    // Bounded, so that a huge deadline cannot overflow the clock's arithmetic.
    const auto deadline =
        Clock::now() + std::clamp<std::chrono::milliseconds>(options.deadline, std::chrono::milliseconds(0),
                                                             std::chrono::hours(24 * 365));
    setup.parent = ::getpid();
    const pid_t child = ::fork();
    if (child < 0) {
        result.startFailure = StartFailure::other;
        result.error = std::string("could not start ").append(name).append(": ").append(std::strerror(errno));
        return result;
    }
    if (child == 0) {
        runChild(setup);
    }
    // Set from both sides, so that the group exists whichever runs first.
    ::setpgid(child, child);
    output.writeEnd.reset();
    error.writeEnd.reset();
    status.writeEnd.reset();

    StartReport report;
    std::size_t reported = 0;
    while (reported < sizeof report) {
        const ssize_t got = readSome(status.readEnd.get(), reinterpret_cast<char*>(&report) + reported,
                                     sizeof report - reported);
        if (got <= 0) {
            break;
        }
        reported += static_cast<std::size_t>(got);
    }
    if (reported == sizeof report) {
        reap(child, result);
        result.exitCode.reset();
        result.startFailure =
            report.stage == StartReport::execute && (report.error == ENOENT || report.error == ENOTDIR)
                ? StartFailure::notFound
                : StartFailure::other;
        result.error = startFailureMessage(name, report);
        return result;
    }

    OutputCollector collector(std::move(output.readEnd), std::move(error.readEnd), options, result);
    const WatchEnd end = watch(child, collector, deadline, cancellation);
    // The whole group goes, whatever ended the watch: a child that exited may have left processes
    // behind. The child is not reaped yet, so its id still names this group.
    ::kill(-child, SIGKILL);
    if (end != WatchEnd::exited) {
        ::kill(child, SIGKILL);
    }
    result.timedOut = end == WatchEnd::timedOut;
    result.cancelled = end == WatchEnd::cancelled;
    if (end == WatchEnd::exited) {
        collector.drain(deadline);
    }
    collector.finish();
    reap(child, result);
    return result;
}
