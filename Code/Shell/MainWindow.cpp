#include "Code/Shell/MainWindow.h"

#include "Code/Catalogue/ApplicationsArrayController.h"
#include "Code/Catalogue/InstalledApplication.h"
#include "Code/Catalogue/Preferences.h"
#include "Code/Catalogue/PreviewApplicationsSource.h"
#include "Code/Catalogue/QtStrings.h"
#include "Code/Shell/ApplicationIconCache.h"
#include "Code/Shell/ApplicationsListView.h"
#include "Code/Shell/DocumentPageController.h"
#include "Code/Shell/DocumentWebView.h"
#include "Code/Shell/FileDialogOpenPanelPresenter.h"
#include "Code/Shell/PlatformServices.h"
#include "Code/Shell/PreviewApplicationsLoadingSheet.h"
#include "Code/Shell/ShellText.h"
#include "Code/Shell/SidebarWidget.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QSaveFile>
#include <QSplitter>
#include <QTimer>
#include <QVBoxLayout>
#include <string>

namespace {

QString text(const char* key) {
    return ShellText::localized(key);
}

bool isDark(const QPalette& palette) {
    return palette.color(QPalette::Window).lightnessF() < 0.5;
}

} // namespace

MainWindow::MainWindow(Preferences& preferences, ApplicationsSourceController::Sources sources,
                       PlatformServices& platformServices, QWidget* parent)
    : QMainWindow(parent)
    , _preferences(preferences)
    , _platformServices(platformServices)
    , _windowState(preferences)
    , _iconCache(new ApplicationIconCache(this))
    , _applicationsSourceController(new ApplicationsSourceController(preferences, std::move(sources), this))
    , _documentPageController(
          new DocumentPageController(*_applicationsSourceController, preferences, *_iconCache, this))
    , _fileDialogOpenPanel(std::make_unique<FileDialogOpenPanelPresenter>(this)) {
    setWindowTitle(text("windowTitle"));
    setObjectName(QStringLiteral("MainWindow"));
    _applicationsSourceController->setOpenPanelPresenter(_fileDialogOpenPanel.get());
    buildInterface();
    buildCommands();
    buildMenus();

    _applicationsSourceController->arrayController().setBadgeDescriptions(
        [](ApplicationsArrayController::Badge badge) {
            std::string key = "applicationState_";
            key += ApplicationsArrayController::badgeName(badge);
            return text(key.c_str());
        });
    connect(_sidebar, &SidebarWidget::selectionShown, this, &MainWindow::selectionShown);
    connect(_sidebar, &SidebarWidget::contextMenuRequested, this, &MainWindow::showListContextMenu);
    connect(_applicationsSourceController, &ApplicationsSourceController::didFinishInitialLoading, this,
            &MainWindow::initialLoadingFinished);
    connect(_applicationsSourceController, &ApplicationsSourceController::readPermissionsChanged, this,
            &MainWindow::updateCommands);
    connect(_applicationsSourceController, &ApplicationsSourceController::applicationsChanged, this,
            &MainWindow::updateCommands);
    connect(_applicationsSourceController, &ApplicationsSourceController::willLoadListOfPreviewApplications,
            this, [this](PreviewApplicationsSource* source, LoadProgress* progress) {
                showPreviewLoadingSheet(*source, *progress);
            });

    connect(_documentPageController, &DocumentPageController::pageChanged, this, &MainWindow::showPage);
    // The first count of the loading view, or the end of the loading, lets the pages through.
    connect(_applicationsSourceController, &ApplicationsSourceController::initialLoadingProgressed, this,
            [this] { QTimer::singleShot(0, this, &MainWindow::releaseHeldPage); });
    connect(_webView, &DocumentWebView::pageLoaded, this, &MainWindow::pageShown);
    connect(_webView, &DocumentWebView::grantReadPermissionRequested, this, [this](const QUrl& folderURL) {
        if (!folderURL.isValid() || !folderURL.isLocalFile()) {
            _platformServices.beep();
            return;
        }
        _applicationsSourceController->showOpenPanelAt(QtStrings::toPath(folderURL.toLocalFile()));
    });
    connect(&_preferences, &Preferences::writeFailed, this, &MainWindow::showSettingsWriteFailure);
    connect(_applicationsSourceController, &ApplicationsSourceController::chosenItemsRefused, this,
            [this] { _platformServices.beep(); });
    connect(_applicationsSourceController, &ApplicationsSourceController::archiveRefused, this,
            &MainWindow::showArchiveRefusal);
    connect(_webView, &DocumentWebView::showPreviewApplicationsRequested, this,
            [this] { _preferences.setPreviewApplicationsSourceEnabled(true); });

    _windowState.restoreLayout(*this, *_splitter);
    _applicationToRestore = _windowState.selectedApplication();
    applyAppearance();
    updateCommands();
    _documentPageController->setNeedsRebuild();
}

