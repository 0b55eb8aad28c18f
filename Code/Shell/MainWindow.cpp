#include "Code/Shell/MainWindow.h"

#include "Code/Catalogue/ApplicationsArrayController.h"
#include "Code/Catalogue/InstalledApplication.h"
#include "Code/Catalogue/Preferences.h"
#include "Code/Catalogue/PreviewApplicationsSource.h"
#include "Code/Catalogue/QtStrings.h"
#include "Code/Shell/ApplicationIconCache.h"
#include "Code/Shell/ApplicationListDelegate.h"
#include "Code/Shell/ApplicationsListView.h"
#include "Code/Shell/DocumentPageController.h"
#include "Code/Shell/DocumentWebView.h"
#include "Code/Shell/FileDialogOpenPanelPresenter.h"
#include "Code/Shell/PlatformServices.h"
#include "Code/Shell/PreviewApplicationsLoadingSheet.h"
#include "Code/Shell/ShellText.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QGraphicsOpacityEffect>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QProgressBar>
#include <QPropertyAnimation>
#include <QPushButton>
#include <QSaveFile>
#include <QSettings>
#include <QSplitter>
#include <QStackedWidget>
#include <QVBoxLayout>
#include <string>

namespace {

QString text(const char* key) {
    return ShellText::localized(key);
}

/// Fades `widget` to `opacity` over `milliseconds`; `finished` runs at the end.
void fade(QWidget* widget, qreal from, qreal to, int milliseconds, std::function<void()> finished = {}) {
    auto* effect = new QGraphicsOpacityEffect(widget);
    effect->setOpacity(from);
    widget->setGraphicsEffect(effect);
    auto* animation = new QPropertyAnimation(effect, "opacity", widget);
    animation->setDuration(milliseconds);
    animation->setStartValue(from);
    animation->setEndValue(to);
    QObject::connect(animation, &QPropertyAnimation::finished, widget, [widget, to, finished] {
        if (to >= 1.0) {
            // A fully opaque widget draws faster without the effect.
            widget->setGraphicsEffect(nullptr);
        }
        if (finished) {
            finished();
        }
    });
    animation->start(QAbstractAnimation::DeleteWhenStopped);
}

bool isDark(const QPalette& palette) {
    return palette.color(QPalette::Window).lightnessF() < 0.5;
}

} // namespace

