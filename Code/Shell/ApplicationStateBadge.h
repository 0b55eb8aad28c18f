#pragma once

#include "Code/Catalogue/ApplicationsArrayController.h"

#include <QPalette>
#include <QRectF>

class QPainter;

/// The small sign at the end of a list row that tells an application's state at a glance: filled
/// circles with a white mark for the states that matter (a document, a failure, no access, a
/// featured application), quiet outlines for the others. Legible on light and dark rows alike.
namespace ApplicationStateBadge {

void paint(QPainter& painter, const QRectF& rect, ApplicationsArrayController::Badge badge,
           const QPalette& palette);

} // namespace ApplicationStateBadge
