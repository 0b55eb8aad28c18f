#include "Code/Shell/SidebarWidget.h"

#include "Code/Catalogue/ApplicationsArrayController.h"
#include "Code/Catalogue/ApplicationsSourceController.h"
#include "Code/Shell/ApplicationIconCache.h"
#include "Code/Shell/ApplicationListDelegate.h"
#include "Code/Shell/ApplicationsListView.h"
#include "Code/Shell/ShellAnimation.h"
#include "Code/Shell/ShellText.h"

#include <QApplication>
#include <QGraphicsOpacityEffect>
#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QProgressBar>
#include <QPushButton>
#include <QStackedWidget>
#include <QVBoxLayout>

namespace {

QString text(const char* key) {
    return ShellText::localized(key);
}

} // namespace

SidebarWidget::SidebarWidget(ApplicationsSourceController& controller, ApplicationIconCache& icons,
                             QWidget* parent)
    : QWidget(parent)
    , _controller(controller) {
    setObjectName(QStringLiteral("sidebar"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 8, 0, 8);
    buildSearchField();
    layout->addWidget(_searchField);

    // The list, the text behind an empty list and the loading view share one place.
    _listArea = new QWidget(this);
    auto* listAreaLayout = new QGridLayout(_listArea);
    listAreaLayout->setContentsMargins(0, 0, 0, 0);
    _listStack = new QStackedWidget(_listArea);
    buildList(icons);
    buildEmptyListView();
    listAreaLayout->addWidget(_listStack, 0, 0);
    buildLoadingView();
    listAreaLayout->addWidget(_loadingView, 0, 0);
    // Hidden behind the loading view until the initial loading is over.
    auto* hidden = new QGraphicsOpacityEffect(_listStack);
    hidden->setOpacity(0);
    _listStack->setGraphicsEffect(hidden);
    layout->addWidget(_listArea, 1);
    setTabOrder(_searchField, _listView);

    auto& list = _controller.arrayController();
    connect(&list, &ApplicationsArrayController::selectedApplicationChanged, this,
            &SidebarWidget::arrangedSelectionChanged);
    connect(&list, &ApplicationsArrayController::arrangedApplicationsChanged, this,
            &SidebarWidget::updateEmptyListText);
    connect(&list, &ApplicationsArrayController::filterTextChanged, this, [this](const QString& filter) {
        if (_searchField->text().trimmed() != filter) {
            _searchField->setText(filter);
        }
    });
    connect(&_controller, &ApplicationsSourceController::applicationsChanged, this,
            &SidebarWidget::updateEmptyListText);
    connect(&_controller, &ApplicationsSourceController::readPermissionsChanged, this,
            &SidebarWidget::updateEmptyListText);
    connect(&list, &ApplicationsArrayController::applicationChanged, this,
            &SidebarWidget::updateEmptyListText);
    connect(&icons, &ApplicationIconCache::iconDecoded, _listView->viewport(), qOverload<>(&QWidget::update));
}

void SidebarWidget::buildSearchField() {
    _searchField = new QLineEdit(this);
    _searchField->setClearButtonEnabled(true);
    _searchField->setPlaceholderText(text("searchFieldPlaceholder"));
    _searchField->setAccessibleName(text("searchFieldPlaceholder"));
    _searchField->installEventFilter(this);
    connect(_searchField, &QLineEdit::textChanged, this,
            [this](const QString& typed) { _controller.arrayController().setFilterText(typed); });
}

void SidebarWidget::buildList(ApplicationIconCache& icons) {
    _listView = new ApplicationsListView(_listStack);
    _listView->setAccessibleName(text("applicationsListAccessibleName"));
    _listView->setModel(&_controller.arrayController());
    // The list keeps the one record of the selection; the view shows and changes that one.
    QItemSelectionModel* const viewsOwnSelection = _listView->selectionModel();
    _listView->setSelectionModel(&_controller.arrayController().selectionModel());
    delete viewsOwnSelection;
    _listView->setItemDelegate(new ApplicationListDelegate(icons, _listView));
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
                _controller.addWithSecurityScopedFileURLs(fileURLs, true);
            });
    connect(_listView, &QWidget::customContextMenuRequested, this, [this](const QPoint& point) {
        const QModelIndex index = _listView->indexAt(point);
        if (index.isValid()) {
            _listView->setCurrentIndex(index);
        }
        emit contextMenuRequested(_listView->viewport()->mapToGlobal(point));
    });
    _listStack->addWidget(_listView);
}

void SidebarWidget::buildEmptyListView() {
    _emptyListView = new QWidget(_listStack);
    auto* layout = new QVBoxLayout(_emptyListView);
    _emptyListLabel = new QLabel(_emptyListView);
    _emptyListLabel->setWordWrap(true);
    _emptyListLabel->setAlignment(Qt::AlignCenter);
    _emptyListLabel->setTextFormat(Qt::PlainText);
    _emptyListButton = new QPushButton(_emptyListView);
    _emptyListButton->setObjectName(QStringLiteral("emptyListButton"));
    connect(_emptyListButton, &QPushButton::clicked, this, &SidebarWidget::emptyListButtonClicked);
    layout->addStretch();
    layout->addWidget(_emptyListLabel);
    layout->addWidget(_emptyListButton, 0, Qt::AlignHCenter);
    layout->addStretch();
    _listStack->addWidget(_emptyListView);
}