MainWindow::MainWindow(Preferences& preferences, ApplicationsSourceController::Sources sources,
                       PlatformServices& platformServices, QSettings* windowState, QWidget* parent)
    : QMainWindow(parent)
    , _preferences(preferences)
    , _platformServices(platformServices)
    , _windowState(windowState)
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

    auto& list = _applicationsSourceController->arrayController();
    list.setBadgeDescriptions([](ApplicationsArrayController::Badge badge) {
        std::string key = "applicationState_";
        key += ApplicationsArrayController::badgeName(badge);
        return text(key.c_str());
    });
    connect(&list, &ApplicationsArrayController::selectedApplicationChanged, this,
            &MainWindow::arrangedSelectionChanged);
    connect(&list, &ApplicationsArrayController::arrangedApplicationsChanged, this,
            &MainWindow::updateEmptyListText);
    connect(&list, &ApplicationsArrayController::filterTextChanged, this, [this](const QString& filter) {
        if (_searchField->text().trimmed() != filter) {
            _searchField->setText(filter);
        }
    });
    connect(_applicationsSourceController, &ApplicationsSourceController::didFinishInitialLoading, this,
            &MainWindow::initialLoadingFinished);
    connect(_applicationsSourceController, &ApplicationsSourceController::readPermissionsChanged, this,
            &MainWindow::updateCommands);
    connect(_applicationsSourceController, &ApplicationsSourceController::applicationsChanged, this, [this] {
        updateEmptyListText();
        updateCommands();
    });
    _applicationsSourceController->setWillLoadListOfPreviewApplicationsHandler(
        [window = QPointer(this)](PreviewApplicationsSource& source, LoadProgress& progress) {
            if (window) {
                window->showPreviewLoadingSheet(source, progress);
            }
        });
    connect(_iconCache, &ApplicationIconCache::iconDecoded, _listView->viewport(),
            qOverload<>(&QWidget::update));

    connect(_documentPageController, &DocumentPageController::pageChanged, _webView,
            &DocumentWebView::showPage);
    connect(_webView, &DocumentWebView::pageLoaded, this, &MainWindow::pageShown);
    connect(_webView, &DocumentWebView::grantReadPermissionRequested, this, [this](const QUrl& folderURL) {
        if (!folderURL.isValid() || !folderURL.isLocalFile()) {
            _platformServices.beep();
            return;
        }
        _applicationsSourceController->showOpenPanelAt(QtStrings::toPath(folderURL.toLocalFile()));
    });
    connect(_webView, &DocumentWebView::showPreviewApplicationsRequested, this,
            [this] { _preferences.setPreviewApplicationsSourceEnabled(true); });

    if (_windowState) {
        restoreGeometry(_windowState->value(QStringLiteral("MainWindow/geometry")).toByteArray());
        _splitter->restoreState(_windowState->value(QStringLiteral("MainWindow/splitter")).toByteArray());
        _applicationToRestore =
            _windowState->value(QStringLiteral("MainWindow/selectedApplication")).toString();
    }
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

    auto* sidebar = new QWidget(_splitter);
    auto* sidebarLayout = new QVBoxLayout(sidebar);
    sidebarLayout->setContentsMargins(8, 8, 0, 8);
    _searchField = new QLineEdit(sidebar);
    _searchField->setClearButtonEnabled(true);
    _searchField->setPlaceholderText(text("searchFieldPlaceholder"));
    _searchField->setAccessibleName(text("searchFieldPlaceholder"));
    _searchField->installEventFilter(this);
    connect(_searchField, &QLineEdit::textChanged, this, [this](const QString& typed) {
        _applicationsSourceController->arrayController().setFilterText(typed);
    });
    sidebarLayout->addWidget(_searchField);

    // The list, the text behind an empty list, and the loading view share one place.
    auto* listArea = new QWidget(sidebar);
    auto* listAreaLayout = new QGridLayout(listArea);
    listAreaLayout->setContentsMargins(0, 0, 0, 0);
    _listStack = new QStackedWidget(listArea);
    _listView = new ApplicationsListView(_listStack);
    _listView->setAccessibleName(text("applicationsListAccessibleName"));
    _listView->setModel(&_applicationsSourceController->arrayController());
    // The list keeps the one record of the selection; the view shows and changes that one.
    QItemSelectionModel* const viewsOwnSelection = _listView->selectionModel();
    _listView->setSelectionModel(&_applicationsSourceController->arrayController().selectionModel());
    delete viewsOwnSelection;
    _listView->setItemDelegate(new ApplicationListDelegate(*_iconCache, _listView));
    _listView->setSelectionMode(QAbstractItemView::SingleSelection);
    _listView->setUniformItemSizes(true);
    _listView->setContextMenuPolicy(Qt::CustomContextMenu);
    _listView->setMinimumWidth(220);
    connect(_listView, &ApplicationsListView::itemsDropped, this,
            [this](const std::vector<std::filesystem::path>& paths) {
                std::vector<ZRURL> fileURLs;
                for (const auto& path : paths) {
                    fileURLs.push_back(ZRURL::fileURL(path, std::filesystem::is_directory(path)));
                }
                _applicationsSourceController->addWithSecurityScopedFileURLs(fileURLs, true);
            });
    connect(_listView, &QWidget::customContextMenuRequested, this, [this](const QPoint& point) {
        const QModelIndex index = _listView->indexAt(point);
        if (index.isValid()) {
            _listView->setCurrentIndex(index);
        }
        auto menu = makeListContextMenu();
        if (!menu->isEmpty()) {
            menu->exec(_listView->viewport()->mapToGlobal(point));
        }
    });
    _emptyListView = new QWidget(_listStack);
    auto* emptyLayout = new QVBoxLayout(_emptyListView);
    _emptyListLabel = new QLabel(_emptyListView);
    _emptyListLabel->setWordWrap(true);
    _emptyListLabel->setAlignment(Qt::AlignCenter);
    _emptyListLabel->setTextFormat(Qt::PlainText);
    _emptyListButton = new QPushButton(_emptyListView);
    connect(_emptyListButton, &QPushButton::clicked, this, &MainWindow::emptyListButtonClicked);
    emptyLayout->addStretch();
    emptyLayout->addWidget(_emptyListLabel);
    emptyLayout->addWidget(_emptyListButton, 0, Qt::AlignHCenter);
    emptyLayout->addStretch();
    _listStack->addWidget(_listView);
    _listStack->addWidget(_emptyListView);
    listAreaLayout->addWidget(_listStack, 0, 0);

    _loadingView = new QWidget(listArea);
    auto* loadingLayout = new QVBoxLayout(_loadingView);
    auto* loadingLabel = new QLabel(text("loadingApplications"), _loadingView);
    loadingLabel->setAlignment(Qt::AlignCenter);
    auto* loadingBar = new QProgressBar(_loadingView);
    loadingBar->setRange(0, 0);
    loadingBar->setTextVisible(false);
    loadingBar->setAccessibleName(text("loadingApplications"));
    loadingLayout->addStretch();
    loadingLayout->addWidget(loadingLabel);
    loadingLayout->addWidget(loadingBar);
    loadingLayout->addStretch();
    listAreaLayout->addWidget(_loadingView, 0, 0);
    // Hidden behind the loading view until the initial loading is over.
    _listStack->setGraphicsEffect(new QGraphicsOpacityEffect(_listStack));
    static_cast<QGraphicsOpacityEffect*>(_listStack->graphicsEffect())->setOpacity(0);
    sidebarLayout->addWidget(listArea, 1);

    _webView = new DocumentWebView(_platformServices, _splitter);
    _webView->setAccessibleName(text("pageAccessibleName"));
    _splitter->addWidget(sidebar);
    _splitter->addWidget(_webView);
    _splitter->setStretchFactor(0, 0);
    _splitter->setStretchFactor(1, 1);
    _splitter->setSizes({280, 720});
    resize(1100, 720);
    setTabOrder(_searchField, _listView);
    setTabOrder(_listView, _webView);
}

