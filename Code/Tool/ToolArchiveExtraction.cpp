#include "Code/Tool/ToolArchiveExtraction.h"

#include <algorithm>
#include <array>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <unistd.h>

namespace fs = std::filesystem;

namespace {

using json = nlohmann::ordered_json;

/// Cancelled by the signal handlers; cancel() only stores a flag and writes to an eventfd.
CancellationToken& interruptionToken() {
    static CancellationToken token;
    return token;
}

volatile std::sig_atomic_t receivedSignal = 0;

constexpr std::array interruptingSignals{SIGINT, SIGTERM, SIGHUP};

extern "C" void interrupt(int signalNumber) {
    receivedSignal = signalNumber;
    interruptionToken().cancel();
}

ToolArchiveExtraction::Target failedTarget(const std::string& path, const char* caseName,
                                           std::string description) {
    ToolArchiveExtraction::Target target;
    target.path = path;
    target.error = json{{"type", "ArchiveError"}, {"case", caseName}, {"description", description}};
    target.errorText = std::move(description);
    return target;
}

} // namespace

namespace {

void setInterruptionHandler(void (*handler)(int)) {
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    for (const auto signalNumber : interruptingSignals) {
        ::sigaction(signalNumber, &action, nullptr);
    }
}

} // namespace

ToolArchiveExtraction::ToolArchiveExtraction() = default;

ToolArchiveExtraction::~ToolArchiveExtraction() {
    removeFolder();
}

void ToolArchiveExtraction::removeFolder() {
    if (_folder) {
        ArchiveContents::removeFolder(*_folder);
        _folder.reset();
        setInterruptionHandler(SIG_DFL);
    }
}

int ToolArchiveExtraction::interruptionDescriptor() {
    return interruptionToken().wakeDescriptor();
}

bool ToolArchiveExtraction::consumeApplicationName(const std::vector<std::string>& arguments,
                                                   std::size_t& index, std::optional<std::string>& name,
                                                   std::optional<std::string>& problem) {
    if (arguments[index] != "--app") {
        return false;
    }
    if (index + 1 >= arguments.size()) {
        problem = "--app needs the name of an application";
    } else {
        name = arguments[++index];
    }
    return true;
}

int ToolArchiveExtraction::interruption() {
    return receivedSignal;
}

bool ToolArchiveExtraction::isArchive(const fs::path& path) {
    return ArchiveFormats::isDownload(path);
}

std::string ToolArchiveExtraction::Target::applicationName() const {
    const auto name = fs::path(pathInArchive.value_or(path)).filename().string();
    return name.ends_with(".app") ? name.substr(0, name.size() - 4) : name;
}

std::string ToolArchiveExtraction::Target::shown(std::string text) const {
    if (!pathInArchive) {
        return text;
    }
    return ArchiveContents::replacingBundlePath(std::move(text), bundle, path + "/" + *pathInArchive);
}

void ToolArchiveExtraction::Target::show(json& value) const {
    if (!pathInArchive) {
        return;
    }
    if (value.is_string()) {
        value = shown(value.get<std::string>());
    } else if (value.is_structured()) {
        for (auto& element : value) {
            show(element);
        }
    }
}

std::optional<fs::path> ToolArchiveExtraction::temporaryFolder() {
    if (!_folder) {
        const char* temporary = std::getenv("TMPDIR");
        auto pattern =
            (fs::path(temporary != nullptr && *temporary != '\0' ? temporary : "/tmp") / "lumora-XXXXXX")
                .string();
        // From here until the folder is removed, an interruption cancels instead of ending.
        setInterruptionHandler(interrupt);
        if (::mkdtemp(pattern.data()) == nullptr) {
            setInterruptionHandler(SIG_DFL);
            return std::nullopt;
        }
        _folder = pattern;
    }
    return _folder;
}

std::vector<ToolArchiveExtraction::Target> ToolArchiveExtraction::targets(const std::string& path) {
    if (!isArchive(path)) {
        Target target;
        target.path = path;
        target.bundle = path;
        return {target};
    }
    if (!temporaryFolder()) {
        return {failedTarget(
            path, "failed", std::string("A temporary folder cannot be made: ") + std::strerror(errno) + ".")};
    }
    const auto destination = *_folder / std::to_string(++_archiveCount);
    std::error_code error;
    fs::create_directory(destination, error);
    const SevenZip sevenZip;
    auto contents = ArchiveContents::extract(sevenZip, path, destination, {}, &interruptionToken());
    if (!contents.succeeded()) {
        return {failedTarget(path, SevenZip::failureName(contents.failure), std::move(contents.message))};
    }
    for (const auto& unopened : contents.unopenedArchives) {
        std::fprintf(stderr,
                     "lumora: %s: \"%s\" is an archive inside an archive inside it, which is not opened: "
                     "the applications in it are not checked\n",
                     path.c_str(), unopened.c_str());
    }
    if (contents.applications.empty()) {
        return {failedTarget(path, "noApplication", "The archive holds no application.")};
    }
    std::vector<Target> targets;
    for (auto& application : contents.applications) {
        Target target;
        target.path = path;
        target.pathInArchive = std::move(application.pathInArchive);
        target.bundle = std::move(application.bundle);
        targets.push_back(std::move(target));
    }
    return targets;
}

ToolArchiveExtraction::Choice ToolArchiveExtraction::choose(const std::string& path,
                                                            const std::optional<std::string>& name) {
    auto all = targets(path);
    if (all.front().failed()) {
        return {std::move(all.front()), {}};
    }
    if (!all.front().pathInArchive) {
        if (name) {
            return {std::nullopt, "--app chooses an application inside an archive, and " + path + " is none"};
        }
        return {std::move(all.front()), {}};
    }
    if (all.size() == 1 && !name) {
        return {std::move(all.front()), {}};
    }
    std::string names;
    for (const auto& target : all) {
        if (name && target.applicationName() == *name) {
            return {target, {}};
        }
        names.append(names.empty() ? "" : ", ").append(target.applicationName());
    }
    if (!name) {
        return {std::nullopt, path + " holds several applications; choose one with --app NAME: " + names};
    }
    return {std::nullopt, path + " holds no application named " + *name + " (it holds " + names + ")"};
}
