#pragma once

#include <QStyledItemDelegate>

class ApplicationIconCache;

/// Draws one row of the applications list: the icon, the name and the state badge.
class ApplicationListDelegate : public QStyledItemDelegate {
    Q_OBJECT

public:
    static constexpr int rowHeight = 44;
    static constexpr int iconSize = 32;
    static constexpr int badgeSize = 16;

    /// `icons` must outlive the delegate.
    explicit ApplicationListDelegate(ApplicationIconCache& icons, QObject* parent = nullptr);

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

private:
    ApplicationIconCache& _icons;
};