QAction* MainWindow::addCommand(const QString& name, const char* titleKey, void (MainWindow::*slot)()) {
    auto* action = new QAction(text(titleKey), this);
    action->setObjectName(name);
    connect(action, &QAction::triggered, this, slot);
    return action;
}

void MainWindow::buildCommands() {
    addCommand(QStringLiteral("find"), "commandFind", &MainWindow::find)->setShortcut(QKeySequence::Find);
    addCommand(QStringLiteral("showInFinder"), "commandShowInFileManager", &MainWindow::showInFinder);
    addCommand(QStringLiteral("revealLumora"), "commandRevealLumora", &MainWindow::revealLumora);
    addCommand(QStringLiteral("reloadLumora"), "commandReloadLumora", &MainWindow::reloadLumora)
        ->setShortcut(QKeySequence::Refresh);
    addCommand(QStringLiteral("open"), "commandOpen", &MainWindow::open)->setShortcut(QKeySequence::Open);
    addCommand(QStringLiteral("grantReadPermission"), "commandGrantReadPermission",
               &MainWindow::grantReadPermission);
    addCommand(QStringLiteral("resetReadPermissions"), "commandResetReadPermissions",
               &MainWindow::resetReadPermissions);
    addCommand(QStringLiteral("openInBrowser"), "commandOpenInBrowser", &MainWindow::openInBrowser)
        ->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_B));
    addCommand(QStringLiteral("reloadAdditionalApplications"), "commandReloadAdditionalApplications",
               &MainWindow::reloadAdditionalApplications);
    // The two commands without a menu item still answer their shortcuts.
    addAction(command(QStringLiteral("openInBrowser")));
    addAction(command(QStringLiteral("resetReadPermissions")));
}

