#include "ui/about_box.h"

#include <QLabel>
#include <QLinearGradient>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QWindow>
#include <functional>

#include "host/about_box_model.h"

namespace bx::ui {

namespace {

// A clickable transparent area.
class TCloseArea : public QWidget {
 public:
  TCloseArea(QWidget* parent, std::function<void()> onClick)
      : QWidget(parent), FOnClick(std::move(onClick)) {
    setCursor(Qt::PointingHandCursor);
    setAttribute(Qt::WA_TranslucentBackground);
  }

 protected:
  void mouseReleaseEvent(QMouseEvent* event) override {
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) {
      FOnClick();
    }
  }
  void mousePressEvent(QMouseEvent* event) override { event->accept(); }

 private:
  std::function<void()> FOnClick;
};

QLabel* TransparentLabel(QWidget* parent, const QString& text, const QFont& font,
                         const QColor& color) {
  auto* label = new QLabel(text, parent);
  label->setAttribute(Qt::WA_TranslucentBackground);
  label->setAttribute(Qt::WA_TransparentForMouseEvents);
  label->setFont(font);
  QPalette palette = label->palette();
  palette.setColor(QPalette::WindowText, color);
  label->setPalette(palette);
  return label;
}

}  // namespace

QPixmap DrawAboutArtwork() {
  QPixmap art(kAboutWidth, kAboutHeight);
  QPainter p(&art);
  p.setRenderHint(QPainter::Antialiasing);

  // A deep blue field, lighter towards the top left.
  QLinearGradient sky(0, 0, kAboutWidth, kAboutHeight);
  sky.setColorAt(0.0, QColor(34, 72, 140));
  sky.setColorAt(1.0, QColor(10, 22, 58));
  p.fillRect(art.rect(), sky);

  // Routing lines: messages fanning out from one hub on the right to three destinations.
  const QPointF hub(352, 34);
  const QPointF ends[3] = {QPointF(425, 4), QPointF(425, 44), QPointF(425, 84)};
  for (int i = 0; i < 3; ++i) {
    QPainterPath line;
    line.moveTo(hub);
    line.cubicTo(QPointF(385, hub.y()), QPointF(390, ends[i].y()), ends[i]);
    p.setPen(QPen(QColor(120, 190, 255, 150), 3));
    p.setBrush(Qt::NoBrush);
    p.drawPath(line);
  }
  for (int i = 0; i < 5; ++i) {
    QPainterPath line;
    line.moveTo(QPointF(230, 4 + 12 * i));
    line.cubicTo(QPointF(290, 4 + 12 * i), QPointF(310, hub.y()), hub);
    p.setPen(QPen(QColor(255, 255, 255, 60), 2));
    p.drawPath(line);
  }
  QRadialGradient glow(hub, 26);
  glow.setColorAt(0.0, QColor(255, 230, 140));
  glow.setColorAt(0.5, QColor(255, 170, 40));
  glow.setColorAt(1.0, QColor(255, 170, 40, 0));
  p.setPen(Qt::NoPen);
  p.setBrush(glow);
  p.drawEllipse(hub, 26, 26);
  p.setBrush(QColor(255, 250, 235));
  p.drawEllipse(hub, 7, 7);

  // A light band behind the texts.
  QLinearGradient band(0, 60, 0, 240);
  band.setColorAt(0.0, QColor(255, 255, 255, 235));
  band.setColorAt(1.0, QColor(225, 234, 248, 235));
  p.setBrush(band);
  p.drawRoundedRect(QRectF(24, 66, 392, 172), 10, 10);
  p.setBrush(QColor(255, 170, 40));
  p.drawRect(QRectF(24, 126, 6, 52));

  // The product mark at the top left: a stylised "B" of three stacked bars.
  const QColor bars[3] = {QColor(255, 170, 40), QColor(120, 190, 255), QColor(255, 255, 255)};
  for (int i = 0; i < 3; ++i) {
    p.setBrush(bars[i]);
    p.drawRoundedRect(QRectF(30, 18 + 13 * i, 70 - 12 * i, 9), 4, 4);
  }
  QFont mark(QStringLiteral("DejaVu Sans"));
  mark.setPixelSize(22);
  mark.setBold(true);
  p.setFont(mark);
  p.setPen(Qt::white);
  p.drawText(QPointF(112, 44), QStringLiteral("Brevix"));

  // Footer and the close button drawn into the picture where the close area lies.
  p.setPen(QPen(QColor(255, 255, 255, 70), 1));
  p.drawLine(QPointF(24, 298), QPointF(401, 298));
  QFont small(QStringLiteral("DejaVu Sans"));
  small.setPixelSize(11);
  p.setFont(small);
  p.setPen(QColor(200, 215, 240));
  p.drawText(QRectF(24, 311, 290, 25), Qt::AlignVCenter | Qt::AlignLeft,
             QStringLiteral("Diagnostic logging for your applications"));
  const QRectF close(kAboutCloseArea.Left, kAboutCloseArea.Top, kAboutCloseArea.Width,
                     kAboutCloseArea.Height);
  p.setPen(QPen(QColor(255, 200, 110), 1.5));
  p.setBrush(QColor(255, 170, 40, 60));
  p.drawRoundedRect(close.adjusted(0.75, 0.75, -0.75, -0.75), 5, 5);
  QFont closeFont(QStringLiteral("DejaVu Sans"));
  closeFont.setPixelSize(12);
  closeFont.setBold(true);
  p.setFont(closeFont);
  p.setPen(Qt::white);
  p.drawText(close, Qt::AlignCenter, QStringLiteral("Close"));
  return art;
}

