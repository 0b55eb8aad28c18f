#include "Code/Shell/ApplicationStateBadge.h"

#include <QPainter>
#include <QPainterPath>

namespace ApplicationStateBadge {

namespace {

void filledCircle(QPainter& painter, const QRectF& rect, const QColor& color) {
    painter.setPen(Qt::NoPen);
    painter.setBrush(color);
    painter.drawEllipse(rect);
}

QPen markPen(const QRectF& rect, const QColor& color = Qt::white) {
    QPen pen(color, rect.width() * 0.13);
    pen.setCapStyle(Qt::RoundCap);
    pen.setJoinStyle(Qt::RoundJoin);
    return pen;
}

/// A point of the rectangle by fractions of its size.
QPointF at(const QRectF& rect, double x, double y) {
    return {rect.left() + rect.width() * x, rect.top() + rect.height() * y};
}

void paintLoaded(QPainter& painter, const QRectF& rect) {
    filledCircle(painter, rect, QColor(0x2e, 0x9d, 0x4f));
    painter.setPen(markPen(rect));
    painter.setBrush(Qt::NoBrush);
    const QPointF tick[] = {at(rect, 0.28, 0.52), at(rect, 0.44, 0.68), at(rect, 0.72, 0.34)};
    painter.drawPolyline(tick, 3);
}

void paintExclamation(QPainter& painter, const QRectF& rect, const QColor& color) {
    filledCircle(painter, rect, color);
    painter.setPen(markPen(rect));
    painter.drawLine(at(rect, 0.5, 0.26), at(rect, 0.5, 0.56));
    painter.drawPoint(at(rect, 0.5, 0.74));
}

void paintNoReadPermission(QPainter& painter, const QRectF& rect) {
    filledCircle(painter, rect, QColor(0xd9, 0x7a, 0x00));
    // A padlock: a shackle above a solid body.
    painter.setPen(markPen(rect));
    painter.setBrush(Qt::NoBrush);
    painter.drawArc(QRectF(at(rect, 0.36, 0.2), at(rect, 0.64, 0.52)), 0, 180 * 16);
    painter.drawLine(at(rect, 0.36, 0.36), at(rect, 0.36, 0.46));
    painter.drawLine(at(rect, 0.64, 0.36), at(rect, 0.64, 0.46));
    painter.setPen(Qt::NoPen);
    painter.setBrush(Qt::white);
    painter.drawRoundedRect(QRectF(at(rect, 0.28, 0.44), at(rect, 0.72, 0.78)), rect.width() * 0.06,
                            rect.width() * 0.06);
}

void paintPreview(QPainter& painter, const QRectF& rect) {
    filledCircle(painter, rect, QColor(0x1f, 0x6f, 0xe5));
    // A four-pointed sparkle.
    QPainterPath sparkle;
    const QPointF centre = rect.center();
    const double outer = rect.width() * 0.3;
    const double inner = rect.width() * 0.08;
    sparkle.moveTo(centre.x(), centre.y() - outer);
    sparkle.quadTo(centre.x() + inner, centre.y() - inner, centre.x() + outer, centre.y());
    sparkle.quadTo(centre.x() + inner, centre.y() + inner, centre.x(), centre.y() + outer);
    sparkle.quadTo(centre.x() - inner, centre.y() + inner, centre.x() - outer, centre.y());
    sparkle.quadTo(centre.x() - inner, centre.y() - inner, centre.x(), centre.y() - outer);
    painter.setPen(Qt::NoPen);
    painter.setBrush(Qt::white);
    painter.drawPath(sparkle);
}

/// The quiet states use the row's own text colour, dimmed, so they read on any background.
QColor quietColor(const QPalette& palette) {
    QColor color = palette.color(QPalette::Text);
    color.setAlphaF(0.55F);
    return color;
}

void paintPending(QPainter& painter, const QRectF& rect, const QPalette& palette) {
    const QRectF ring =
        rect.adjusted(rect.width() * 0.12, rect.height() * 0.12, -rect.width() * 0.12, -rect.height() * 0.12);
    painter.setBrush(Qt::NoBrush);
    painter.setPen(markPen(rect, quietColor(palette)));
    painter.drawArc(ring, 90 * 16, 270 * 16);
}

void paintUnavailable(QPainter& painter, const QRectF& rect, const QPalette& palette) {
    const QRectF ring =
        rect.adjusted(rect.width() * 0.1, rect.height() * 0.1, -rect.width() * 0.1, -rect.height() * 0.1);
    const QPen pen = markPen(rect, quietColor(palette));
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(pen.color(), rect.width() * 0.09));
    painter.drawEllipse(ring);
    painter.setPen(pen);
    painter.drawLine(at(rect, 0.34, 0.5), at(rect, 0.66, 0.5));
}

} // namespace

void paint(QPainter& painter, const QRectF& rect, ApplicationsArrayController::Badge badge,
           const QPalette& palette) {
    using Badge = ApplicationsArrayController::Badge;
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    switch (badge) {
    case Badge::loaded:
        paintLoaded(painter, rect);
        break;
    case Badge::loadFailed:
        paintExclamation(painter, rect, QColor(0xd6, 0x33, 0x33));
        break;
    case Badge::noReadPermission:
        paintNoReadPermission(painter, rect);
        break;
    case Badge::preview:
        paintPreview(painter, rect);
        break;
    case Badge::loadPending:
        paintPending(painter, rect, palette);
        break;
    case Badge::unavailable:
        paintUnavailable(painter, rect, palette);
        break;
    }
    painter.restore();
}

} // namespace ApplicationStateBadge