MainWindow::~MainWindow() {
    // Our children outlive this body (the widget base class deletes them): nothing they announce
    // while they shut down, the controller's emptied list included, may reach this half-destroyed
    // window or overwrite the saved state.
    _remembersSelection = false;
    for (QObject* child : findChildren<QObject*>()) {
        QObject::disconnect(child, nullptr, this, nullptr);
    }
    _applicationsSourceController->setOpenPanelPresenter(nullptr);
}

void MainWindow::buildInterface() {
    _splitter = new QSplitter(Qt::Horizontal, this);
    _splitter->setChildrenCollapsible(false);
    setCentralWidget(_splitter);
    _sidebar = new SidebarWidget(*_applicationsSourceController, *_iconCache, _splitter);
    // The view is shown with its first page: showing it starts the web engine.
    auto* pageArea = new QWidget(_splitter);
    auto* pageLayout = new QVBoxLayout(pageArea);
    pageLayout->setContentsMargins(0, 0, 0, 0);
    _webView = new DocumentWebView(_platformServices, pageArea);
    _webView->setAccessibleName(text("pageAccessibleName"));
    _webView->hide();
    pageLayout->addWidget(_webView);
    _splitter->addWidget(_sidebar);
    _splitter->addWidget(pageArea);
    _splitter->setStretchFactor(0, 0);
    _splitter->setStretchFactor(1, 1);
    _splitter->setSizes({280, 720});
    resize(1100, 720);
    setTabOrder(&listView(), _webView);
}

QLineEdit& MainWindow::searchField() const {
    return _sidebar->searchField();
}

ApplicationsListView& MainWindow::listView() const {
    return _sidebar->listView();
}

QAction* MainWindow::addCommand(const char* name, const char* titleKey, void (MainWindow::*slot)()) {
    auto* action = new QAction(text(titleKey), this);
    action->setObjectName(QString::fromLatin1(name));
    connect(action, &QAction::triggered, this, slot);
    return action;
}

void MainWindow::buildCommands() {
    _commands.find = addCommand("find", "commandFind", &MainWindow::find);
    _commands.find->setShortcut(QKeySequence::Find);
    _commands.showInFinder =
        addCommand("showInFinder", "commandShowInFileManager", &MainWindow::showInFinder);
    _commands.revealLumora = addCommand("revealLumora", "commandRevealLumora", &MainWindow::revealLumora);
    _commands.reloadLumora = addCommand("reloadLumora", "commandReloadLumora", &MainWindow::reloadLumora);
    _commands.reloadLumora->setShortcut(QKeySequence::Refresh);
    _commands.open = addCommand("open", "commandOpen", &MainWindow::open);
    _commands.open->setShortcut(QKeySequence::Open);
    _commands.grantReadPermission =
        addCommand("grantReadPermission", "commandGrantReadPermission", &MainWindow::grantReadPermission);
    _commands.resetReadPermissions =
        addCommand("resetReadPermissions", "commandResetReadPermissions", &MainWindow::resetReadPermissions);
    _commands.openInBrowser = addCommand("openInBrowser", "commandOpenInBrowser", &MainWindow::openInBrowser);
    _commands.openInBrowser->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_B));
    _commands.reloadAdditionalApplications =
        addCommand("reloadAdditionalApplications", "commandReloadAdditionalApplications",
                   &MainWindow::reloadAdditionalApplications);
    // The command without a menu item still answers its shortcut.
    addAction(_commands.openInBrowser);
}

