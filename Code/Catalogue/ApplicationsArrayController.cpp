#include "Code/Catalogue/ApplicationsArrayController.h"

#include "Code/Catalogue/ArrangementChanges.h"
#include "Code/Catalogue/InstalledApplication.h"
#include "Code/Catalogue/OpeningArchive.h"
#include "Code/Catalogue/PreviewApplication.h"
#include "Code/Catalogue/SearchQuery.h"

#include <QMetaEnum>
#include <QSet>
#include <algorithm>
#include <utility>

ApplicationsArrayController::ApplicationsArrayController(QObject* parent)
    : QAbstractListModel(parent)
    , _selectionModel(new QItemSelectionModel(this, this)) {
    connect(_selectionModel, &QItemSelectionModel::selectionChanged, this,
            &ApplicationsArrayController::selectedApplicationChanged);
}

ApplicationsArrayController::~ApplicationsArrayController() {
    for (const auto& connection : std::as_const(_observations)) {
        disconnect(connection);
    }
}

ApplicationsArrayController::Kind ApplicationsArrayController::kind(const Application& application) {
    if (qobject_cast<const InstalledApplication*>(&application) != nullptr) {
        return Kind::installed;
    }
    return qobject_cast<const OpeningArchive*>(&application) != nullptr ? Kind::openingArchive
                                                                        : Kind::preview;
}

ApplicationsArrayController::Badge ApplicationsArrayController::badge(const Application& application) {
    if (qobject_cast<const OpeningArchive*>(&application) != nullptr) {
        return Badge::loadPending;
    }
    const auto* installed = qobject_cast<const InstalledApplication*>(&application);
    if (installed == nullptr) {
        return Badge::preview;
    }
    switch (installed->lumoraLoadState().stateCase()) {
    case LumoraLoadState::Case::loadFailed:
        return Badge::loadFailed;
    case LumoraLoadState::Case::loaded:
        return Badge::loaded;
    case LumoraLoadState::Case::loadPending:
        return Badge::loadPending;
    case LumoraLoadState::Case::noReadPermission:
        return Badge::noReadPermission;
    case LumoraLoadState::Case::unavailable:
        break;
    }
    return Badge::unavailable;
}

const char* ApplicationsArrayController::badgeName(Badge badge) {
    return QMetaEnum::fromType<Badge>().valueToKey(static_cast<int>(badge));
}

QString ApplicationsArrayController::badgeIdentifier(const Application& application) {
    return QString::fromLatin1(badgeName(badge(application)));
}

QString ApplicationsArrayController::stateName(const Application& application) {
    if (const auto* installed = qobject_cast<const InstalledApplication*>(&application)) {
        const auto name = installed->lumoraLoadState().caseName();
        return QString::fromLatin1(name.data(), static_cast<qsizetype>(name.size()));
    }
    return QStringLiteral("loaded");
}

int ApplicationsArrayController::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(_arrangedApplications.size());
}

QVariant ApplicationsArrayController::data(const QModelIndex& index, int role) const {
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid)) {
        return {};
    }
    const auto& application = _arrangedApplications[static_cast<std::size_t>(index.row())];
    switch (role) {
    case Qt::DisplayRole:
        return application->displayName();
    case Qt::AccessibleTextRole:
        if (_badgeDescriptions) {
            return application->displayName() + QStringLiteral(", ") +
                   _badgeDescriptions(badge(*application));
        }
        return application->displayName();
    case Qt::AccessibleDescriptionRole:
        return _badgeDescriptions ? _badgeDescriptions(badge(*application)) : QString();
    case Qt::ToolTipRole:
    case IdentifierRole:
        return application->identifier();
    case ApplicationRole:
        return QVariant::fromValue(application);
    case KindRole:
        return QVariant::fromValue(kind(*application));
    case StateRole:
        return stateName(*application);
    case BadgeRole:
        return QVariant::fromValue(badge(*application));
    case IconFilePathRole:
        return application->iconFilePath();
    case IconDataRole:
        if (auto* preview = qobject_cast<PreviewApplication*>(application.get())) {
            return preview->iconData();
        }
        return QByteArray();
    case ProgressRole:
        if (const auto* opening = qobject_cast<const OpeningArchive*>(application.get())) {
            return opening->progress();
        }
        return -1;
    default:
        return {};
    }
}

