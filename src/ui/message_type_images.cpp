#include "ui/message_type_images.h"

#include <QHash>
#include <QPainter>
#include <QPainterPath>

namespace bx::ui {

namespace {

// Every symbol is drawn on a 16 by 16 grid and scaled to the size asked for.
const QColor kInk(40, 40, 40);
const QColor kPaper(255, 255, 255);

QPen Pen(const QColor& color, qreal width = 1.0) {
  QPen pen(color, width);
  pen.setCapStyle(Qt::RoundCap);
  pen.setJoinStyle(Qt::RoundJoin);
  return pen;
}

void Letter(QPainter& p, const QRectF& box, const QString& text, const QColor& color,
            qreal pixelSize) {
  QFont font(QStringLiteral("DejaVu Sans"));
  font.setPixelSize(static_cast<int>(pixelSize * 4));  // drawn at 4x, scaled down below
  font.setBold(true);
  p.save();
  p.translate(box.topLeft());
  p.scale(0.25, 0.25);
  p.setFont(font);
  p.setPen(color);
  p.drawText(QRectF(0, 0, box.width() * 4, box.height() * 4), Qt::AlignCenter, text);
  p.restore();
}

void Disc(QPainter& p, const QColor& fill, const QString& text) {
  p.setPen(Pen(fill.darker(150)));
  p.setBrush(fill);
  p.drawEllipse(QRectF(1.5, 1.5, 13, 13));
  Letter(p, QRectF(1.5, 1.5, 13, 13), text, Qt::white, 10);
}

// A sheet of paper with a folded corner, and its lines of text.
void Sheet(QPainter& p, const QColor& fill, int lines) {
  QPainterPath path;
  path.moveTo(3, 1.5);
  path.lineTo(10, 1.5);
  path.lineTo(13, 4.5);
  path.lineTo(13, 14.5);
  path.lineTo(3, 14.5);
  path.closeSubpath();
  p.setPen(Pen(kInk));
  p.setBrush(fill);
  p.drawPath(path);
  p.drawLine(QPointF(10, 1.5), QPointF(10, 4.5));
  p.drawLine(QPointF(10, 4.5), QPointF(13, 4.5));
  p.setPen(Pen(QColor(90, 110, 160)));
  for (int i = 0; i < lines; ++i) {
    qreal y = 6.5 + 2 * i;
    p.drawLine(QPointF(5, y), QPointF(11, y));
  }
}

// The custom formats: a sheet with a coloured band and a letter.
void CustomFormat(QPainter& p, const QColor& band, const QString& letter) {
  p.setPen(Pen(kInk));
  p.setBrush(kPaper);
  p.drawRect(QRectF(1.5, 1.5, 13, 13));
  p.setPen(Qt::NoPen);
  p.setBrush(band);
  p.drawRect(QRectF(2, 2, 12, 4));
  Letter(p, QRectF(1.5, 5, 13, 10), letter, band.darker(130), 9);
}

void Level(QPainter& p, const QColor& color, int number) {
  p.setPen(Pen(color.darker(160)));
  p.setBrush(color);
  p.drawRoundedRect(QRectF(1.5, 1.5, 13, 13), 3, 3);
  const bool dark = qGray(color.rgb()) < 150;
  Letter(p, QRectF(1.5, 1.5, 13, 13), QString::number(number), dark ? Qt::white : kInk, 10);
}

void Triangle(QPainter& p) {
  QPolygonF t{QPointF(8, 1.5), QPointF(15, 14.5), QPointF(1, 14.5)};
  p.setPen(Pen(QColor(150, 110, 0)));
  p.setBrush(QColor(255, 205, 40));
  p.drawPolygon(t);
  p.setPen(Pen(kInk, 1.6));
  p.drawLine(QPointF(8, 6), QPointF(8, 10));
  p.drawPoint(QPointF(8, 12.5));
}

void ErrorCross(QPainter& p) {
  p.setPen(Pen(QColor(140, 0, 0)));
  p.setBrush(QColor(215, 30, 30));
  p.drawEllipse(QRectF(1.5, 1.5, 13, 13));
  p.setPen(Pen(Qt::white, 1.8));
  p.drawLine(QPointF(5.5, 5.5), QPointF(10.5, 10.5));
  p.drawLine(QPointF(10.5, 5.5), QPointF(5.5, 10.5));
}

void Lightning(QPainter& p) {
  QPolygonF bolt{QPointF(9.5, 0.5),  QPointF(3, 9),  QPointF(7.5, 9),
                 QPointF(5.5, 15.5), QPointF(13, 6), QPointF(8.5, 6)};
  p.setPen(Pen(QColor(160, 40, 0)));
  p.setBrush(QColor(255, 120, 20));
  p.drawPolygon(bolt);
}

void Bell(QPainter& p) {
  QPainterPath bell;
  bell.moveTo(3, 12);
  bell.cubicTo(4.5, 10, 4, 4, 8, 3);
  bell.cubicTo(12, 4, 11.5, 10, 13, 12);
  bell.closeSubpath();
  p.setPen(Pen(QColor(120, 80, 0)));
  p.setBrush(QColor(240, 190, 50));
  p.drawPath(bell);
  p.drawEllipse(QRectF(6.5, 12, 3, 3));
  p.drawLine(QPointF(8, 1.5), QPointF(8, 3));
}

void Flag(QPainter& p) {
  p.setPen(Pen(kInk, 1.2));
  p.drawLine(QPointF(3.5, 1.5), QPointF(3.5, 15));
  QPolygonF flag{QPointF(4, 2), QPointF(14, 2), QPointF(11.5, 5.5), QPointF(14, 9), QPointF(4, 9)};
  p.setPen(Pen(QColor(0, 100, 0)));
  p.setBrush(QColor(60, 180, 70));
  p.drawPolygon(flag);
  p.setPen(Pen(Qt::white, 1.3));
  p.drawPolyline(QPolygonF{QPointF(6, 5.5), QPointF(7.5, 7), QPointF(10.5, 3.8)});
}

void Note(QPainter& p) {
  p.setPen(Pen(QColor(150, 130, 0)));
  p.setBrush(QColor(255, 240, 120));
  QPolygonF note{QPointF(1.5, 1.5), QPointF(14.5, 1.5), QPointF(14.5, 10), QPointF(10, 14.5),
                 QPointF(1.5, 14.5)};
  p.drawPolygon(note);
  p.drawPolyline(QPolygonF{QPointF(10, 14.5), QPointF(10, 10), QPointF(14.5, 10)});
  p.setPen(Pen(QColor(120, 100, 30)));
  p.drawLine(QPointF(4, 5), QPointF(12, 5));
  p.drawLine(QPointF(4, 7.5), QPointF(12, 7.5));
  p.drawLine(QPointF(4, 10), QPointF(8, 10));
}

void StringList(QPainter& p) {
  p.setPen(Pen(kInk));
  p.setBrush(kPaper);
  p.drawRect(QRectF(1.5, 1.5, 13, 13));
  for (int i = 0; i < 4; ++i) {
    qreal y = 4.5 + 2.5 * i;
    p.setPen(Pen(QColor(30, 90, 200), 1.4));
    p.drawPoint(QPointF(4, y));
    p.setPen(Pen(kInk));
    p.drawLine(QPointF(6, y), QPointF(12, y));
  }
}

void Cube(QPainter& p, const QColor& color) {
  QPolygonF top{QPointF(8, 1.5), QPointF(14.5, 4.5), QPointF(8, 7.5), QPointF(1.5, 4.5)};
  QPolygonF left{QPointF(1.5, 4.5), QPointF(8, 7.5), QPointF(8, 14.5), QPointF(1.5, 11.5)};
  QPolygonF right{QPointF(14.5, 4.5), QPointF(8, 7.5), QPointF(8, 14.5), QPointF(14.5, 11.5)};
  p.setPen(Pen(color.darker(200)));
  p.setBrush(color.lighter(140));
  p.drawPolygon(top);
  p.setBrush(color);
  p.drawPolygon(left);
  p.setBrush(color.darker(130));
  p.drawPolygon(right);
}

void Gear(QPainter& p) {
  p.setPen(Pen(QColor(60, 60, 90)));
  p.setBrush(QColor(150, 150, 185));
  for (int i = 0; i < 8; ++i) {
    p.save();
    p.translate(8, 8);
    p.rotate(45.0 * i);
    p.drawRect(QRectF(-1.5, -7.5, 3, 3));
    p.restore();
  }
  p.drawEllipse(QRectF(2.5, 2.5, 11, 11));
  p.setBrush(kPaper);
  p.drawEllipse(QRectF(6, 6, 4, 4));
}

void Collection(QPainter& p) {
  const QColor colors[3] = {QColor(240, 150, 40), QColor(60, 170, 90), QColor(50, 110, 210)};
  for (int i = 0; i < 3; ++i) {
    p.setPen(Pen(colors[i].darker(160)));
    p.setBrush(colors[i]);
    p.drawRect(QRectF(1.5 + 3 * i, 1.5 + 3 * i, 7, 7));
  }
}

void Palette(QPainter& p) {
  p.setPen(Pen(QColor(110, 80, 40)));
  p.setBrush(QColor(230, 200, 150));
  QPainterPath palette;
  palette.addEllipse(QRectF(1, 2, 14, 12));
  QPainterPath hole;
  hole.addEllipse(QRectF(9, 9, 3, 3));
  p.drawPath(palette.subtracted(hole));
  const QColor dabs[4] = {Qt::red, QColor(0, 160, 0), Qt::blue, QColor(250, 210, 0)};
  const QPointF at[4] = {QPointF(4.5, 6), QPointF(7.5, 4.5), QPointF(11, 5.5), QPointF(4.5, 10)};
  p.setPen(Qt::NoPen);
  for (int i = 0; i < 4; ++i) {
    p.setBrush(dabs[i]);
    p.drawEllipse(at[i], 1.5, 1.5);
  }
}

void Picture(QPainter& p) {
  p.setPen(Pen(kInk));
  p.setBrush(QColor(170, 215, 255));
  p.drawRect(QRectF(1.5, 2.5, 13, 11));
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(255, 220, 0));
  p.drawEllipse(QRectF(10, 4, 3, 3));
  p.setBrush(QColor(40, 140, 60));
  p.drawPolygon(QPolygonF{QPointF(2, 13), QPointF(6.5, 6.5), QPointF(11, 13)});
  p.setBrush(QColor(80, 170, 90));
  p.drawPolygon(QPolygonF{QPointF(8, 13), QPointF(11, 9), QPointF(14, 13)});
}

void Table(QPainter& p, const QColor& header) {
  p.setPen(Pen(kInk));
  p.setBrush(kPaper);
  p.drawRect(QRectF(1.5, 2.5, 13, 11));
  p.setPen(Qt::NoPen);
  p.setBrush(header);
  p.drawRect(QRectF(2, 3, 12, 3));
  p.setPen(Pen(QColor(120, 120, 120)));
  p.drawLine(QPointF(2, 9), QPointF(14, 9));
  p.drawLine(QPointF(6, 6), QPointF(6, 13.5));
  p.drawLine(QPointF(10, 6), QPointF(10, 13.5));
}

void Chip(QPainter& p) {
  p.setPen(Pen(QColor(120, 120, 120)));
  for (int i = 0; i < 4; ++i) {
    qreal x = 4.5 + 2.3 * i;
    p.drawLine(QPointF(x, 1), QPointF(x, 3.5));
    p.drawLine(QPointF(x, 12.5), QPointF(x, 15));
  }
  p.setPen(Pen(Qt::black));
  p.setBrush(QColor(50, 60, 70));
  p.drawRect(QRectF(2.5, 3.5, 11, 9));
  p.setPen(Pen(QColor(200, 200, 200)));
  p.drawEllipse(QRectF(4, 5, 1.5, 1.5));
}

void WindowFrame(QPainter& p) {
  p.setPen(Pen(QColor(20, 40, 110)));
  p.setBrush(kPaper);
  p.drawRect(QRectF(1.5, 2.5, 13, 11));
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(40, 80, 200));
  p.drawRect(QRectF(2, 3, 12, 3));
  p.setBrush(Qt::white);
  p.drawRect(QRectF(11.5, 3.8, 1.6, 1.4));
}

