#include "ui/face_images.h"

#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>

namespace bx::ui {

namespace {

// Every picture is drawn on a 32 x 32 grid and scaled to the pixmap's size.
constexpr qreal kGrid = 32.0;

const QColor kWhite(255, 255, 255);

QPixmap Canvas(int size) {
  QPixmap pixmap(size, size);
  pixmap.fill(Qt::transparent);
  return pixmap;
}

void Begin(QPainter& painter, QPixmap& pixmap) {
  painter.begin(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.scale(pixmap.width() / kGrid, pixmap.height() / kGrid);
}

QPen WhitePen(qreal width) {
  return QPen(kWhite, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

// A rounded square badge with a darker rim.
void Badge(QPainter& p, const QColor& fill) {
  p.setPen(QPen(fill.darker(150), 1.5));
  p.setBrush(fill);
  p.drawRoundedRect(QRectF(1.75, 1.75, 28.5, 28.5), 7, 7);
}

void Disc(QPainter& p, const QColor& fill) {
  p.setPen(QPen(fill.darker(150), 1.5));
  p.setBrush(fill);
  p.drawEllipse(QRectF(2, 2, 28, 28));
}

void Chevrons(QPainter& p, int count) {
  p.setPen(WhitePen(4));
  p.setBrush(Qt::NoBrush);
  const qreal step = 7;
  const qreal first = 16 - (count - 1) * step / 2 - 3;
  for (int i = 0; i < count; ++i) {
    const qreal x = first + i * step;
    p.drawPolyline(QPolygonF({QPointF(x, 8.5), QPointF(x + 7, 16), QPointF(x, 23.5)}));
  }
}

void Arrow(QPainter& p) {
  p.setPen(WhitePen(4));
  p.drawLine(QPointF(7.5, 16), QPointF(20, 16));
  p.setPen(Qt::NoPen);
  p.setBrush(kWhite);
  p.drawPolygon(QPolygonF({QPointF(17, 7.5), QPointF(26.5, 16), QPointF(17, 24.5)}));
}

// "!" in `color`, centred.
void Exclamation(QPainter& p, const QColor& color, qreal top = 6.5, qreal bottom = 18.5) {
  p.setPen(QPen(color, 4.5, Qt::SolidLine, Qt::RoundCap));
  p.drawLine(QPointF(16, top), QPointF(16, bottom));
  p.setPen(Qt::NoPen);
  p.setBrush(color);
  p.drawEllipse(QPointF(16, bottom + 5.5), 2.6, 2.6);
}

// "i" in white, centred.
void InfoGlyph(QPainter& p) {
  p.setPen(Qt::NoPen);
  p.setBrush(kWhite);
  p.drawEllipse(QPointF(16, 9), 2.7, 2.7);
  p.setPen(QPen(kWhite, 4.5, Qt::SolidLine, Qt::RoundCap));
  p.drawLine(QPointF(16, 14.5), QPointF(16, 24));
}

void Bar(QPainter& p) {
  p.setPen(Qt::NoPen);
  p.setBrush(kWhite);
  p.drawRoundedRect(QRectF(7, 13.25, 18, 5.5), 1.5, 1.5);
}

void Gear(QPainter& p, const QColor& color) {
  QPainterPath gear;
  constexpr int kTeeth = 8;
  for (int i = 0; i < kTeeth; ++i) {
    QPainterPath tooth;
    tooth.addRoundedRect(QRectF(-3, -14, 6, 8), 1.2, 1.2);
    QTransform turn;
    turn.translate(16, 16);
    turn.rotate(i * 360.0 / kTeeth);
    gear = gear.united(turn.map(tooth));
  }
  QPainterPath ring;
  ring.addEllipse(QPointF(16, 16), 9.5, 9.5);
  gear = gear.united(ring);
  QPainterPath hole;
  hole.addEllipse(QPointF(16, 16), 4, 4);
  gear = gear.subtracted(hole);
  p.setPen(QPen(color.darker(140), 1));
  p.setBrush(color);
  p.drawPath(gear);
}

void Page(QPainter& p) {
  QPainterPath page;
  page.moveTo(6, 2.5);
  page.lineTo(20, 2.5);
  page.lineTo(26, 8.5);
  page.lineTo(26, 29.5);
  page.lineTo(6, 29.5);
  page.closeSubpath();
  p.setPen(QPen(QColor(90, 90, 90), 1.5));
  p.setBrush(kWhite);
  p.drawPath(page);
  p.setBrush(QColor(215, 215, 215));
  p.drawPolygon(QPolygonF({QPointF(20, 2.5), QPointF(20, 8.5), QPointF(26, 8.5)}));
  p.setPen(QPen(QColor(40, 100, 190), 2.5, Qt::SolidLine, Qt::FlatCap));
  for (qreal y : {13.0, 18.0, 23.0}) p.drawLine(QPointF(10, y), QPointF(22, y));
}

void Bin(QPainter& p) {
  const QColor body(110, 120, 130);
  p.setPen(QPen(body.darker(150), 1.5));
  p.setBrush(body);
  QPainterPath can;
  can.moveTo(8, 9);
  can.lineTo(24, 9);
  can.lineTo(22.5, 29);
  can.lineTo(9.5, 29);
  can.closeSubpath();
  p.drawPath(can);
  p.drawRoundedRect(QRectF(5, 5, 22, 4), 1.5, 1.5);
  p.drawRect(QRectF(13, 2.5, 6, 2.5));
  p.setPen(QPen(QColor(225, 230, 235), 2, Qt::SolidLine, Qt::RoundCap));
  for (qreal x : {12.5, 16.0, 19.5}) p.drawLine(QPointF(x, 13), QPointF(x, 25.5));
}

void Question(QPainter& p) {
  p.setPen(WhitePen(4.2));
  p.setBrush(Qt::NoBrush);
  QPainterPath hook;
  hook.moveTo(10.8, 12.2);
  hook.cubicTo(10.8, 5.5, 21.8, 5.5, 21.4, 12);
  hook.cubicTo(21.2, 15.5, 16, 16, 16, 20);
  p.drawPath(hook);
  p.setPen(Qt::NoPen);
  p.setBrush(kWhite);
  p.drawEllipse(QPointF(16, 25.2), 2.6, 2.6);
}

void Plus(QPainter& p) {
  p.setPen(WhitePen(4.5));
  p.drawLine(QPointF(16, 9), QPointF(16, 23));
  p.drawLine(QPointF(9, 16), QPointF(23, 16));
}

void Cross(QPainter& p) {
  p.setPen(WhitePen(4.5));
  p.drawLine(QPointF(10.5, 10.5), QPointF(21.5, 21.5));
  p.drawLine(QPointF(21.5, 10.5), QPointF(10.5, 21.5));
}

void Triangle(QPainter& p) {
  const QColor yellow(242, 190, 0);
  QPainterPath tri;
  tri.moveTo(16, 2.5);
  tri.lineTo(30, 28.5);
  tri.lineTo(2, 28.5);
  tri.closeSubpath();
  p.setPen(QPen(yellow.darker(160), 1.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  p.setBrush(yellow);
  p.drawPath(tri);
  Exclamation(p, QColor(30, 30, 30), 11, 19.5);
}

const QColor kBlue(47, 109, 181);
const QColor kGreen(46, 157, 74);
const QColor kAmber(224, 138, 0);
const QColor kOrangeRed(217, 72, 15);
const QColor kRed(198, 40, 40);
const QColor kGrey(138, 138, 138);

template <typename Draw>
QPixmap Drawn(int size, Draw draw) {
  QPixmap pixmap = Canvas(size);
  QPainter painter;
  Begin(painter, pixmap);
  draw(painter);
  painter.end();
  return pixmap;
}

QIcon IconOf(QPixmap (*pixmap)(int, int), int index) {
  QIcon icon;
  for (int size : {16, 22, 32}) icon.addPixmap(pixmap(index, size));
  return icon;
}

}  // namespace

QPixmap TrayIconPixmap(int index, int size) {
  if (index < 0 || index >= kTrayIconCount) return {};
  return Drawn(size, [index](QPainter& p) {
    switch (index) {
      case 0:
        Badge(p, kBlue);
        Arrow(p);
        break;
      case 1:
        Badge(p, kGreen);
        Chevrons(p, 1);
        break;
      case 2:
        Badge(p, kAmber);
        Chevrons(p, 2);
        break;
      case 3:
        Badge(p, kOrangeRed);
        Chevrons(p, 3);
        break;
      case 4:
        Badge(p, kRed);
        Exclamation(p, kWhite);
        break;
      default:
        Badge(p, kGrey);
        Bar(p);
        break;
    }
  });
}

QPixmap MenuImagePixmap(int index, int size) {
  if (index < 0 || index >= kMenuImageCount) return {};
  return Drawn(size, [index](QPainter& p) {
    switch (index) {
      case 0:
        Gear(p, QColor(95, 100, 110));
        break;
      case 1:
        Page(p);
        break;
      case 2:
        Bin(p);
        break;
      case 3:
        Disc(p, kRed);
        Bar(p);
        break;
      case 4:
        Disc(p, kBlue);
        Question(p);
        break;
      case 5:
        Disc(p, kGreen);
        InfoGlyph(p);
        break;
      default:
        p.setPen(QPen(kRed.darker(150), 1.5));
        p.setBrush(kRed);
        p.drawRoundedRect(QRectF(5, 5, 22, 22), 3, 3);
        break;
    }
  });
}

QPixmap LogLevelPixmap(int level, int size) {
  if (level < 0 || level >= kLogLevelImageCount) return {};
  return Drawn(size, [level](QPainter& p) {
    switch (level) {
      case 0:
        Disc(p, kGreen);
        Plus(p);
        break;
      case 1:
        Disc(p, kGrey);
        p.setPen(WhitePen(4.5));
        p.drawLine(QPointF(9, 16), QPointF(23, 16));
        break;
      case 2:
        Triangle(p);
        break;
      case 3:
        Disc(p, kRed);
        Cross(p);
        break;
      case 4:
        Disc(p, kBlue);
        InfoGlyph(p);
        break;
      default:
        Gear(p, QColor(0, 121, 107));
        break;
    }
  });
}

QIcon TrayIcon(int index) {
  if (index < 0 || index >= kTrayIconCount) return {};
  return IconOf(TrayIconPixmap, index);
}

QIcon MenuImage(int index) {
  if (index < 0 || index >= kMenuImageCount) return {};
  return IconOf(MenuImagePixmap, index);
}

QIcon LogLevelImage(int level) {
  if (level < 0 || level >= kLogLevelImageCount) return {};
  return IconOf(LogLevelPixmap, level);
}

}  // namespace bx::ui