QHash<int, QByteArray> ApplicationsArrayController::roleNames() const {
    auto names = QAbstractListModel::roleNames();
    names.insert(ApplicationRole, "application");
    names.insert(IdentifierRole, "identifier");
    names.insert(KindRole, "kind");
    names.insert(StateRole, "state");
    names.insert(BadgeRole, "badge");
    names.insert(IconFilePathRole, "iconFilePath");
    names.insert(IconDataRole, "iconData");
    names.insert(ProgressRole, "progress");
    return names;
}

void ApplicationsArrayController::setContent(const ApplicationsSource::Applications* content) {
    _content = content;
    rearrangeObjects();
}

void ApplicationsArrayController::setSortDescriptors(std::vector<SortDescriptor> sortDescriptors) {
    _sortDescriptors = std::move(sortDescriptors);
    rearrangeObjects();
}

void ApplicationsArrayController::setFilterText(const QString& text) {
    const QString trimmed = text.trimmed();
    if (trimmed == _filterText) {
        return;
    }
    _filterText = trimmed;
    emit filterTextChanged(_filterText);
    // The order is kept: only which rows show changes.
    applyArrangement(arrangedContent());
}

void ApplicationsArrayController::rearrangeObjects() {
    _isSortedContentValid = false;
    applyArrangement(arrangedContent());
}

std::vector<std::shared_ptr<Application>> ApplicationsArrayController::arrangedContent() {
    if (_content == nullptr) {
        for (const auto& application : _sortedContent) {
            stopObserving(application.get());
        }
        _sortedContent.clear();
        return {};
    }
    if (!_isSortedContentValid) {
        const auto previous = std::exchange(_sortedContent, {_content->begin(), _content->end()});
        std::sort(_sortedContent.begin(), _sortedContent.end(), [this](const auto& left, const auto& right) {
            for (const auto& descriptor : _sortDescriptors) {
                const int order = descriptor.compare(*left, *right);
                if (order != 0) {
                    return descriptor.ascending ? order < 0 : order > 0;
                }
            }
            // Equal by every descriptor: a fixed order all the same, so that rows never swap at random.
            return left->identifier() < right->identifier();
        });
        _isSortedContentValid = true;
        // Every application of the content is watched while it is in it, listed or not: a filter
        // then neither connects nor disconnects anything.
        QSet<const Application*> contained;
        contained.reserve(static_cast<qsizetype>(_sortedContent.size()));
        for (const auto& application : _sortedContent) {
            contained.insert(application.get());
            if (!_observations.contains(application.get())) {
                observe(application);
            }
        }
        for (const auto& application : previous) {
            if (!contained.contains(application.get())) {
                stopObserving(application.get());
            }
        }
    }
    const SearchQuery query(_filterText);
    if (query.isEmpty()) {
        return _sortedContent;
    }
    std::vector<std::shared_ptr<Application>> arranged;
    for (const auto& application : _sortedContent) {
        if (query.matchesFolded(application->foldedSearchString())) {
            arranged.push_back(application);
        }
    }
    return arranged;
}

void ApplicationsArrayController::applyArrangement(std::vector<std::shared_ptr<Application>> arranged) {
    auto& current = _arrangedApplications;
    const auto keys = [](const std::vector<std::shared_ptr<Application>>& applications) {
        std::vector<const Application*> result;
        result.reserve(applications.size());
        for (const auto& application : applications) {
            result.push_back(application.get());
        }
        return result;
    };
    const auto changes = ArrangementChanges::between(keys(current), keys(arranged));

    for (const auto& rows : changes.removals) {
        beginRemoveRows({}, rows.first, rows.last);
        current.erase(current.begin() + rows.first, current.begin() + rows.last + 1);
        endRemoveRows();
    }

    if (!changes.moves.empty()) {
        emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
        std::vector<std::shared_ptr<Application>> moved(current.size());
        for (std::size_t row = 0; row < current.size(); ++row) {
            moved[static_cast<std::size_t>(changes.moves[row])] = std::move(current[row]);
        }
        current = std::move(moved);
        const QModelIndexList from = persistentIndexList();
        QModelIndexList to;
        to.reserve(from.size());
        for (const QModelIndex& index : from) {
            to.append(createIndex(changes.moves[static_cast<std::size_t>(index.row())], index.column()));
        }
        changePersistentIndexList(from, to);
        emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
    }

    for (const auto& rows : changes.insertions) {
        beginInsertRows({}, rows.first, rows.last);
        current.insert(current.begin() + rows.first, arranged.begin() + rows.first,
                       arranged.begin() + rows.last + 1);
        endInsertRows();
    }

    if (!changes.isEmpty()) {
        emit arrangedApplicationsChanged();
    }
}

