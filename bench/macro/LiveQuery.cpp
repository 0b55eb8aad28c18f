// lumora-live-query: how fast the live application query finds bundles and follows changes.
//
//   lumora-live-query gather [--entries N] [--apps N] [--tree DIR] [--runs N]
//     Makes a tree of N entries (default 1,000,000) holding the given number of *.app bundles of
//     24 entries each (the folder, Contents, MacOS, Resources and 20 files) among ordinary folders
//     and files, then, with the tree in the page cache, times in the same run:
//     `find TREE -name '*.app' -prune -print`, the bare walk, the walk placing inotify watches,
//     and a whole source delivery (walk, watches, listing rules and the application instances,
//     whose loads start in the background). Peak memory is the process's maximum resident size.
//   lumora-live-query latency [--entries N] [--apps N] [--tree DIR] [--runs N]
//     Starts the source on a tree of N entries (default 100,000) and times, for each run, from
//     making one *.app folder to the update handler reporting it.
//
// With --tree an existing tree made by an earlier run is reused (and kept); otherwise the tree is
// made in a temporary folder and removed at the end.

#include "Code/Catalogue/ApplicationBundleWalker.h"
#include "Code/Catalogue/FolderWatchTable.h"
#include "Code/Catalogue/InstalledApplication.h"
#include "Code/Catalogue/LumoraLoadEnvironment.h"
#include "Code/Catalogue/SpotlightApplicationsSource.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr std::size_t entriesPerBundle = 24;
constexpr std::size_t topFolders = 100;
constexpr std::size_t subfoldersEach = 10;

struct Settings {
    std::string mode;
    std::size_t entries = 0;
    std::size_t applications = 0;
    std::size_t runs = 3;
    fs::path tree;
};

[[noreturn]] void usage(const std::string& problem) {
    std::cerr
        << "lumora-live-query: " << problem
        << "\nusage: lumora-live-query gather|latency [--entries N] [--apps N] [--tree DIR] [--runs N]\n";
    std::exit(2);
}

Settings parse(int argc, char** argv) {
    if (argc < 2) {
        usage("needs a mode");
    }
    Settings settings;
    settings.mode = argv[1];
    if (settings.mode != "gather" && settings.mode != "latency") {
        usage("unknown mode " + settings.mode);
    }
    const bool gather = settings.mode == "gather";
    settings.entries = gather ? 1000000 : 100000;
    settings.applications = gather ? 2000 : 200;
    for (int index = 2; index < argc; ++index) {
        const std::string argument = argv[index];
        if (++index == argc) {
            usage(argument + " needs a value");
        }
        const auto number = [&] {
            const long value = std::strtol(argv[index], nullptr, 10);
            if (value <= 0 || value > 100000000) {
                usage(argument + " needs a positive number");
            }
            return static_cast<std::size_t>(value);
        };
        if (argument == "--entries") {
            settings.entries = number();
        } else if (argument == "--apps") {
            settings.applications = number();
        } else if (argument == "--runs") {
            settings.runs = number();
        } else if (argument == "--tree") {
            settings.tree = argv[index];
        } else {
            usage("unknown option " + argument);
        }
    }
    return settings;
}

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

void makeFolder(const fs::path& path) {
    if (::mkdir(path.c_str(), 0755) != 0 && errno != EEXIST) {
        usage("cannot make " + path.native());
    }
}

