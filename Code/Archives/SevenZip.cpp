// SevenZip: the command lines given to 7zz, and the reading of how its runs ended.
#include "Code/Archives/SevenZip.h"

#include "Code/Archives/CancellationToken.h"
#include "Code/Archives/ChildProcess.h"

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <string_view>
#include <system_error>

namespace {

constexpr std::string_view programName = "7zz";
/// Extraction prints little with -bb0: its standard output only needs to hold the summary, and
/// with -bsp1 the redrawn progress lines (a few a second, each naming a file).
constexpr std::size_t extractionOutputLimit = std::size_t{16} << 20;

/// Switches for every run. -spd: the archive's name is a name, not a wildcard ("a*.zip" would
/// otherwise match other archives). -p-: a password is never asked for; an encrypted archive then
/// fails with "Wrong password" instead of waiting for a standard input that is /dev/null.
/// -sccUTF-8: the console's text is UTF-8 whatever the locale.
const std::vector<std::string> commonSwitches{"-spd", "-p-", "-sccUTF-8", "-bd"};

std::string searchPath(const std::optional<std::vector<std::string>>& environment) {
    if (environment) {
        for (const auto& entry : *environment) {
            if (entry.starts_with("PATH=")) {
                return entry.substr(5);
            }
        }
        return {};
    }
    const char* path = std::getenv("PATH");
    return path != nullptr ? path : "";
}

bool contains(std::string_view text, std::string_view part) {
    return text.find(part) != std::string_view::npos;
}

/// Up to three non-empty lines of 7-Zip's standard error, joined, for a message.
std::string errorLines(const std::string& errorOutput) {
    std::string lines;
    std::size_t count = 0;
    std::string_view rest(errorOutput);
    while (!rest.empty() && count < 3) {
        const auto end = std::min(rest.find('\n'), rest.size());
        const auto line = rest.substr(0, end);
        rest.remove_prefix(std::min(end + 1, rest.size()));
        if (line.find_first_not_of(" \t\r") == std::string_view::npos) {
            continue;
        }
        lines.append(count++ == 0 ? "" : " ").append(line.substr(0, 300));
    }
    return lines;
}

struct Outcome {
    SevenZip::Failure failure = SevenZip::Failure::none;
    std::string message;
};

Outcome failure(SevenZip::Failure kind, std::string message) {
    return {kind, std::move(message)};
}

/// How a run of 7zz ended, from its status and the messages 7-Zip 26.02 prints to standard error:
/// "Wrong password" (an encrypted entry), "Cannot open encrypted archive. Wrong password?" (an
/// archive whose names are encrypted), "Cannot open the file as [zip] archive" and "Is not
/// archive", "Dangerous link path was ignored", "Can't allocate required memory!".
Outcome classify(const ChildProcess::Result& run, const SevenZip::Limits& limits) {
    using Failure = SevenZip::Failure;
    if (!run.started()) {
        if (run.startFailure == ChildProcess::StartFailure::notFound) {
            return failure(Failure::notInstalled, "7-Zip is not installed (the program 7zz was not found).");
        }
        return failure(Failure::failed, "7-Zip could not be started: " + run.error);
    }
    if (run.cancelled) {
        return failure(Failure::cancelled, "The operation was cancelled.");
    }
    if (run.timedOut) {
        return failure(Failure::timedOut,
                       "7-Zip took longer than " +
                           std::to_string(std::chrono::ceil<std::chrono::seconds>(limits.deadline).count()) +
                           " seconds.");
    }
    if (run.outputLimitExceeded) {
        return failure(Failure::limitExceeded, "7-Zip's listing of the archive is too long.");
    }
    const auto& errors = run.errorOutput;
    if (run.signal == SIGXCPU || run.signal == SIGKILL) {
        return failure(Failure::limitExceeded, "7-Zip used more than " + std::to_string(limits.cpuSeconds) +
                                                   " seconds of processor time on the archive.");
    }
    if (run.signal == SIGXFSZ) {
        return failure(Failure::limitExceeded,
                       "A file in the archive is larger than the limit on the contents.");
    }
    if (run.signal) {
        return failure(Failure::damaged,
                       "7-Zip failed on the archive (signal " + std::to_string(*run.signal) + ").");
    }
    if (run.exitCode == 0) {
        return {};
    }
    if (contains(errors, "Wrong password") || contains(errors, "encrypted archive")) {
        return failure(Failure::encrypted, "The archive is encrypted.");
    }
    if (contains(errors, "Cannot open the file as") || contains(errors, "Is not archive")) {
        return failure(Failure::cannotOpen, "The file cannot be opened as an archive.");
    }
    if (contains(errors, "Dangerous link path")) {
        return failure(Failure::unsafeEntry,
                       "The archive holds a symbolic link that points outside its folder.");
    }
    if (contains(errors, "allocate") || run.exitCode == 8) {
        return failure(Failure::limitExceeded, "7-Zip ran out of memory on the archive.");
    }
    if (contains(errors, "errno=") || run.exitCode == 7) {
        return failure(Failure::failed, "7-Zip failed: " + errorLines(errors + run.output));
    }
    const auto details = errorLines(errors);
    return failure(Failure::damaged,
                   details.empty() ? "The archive is damaged." : "The archive is damaged: " + details);
}

ChildProcess::Options options(const std::optional<std::vector<std::string>>& environment,
                              const SevenZip::Limits& limits, std::vector<std::string> arguments) {
    ChildProcess::Options result;
    result.arguments = {std::string(programName)};
    result.arguments.insert(result.arguments.end(), arguments.begin(), arguments.end());
    result.environment = environment;
    result.deadline = limits.deadline;
    result.limits.fileSize = std::max<std::uint64_t>(limits.contents.totalSize, 1);
    result.limits.addressSpace = limits.addressSpace;
    result.limits.cpuSeconds = limits.cpuSeconds;
    return result;
}

std::vector<std::string> withCommonSwitches(std::vector<std::string> arguments,
                                            const std::vector<std::string>& trailing) {
    arguments.insert(arguments.end(), commonSwitches.begin(), commonSwitches.end());
    arguments.insert(arguments.end(), trailing.begin(), trailing.end());
    return arguments;
}

/// Removes everything inside `folder` (not the folder), following no links; folders extracted
/// without write permission are given it first.
void empty(const std::filesystem::path& folder) {
    namespace fs = std::filesystem;
    std::error_code error;
    for (fs::recursive_directory_iterator walk(folder, error), end; !error && walk != end;
         walk.increment(error)) {
        if (walk->symlink_status(error).type() == fs::file_type::directory) {
            fs::permissions(walk->path(), fs::perms::owner_all, fs::perm_options::add, error);
        }
    }
    for (fs::directory_iterator entry(folder, error), end; !error && entry != end; entry.increment(error)) {
        std::error_code removal;
        fs::remove_all(entry->path(), removal);
    }
}

/// What was written, checked again: regular files, folders and links only; links whose targets
/// stay inside; totals within the limits (the listing's sizes are the archive's own claims).
ExtractionSafety::Verdict checkExtracted(const std::filesystem::path& folder, std::uint64_t archiveSize,
                                         const ExtractionSafety::Limits& limits) {
    namespace fs = std::filesystem;
    ExtractionSafety::Totals totals;
    totals.packedSize = archiveSize;
    std::error_code error;
    fs::recursive_directory_iterator walk(folder, error);
    for (const fs::recursive_directory_iterator end; !error && walk != end; walk.increment(error)) {
        const auto relative = walk->path().lexically_relative(folder).generic_string();
        const auto status = walk->symlink_status(error);
        if (error) {
            break;
        }
        ++totals.entryCount;
        totals.depth = std::max(totals.depth, ExtractionSafety::depth(relative));
        if (fs::is_symlink(status)) {
            const auto target = fs::read_symlink(walk->path(), error);
            if (error) {
                break;
            }
            if (auto verdict = ExtractionSafety::checkLinkTarget(relative, target.string());
                !verdict.isSafe()) {
                return verdict;
            }
        } else if (fs::is_regular_file(status)) {
            totals.size += std::min<std::uint64_t>(walk->file_size(error), limits.totalSize + 1);
        } else if (!fs::is_directory(status)) {
            return {"The entry \"" + relative + "\" is neither a file, a folder nor a symbolic link."};
        }
        if (totals.entryCount > limits.entryCount || totals.size > limits.totalSize) {
            break;
        }
    }
    if (error) {
        return {"The extracted files could not be checked: " + error.message() + "."};
    }
    return ExtractionSafety::checkTotals(totals, limits);
}

/// Writes the names `selection` includes, one a line, and returns how many; none when the file
/// could not be written. A name with a line break cannot be listed (7-Zip prints it with '_' in
/// its place): it is left out.
std::optional<std::size_t> writeSelection(const SevenZipListing& listing,
                                          const SevenZip::Selection& selection) {
    std::ofstream list(selection.listFile, std::ios::binary | std::ios::trunc);
    std::size_t count = 0;
    for (const auto& entry : listing.entries()) {
        if (!entry.isDirectory && selection.includes(entry) && entry.path.find('\n') == std::string::npos) {
            list << entry.path << '\n';
            ++count;
        }
    }
    list.close();
    return list ? std::optional(count) : std::nullopt;
}

} // namespace

