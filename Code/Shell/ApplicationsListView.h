#pragma once

#include <QColor>
#include <QListView>
#include <filesystem>
#include <functional>
#include <vector>

/// The sidebar's list. It accepts application bundles and executables dropped on it (anything
/// else shows the not-allowed cursor), with a frame in the accent colour while acceptable items
/// hover over it.
class ApplicationsListView : public QListView {
    Q_OBJECT

public:
    explicit ApplicationsListView(QWidget* parent = nullptr);

    /// The dragged items that may carry a document; an empty list refuses the drop.
    static std::vector<std::filesystem::path> acceptableItems(const QMimeData* data);

signals:
    /// Items that may carry a document were dropped.
    void itemsDropped(const std::vector<std::filesystem::path>& paths);

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dragLeaveEvent(QDragLeaveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void setDropHighlighted(bool highlighted);

    bool _isDropHighlighted = false;
};
