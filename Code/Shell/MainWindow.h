#pragma once

#include "Code/Catalogue/ApplicationsSourceController.h"
#include "Code/Shell/WindowState.h"

#include <QMainWindow>
#include <QPointer>
#include <memory>
#include <optional>

class ApplicationIconCache;
class ApplicationsListView;
class DocumentPageController;
class DocumentWebView;
class FileDialogOpenPanelPresenter;
class PlatformServices;
class Preferences;
class QLineEdit;
class QSplitter;
class SidebarWidget;

/// The window's commands. Their object names are those of the fields, for accessibility and tests.
struct MainWindowCommands {
    QAction* find = nullptr;
    QAction* showInFinder = nullptr;
    QAction* revealLumora = nullptr;
    QAction* reloadLumora = nullptr;
    QAction* open = nullptr;
    QAction* grantReadPermission = nullptr;
    QAction* resetReadPermissions = nullptr;
    QAction* openInBrowser = nullptr;
    QAction* reloadAdditionalApplications = nullptr;
};

/// The program's window: the sidebar beside the selected application's page, the window's
/// commands and menus, and the sheets and alerts they open.
class MainWindow : public QMainWindow {
    Q_OBJECT

public:
    /// `preferences` and `platformServices` must outlive the window. The preferences also keep
    /// the window's size, the splitter and the last selection.
    MainWindow(Preferences& preferences, ApplicationsSourceController::Sources sources,
               PlatformServices& platformServices, QWidget* parent = nullptr);
    ~MainWindow() override;

    ApplicationsSourceController& applicationsSourceController() const {
        return *_applicationsSourceController;
    }
    DocumentPageController& documentPageController() const { return *_documentPageController; }
    DocumentWebView& webView() const { return *_webView; }
    SidebarWidget& sidebar() const { return *_sidebar; }
    QLineEdit& searchField() const;
    ApplicationsListView& listView() const;
    const MainWindowCommands& commands() const { return _commands; }
    /// Where the open panel is shown; tests put their own in its place. Not owned.
    void setOpenPanelPresenter(OpenPanelPresenter* presenter);
    /// The selection remembered from the last session does not come back (files were handed over).
    void forgetSelectionToRestore() { _applicationToRestore.clear(); }
    /// Starts the sources (the window shows its loading view until the initial loading is over).
    void startUpdating();
    /// The context menu of the list as it would open now: disabled commands are left out.
    std::unique_ptr<QMenu> makeListContextMenu();

signals:
    void developerPanelRequested();
    void declarationFormatRequested();
    /// The page shown last has finished loading in the web view.
    void pageShown();
    /// The user closed the window: the program ends.
    void closed();

protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void buildInterface();
    void buildCommands();
    void buildMenus();
    QAction* addCommand(const char* name, const char* titleKey, void (MainWindow::*slot)());
    /// The one place that decides which commands are enabled.
    void updateCommands();
    void initialLoadingFinished();
    /// Pages wait until the start is under way: the first page starts the web engine, which holds
    /// the main thread for a fifth of a second, and the loading view shows its first count before.
    void showPage(const QString& html);
    void releaseHeldPage();
    void selectionShown();
    void showListContextMenu(const QPoint& globalPosition);
    void showSettingsWriteFailure(const QString& filePath);
    void applyAppearance();
    void restoreSelection();
    void showPreviewLoadingSheet(PreviewApplicationsSource& source, LoadProgress& progress);

    // Commands.
    void find();
    /// Beeps and tells, window-modally, why an archive handed over added nothing.
    void showArchiveRefusal(const QString& archivePath, const QString& failureName, const QString& detail);
    void showInFinder();
    void revealLumora();
    void reloadLumora();
    void open();
    void grantReadPermission();
    void resetReadPermissions();
    void openInBrowser();
    void reloadAdditionalApplications();

    Preferences& _preferences;
    PlatformServices& _platformServices;
    WindowState _windowState;
    ApplicationIconCache* _iconCache;
    ApplicationsSourceController* _applicationsSourceController;
    DocumentPageController* _documentPageController;
    std::unique_ptr<FileDialogOpenPanelPresenter> _fileDialogOpenPanel;
    MainWindowCommands _commands;
    QSplitter* _splitter = nullptr;
    SidebarWidget* _sidebar = nullptr;
    DocumentWebView* _webView = nullptr;
    bool _remembersSelection = true;
    QString _applicationToRestore;
    bool _holdsPages = true;
    std::optional<QString> _heldPage;
};
