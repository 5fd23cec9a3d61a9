#include "ui/new_category_dialog.h"

#include <QCheckBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "ui/dialog_style.h"

namespace bx::ui {

TFrmNewCategory::TFrmNewCategory(QWidget* parent) : QDialog(parent) {
  setWindowTitle(QString::fromUtf8(TNewCategoryPromptModel::kCaption));
  setWindowFlag(Qt::WindowStaysOnTopHint);
  ApplyDialogStyle(this);
  FixClientSize(this, 355, 121);

  auto* frame = new QFrame(this);
  frame->setFrameStyle(QFrame::Box | QFrame::Sunken);
  frame->setGeometry(4, 4, 347, 72);

  FEdit = new QLineEdit(this);
  Place(FEdit, 132, 12, 193);
  auto* prompt = new QLabel(QString::fromUtf8(TNewCategoryPromptModel::kPrompt), this);
  Place(prompt, 12, 16);
  FBlock = new QCheckBox(QString::fromUtf8(TNewCategoryPromptModel::kBlockCheckBox), this);
  Place(FBlock, 12, 44);
  FBlock->setChecked(FModel.Block());

  FOk = new QPushButton(QStringLiteral("OK"), this);
  Place(FOk, 180, 88, 75, 25);
  FOk->setDefault(true);
  connect(FOk, &QPushButton::clicked, this, &QDialog::accept);
  FCancel = new QPushButton(QStringLiteral("Cancel"), this);
  Place(FCancel, 268, 88, 75, 25);
  connect(FCancel, &QPushButton::clicked, this, &QDialog::reject);

  connect(FEdit, &QLineEdit::textChanged, this,
          [this](const QString& text) { FModel.SetText(text.toStdString()); });
  connect(FBlock, &QCheckBox::toggled, this, [this](bool checked) { FModel.SetBlock(checked); });
  FEdit->setFocus();
}

}  // namespace bx::ui
