#include "platform/qt/pictures.h"

#include <QFont>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

namespace pm::qt {

namespace {

// The installer's palette: the slate blue-grey of its windows and a deep blue.
const QColor kSlate(0xB7, 0xBB, 0xC6);
const QColor kDeepBlue(0x2B, 0x4A, 0x78);
const QColor kBrightBlue(0x42, 0x6F, 0xB0);

void installBackground(QPainter& p, const QRect& r) {
  // The window's own colour at the top, where the icon and the title sit, deepening
  // towards the bottom.
  QLinearGradient body(r.topLeft(), r.bottomLeft());
  body.setColorAt(0.0, kSlate);
  body.setColorAt(0.08, kSlate);
  body.setColorAt(1.0, kSlate.darker(112));
  p.fillRect(r, body);

  // An etched rule under the title.
  const int y = r.top() + 40;
  p.setPen(QColor(0x8A, 0x8F, 0x9E));
  p.drawLine(r.left() + 8, y, r.right() - 8, y);
  p.setPen(QColor(0xE4, 0xE6, 0xEC));
  p.drawLine(r.left() + 8, y + 1, r.right() - 8, y + 1);

  // Soft arcs in the lower right, behind the current-activity label.
  p.setRenderHint(QPainter::Antialiasing);
  p.setBrush(Qt::NoBrush);
  for (int i = 0; i < 4; ++i) {
    p.setPen(QPen(QColor(255, 255, 255, 46 - i * 9), 14 - i * 3));
    const int d = 260 + i * 70;
    p.drawEllipse(QPoint(r.right() - 40, r.bottom() + 30), d, d);
  }
}

// A rounded tile with a "P" and an upward arrow: the upgrade.
void icon(QPainter& p, const QRect& r) {
  p.setRenderHint(QPainter::Antialiasing);
  const QRectF tile = QRectF(r).adjusted(1.5, 1.5, -1.5, -1.5);
  QLinearGradient g(tile.topLeft(), tile.bottomRight());
  g.setColorAt(0.0, kBrightBlue.lighter(130));
  g.setColorAt(1.0, kDeepBlue);
  p.setPen(QPen(kDeepBlue.darker(140), 1));
  p.setBrush(g);
  const qreal radius = tile.width() / 5;
  p.drawRoundedRect(tile, radius, radius);

  QFont f("Arial");
  f.setBold(true);
  f.setPixelSize(std::max(6, int(tile.height() * 0.72)));
  p.setFont(f);
  p.setPen(Qt::white);
  p.drawText(tile.adjusted(tile.width() * 0.06, 0, -tile.width() * 0.28, 0), Qt::AlignCenter, "P");

  // The arrow at the right edge.
  const qreal x = tile.right() - tile.width() * 0.2;
  const qreal top = tile.top() + tile.height() * 0.22;
  const qreal bottom = tile.bottom() - tile.height() * 0.2;
  const qreal w = tile.width() * 0.13;
  QPainterPath arrow;
  arrow.moveTo(x, top);
  arrow.lineTo(x + w, top + w * 1.3);
  arrow.lineTo(x + w * 0.4, top + w * 1.3);
  arrow.lineTo(x + w * 0.4, bottom);
  arrow.lineTo(x - w * 0.4, bottom);
  arrow.lineTo(x - w * 0.4, top + w * 1.3);
  arrow.lineTo(x - w, top + w * 1.3);
  arrow.closeSubpath();
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(0xF2, 0xC1, 0x4E));
  p.drawPath(arrow);
}

void splashBackground(QPainter& p, const QRect& r) {
  QLinearGradient g(r.topLeft(), r.bottomLeft());
  g.setColorAt(0.0, kSlate.lighter(118));
  g.setColorAt(0.55, kSlate);
  g.setColorAt(1.0, kDeepBlue.lighter(120));
  p.fillRect(r, g);

  p.setRenderHint(QPainter::Antialiasing);
  QRadialGradient glow(QPointF(r.center().x(), r.top() + r.height() * 0.45), r.width() * 0.6);
  glow.setColorAt(0.0, QColor(255, 255, 255, 110));
  glow.setColorAt(1.0, QColor(255, 255, 255, 0));
  p.fillRect(r, glow);

  // The installer's name in the open middle.
  QFont tag("Liberation Serif");
  tag.setItalic(true);
  tag.setPixelSize(std::max(8, r.height() / 16));
  p.setFont(tag);
  p.setPen(QColor(0x2B, 0x4A, 0x78, 170));
  p.drawText(QRectF(r.left(), r.top() + r.height() * 0.33, r.width(), r.height() * 0.1),
             Qt::AlignCenter, "Upgrade Install");
  QFont sub("Liberation Sans");
  sub.setPixelSize(std::max(6, r.height() / 34));
  sub.setLetterSpacing(QFont::PercentageSpacing, 130);
  p.setFont(sub);
  p.setPen(QColor(0x2B, 0x4A, 0x78, 140));
  p.drawText(QRectF(r.left(), r.top() + r.height() * 0.43, r.width(), r.height() * 0.05),
             Qt::AlignCenter, "YOUR DATA STAYS WITH YOU");

  // Three sweeping bands.
  for (int i = 0; i < 3; ++i) {
    QPainterPath wave;
    const qreal y = r.top() + r.height() * (0.62 + i * 0.07);
    wave.moveTo(r.left(), y);
    wave.cubicTo(r.left() + r.width() * 0.35, y - 60, r.left() + r.width() * 0.65, y + 50,
                 r.right(), y - 20);
    p.setPen(QPen(QColor(255, 255, 255, 70 - i * 18), 3 - i));
    p.setBrush(Qt::NoBrush);
    p.drawPath(wave);
  }
}

void logo(QPainter& p, const QRect& r) {
  p.setRenderHint(QPainter::Antialiasing);
  p.setRenderHint(QPainter::TextAntialiasing);
  const qreal h = r.height();
  // The emblem: a ring with a "P", at the left.
  const QRectF emblem(r.left() + h * 0.08, r.top() + h * 0.08, h * 0.84, h * 0.84);
  QRadialGradient g(emblem.center() - QPointF(h * 0.15, h * 0.15), emblem.width() * 0.7);
  g.setColorAt(0.0, kBrightBlue.lighter(140));
  g.setColorAt(1.0, kDeepBlue);
  p.setBrush(g);
  p.setPen(QPen(QColor(255, 255, 255, 220), std::max(1.0, h * 0.04)));
  p.drawEllipse(emblem);
  QFont emblemFont("Liberation Serif");
  emblemFont.setBold(true);
  emblemFont.setPixelSize(std::max(6, int(h * 0.6)));
  p.setFont(emblemFont);
  p.setPen(Qt::white);
  p.drawText(emblem, Qt::AlignCenter, "P");

  // The product name with a soft shadow, a rule that fades out to the right,
  // and the version under the rule's end.
  const QRectF text(emblem.right() + h * 0.18, r.top(), r.right() - emblem.right() - h * 0.18,
                    h * 0.72);
  QFont name("Liberation Serif");
  name.setBold(true);
  name.setPixelSize(std::max(8, int(h * 0.6)));
  name.setLetterSpacing(QFont::PercentageSpacing, 104);
  p.setFont(name);
  p.setPen(QColor(0, 0, 0, 70));
  p.drawText(text.translated(2, 2), Qt::AlignLeft | Qt::AlignVCenter, "Pelmora");
  p.setPen(kDeepBlue);
  p.drawText(text, Qt::AlignLeft | Qt::AlignVCenter, "Pelmora");

  QLinearGradient line(text.left(), 0, r.right(), 0);
  line.setColorAt(0.0, QColor(0xE0, 0xA8, 0x30));
  line.setColorAt(1.0, QColor(0xE0, 0xA8, 0x30, 0));
  p.fillRect(QRectF(text.left(), r.top() + h * 0.74, text.width(), std::max(1.0, h * 0.035)), line);

  QFont version("Liberation Sans");
  version.setPixelSize(std::max(6, int(h * 0.19)));
  version.setBold(true);
  p.setFont(version);
  p.setPen(kDeepBlue.lighter(130));
  p.drawText(QRectF(text.left(), r.top() + h * 0.79, text.width() - h * 0.1, h * 0.21),
             Qt::AlignRight | Qt::AlignTop, "version 1.9.5");
}

void dialogBackground(QPainter& p, const QRect& r) {
  QLinearGradient g(r.topLeft(), r.bottomRight());
  g.setColorAt(0.0, kSlate.lighter(115));
  g.setColorAt(1.0, kSlate.darker(108));
  p.fillRect(r, g);
  QLinearGradient band(r.topLeft(), r.topRight());
  band.setColorAt(0.0, kDeepBlue.lighter(150));
  band.setColorAt(1.0, kSlate.lighter(110));
  p.fillRect(QRect(r.left(), r.top(), r.width(), 4), band);
}

void divider(QPainter& p, const QRect& r) {
  const int y = r.top() + r.height() / 2;
  QLinearGradient dark(r.left(), 0, r.right(), 0);
  dark.setColorAt(0.0, QColor(0x40, 0x40, 0x50, 0));
  dark.setColorAt(0.5, QColor(0x40, 0x40, 0x50, 200));
  dark.setColorAt(1.0, QColor(0x40, 0x40, 0x50, 0));
  p.fillRect(QRect(r.left(), y - 1, r.width(), 1), dark);
  QLinearGradient light(r.left(), 0, r.right(), 0);
  light.setColorAt(0.0, QColor(255, 255, 255, 0));
  light.setColorAt(0.5, QColor(255, 255, 255, 220));
  light.setColorAt(1.0, QColor(255, 255, 255, 0));
  p.fillRect(QRect(r.left(), y, r.width(), 1), light);
}

}  // namespace

bool drawPicture(QPainter& painter, const QRect& area, const QString& id) {
  if (area.isEmpty()) return true;
  painter.save();
  painter.setClipRect(area);
  bool known = true;
  if (id == "install.background") {
    installBackground(painter, area);
  } else if (id == "install.icon") {
    icon(painter, area);
  } else if (id == "splash.background") {
    splashBackground(painter, area);
  } else if (id == "splash.logo") {
    logo(painter, area);
  } else if (id == "dialog.background") {
    dialogBackground(painter, area);
  } else if (id == "divider") {
    divider(painter, area);
  } else {
    known = false;
  }
  painter.restore();
  return known;
}

}  // namespace pm::qt
