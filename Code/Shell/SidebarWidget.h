#pragma once

#include <QPointer>
#include <QWidget>

class ApplicationIconCache;
class ApplicationsListView;
class ApplicationsSourceController;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QStackedWidget;

/// The window's sidebar: the search field over the applications list. The list shares its place
/// with the text that says why it is empty, and with the loading view until the initial loading
/// is over. The list view shows and changes the catalogue's own selection.
class SidebarWidget : public QWidget {
    Q_OBJECT

public:
    /// `controller` and `icons` must outlive the sidebar.
    SidebarWidget(ApplicationsSourceController& controller, ApplicationIconCache& icons,
                  QWidget* parent = nullptr);

    QLineEdit& searchField() const { return *_searchField; }
    ApplicationsListView& listView() const { return *_listView; }
    /// The text behind an empty list, and the command its button offers (both empty while the
    /// list is shown).
    QString emptyListText() const;
    QString emptyListButtonText() const;
    /// The loading view's text (empty once the initial loading is over).
    QString loadingText() const;

    /// Puts the cursor in the search field with its text selected.
    void focusSearchField();
    /// Fades the loading view out and the list in, and says why the list is empty if it is.
    void showInitialLoadingFinished();

signals:
    /// The list's context menu was asked for at `globalPosition` (the row under it is current).
    void contextMenuRequested(const QPoint& globalPosition);
    /// The catalogue's selection changed and the list shows it.
    void selectionShown();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildSearchField();
    void buildList(ApplicationIconCache& icons);
    void buildEmptyListView();
    void buildLoadingView();
    void showLoadingProgress(int loaded, int total);
    void updateEmptyListText();
    void emptyListButtonClicked();
    void arrangedSelectionChanged();

    ApplicationsSourceController& _controller;
    QLineEdit* _searchField = nullptr;
    QWidget* _listArea = nullptr;
    QStackedWidget* _listStack = nullptr;
    ApplicationsListView* _listView = nullptr;
    QWidget* _emptyListView = nullptr;
    QLabel* _emptyListLabel = nullptr;
    QPushButton* _emptyListButton = nullptr;
    QPointer<QWidget> _loadingView;
    QPointer<QLabel> _loadingLabel;
    QPointer<QProgressBar> _loadingBar;
};
