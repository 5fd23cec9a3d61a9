// TFrmEmptyQueue: the confirmation of "&Empty Message Queue", with the question icon and the
// texts of empty_queue_confirmation.h. It stays on top. "&No" has the focus and is the default
// and the cancel button, so Enter, Escape and the close box answer No; only "&Yes" answers Yes.
//
// Ownership: the caller owns the dialog. Threads: the GUI thread only. Failure: none.
#pragma once

#include <QDialog>

#include "host/empty_queue_confirmation.h"

class QPushButton;

namespace bx::ui {

class TFrmEmptyQueue : public QDialog {
  Q_OBJECT

 public:
  explicit TFrmEmptyQueue(QWidget* parent = nullptr);

  // Shows the dialog modally and returns its answer.
  TConfirmAnswer Ask();

  QPushButton* YesButton() const { return FYes; }
  QPushButton* NoButton() const { return FNo; }

 private:
  QPushButton* FYes;
  QPushButton* FNo;
};

}  // namespace bx::ui