void MainWindow::buildMenus() {
    auto* file = menuBar()->addMenu(text("menuFile"));
    file->addAction(_commands.open);
    file->addSeparator();
    auto* close = file->addAction(text("commandCloseWindow"), this, &QWidget::close);
    close->setShortcut(QKeySequence::Close);
    auto* quit = file->addAction(text("commandQuit"), qApp, &QApplication::closeAllWindows);
    quit->setShortcut(QKeySequence::Quit);

    auto* edit = menuBar()->addMenu(text("menuEdit"));
    edit->addAction(_commands.find);

    auto* application = menuBar()->addMenu(text("menuApplication"));
    application->addActions({_commands.showInFinder, _commands.revealLumora, _commands.reloadLumora,
                             _commands.grantReadPermission, _commands.resetReadPermissions});
    if (_applicationsSourceController->isPreviewApplicationsSourceOffered()) {
        application->addSeparator();
        application->addAction(_commands.reloadAdditionalApplications);
    }

    auto* view = menuBar()->addMenu(text("menuView"));
    const auto addPreference = [&](const char* titleKey, const PreferenceKey<bool>& key) {
        auto* action = view->addAction(text(titleKey));
        action->setCheckable(true);
        action->setChecked(_preferences.value(key));
        connect(action, &QAction::toggled, &_preferences,
                [this, &key](bool on) { _preferences.setValue(key, on); });
        _preferences.observe(key, action, [action](bool on) { action->setChecked(on); });
    };
    addPreference("commandShowPortsAndProtocols", PreferenceKeys::showPortsAndProtocols);
    if (_applicationsSourceController->isPreviewApplicationsSourceOffered()) {
        addPreference("commandShowPreviewApplications", PreferenceKeys::previewApplicationsSourceEnabled);
    }
    view->addSeparator();
    addPreference("commandDeveloperMode", PreferenceKeys::developerModeEnabled);
    auto* panel =
        view->addAction(text("commandShowDeveloperPanel"), this, &MainWindow::developerPanelRequested);
    panel->setShortcut(QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_D));

    auto* help = menuBar()->addMenu(text("menuHelp"));
    help->addAction(text("commandDeclarationFormat"), this, &MainWindow::declarationFormatRequested);
    for (auto* menu : {file, edit, application, view, help}) {
        connect(menu, &QMenu::aboutToShow, this, &MainWindow::updateCommands);
    }
}

std::unique_ptr<QMenu> MainWindow::makeListContextMenu() {
    updateCommands();
    auto menu = std::make_unique<QMenu>();
    for (QAction* action : {_commands.showInFinder, _commands.revealLumora, _commands.reloadLumora,
                            _commands.grantReadPermission}) {
        if (action->isEnabled()) {
            menu->addAction(action);
        }
    }
    return menu;
}

void MainWindow::showListContextMenu(const QPoint& globalPosition) {
    auto menu = makeListContextMenu();
    if (!menu->isEmpty()) {
        menu->exec(globalPosition);
    }
}

void MainWindow::setOpenPanelPresenter(OpenPanelPresenter* presenter) {
    _applicationsSourceController->setOpenPanelPresenter(presenter ? presenter : _fileDialogOpenPanel.get());
}

void MainWindow::startUpdating() {
    _remembersSelection = true;
    _applicationsSourceController->startUpdating();
}

void MainWindow::updateCommands() {
    const auto installed = _applicationsSourceController->arrayController().selectedInstalledApplication();
    const auto hasState = [&](LumoraLoadState::Case stateCase) {
        return installed != nullptr && installed->lumoraLoadState().stateCase() == stateCase;
    };
    _commands.showInFinder->setEnabled(installed != nullptr);
    _commands.revealLumora->setEnabled(hasState(LumoraLoadState::Case::loaded));
    _commands.reloadLumora->setEnabled(installed != nullptr);
    _commands.grantReadPermission->setEnabled(hasState(LumoraLoadState::Case::noReadPermission));
    // Shown only while there are grants to revoke (a hidden action is also disabled).
    const bool hasGrants = _applicationsSourceController->canResetReadPermissions();
    _commands.resetReadPermissions->setVisible(hasGrants);
    _commands.resetReadPermissions->setEnabled(hasGrants);
    _commands.reloadAdditionalApplications->setEnabled(
        _applicationsSourceController->isPreviewApplicationsSourceOffered());
}