QAction* MainWindow::command(const QString& name) const {
    return findChild<QAction*>(name, Qt::FindDirectChildrenOnly);
}

void MainWindow::buildMenus() {
    auto* file = menuBar()->addMenu(text("menuFile"));
    file->addAction(command(QStringLiteral("open")));
    file->addSeparator();
    auto* close = file->addAction(text("commandCloseWindow"), this, &QWidget::close);
    close->setShortcut(QKeySequence::Close);
    auto* quit = file->addAction(text("commandQuit"), qApp, &QApplication::closeAllWindows);
    quit->setShortcut(QKeySequence::Quit);

    auto* edit = menuBar()->addMenu(text("menuEdit"));
    edit->addAction(command(QStringLiteral("find")));

    auto* application = menuBar()->addMenu(text("menuApplication"));
    for (const char* name : {"showInFinder", "revealLumora", "reloadLumora", "grantReadPermission"}) {
        application->addAction(command(QString::fromLatin1(name)));
    }
    if (_applicationsSourceController->isPreviewApplicationsSourceOffered()) {
        application->addSeparator();
        application->addAction(command(QStringLiteral("reloadAdditionalApplications")));
    }

    auto* view = menuBar()->addMenu(text("menuView"));
    const auto addPreference = [&](const char* titleKey, bool (Preferences::*getter)() const,
                                   void (Preferences::*setter)(bool), void (Preferences::*changed)(bool)) {
        auto* action = view->addAction(text(titleKey));
        action->setCheckable(true);
        action->setChecked((_preferences.*getter)());
        connect(action, &QAction::toggled, &_preferences, setter);
        connect(&_preferences, changed, action, &QAction::setChecked);
        return action;
    };
    addPreference("commandShowPortsAndProtocols", &Preferences::showPortsAndProtocols,
                  &Preferences::setShowPortsAndProtocols, &Preferences::showPortsAndProtocolsChanged);
    if (_applicationsSourceController->isPreviewApplicationsSourceOffered()) {
        addPreference("commandShowPreviewApplications", &Preferences::previewApplicationsSourceEnabled,
                      &Preferences::setPreviewApplicationsSourceEnabled,
                      &Preferences::previewApplicationsSourceEnabledChanged);
    }
    view->addSeparator();
    addPreference("commandDeveloperMode", &Preferences::developerModeEnabled,
                  &Preferences::setDeveloperModeEnabled, &Preferences::developerModeEnabledChanged);
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
    for (const char* name : {"showInFinder", "revealLumora", "reloadLumora", "grantReadPermission"}) {
        if (auto* action = command(QString::fromLatin1(name)); action->isEnabled()) {
            menu->addAction(action);
        }
    }
    return menu;
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
    command(QStringLiteral("showInFinder"))->setEnabled(installed != nullptr);
    command(QStringLiteral("revealLumora"))->setEnabled(hasState(LumoraLoadState::Case::loaded));
    command(QStringLiteral("reloadLumora"))->setEnabled(installed != nullptr);
    command(QStringLiteral("grantReadPermission"))
        ->setEnabled(hasState(LumoraLoadState::Case::noReadPermission));
    command(QStringLiteral("resetReadPermissions"))
        ->setEnabled(_applicationsSourceController->canResetReadPermissions());
    command(QStringLiteral("reloadAdditionalApplications"))
        ->setEnabled(_applicationsSourceController->isPreviewApplicationsSourceOffered());
}