const char* SevenZip::failureName(Failure failure) {
    switch (failure) {
    case Failure::none:
        return "none";
    case Failure::notInstalled:
        return "notInstalled";
    case Failure::encrypted:
        return "encrypted";
    case Failure::cannotOpen:
        return "cannotOpen";
    case Failure::damaged:
        return "damaged";
    case Failure::timedOut:
        return "timedOut";
    case Failure::cancelled:
        return "cancelled";
    case Failure::limitExceeded:
        return "limitExceeded";
    case Failure::unsafeEntry:
        return "unsafeEntry";
    case Failure::failed:
        return "failed";
    }
    return "failed";
}

std::optional<int> SevenZip::progressPercent(std::string_view output) {
    std::optional<int> percent;
    for (auto sign = output.find('%'); sign != std::string_view::npos; sign = output.find('%', sign + 1)) {
        std::size_t start = sign;
        while (start > 0 && sign - start < 3 && output[start - 1] >= '0' && output[start - 1] <= '9') {
            --start;
        }
        if (start == sign) {
            continue;
        }
        int value = 0;
        for (auto index = start; index < sign; ++index) {
            value = value * 10 + (output[index] - '0');
        }
        if (value <= 100) {
            percent = value;
        }
    }
    return percent;
}

SevenZip::SevenZip(std::optional<std::vector<std::string>> environment)
    : _environment(std::move(environment)) {}