void ApplicationsArrayController::observe(const std::shared_ptr<Application>& application) {
    const Application* key = application.get();
    QMetaObject::Connection connection;
    if (auto* installed = qobject_cast<InstalledApplication*>(application.get())) {
        connection = connect(installed, &InstalledApplication::lumoraLoadStateChanged, this,
                             [this, key] { rowChanged(key); });
    } else if (auto* preview = qobject_cast<PreviewApplication*>(application.get())) {
        connection =
            connect(preview, &PreviewApplication::iconChanged, this, [this, key] { rowChanged(key); });
    } else if (auto* opening = qobject_cast<OpeningArchive*>(application.get())) {
        connection =
            connect(opening, &OpeningArchive::progressChanged, this, [this, key] { rowChanged(key); });
    }
    if (connection) {
        _observations.insert(key, connection);
    }
}

void ApplicationsArrayController::stopObserving(const Application* application) {
    if (const auto connection = _observations.take(application)) {
        disconnect(connection);
    }
}

void ApplicationsArrayController::rowChanged(const Application* application) {
    const int row = rowOf(*application);
    if (row >= 0) {
        const QModelIndex changed = index(row);
        emit dataChanged(changed, changed,
                         {StateRole, BadgeRole, IconFilePathRole, IconDataRole, Qt::AccessibleTextRole,
                          Qt::AccessibleDescriptionRole});
    }
    emit applicationChanged();
}

int ApplicationsArrayController::rowOf(const Application& application) const {
    const auto found = std::find_if(_arrangedApplications.begin(), _arrangedApplications.end(),
                                    [&](const auto& candidate) { return candidate.get() == &application; });
    return found == _arrangedApplications.end() ? -1
                                                : static_cast<int>(found - _arrangedApplications.begin());
}

std::shared_ptr<Application> ApplicationsArrayController::applicationAt(int row) const {
    if (row < 0 || static_cast<std::size_t>(row) >= _arrangedApplications.size()) {
        return nullptr;
    }
    return _arrangedApplications[static_cast<std::size_t>(row)];
}

void ApplicationsArrayController::setSelectedApplication(const std::shared_ptr<Application>& application) {
    int row = -1;
    if (application) {
        // Select the listed object that is this application, whichever instance was handed in.
        const auto found =
            std::find_if(_arrangedApplications.begin(), _arrangedApplications.end(),
                         [&](const auto& candidate) { return candidate->isEqual(*application); });
        if (found != _arrangedApplications.end()) {
            row = static_cast<int>(found - _arrangedApplications.begin());
        }
    }
    if (row < 0) {
        _selectionModel->clearSelection();
    } else {
        _selectionModel->setCurrentIndex(index(row), QItemSelectionModel::ClearAndSelect);
    }
}

std::shared_ptr<InstalledApplication> ApplicationsArrayController::selectedInstalledApplication() const {
    auto selected = selectedApplication();
    if (!qobject_cast<InstalledApplication*>(selected.get())) {
        return nullptr;
    }
    return std::static_pointer_cast<InstalledApplication>(std::move(selected));
}

int ApplicationsArrayController::selectedRow() const {
    const QModelIndexList selected = _selectionModel->selectedIndexes();
    return selected.size() == 1 ? selected.front().row() : -1;
}
