// The installer's pictures, drawn with QPainter at whatever size a control or a
// window has: backgrounds, the window icon, the product logo and a divider.
#pragma once

#include <QRect>
#include <QString>

class QPainter;

namespace pm::qt {

// Draws the picture `id` (see platform/ui.h) into `area`. Returns false for an
// unknown id (nothing drawn).
bool drawPicture(QPainter& painter, const QRect& area, const QString& id);

}  // namespace pm::qt