void makeFile(int folder, const std::string& name) {
    const int file = ::openat(folder, name.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    if (file < 0) {
        usage("cannot make " + name);
    }
    ::close(file);
}

void makeBundle(const fs::path& bundle) {
    makeFolder(bundle);
    makeFolder(bundle / "Contents");
    makeFolder(bundle / "Contents/MacOS");
    makeFolder(bundle / "Contents/Resources");
    const int contents = ::open((bundle / "Contents").c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    makeFile(contents, "Info.plist");
    makeFile(contents, "MacOS/Tool");
    for (int index = 0; index < 18; ++index) {
        makeFile(contents, "Resources/resource" + std::to_string(index) + ".dat");
    }
    ::close(contents);
}

/// The leaf folders of the tree: 100 folders of 10 subfolders each.
std::vector<fs::path> leafFolders(const fs::path& tree) {
    std::vector<fs::path> leaves;
    for (std::size_t top = 0; top < topFolders; ++top) {
        for (std::size_t sub = 0; sub < subfoldersEach; ++sub) {
            leaves.push_back(tree / ("folder" + std::to_string(top)) / ("sub" + std::to_string(sub)));
        }
    }
    return leaves;
}

/// Makes the tree unless a finished one is there; the number of entries it holds.
std::size_t makeTree(const fs::path& tree, std::size_t entries, std::size_t applications) {
    const auto leaves = leafFolders(tree);
    const std::size_t folders = topFolders + leaves.size();
    if (entries < folders + applications * entriesPerBundle) {
        usage("too few entries for that many bundles");
    }
    if (fs::exists(tree / ".complete")) {
        return entries;
    }
    const auto start = Clock::now();
    makeFolder(tree);
    const std::size_t files = entries - folders - applications * entriesPerBundle;
    for (std::size_t index = 0; index < leaves.size(); ++index) {
        makeFolder(leaves[index].parent_path());
        makeFolder(leaves[index]);
        for (std::size_t bundle = index; bundle < applications; bundle += leaves.size()) {
            makeBundle(leaves[index] / ("Application " + std::to_string(bundle) + ".app"));
        }
        const int folder = ::open(leaves[index].c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        const std::size_t count = files / leaves.size() + (index < files % leaves.size() ? 1 : 0);
        // The files of a folder are names of one empty file: a walk sees a regular file for each,
        // and the tree is made in a fraction of the time that as many new files take.
        makeFile(folder, "document0.txt");
        for (std::size_t file = 1; file < count; ++file) {
            const auto name = "document" + std::to_string(file) + ".txt";
            if (::linkat(folder, "document0.txt", folder, name.c_str(), 0) != 0 && errno != EEXIST) {
                usage("cannot make " + name);
            }
        }
        ::close(folder);
    }
    makeFile(::open(tree.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC), ".complete");
    std::fprintf(stderr, "made %zu entries in %.1f s\n", entries, secondsSince(start));
    return entries;
}

long peakMegabytes() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024;
}

/// Runs `find` the way the comparison asks; the number of lines it printed.
std::size_t runFind(const fs::path& tree) {
    const std::string command = "find '" + tree.native() + "' -name '*.app' -prune -print";
    FILE* output = ::popen(command.c_str(), "r");
    std::size_t lines = 0;
    for (int character; (character = std::fgetc(output)) != EOF;) {
        lines += character == '\n' ? 1 : 0;
    }
    ::pclose(output);
    return lines;
}

template <typename Action>
double bestOf(std::size_t runs, Action action) {
    double best = 1e9;
    for (std::size_t run = 0; run < runs; ++run) {
        const auto start = Clock::now();
        action();
        best = std::min(best, secondsSince(start));
    }
    return best;
}

std::size_t walk(const fs::path& tree, ApplicationBundleWalker::FolderVisitor visitor) {
    ApplicationBundleWalker::Options options;
    options.visitor = std::move(visitor);
    ApplicationBundleWalker walker(std::move(options));
    ApplicationBundleWalker::Result result;
    walker.walkRoot(tree.native(), 0, result);
    return result.bundlePaths.size();
}

/// Starts a source on `tree` and returns it once its first result has arrived.
std::shared_ptr<SpotlightApplicationsSource> startedSource(const fs::path& tree, bool& updated) {
    auto source = SpotlightApplicationsSource::make({tree});
    QEventLoop loop;
    source->startUpdating([&](AsyncApplicationsSource&, bool) {
        updated = true;
        loop.quit();
    });
    loop.exec();
    return source;
}

int gather(const Settings& settings, const fs::path& tree) {
    makeTree(tree, settings.entries, settings.applications);
    const auto warm = runFind(tree);
    if (warm != settings.applications) {
        std::fprintf(stderr, "find printed %zu lines, expected %zu\n", warm, settings.applications);
    }
    std::size_t found = 0;
    const double findSeconds = bestOf(settings.runs, [&] { (void)runFind(tree); });
    const double walkSeconds = bestOf(settings.runs, [&] { found = walk(tree, {}); });
    const double watchSeconds = bestOf(settings.runs, [&] {
        FolderWatchTable watches;
        found = walk(tree, [&](const std::string& folder) {
            watches.watch(folder);
            return true;
        });
    });
    const long walkPeak = peakMegabytes();
    std::size_t listed = 0;
    const double sourceSeconds = bestOf(settings.runs, [&] {
        bool updated = false;
        const auto source = startedSource(tree, updated);
        listed = source->applications().size();
    });
    std::printf("%zu entries, %zu bundles (found %zu, listed %zu), best of %zu:\n", settings.entries,
                settings.applications, found, listed, settings.runs);
    std::printf("  find -name '*.app' -prune -print   %8.1f ms\n", findSeconds * 1000);
    std::printf("  walk                               %8.1f ms  (%.2f x find)\n", walkSeconds * 1000,
                walkSeconds / findSeconds);
    std::printf("  walk with inotify watches          %8.1f ms  (%.2f x find)\n", watchSeconds * 1000,
                watchSeconds / findSeconds);
    std::printf("  whole source delivery              %8.1f ms  (%.2f x find; loads run meanwhile)\n",
                sourceSeconds * 1000, sourceSeconds / findSeconds);
    std::printf("  peak memory after the walks %ld MB, after the source %ld MB\n", walkPeak, peakMegabytes());
    return found == settings.applications ? 0 : 1;
}

int latency(const Settings& settings, const fs::path& tree) {
    makeTree(tree, settings.entries, settings.applications);
    bool updated = false;
    const auto source = startedSource(tree, updated);
    const auto leaves = leafFolders(tree);
    std::vector<double> latencies;
    for (std::size_t run = 0; run < settings.runs; ++run) {
        const auto bundle = leaves[(run * 7919) % leaves.size()] / ("Added " + std::to_string(run) + ".app");
        const std::size_t before = source->applications().size();
        QEventLoop loop;
        source->startUpdating([&](AsyncApplicationsSource& updatedSource, bool) {
            if (updatedSource.applications().size() > before) {
                loop.quit();
            }
        });
        QTimer::singleShot(10000, &loop, &QEventLoop::quit);
        const auto start = Clock::now();
        makeFolder(bundle);
        loop.exec();
        latencies.push_back(secondsSince(start));
        if (source->applications().size() <= before) {
            std::fprintf(stderr, "no update within 10 s\n");
            return 1;
        }
        fs::remove(bundle);
        // Lets the removal be reported before the next run.
        QEventLoop settle;
        source->startUpdating([&](AsyncApplicationsSource&, bool) { settle.quit(); });
        QTimer::singleShot(10000, &settle, &QEventLoop::quit);
        settle.exec();
    }
    std::sort(latencies.begin(), latencies.end());
    std::printf(
        "%zu entries watched: from mkdir of one *.app to the update handler, %zu runs: median %.0f ms, "
        "max %.0f ms (of which %d ms is the deliberate gathering of changes)\n",
        settings.entries, latencies.size(), latencies[latencies.size() / 2] * 1000, latencies.back() * 1000,
        500);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    const auto settings = parse(argc, argv);
    QCoreApplication application(argc, argv);
    // The walk is measured, not the documents: loads find none.
    auto environment = LumoraLoadEnvironment::standard();
    environment.isReadable = [](const ZRURL&) { return true; };
    LumoraLoadEnvironment::setCurrent(environment);

    fs::path tree = settings.tree;
    fs::path temporary;
    if (tree.empty()) {
        std::string pattern = (fs::temp_directory_path() / "lumora-live-query-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) {
            usage("cannot make a temporary folder");
        }
        temporary = pattern;
        tree = temporary / "tree";
    }
    const int status = settings.mode == "gather" ? gather(settings, tree) : latency(settings, tree);
    if (!temporary.empty()) {
        std::error_code error;
        fs::remove_all(temporary, error);
    }
    return status;
}
