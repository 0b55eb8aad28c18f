#pragma once

#include <QString>
#include <QStringList>
#include <filesystem>
#include <functional>
#include <vector>

/// Asks the user to choose files or folders. On Linux the window shows a Qt file dialog; tests
/// answer at once.
class OpenPanelPresenter {
public:
    struct Request {
        bool choosesFiles = true;
        bool choosesDirectories = false;
        bool allowsMultipleSelection = true;
        /// Type identifiers of the files that may be chosen; empty allows any.
        QStringList allowedFileTypes;
        /// Where the panel starts.
        std::filesystem::path directory;
        /// Keys of the panel's message and button texts in the string table `stringsTable`.
        QString stringsTable;
        QString messageKey;
        QString promptKey;
    };
    /// Receives the chosen items; it is not called when the user cancels.
    using Completion = std::function<void(const std::vector<std::filesystem::path>& chosenPaths)>;

    virtual ~OpenPanelPresenter() = default;
    virtual void showOpenPanel(const Request& request, Completion completion) = 0;

protected:
    OpenPanelPresenter() = default;
    OpenPanelPresenter(const OpenPanelPresenter&) = default;
    OpenPanelPresenter& operator=(const OpenPanelPresenter&) = default;
};