void MainWindow::initialLoadingFinished() {
    if (_loadingView) {
        fade(_loadingView, 1.0, 0.0, 250, [view = _loadingView] {
            if (view) {
                view->deleteLater();
            }
        });
    }
    fade(_listStack, 0.0, 1.0, 1500);
    restoreSelection();
    updateEmptyListText();
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

QString MainWindow::emptyListText() const {
    return _listStack->currentWidget() == _emptyListView ? _emptyListLabel->text() : QString();
}

QString MainWindow::emptyListButtonText() const {
    return _listStack->currentWidget() == _emptyListView && !_emptyListButton->isHidden()
               ? _emptyListButton->text()
               : QString();
}

void MainWindow::updateEmptyListText() {
    const auto& list = _applicationsSourceController->arrayController();
    if (!_applicationsSourceController->initialLoadingFinished() || !list.arrangedApplications().empty()) {
        _listStack->setCurrentWidget(_listView);
        return;
    }
    // Say why the list is empty, and offer what helps.
    if (!list.filterText().isEmpty() && _applicationsSourceController->hasApplications()) {
        _emptyListLabel->setText(
            text("noApplicationsMatchFormat %@").replace(QLatin1String("%@"), list.filterText()));
        _emptyListButton->setText(text("clearSearchButtonTitle"));
    } else if (!_applicationsSourceController->proposedDirectoryURLsToGrantReadPermission().empty()) {
        _emptyListLabel->setText(text("noApplicationsReadableText"));
        _emptyListButton->setText(text("grantReadPermissionButtonTitle"));
    } else {
        _emptyListLabel->setText(text("noApplicationsFoundText"));
        _emptyListButton->setText(text("noApplicationsFoundAddButtonTitle"));
    }
    _emptyListButton->setAccessibleName(_emptyListButton->text());
    _listStack->setCurrentWidget(_emptyListView);
}

void MainWindow::emptyListButtonClicked() {
    const auto& list = _applicationsSourceController->arrayController();
    if (!list.filterText().isEmpty() && _applicationsSourceController->hasApplications()) {
        _searchField->clear();
        return;
    }
    const auto folders = _applicationsSourceController->proposedDirectoryURLsToGrantReadPermission();
    _applicationsSourceController->showOpenPanelAt(folders.empty() ? std::nullopt
                                                                   : std::optional(folders.front()));
}

void MainWindow::arrangedSelectionChanged() {
    auto& list = _applicationsSourceController->arrayController();
    if (const int row = list.selectedRow(); row >= 0) {
        _listView->scrollTo(list.index(row));
    }
    // Until the saved selection has had its chance to come back it stays as it was saved.
    if (_windowState && _remembersSelection && _applicationToRestore.isEmpty()) {
        const auto& selected = list.selectedApplication();
        _windowState->setValue(QStringLiteral("MainWindow/selectedApplication"),
                               selected ? selected->identifier() : QString());
    }
    updateCommands();
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    // The arrow keys in the search field move the list's selection; the typed text stays.
    if (watched == _searchField && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Up || key->key() == Qt::Key_Down) {
            QKeyEvent forwarded(QEvent::KeyPress, key->key(), key->modifiers());
            QApplication::sendEvent(_listView, &forwarded);
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
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
    if (_windowState) {
        _windowState->setValue(QStringLiteral("MainWindow/geometry"), saveGeometry());
        _windowState->setValue(QStringLiteral("MainWindow/splitter"), _splitter->saveState());
    }
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

void MainWindow::find() {
    _searchField->setFocus(Qt::ShortcutFocusReason);
    _searchField->selectAll();
}

void MainWindow::showInFinder() {
    if (const auto installed =
            _applicationsSourceController->arrayController().selectedInstalledApplication();
        installed && installed->bundleURL().isFileURL()) {
        _platformServices.showItemsInFileManager({installed->bundleURL().path()});
    }
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
