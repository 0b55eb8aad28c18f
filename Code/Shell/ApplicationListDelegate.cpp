#include "Code/Shell/ApplicationListDelegate.h"

#include "Code/Catalogue/Application.h"
#include "Code/Catalogue/ApplicationsArrayController.h"
#include "Code/Shell/ApplicationIconCache.h"
#include "Code/Shell/ApplicationStateBadge.h"
#include "Code/Shell/ShellText.h"

#include <QApplication>
#include <QLocale>
#include <QPainter>

namespace {

constexpr int margin = 8;
constexpr int spacing = 8;

} // namespace

ApplicationListDelegate::ApplicationListDelegate(ApplicationIconCache& icons, QObject* parent)
    : QStyledItemDelegate(parent)
    , _icons(icons) {}

QSize ApplicationListDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const {
    return {QStyledItemDelegate::sizeHint(option, index).width(), rowHeight};
}

void ApplicationListDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                                    const QModelIndex& index) const {
    QStyleOptionViewItem background = option;
    initStyleOption(&background, index);
    background.text.clear();
    background.icon = QIcon();
    const QStyle* style = option.widget ? option.widget->style() : QApplication::style();
    style->drawControl(QStyle::CE_ItemViewItem, &background, painter, option.widget);

    const QRect row = option.rect;
    const auto application =
        index.data(ApplicationsArrayController::ApplicationRole).value<std::shared_ptr<Application>>();
    const QRect iconRect(row.left() + margin, row.top() + (row.height() - iconSize) / 2, iconSize, iconSize);
    if (application) {
        const qreal density = painter->device() != nullptr ? painter->device()->devicePixelRatioF() : 1.0;
        const QImage icon = _icons.icon(*application, ApplicationIconCache::listIconSize(density));
        painter->save();
        painter->setRenderHint(QPainter::SmoothPixmapTransform);
        painter->drawImage(iconRect, icon);
        painter->restore();
    }

    const QRectF badgeRect(row.right() - margin - badgeSize, row.top() + (row.height() - badgeSize) / 2.0,
                           badgeSize, badgeSize);
    const bool selected = (option.state & QStyle::State_Selected) != 0;
    QPalette palette = option.palette;
    if (selected) {
        palette.setColor(QPalette::Text, option.palette.color(QPalette::HighlightedText));
    }
    ApplicationStateBadge::paint(
        *painter, badgeRect,
        index.data(ApplicationsArrayController::BadgeRole).value<ApplicationsArrayController::Badge>(),
        palette);

    const QRect textRect(iconRect.right() + 1 + spacing, row.top(),
                         static_cast<int>(badgeRect.left()) - spacing - (iconRect.right() + 1 + spacing),
                         row.height());
    QString text = index.data(Qt::DisplayRole).toString();
    if (index.data(ApplicationsArrayController::KindRole).value<ApplicationsArrayController::Kind>() ==
        ApplicationsArrayController::Kind::openingArchive) {
        const int percent = index.data(ApplicationsArrayController::ProgressRole).toInt();
        text = percent < 0
                   ? ShellText::localized("openingArchiveFormat %@").replace(QLatin1String("%@"), text)
                   : ShellText::localized("openingArchiveProgressFormat %@ %@")
                         .replace(QLatin1String("%1$@"), text)
                         .replace(QLatin1String("%2$@"), QLocale().toString(percent) + QLocale().percent());
    }
    const QString name = option.fontMetrics.elidedText(text, Qt::ElideMiddle, textRect.width());
    painter->save();
    painter->setPen(option.palette.color(selected ? QPalette::HighlightedText : QPalette::Text));
    painter->setFont(option.font);
    painter->drawText(textRect, Qt::AlignVCenter | Qt::AlignLeft | Qt::TextSingleLine, name);
    painter->restore();
}