void Tree(QPainter& p, const QColor& leaf) {
  p.setPen(Pen(kInk));
  p.drawLine(QPointF(4, 4), QPointF(4, 12.5));
  p.drawLine(QPointF(4, 8), QPointF(8, 8));
  p.drawLine(QPointF(4, 12.5), QPointF(8, 12.5));
  p.setPen(Pen(leaf.darker(160)));
  p.setBrush(leaf);
  p.drawRect(QRectF(1.5, 1.5, 5, 4));
  p.drawRect(QRectF(8.5, 6, 6, 4));
  p.drawRect(QRectF(8.5, 10.5, 6, 4));
}

void Monitor(QPainter& p) {
  p.setPen(Pen(kInk));
  p.setBrush(QColor(60, 60, 60));
  p.drawRect(QRectF(1.5, 1.5, 13, 9.5));
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(90, 170, 240));
  p.drawRect(QRectF(3, 3, 10, 6.5));
  p.setBrush(QColor(90, 90, 90));
  p.drawRect(QRectF(6.5, 11, 3, 2));
  p.drawRect(QRectF(4, 13, 8, 1.8));
  Letter(p, QRectF(3, 3, 10, 6.5), QStringLiteral("i"), Qt::white, 6);
}

void VersionTag(QPainter& p) {
  QPolygonF tag{QPointF(1.5, 8), QPointF(6, 3), QPointF(14.5, 3), QPointF(14.5, 13),
                QPointF(6, 13)};
  p.setPen(Pen(QColor(100, 60, 0)));
  p.setBrush(QColor(245, 215, 150));
  p.drawPolygon(tag);
  p.setBrush(kPaper);
  p.drawEllipse(QRectF(4, 7, 2, 2));
  Letter(p, QRectF(6.5, 3, 8, 10), QStringLiteral("v"), QColor(100, 60, 0), 9);
}

