#pragma once

#include <QSize>
#include <QString>
#include <QStringList>
#include <filesystem>
#include <optional>
#include <string>
#include <variant>
#include <vector>

/// Starting the viewer: its command line, the checks before any window, and the run itself.
namespace ViewerLaunch {

struct Options {
    /// Files to open (application bundles or executables), made absolute.
    QStringList files;
    /// Replace the sources' locations for this run only.
    std::optional<std::vector<std::filesystem::path>> scopes;
    std::optional<std::vector<std::filesystem::path>> folders;
    std::optional<std::filesystem::path> extraTrustAnchorsFile;
    /// Render the window into this PNG file once the page has painted, then quit.
    std::optional<QString> screenshotFile;
    /// With --screenshot: the application to select, by its displayed name.
    std::optional<QString> selectName;
    QSize windowSize{1100, 720};
    /// With --screenshot: print to standard error how long after the process started the page
    /// of the selection first painted, under the fade-in and then visibly (for the benchmarks).
    bool reportFirstPaint = false;
    bool showHelp = false;
    bool showVersion = false;
};

/// The options, or the problem to report as a usage error.
std::variant<Options, std::string> parseArguments(const QStringList& arguments);

/// The usage text of --help.
std::string usageText();

/// Why the program cannot start as it is (root without the web engine's sandbox being turned off
/// on purpose, missing resources); none when it can.
std::optional<std::string> startProblem();

int run(int argc, char** argv);

} // namespace ViewerLaunch