void MainWindow::showPage(const QString& html) {
    if (_holdsPages) {
        _heldPage = html;
    } else {
        _webView->showPage(html);
    }
}

void MainWindow::releaseHeldPage() {
    if (!std::exchange(_holdsPages, false)) {
        return;
    }
    if (_heldPage) {
        _webView->showPage(*std::exchange(_heldPage, std::nullopt));
    }
    _webView->show();
}

void MainWindow::initialLoadingFinished() {
    QTimer::singleShot(0, this, &MainWindow::releaseHeldPage);
    _sidebar->showInitialLoadingFinished();
    restoreSelection();
    updateCommands();
}

void MainWindow::restoreSelection() {
    if (_applicationToRestore.isEmpty()) {
        return;
    }
    for (const auto& application : _applicationsSourceController->arrayController().arrangedApplications()) {
        if (application->identifier() == _applicationToRestore) {
            _applicationsSourceController->arrayController().setSelectedApplication(application);
            break;
        }
    }
    _applicationToRestore.clear();
}

void MainWindow::selectionShown() {
    // Until the saved selection has had its chance to come back it stays as it was saved.
    if (_remembersSelection && _applicationToRestore.isEmpty()) {
        const auto& selected = _applicationsSourceController->arrayController().selectedApplication();
        _windowState.setSelectedApplication(selected ? selected->identifier() : QString());
    }
    updateCommands();
}

void MainWindow::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::PaletteChange || event->type() == QEvent::ApplicationPaletteChange) {
        applyAppearance();
    }
}

void MainWindow::applyAppearance() {
    const QPalette colors = palette();
    _webView->setPageBackgroundColor(colors.color(QPalette::Window));
    _documentPageController->setAppearance(isDark(colors), colors.color(QPalette::Highlight));
}

void MainWindow::closeEvent(QCloseEvent* event) {
    _windowState.saveLayout(*this, *_splitter);
    // Stopping empties the list; the selection the user left is the one to remember.
    _remembersSelection = false;
    _applicationsSourceController->stopUpdating();
    QMainWindow::closeEvent(event);
    if (event->isAccepted()) {
        emit closed();
    }
}

void MainWindow::showPreviewLoadingSheet(PreviewApplicationsSource& source, LoadProgress& progress) {
    // Before the initial loading is over the loading view covers the window.
    if (!_applicationsSourceController->initialLoadingFinished() || !isVisible()) {
        return;
    }
    auto* sheet = new PreviewApplicationsLoadingSheet(source, progress, this);
    sheet->open();
}

void MainWindow::showSettingsWriteFailure(const QString& filePath) {
    // One message at a time: a failing disk fails every change.
    if (findChild<QMessageBox*>(QStringLiteral("settingsWriteFailure"))) {
        return;
    }
    auto* message = new QMessageBox(
        QMessageBox::Warning, text("windowTitle"),
        text("settingsWriteErrorFormat %@").replace(QLatin1String("%@"), filePath), QMessageBox::Ok, this);
    message->setObjectName(QStringLiteral("settingsWriteFailure"));
    message->setInformativeText(text("settingsWriteErrorInfo"));
    message->setWindowModality(Qt::NonModal);
    message->setAttribute(Qt::WA_DeleteOnClose);
    message->show();
}

void MainWindow::find() {
    _sidebar->focusSearchField();
}

void MainWindow::showInFinder() {
    if (const auto installed =
            _applicationsSourceController->arrayController().selectedInstalledApplication();
        installed && installed->bundleURL().isFileURL()) {
        _platformServices.showItemsInFileManager({installed->revealedPath()});
    }
}