void Xml(QPainter& p) {
  p.setPen(Pen(QColor(0, 110, 130), 1.5));
  p.drawPolyline(QPolygonF{QPointF(5, 4), QPointF(1.5, 8), QPointF(5, 12)});
  p.drawPolyline(QPolygonF{QPointF(11, 4), QPointF(14.5, 8), QPointF(11, 12)});
  p.setPen(Pen(QColor(200, 80, 0), 1.5));
  p.drawLine(QPointF(9.5, 3), QPointF(6.5, 13));
}

void Stack(QPainter& p) {
  const QColor colors[4] = {QColor(200, 60, 60), QColor(230, 150, 40), QColor(90, 160, 70),
                            QColor(70, 110, 200)};
  for (int i = 0; i < 4; ++i) {
    p.setPen(Pen(colors[i].darker(160)));
    p.setBrush(colors[i]);
    p.drawRect(QRectF(1.5 + i, 1.5 + 3.4 * i, 13 - 2 * i, 2.6));
  }
}

void MethodArrow(QPainter& p, bool enter) {
  p.setPen(Pen(kInk, 1.2));
  p.setBrush(Qt::NoBrush);
  // A pair of braces stands for the method's body.
  p.drawPolyline(QPolygonF{QPointF(11, 2), QPointF(9.5, 2), QPointF(9.5, 14), QPointF(11, 14)});
  p.drawPolyline(QPolygonF{QPointF(13, 2), QPointF(14.5, 2), QPointF(14.5, 14), QPointF(13, 14)});
  const QColor color = enter ? QColor(20, 150, 40) : QColor(200, 60, 20);
  p.setPen(Pen(color, 1.8));
  if (enter) {
    p.drawLine(QPointF(1.5, 8), QPointF(11.5, 8));
    p.drawPolyline(QPolygonF{QPointF(8.5, 5), QPointF(11.5, 8), QPointF(8.5, 11)});
  } else {
    p.drawLine(QPointF(12, 8), QPointF(2, 8));
    p.drawPolyline(QPolygonF{QPointF(5, 5), QPointF(2, 8), QPointF(5, 11)});
  }
}