bool SevenZip::isInstalled() const {
    return ChildProcess::findProgram(programName, searchPath(_environment)).has_value();
}

SevenZip::ListResult SevenZip::list(const std::filesystem::path& archive, const Limits& limits,
                                    const CancellationToken* cancellation) const {
    // -ba: entries only. Without it 7-Zip prints the archive's comment raw, where a line break
    // could forge entry blocks; an entry's own comment and name have their line breaks replaced.
    auto runOptions =
        options(_environment, limits, withCommonSwitches({"l", "-slt", "-ba"}, {"--", archive.string()}));
    runOptions.outputLimit = limits.listingOutputLimit;
    const auto run = ChildProcess::run(runOptions, cancellation);
    if (auto outcome = classify(run, limits); outcome.failure != Failure::none) {
        return {outcome.failure, std::move(outcome.message), std::nullopt};
    }
    auto parsed = SevenZipListing::parse(run.output, limits.contents.entryCount);
    if (!parsed.listing) {
        if (contains(parsed.error, "more than")) {
            return {Failure::limitExceeded,
                    "The archive holds more than " + std::to_string(limits.contents.entryCount) + " entries.",
                    std::nullopt};
        }
        return {Failure::failed, "7-Zip's listing could not be read: " + parsed.error, std::nullopt};
    }
    const auto& entries = parsed.listing->entries();
    if (std::any_of(entries.begin(), entries.end(), [](const auto& entry) { return entry.isEncrypted; })) {
        return {Failure::encrypted, "The archive is encrypted.", std::nullopt};
    }
    return {Failure::none, {}, std::move(parsed.listing)};
}

SevenZip::ExtractResult SevenZip::extract(const std::filesystem::path& archive,
                                          const std::filesystem::path& destinationFolder,
                                          const Limits& limits, const CancellationToken* cancellation,
                                          const Selection* selection, const Progress& progress) const {
    namespace fs = std::filesystem;
    std::error_code error;
    if (!fs::is_directory(fs::symlink_status(destinationFolder, error)) ||
        !fs::is_empty(destinationFolder, error) || error) {
        return {Failure::failed, "The destination is not an empty folder.", std::nullopt};
    }
    auto listed = list(archive, limits, cancellation);
    if (listed.failure != Failure::none) {
        return {listed.failure, std::move(listed.message), std::nullopt};
    }
    if (auto verdict = ExtractionSafety::checkListing(*listed.listing, limits.contents); !verdict.isSafe()) {
        return {verdict.exceedsLimit ? Failure::limitExceeded : Failure::unsafeEntry,
                std::move(verdict.refusal), std::nullopt};
    }
    // No -snld: 7-Zip refuses links that point outside on its own as well. -aos: an entry whose
    // name is already taken (a repeated name) is skipped, so nothing written is replaced.
    std::vector<std::string> switches{"x", "-y", "-bb0", "-aos", "-o" + destinationFolder.string()};
    if (selection != nullptr) {
        const auto count = writeSelection(*listed.listing, *selection);
        if (!count) {
            return {Failure::failed, "The list of entries to extract could not be written.", std::nullopt};
        }
        if (*count == 0) {
            return {Failure::none, {}, std::move(listed.listing)};
        }
        // -i@: the names in the list, exactly (-spd), in UTF-8 (-scs).
        switches.insert(switches.end(), {"-scsUTF-8", "-i@" + selection->listFile.string()});
    }
    if (progress) {
        switches.emplace_back("-bsp1");
    }
    auto runOptions = options(_environment, limits, withCommonSwitches(switches, {"--", archive.string()}));
    runOptions.outputLimit = extractionOutputLimit;
    if (progress) {
        runOptions.outputObserver = [&progress, last = -1](std::string_view piece) mutable {
            if (const auto percent = progressPercent(piece); percent && *percent != last) {
                last = *percent;
                progress(*percent);
            }
        };
    }
    const auto run = ChildProcess::run(runOptions, cancellation);
    auto outcome = classify(run, limits);
    if (outcome.failure == Failure::none) {
        const auto verdict =
            checkExtracted(destinationFolder, fs::file_size(archive, error), limits.contents);
        if (!verdict.isSafe()) {
            outcome = failure(verdict.exceedsLimit ? Failure::limitExceeded : Failure::unsafeEntry,
                              verdict.refusal);
        }
    }
    if (outcome.failure != Failure::none) {
        empty(destinationFolder);
        return {outcome.failure, std::move(outcome.message), std::nullopt};
    }
    return {Failure::none, {}, std::move(listed.listing)};
}
