#include "Code/Shell/AppController.h"

#include "Code/Catalogue/ApplicationFileTypes.h"
#include "Code/Catalogue/InstalledApplication.h"
#include "Code/Catalogue/Preferences.h"
#include "Code/Catalogue/QtStrings.h"
#include "Code/Shell/DeclarationFormatWindow.h"
#include "Code/Shell/DeveloperPanelWindow.h"
#include "Code/Shell/DocumentPageController.h"
#include "Code/Shell/MainWindow.h"
#include "Code/Shell/PlatformServices.h"

#include <QCoreApplication>
#include <QThreadPool>
#include <filesystem>

AppController::AppController(Preferences& preferences, PlatformServices& platformServices,
                             ApplicationsSourceController::Sources sources, QObject* parent)
    : QObject(parent)
    , _preferences(preferences)
    , _platformServices(platformServices)
    , _sources(std::move(sources)) {}

AppController::~AppController() {
    delete _declarationFormatWindow;
    delete _developerPanel;
    delete _mainWindow;
}

void AppController::applicationDidFinishLaunching() {
    _didFinishLaunching = true;
    // Top-level windows have no parent; the controller deletes them.
    _mainWindow = new MainWindow(_preferences, _sources, _platformServices);
    _mainWindow->setAttribute(Qt::WA_DeleteOnClose, false);
    connect(_mainWindow, &MainWindow::developerPanelRequested, this, &AppController::showDeveloperPanel);
    connect(_mainWindow, &MainWindow::declarationFormatRequested, this,
            &AppController::showDeclarationFormat);
    _mainWindow->documentPageController().setSimulatedConnectionProvider(
        [controller = QPointer(this)]() -> std::shared_ptr<const ConnectionInformation> {
            return controller ? controller->developerPanel().connectionInformation() : nullptr;
        });
    _mainWindow->show();
    _mainWindow->startUpdating();
    if (_pathsToOpen) {
        const QStringList paths = std::move(*_pathsToOpen);
        _pathsToOpen.reset();
        openFilesNow(paths);
    }
}

void AppController::openFiles(const QStringList& paths) {
    if (!_didFinishLaunching) {
        _pathsToOpen = paths;
        return;
    }
    openFilesNow(paths);
}

void AppController::openFilesNow(const QStringList& paths) {
    if (_mainWindow) {
        _mainWindow->show();
        _mainWindow->raise();
        _mainWindow->activateWindow();
    }
    if (paths.isEmpty()) {
        return;
    }
    std::vector<ZRURL> fileURLs;
    for (const QString& path : paths) {
        const auto filePath = QtStrings::toPath(path);
        if (ApplicationFileTypes::canBeAdded(filePath)) {
            fileURLs.push_back(ZRURL::fileURL(filePath, std::filesystem::is_directory(filePath)));
        }
    }
    if (fileURLs.empty() || !_mainWindow) {
        _platformServices.beep();
        return;
    }
    // What the user hands over is what they want to see, not what was selected last time.
    _mainWindow->forgetSelectionToRestore();
    _mainWindow->applicationsSourceController().addWithSecurityScopedFileURLs(fileURLs, true);
}

void AppController::applicationWillTerminate() {
    _preferences.removePreviewApplicationsSourceEnabled();
    InstalledApplication::lumoraLoadQueue().clear();
}

DeveloperPanelWindow& AppController::developerPanel() {
    if (!_developerPanel) {
        _developerPanel = new DeveloperPanelWindow(_mainWindow);
        connect(_developerPanel, &DeveloperPanelWindow::connectionInformationDidChange, this, [this] {
            if (_mainWindow) {
                _mainWindow->documentPageController().setNeedsRebuild();
            }
        });
    }
    return *_developerPanel;
}

void AppController::showDeveloperPanel() {
    developerPanel().showPanel();
}

void AppController::showDeclarationFormat() {
    if (!_declarationFormatWindow) {
        _declarationFormatWindow = new DeclarationFormatWindow(_platformServices, _mainWindow);
    }
    _declarationFormatWindow->show();
    _declarationFormatWindow->raise();
    _declarationFormatWindow->activateWindow();
}