void MainWindow::showArchiveRefusal(const QString& archivePath, const QString& failureName,
                                    const QString& detail) {
    _platformServices.beep();
    const QString name = QFileInfo(archivePath).fileName();
    auto* alert = new QMessageBox(QMessageBox::Warning, text("windowTitle"),
                                  text("archiveRefusedMessageFormat %@").replace(QLatin1String("%@"), name),
                                  QMessageBox::Ok, this);
    alert->setObjectName(QStringLiteral("archiveRefused"));
    const QString key = QStringLiteral("archiveRefusedReason_") + failureName;
    QString reason = text(key.toUtf8().constData());
    if (reason == key) {
        reason = text("archiveRefusedReason_failed");
    }
    alert->setInformativeText(reason);
    if (!detail.isEmpty() && failureName != QLatin1String("noApplication")) {
        alert->setDetailedText(detail);
    }
    alert->setWindowModality(Qt::WindowModal);
    alert->setAttribute(Qt::WA_DeleteOnClose);
    alert->open();
}

void MainWindow::revealLumora() {
    const auto installed = _applicationsSourceController->arrayController().selectedInstalledApplication();
    const auto file = installed ? installed->lumoraFileURL() : std::nullopt;
    if (file && file->isFileURL()) {
        _platformServices.showItemsInFileManager({file->path()});
    }
}

void MainWindow::reloadLumora() {
    if (const auto installed =
            _applicationsSourceController->arrayController().selectedInstalledApplication()) {
        installed->readLumoraInBackground();
    }
}

void MainWindow::open() {
    _applicationsSourceController->showOpenPanelAtParentDirectoryOf(nullptr);
}

void MainWindow::grantReadPermission() {
    const auto installed = _applicationsSourceController->arrayController().selectedInstalledApplication();
    if (installed && installed->lumoraLoadState().stateCase() == LumoraLoadState::Case::noReadPermission) {
        _applicationsSourceController->showOpenPanelAtParentDirectoryOf(installed.get());
    }
}

void MainWindow::resetReadPermissions() {
    auto* alert = new QMessageBox(QMessageBox::Warning, text("resetReadPermissionsAlertMessage"),
                                  text("resetReadPermissionsAlertMessage"), QMessageBox::NoButton, this);
    alert->setObjectName(QStringLiteral("resetReadPermissionsAlert"));
    alert->setInformativeText(text("resetReadPermissionsAlertInfo"));
    auto* reset =
        alert->addButton(text("resetReadPermissionsAlertResetButtonTitle"), QMessageBox::DestructiveRole);
    auto* cancel =
        alert->addButton(text("resetReadPermissionsAlertCancelButtonTitle"), QMessageBox::RejectRole);
    alert->setDefaultButton(cancel);
    alert->setEscapeButton(cancel);
    alert->setWindowModality(Qt::WindowModal);
    alert->setAttribute(Qt::WA_DeleteOnClose);
    connect(alert, &QMessageBox::buttonClicked, this, [this, reset](QAbstractButton* button) {
        if (button == reset) {
            _applicationsSourceController->removeAllSecurityScopedFileURLs();
            updateCommands();
        }
    });
    alert->open();
}

void MainWindow::openInBrowser() {
    const QString path = QDir(QDir::tempPath()).filePath(QStringLiteral("LumoraViewer.html"));
    QSaveFile file(path);
    const QByteArray page = _documentPageController->pageHTML().toUtf8();
    if (!file.open(QIODevice::WriteOnly) || file.write(page) != page.size() || !file.commit()) {
        auto* alert = new QMessageBox(QMessageBox::Critical, text("windowTitle"),
                                      text("openInBrowserErrorFormat %@").replace(QLatin1String("%@"), path),
                                      QMessageBox::Ok, this);
        alert->setInformativeText(file.errorString());
        alert->setWindowModality(Qt::WindowModal);
        alert->setAttribute(Qt::WA_DeleteOnClose);
        alert->open();
        return;
    }
    _platformServices.openURL(QUrl::fromLocalFile(path));
}

void MainWindow::reloadAdditionalApplications() {
    _applicationsSourceController->reloadPreviewApplications();
}