void SidebarWidget::buildLoadingView() {
    _loadingView = new QWidget(_listArea);
    auto* layout = new QVBoxLayout(_loadingView);
    _loadingLabel = new QLabel(text("loadingApplications"), _loadingView);
    _loadingLabel->setAlignment(Qt::AlignCenter);
    _loadingBar = new QProgressBar(_loadingView);
    // Indeterminate until the first applications are found.
    _loadingBar->setRange(0, 0);
    _loadingBar->setTextVisible(false);
    _loadingBar->setAccessibleName(text("loadingApplications"));
    layout->addStretch();
    layout->addWidget(_loadingLabel);
    layout->addWidget(_loadingBar);
    layout->addStretch();
    connect(&_controller, &ApplicationsSourceController::initialLoadingProgressed, this,
            &SidebarWidget::showLoadingProgress);
}

void SidebarWidget::showLoadingProgress(int loaded, int total) {
    if (!_loadingLabel || !_loadingBar || total <= 0) {
        return;
    }
    const QLocale locale;
    _loadingLabel->setText(text("loadingApplicationsProgressFormat %@ %@")
                               .replace(QLatin1String("%1$@"), locale.toString(loaded))
                               .replace(QLatin1String("%2$@"), locale.toString(total)));
    _loadingBar->setRange(0, total);
    _loadingBar->setValue(loaded);
    _loadingBar->setAccessibleName(_loadingLabel->text());
}

QString SidebarWidget::loadingText() const {
    return _loadingView && _loadingLabel ? _loadingLabel->text() : QString();
}

void SidebarWidget::focusSearchField() {
    _searchField->setFocus(Qt::ShortcutFocusReason);
    _searchField->selectAll();
}

void SidebarWidget::showInitialLoadingFinished() {
    if (_loadingView) {
        ShellAnimation::fade(_loadingView, 1.0, 0.0, 250, [view = _loadingView] {
            if (view) {
                view->deleteLater();
            }
        });
    }
    ShellAnimation::fade(_listStack, 0.0, 1.0, 1500);
    updateEmptyListText();
}

QString SidebarWidget::emptyListText() const {
    return _listStack->currentWidget() == _emptyListView ? _emptyListLabel->text() : QString();
}

QString SidebarWidget::emptyListButtonText() const {
    return _listStack->currentWidget() == _emptyListView && !_emptyListButton->isHidden()
               ? _emptyListButton->text()
               : QString();
}

void SidebarWidget::updateEmptyListText() {
    const auto& list = _controller.arrayController();
    if (!_controller.initialLoadingFinished() || !list.arrangedApplications().empty()) {
        _listStack->setCurrentWidget(_listView);
        return;
    }
    // Say why the list is empty, and offer what helps.
    if (!list.filterText().isEmpty() && _controller.hasApplications()) {
        _emptyListLabel->setText(
            text("noApplicationsMatchFormat %@").replace(QLatin1String("%@"), list.filterText()));
        _emptyListButton->setText(text("clearSearchButtonTitle"));
    } else if (!_controller.proposedDirectoryURLsToGrantReadPermission().empty()) {
        _emptyListLabel->setText(text("noApplicationsReadableText"));
        _emptyListButton->setText(text("grantReadPermissionButtonTitle"));
    } else {
        _emptyListLabel->setText(text("noApplicationsFoundText"));
        _emptyListButton->setText(text("noApplicationsFoundAddButtonTitle"));
    }
    _emptyListButton->setAccessibleName(_emptyListButton->text());
    _listStack->setCurrentWidget(_emptyListView);
}

void SidebarWidget::emptyListButtonClicked() {
    const auto& list = _controller.arrayController();
    if (!list.filterText().isEmpty() && _controller.hasApplications()) {
        _searchField->clear();
        return;
    }
    const auto folders = _controller.proposedDirectoryURLsToGrantReadPermission();
    _controller.showOpenPanelAt(folders.empty() ? std::nullopt : std::optional(folders.front()));
}

void SidebarWidget::arrangedSelectionChanged() {
    auto& list = _controller.arrayController();
    if (const int row = list.selectedRow(); row >= 0) {
        _listView->scrollTo(list.index(row));
    }
    emit selectionShown();
}

bool SidebarWidget::eventFilter(QObject* watched, QEvent* event) {
    // The arrow keys in the search field move the list's selection; the typed text stays.
    if (watched == _searchField && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Up || key->key() == Qt::Key_Down) {
            QKeyEvent forwarded(QEvent::KeyPress, key->key(), key->modifiers());
            QApplication::sendEvent(_listView, &forwarded);
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}
