#include "ui/named_path_dialog.h"

#include <QAction>
#include <QFileDialog>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>

#include "ui/dialog_style.h"

namespace bx::ui {

TFrmAddFolderVariable::TFrmAddFolderVariable(QWidget* parent) : QDialog(parent) {
  setWindowTitle(QString::fromUtf8(TNamedPathEditorModel::kCaption));
  ApplyDialogStyle(this);
  FixClientSize(this, 443, 124);

  auto* frame = new QFrame(this);
  frame->setFrameStyle(QFrame::Box | QFrame::Sunken);
  frame->setGeometry(4, 4, 435, 76);

  FNameEdit = new QLineEdit(this);
  Place(FNameEdit, 52, 12, 189);
  auto* nameLabel = new QLabel(QString::fromUtf8(TNamedPathEditorModel::kNameLabel), this);
  Place(nameLabel, 12, 12 + (FNameEdit->height() - nameLabel->sizeHint().height()) / 2);

  FPathEdit = new QLineEdit(this);
  Place(FPathEdit, 52, 40, 365);
  auto* pathLabel = new QLabel(QString::fromUtf8(TNamedPathEditorModel::kPathLabel), this);
  Place(pathLabel, 12, 40 + (FPathEdit->height() - pathLabel->sizeHint().height()) / 2);
  FFolderAction = FPathEdit->addAction(style()->standardIcon(QStyle::SP_DirOpenIcon),
                                       QLineEdit::TrailingPosition);
  FFolderAction->setToolTip(QString::fromUtf8(TNamedPathEditorModel::kPickerTitle));
  connect(FFolderAction, &QAction::triggered, this, &TFrmAddFolderVariable::PickFolder);

  FOk = new QPushButton(QStringLiteral("OK"), this);
  Place(FOk, 268, 92, 75, 25);
  FOk->setDefault(true);
  connect(FOk, &QPushButton::clicked, this, &QDialog::accept);
  FCancel = new QPushButton(QStringLiteral("Cancel"), this);
  Place(FCancel, 356, 92, 75, 25);
  connect(FCancel, &QPushButton::clicked, this, &QDialog::reject);

  connect(FNameEdit, &QLineEdit::textChanged, this, [this](const QString& text) {
    FModel.SetName(text.toStdString());
    Update();
  });
  connect(FPathEdit, &QLineEdit::textChanged, this, [this](const QString& text) {
    FModel.SetPath(text.toStdString());
    Update();
  });
  Update();
}

void TFrmAddFolderVariable::SetName(const std::string& name) {
  FNameEdit->setText(QString::fromStdString(name));
}

void TFrmAddFolderVariable::SetPath(const std::string& path) {
  FPathEdit->setText(QString::fromStdString(path));
}

void TFrmAddFolderVariable::PickFolder() {
  QFileDialog picker(this, QString::fromUtf8(TNamedPathEditorModel::kPickerTitle),
                     FPathEdit->text());
  picker.setObjectName(QStringLiteral("FolderPicker"));
  picker.setFileMode(QFileDialog::Directory);
  picker.setOptions(QFileDialog::ShowDirsOnly | QFileDialog::DontUseNativeDialog);
  if (picker.exec() != QDialog::Accepted || picker.selectedFiles().isEmpty()) return;
  FModel.FolderPicked(picker.selectedFiles().front().toStdString());
  FPathEdit->setText(QString::fromStdString(FModel.Path()));
}

void TFrmAddFolderVariable::Update() { FOk->setEnabled(FModel.OkEnabled()); }

}  // namespace bx::ui
