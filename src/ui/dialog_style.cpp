#include "ui/dialog_style.h"

#include <QFont>
#include <QPalette>
#include <QWidget>

namespace bx::ui {

void ApplyDialogStyle(QWidget* dialog) {
  QFont font;
  font.setFamilies({QStringLiteral("Tahoma"), QStringLiteral("DejaVu Sans Condensed"),
                    QStringLiteral("DejaVu Sans")});
  font.setPointSize(8);
  dialog->setFont(font);
  QPalette palette = dialog->palette();
  const QColor face = palette.color(QPalette::Button);
  // 20 steps of a 0..240 lightness scale, on Qt's 0..255 scale.
  const int darker = qMax(0, face.toHsl().lightness() - 20 * 255 / 240);
  const QColor background =
      QColor::fromHsl(face.toHsl().hslHue(), face.toHsl().hslSaturation(), darker);
  palette.setColor(QPalette::Window, background);
  dialog->setPalette(palette);
  dialog->setAutoFillBackground(true);
}

void FixClientSize(QWidget* dialog, int width, int height) { dialog->setFixedSize(width, height); }

void Place(QWidget* widget, int left, int top, int width, int height) {
  const QSize hint = widget->sizeHint();
  widget->setGeometry(left, top, width < 0 ? hint.width() : width,
                      height < 0 ? hint.height() : height);
}

}  // namespace bx::ui
