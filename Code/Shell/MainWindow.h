#pragma once

#include "Code/Catalogue/ApplicationsSourceController.h"

#include <QMainWindow>
#include <QPointer>
#include <QSettings>
#include <memory>

class ApplicationIconCache;
class ApplicationsListView;
class DocumentPageController;
class DocumentWebView;
class FileDialogOpenPanelPresenter;
class PlatformServices;
class Preferences;
class QLabel;
class QLineEdit;
class QPushButton;

class QSplitter;
class QStackedWidget;

/// The program's window: the applications list with its search field beside the selected
/// application's page, the window's commands, and the sheets they open.
class MainWindow : public QMainWindow {
    Q_OBJECT

public:
    /// `preferences` and `platformServices` must outlive the window. `windowState` keeps the
    /// window's size, the splitter and the last selection (none: nothing is remembered).
    MainWindow(Preferences& preferences, ApplicationsSourceController::Sources sources,
               PlatformServices& platformServices, QSettings* windowState, QWidget* parent = nullptr);
    ~MainWindow() override;

    ApplicationsSourceController& applicationsSourceController() const {
        return *_applicationsSourceController;
    }
    DocumentPageController& documentPageController() const { return *_documentPageController; }
    DocumentWebView& webView() const { return *_webView; }
    QLineEdit& searchField() const { return *_searchField; }
    ApplicationsListView& listView() const { return *_listView; }
    /// The command of that name ("find", "showInFinder", "revealLumora", "reloadLumora", "open",
    /// "grantReadPermission", "resetReadPermissions", "openInBrowser", "reloadAdditionalApplications").
    QAction* command(const QString& name) const;
    /// Where the open panel is shown; tests put their own in its place. Not owned.
    void setOpenPanelPresenter(OpenPanelPresenter* presenter);
    /// The text behind an empty list, and the command it offers (empty when none).
    QString emptyListText() const;
    QString emptyListButtonText() const;

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
    bool eventFilter(QObject* watched, QEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void buildInterface();
    void buildCommands();
    void buildMenus();
    QAction* addCommand(const QString& name, const char* titleKey, void (MainWindow::*slot)());
    void updateCommands();
    void initialLoadingFinished();
    void updateEmptyListText();
    void emptyListButtonClicked();
    void arrangedSelectionChanged();
    void applyAppearance();
    void restoreSelection();
    void showPreviewLoadingSheet(PreviewApplicationsSource& source, LoadProgress& progress);

    // Commands.
    void find();
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
    QPointer<QSettings> _windowState;
    ApplicationIconCache* _iconCache;
    ApplicationsSourceController* _applicationsSourceController;
    DocumentPageController* _documentPageController;
    std::unique_ptr<FileDialogOpenPanelPresenter> _fileDialogOpenPanel;
    QSplitter* _splitter = nullptr;
    QLineEdit* _searchField = nullptr;
    QStackedWidget* _listStack = nullptr;
    QWidget* _listContainer = nullptr;
    ApplicationsListView* _listView = nullptr;
    QWidget* _emptyListView = nullptr;
    QLabel* _emptyListLabel = nullptr;
    QPushButton* _emptyListButton = nullptr;
    QPointer<QWidget> _loadingView;
    DocumentWebView* _webView = nullptr;
    bool _remembersSelection = true;
    QString _applicationToRestore;
};
