#pragma once

#include "Code/Catalogue/ApplicationsSource.h"

#include <QAbstractListModel>
#include <QHash>
#include <QItemSelectionModel>
#include <QMetaObject>
#include <QString>
#include <functional>
#include <memory>
#include <vector>

class InstalledApplication;

/// The applications list as the sidebar shows it: the content set, filtered by the search text
/// and sorted, with at most one selected application.
///
/// On Linux this is the Qt list model that the sidebar's list view binds to directly, sharing its
/// selection model. Rearranging moves rows rather than resetting the model (the steps come from
/// `ArrangementChanges`): a view keeps its scroll position and the rows it tracks. Main thread only.
class ApplicationsArrayController : public QAbstractListModel {
    Q_OBJECT

public:
    enum Role {
        /// The row's `std::shared_ptr<Application>`.
        ApplicationRole = Qt::UserRole + 1,
        IdentifierRole,
        /// The row's `Kind`.
        KindRole,
        /// The load state's case name, as the command line prints it; "loaded" for a preview
        /// application.
        StateRole,
        /// The row's `Badge`.
        BadgeRole,
        /// The `.icns` file of an installed application, or an empty string.
        IconFilePathRole,
        /// The downloaded icon of a preview application, or empty bytes. Asking for it starts the
        /// download, so only rows that are shown load their icons.
        IconDataRole,
        /// For the row of an archive being opened: how far, in percent, or -1.
        ProgressRole,
    };

    /// A three-way comparison of two applications (negative, zero, positive) with its direction.
    struct SortDescriptor {
        std::function<int(const Application& left, const Application& right)> compare;
        bool ascending = true;
    };

    /// `openingArchive`: the row of an archive being opened (`OpeningArchive`).
    enum class Kind { installed, preview, openingArchive };
    Q_ENUM(Kind)
    /// What the badge at the end of a row shows: a preview application, or the case of an installed
    /// application's load state. The names are those the command line prints.
    enum class Badge { preview, loadPending, loaded, loadFailed, noReadPermission, unavailable };
    Q_ENUM(Badge)

    explicit ApplicationsArrayController(QObject* parent = nullptr);
    ~ApplicationsArrayController() override;

    static Kind kind(const Application& application);
    static Badge badge(const Application& application);
    /// "preview", "loadPending", …: the enumerator's name.
    static const char* badgeName(Badge badge);
    /// The name of the application's badge.
    static QString badgeIdentifier(const Application& application);
    static QString stateName(const Application& application);

    /// The badge in words, in the user's language, for screen readers and tooltips; the window
    /// supplies them from its string table. Without them rows are read by their names alone.
    using BadgeDescriptions = std::function<QString(Badge badge)>;
    void setBadgeDescriptions(BadgeDescriptions descriptions) {
        _badgeDescriptions = std::move(descriptions);
    }

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QHash<int, QByteArray> roleNames() const override;

    /// The set whose members are listed, owned by the caller and kept alive while bound; none
    /// lists nothing. Rearranges.
    void setContent(const ApplicationsSource::Applications* content);
    bool hasContent() const { return _content != nullptr; }
    void setSortDescriptors(std::vector<SortDescriptor> sortDescriptors);
    /// Sorts and filters the content again.
    void rearrangeObjects();

    /// The search text, trimmed. It is read as words and double-quoted phrases (`SearchQuery`);
    /// rows whose search string does not contain every one of them, ignoring case and diacritics,
    /// are hidden.
    const QString& filterText() const { return _filterText; }
    void setFilterText(const QString& text);

    const std::vector<std::shared_ptr<Application>>& arrangedApplications() const {
        return _arrangedApplications;
    }
    /// The row of the application, or -1.
    int rowOf(const Application& application) const;
    std::shared_ptr<Application> applicationAt(int row) const;

    /// The one record of the selection, a row at most; a view shares it (`setSelectionModel`), so
    /// that what the user selects and what the program selects are the same thing. Rows that go
    /// take their selection with them.
    QItemSelectionModel& selectionModel() const { return *_selectionModel; }
    /// None when nothing is selected.
    std::shared_ptr<Application> selectedApplication() const { return applicationAt(selectedRow()); }
    /// Selects exactly this application, making its row current, or nothing when it is none or
    /// not listed.
    void setSelectedApplication(const std::shared_ptr<Application>& application);
    std::shared_ptr<InstalledApplication> selectedInstalledApplication() const;
    /// -1 when nothing is selected.
    int selectedRow() const;

signals:
    /// After rows were added, removed or moved.
    void arrangedApplicationsChanged();
    /// After the selection changed, also when a selected row went.
    void selectedApplicationChanged();
    void filterTextChanged(const QString& text);
    /// An application of the content changed its state or icon, listed or not.
    void applicationChanged();

private:
    std::vector<std::shared_ptr<Application>> arrangedContent();
    void applyArrangement(std::vector<std::shared_ptr<Application>> arranged);
    void observe(const std::shared_ptr<Application>& application);
    void stopObserving(const Application* application);
    void rowChanged(const Application* application);

    const ApplicationsSource::Applications* _content = nullptr;
    std::vector<SortDescriptor> _sortDescriptors;
    QString _filterText;
    /// The whole content in list order, kept while only the filter changes: the rows a filter
    /// keeps are in the same order, so typing in the search field needs no new sort.
    std::vector<std::shared_ptr<Application>> _sortedContent;
    bool _isSortedContentValid = false;
    std::vector<std::shared_ptr<Application>> _arrangedApplications;
    QItemSelectionModel* _selectionModel;
    QHash<const Application*, QMetaObject::Connection> _observations;
    BadgeDescriptions _badgeDescriptions;
};
