#pragma once

#include "Code/Catalogue/ApplicationsSourceController.h"

#include <QObject>
#include <QPointer>
#include <QStringList>
#include <optional>

class DeclarationFormatWindow;
class DeveloperPanelWindow;
class MainWindow;
class PlatformServices;
class Preferences;

/// The program itself: it makes and shows the main window, opens the files it is handed (on the
/// command line, or later by another start of the program), offers the developer panel and the
/// format documentation, and tidies up when the program quits.
class AppController : public QObject {
    Q_OBJECT

public:
    /// The objects given must outlive the controller.
    AppController(Preferences& preferences, PlatformServices& platformServices,
                  ApplicationsSourceController::Sources sources, QObject* parent = nullptr);
    ~AppController() override;

    /// Makes and shows the main window, starts the sources, and opens the files handed over so far.
    void applicationDidFinishLaunching();
    /// Files handed to the program: kept until launching has finished (a later list replaces an
    /// earlier one), then added to the list with the first selected. Anything that cannot carry a
    /// document is left out; when nothing is left, the system beep sounds.
    void openFiles(const QStringList& paths);
    /// Every run starts without the featured applications; loads still waiting are dropped.
    void applicationWillTerminate();

    /// None before launching has finished.
    MainWindow* mainWindow() const { return _mainWindow; }
    /// Made on first use.
    DeveloperPanelWindow& developerPanel();
    void showDeveloperPanel();
    void showDeclarationFormat();

private:
    void openFilesNow(const QStringList& paths);

    Preferences& _preferences;
    PlatformServices& _platformServices;
    ApplicationsSourceController::Sources _sources;
    QPointer<MainWindow> _mainWindow;
    QPointer<DeveloperPanelWindow> _developerPanel;
    QPointer<DeclarationFormatWindow> _declarationFormatWindow;
    bool _didFinishLaunching = false;
    std::optional<QStringList> _pathsToOpen;
};
