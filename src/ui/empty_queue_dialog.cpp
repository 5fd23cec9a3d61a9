#include "ui/empty_queue_dialog.h"

#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QStyle>

#include "ui/dialog_style.h"

namespace bx::ui {

TFrmEmptyQueue::TFrmEmptyQueue(QWidget* parent) : QDialog(parent) {
  setWindowTitle(QString::fromUtf8(kEmptyQueueCaption));
  setWindowFlag(Qt::WindowStaysOnTopHint);
  ApplyDialogStyle(this);
  FixClientSize(this, 364, 185);

  auto* frame = new QFrame(this);
  frame->setFrameStyle(QFrame::Box | QFrame::Sunken);
  frame->setGeometry(4, 4, 356, 136);

  auto* icon = new QLabel(this);
  icon->setObjectName(QStringLiteral("QuestionIcon"));
  icon->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxQuestion).pixmap(32, 32));
  icon->setGeometry(12, 12, 32, 32);

  auto* question = new QLabel(QString::fromUtf8(kEmptyQueueQuestion), this);
  Place(question, 52, 12);
  auto* noteTitle = new QLabel(QString::fromUtf8(kEmptyQueueNoteTitle), this);
  QFont bold = noteTitle->font();
  bold.setBold(true);
  noteTitle->setFont(bold);
  Place(noteTitle, 52, 40);
  auto* note = new QLabel(QString::fromUtf8(kEmptyQueueNote), this);
  note->setWordWrap(true);
  note->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  // 285 by 73 with the dialog font; a wider face grows the label downwards inside the frame.
  note->setGeometry(52, 56, 285, qBound(73, note->heightForWidth(285), 84));

  FYes = new QPushButton(QString::fromUtf8(kEmptyQueueYes), this);
  Place(FYes, 188, 152, 75, 25);
  FYes->setAutoDefault(false);
  connect(FYes, &QPushButton::clicked, this, &QDialog::accept);
  FNo = new QPushButton(QString::fromUtf8(kEmptyQueueNo), this);
  Place(FNo, 276, 152, 75, 25);
  FNo->setDefault(true);
  connect(FNo, &QPushButton::clicked, this, &QDialog::reject);
  FNo->setFocus();
}

TConfirmAnswer TFrmEmptyQueue::Ask() {
  FNo->setFocus();
  return exec() == QDialog::Accepted ? TConfirmAnswer::Yes : TConfirmAnswer::No;
}

}  // namespace bx::ui