void Bubble(QPainter& p) {
  QPainterPath bubble;
  bubble.addRoundedRect(QRectF(1.5, 1.5, 13, 9.5), 3, 3);
  QPainterPath tail;
  tail.moveTo(4, 10);
  tail.lineTo(3.5, 14.5);
  tail.lineTo(8, 10.5);
  tail.closeSubpath();
  p.setPen(Pen(QColor(30, 80, 160)));
  p.setBrush(QColor(190, 215, 255));
  p.drawPath(bubble.united(tail));
  p.setPen(Pen(QColor(30, 80, 160), 1.5));
  p.drawPoint(QPointF(5, 6.2));
  p.drawPoint(QPointF(8, 6.2));
  p.drawPoint(QPointF(11, 6.2));
}

void MemoryStatus(QPainter& p) {
  p.setPen(Pen(kInk));
  p.setBrush(kPaper);
  p.drawRect(QRectF(1.5, 4.5, 13, 7));
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(60, 170, 90));
  p.drawRect(QRectF(2, 5, 7.5, 6));
  p.setPen(Pen(kInk));
  for (int i = 0; i < 4; ++i) p.drawLine(QPointF(3 + 3 * i, 12), QPointF(3 + 3 * i, 14.5));
}

void Draw(QPainter& p, int type) {
  switch (type) {
    case 0:
      Disc(p, QColor(30, 110, 220), QStringLiteral("i"));
      break;
    case 8:
      Note(p);
      break;
    case 1:
      Triangle(p);
      break;
    case 2:
      ErrorCross(p);
      break;
    case 37:
      Lightning(p);
      break;
    case 23:
      Bell(p);
      break;
    case 3:
      Flag(p);
      break;
    case 21:
      CustomFormat(p, QColor(40, 120, 200), QStringLiteral("T"));
      break;
    case 24:
      Level(p, QColor(220, 30, 30), 1);
      break;
    case 25:
      Level(p, QColor(250, 140, 20), 2);
      break;
    case 26:
      Level(p, QColor(250, 225, 40), 3);
      break;
    case 27:
      Level(p, QColor(40, 170, 60), 4);
      break;
    case 28:
      Level(p, QColor(30, 100, 230), 5);
      break;
    case 29:
      Level(p, QColor(75, 0, 130), 6);
      break;
    case 30:
      Level(p, QColor(160, 80, 220), 7);
      break;
    case 22:
      CustomFormat(p, QColor(150, 80, 190), QStringLiteral("P"));
      break;
    case 6:
      StringList(p);
      break;
    case 4:
      Cube(p, QColor(70, 130, 200));
      break;
    case 5:
      Gear(p);
      break;
    case 41:
      Collection(p);
      break;
    case 31:
      Palette(p);
      break;
    case 16:
      Picture(p);
      break;
    case 17:
      Sheet(p, kPaper, 4);
      break;
    case 38:
      Table(p, QColor(40, 150, 110));
      break;
    case 19:
      Chip(p);
      break;
    case 20:
      MemoryStatus(p);
      break;
    case 18:
      WindowFrame(p);
      break;
    case 32:
      Tree(p, QColor(230, 190, 70));
      break;
    case 33:
      Monitor(p);
      break;
    case 34:
      VersionTag(p);
      break;
    case 35:
      Xml(p);
      break;
    case 44:
      Tree(p, QColor(120, 190, 230));
      break;
    case 36:
      Stack(p);
      break;
    case 9:
      MethodArrow(p, true);
      break;
    case 10:
      MethodArrow(p, false);
      break;
    case 45:
      Bubble(p);
      break;
    default:
      break;
  }
}

}  // namespace

QPixmap DrawMessageTypeImage(int type, int size) {
  QPixmap pixmap(size, size);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  p.setRenderHint(QPainter::TextAntialiasing);
  p.scale(size / 16.0, size / 16.0);
  Draw(p, type);
  return pixmap;
}

QIcon MessageTypeIcon(int type) {
  static QHash<int, QIcon> cache;
  auto it = cache.find(type);
  if (it != cache.end()) return *it;
  QIcon icon;
  icon.addPixmap(DrawMessageTypeImage(type, 16));
  icon.addPixmap(DrawMessageTypeImage(type, 32));
  cache.insert(type, icon);
  return icon;
}

}  // namespace bx::ui