TFrmAbout::TFrmAbout(int tool, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint), FArtwork(DrawAboutArtwork()) {
  setFixedSize(kAboutWidth, kAboutHeight);
  const TAboutTool texts = AboutTool(tool);
  setWindowTitle(QString::fromUtf8(texts.Name));

  QFont versionFont(QStringLiteral("Arial"));
  versionFont.setFamilies({QStringLiteral("Arial"), QStringLiteral("DejaVu Sans")});
  versionFont.setPixelSize(kAboutVersionPixelSize);
  versionFont.setBold(true);
  FVersion =
      TransparentLabel(this, QString::fromUtf8(kAboutVersion), versionFont, QColor(30, 60, 120));
  FVersion->move(kAboutVersionLeft, kAboutVersionTop);
  FVersion->adjustSize();

  QFont nameFont;
  nameFont.setFamilies({QStringLiteral("Tahoma"), QStringLiteral("DejaVu Sans")});
  nameFont.setPixelSize(kAboutNamePixelSize);
  nameFont.setBold(true);
  FName = TransparentLabel(this, QString::fromUtf8(texts.Name), nameFont, QColor(15, 30, 70));
  FName->move(kAboutNameLeft, kAboutNameTop);
  FName->adjustSize();

  QFont descriptionFont;
  descriptionFont.setFamilies({QStringLiteral("Tahoma"), QStringLiteral("DejaVu Sans")});
  descriptionFont.setPixelSize(12);
  FDescription = TransparentLabel(this, QString::fromUtf8(texts.Description), descriptionFont,
                                  QColor(40, 50, 70));
  FDescription->setWordWrap(true);
  FDescription->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  FDescription->setGeometry(kAboutDescriptionRect.Left, kAboutDescriptionRect.Top,
                            kAboutDescriptionRect.Width, kAboutDescriptionRect.Height);

  FCloseArea = new TCloseArea(this, [this] { accept(); });
  FCloseArea->setObjectName(QStringLiteral("CloseArea"));
  FCloseArea->setGeometry(kAboutCloseArea.Left, kAboutCloseArea.Top, kAboutCloseArea.Width,
                          kAboutCloseArea.Height);
}

void TFrmAbout::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.drawPixmap(0, 0, FArtwork);
}

void TFrmAbout::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return QDialog::mousePressEvent(event);
  // A window manager moves the window itself; without one the box follows the cursor.
  if (windowHandle() != nullptr && windowHandle()->startSystemMove()) return;
  FDragging = true;
  FDragOffset = event->globalPosition().toPoint() - frameGeometry().topLeft();
}

void TFrmAbout::mouseMoveEvent(QMouseEvent* event) {
  if (!FDragging) return QDialog::mouseMoveEvent(event);
  move(event->globalPosition().toPoint() - FDragOffset);
}

void TFrmAbout::mouseReleaseEvent(QMouseEvent* event) {
  FDragging = false;
  QDialog::mouseReleaseEvent(event);
}

void ShowAbout(int tool, QWidget* parent) {
  TFrmAbout about(tool, parent);
  about.exec();
}

}  // namespace bx::ui
