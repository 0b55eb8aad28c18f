#include "Code/Shell/ApplicationsListView.h"

#include "Code/Catalogue/ApplicationFileTypes.h"
#include "Code/Catalogue/QtStrings.h"

#include <QDragEnterEvent>
#include <QMimeData>
#include <QPainter>

ApplicationsListView::ApplicationsListView(QWidget* parent)
    : QListView(parent) {
    setAcceptDrops(true);
    viewport()->setAcceptDrops(true);
    setDragDropMode(QAbstractItemView::DropOnly);
    setDropIndicatorShown(false);
}

std::vector<std::filesystem::path> ApplicationsListView::acceptableItems(const QMimeData* data) {
    std::vector<std::filesystem::path> paths;
    if (data == nullptr || !data->hasUrls()) {
        return paths;
    }
    for (const QUrl& url : data->urls()) {
        if (!url.isLocalFile()) {
            continue;
        }
        const auto path = QtStrings::toPath(url.toLocalFile());
        if (ApplicationFileTypes::canBeAdded(path)) {
            paths.push_back(path);
        }
    }
    return paths;
}

void ApplicationsListView::dragEnterEvent(QDragEnterEvent* event) {
    const bool acceptable = !acceptableItems(event->mimeData()).empty();
    setDropHighlighted(acceptable);
    if (acceptable) {
        event->setDropAction(Qt::CopyAction);
        event->accept();
    } else {
        event->ignore();
    }
}

void ApplicationsListView::dragMoveEvent(QDragMoveEvent* event) {
    if (_isDropHighlighted) {
        event->setDropAction(Qt::CopyAction);
        event->accept();
    } else {
        event->ignore();
    }
}

void ApplicationsListView::dragLeaveEvent(QDragLeaveEvent* event) {
    setDropHighlighted(false);
    event->accept();
}

void ApplicationsListView::dropEvent(QDropEvent* event) {
    setDropHighlighted(false);
    auto paths = acceptableItems(event->mimeData());
    if (paths.empty()) {
        event->ignore();
        return;
    }
    event->setDropAction(Qt::CopyAction);
    event->accept();
    emit itemsDropped(paths);
}

void ApplicationsListView::setDropHighlighted(bool highlighted) {
    if (_isDropHighlighted != highlighted) {
        _isDropHighlighted = highlighted;
        viewport()->update();
    }
}

void ApplicationsListView::paintEvent(QPaintEvent* event) {
    QListView::paintEvent(event);
    if (!_isDropHighlighted) {
        return;
    }
    QPainter painter(viewport());
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(palette().color(QPalette::Highlight), 3));
    painter.setBrush(Qt::NoBrush);
    painter.drawRoundedRect(QRectF(viewport()->rect()).adjusted(1.5, 1.5, -1.5, -1.5), 6, 6);
}
