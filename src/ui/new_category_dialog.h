// TFrmNewCategory: the new-category prompt of the "Blocked Categories" page, a thin layer over
// TNewCategoryPromptModel. It stays on top; "Block Messages with this Category" starts checked;
// "OK" (default) accepts any text, an empty one too; "Cancel" (Escape) rejects.
//
// Ownership: the caller owns the dialog. Threads: the GUI thread only. Failure: none.
#pragma once

#include <QDialog>
#include <string>

#include "host/new_category_prompt_model.h"

class QCheckBox;
class QLineEdit;
class QPushButton;

namespace bx::ui {

class TFrmNewCategory : public QDialog {
  Q_OBJECT

 public:
  explicit TFrmNewCategory(QWidget* parent = nullptr);

  std::string Text() const { return FModel.Text(); }
  bool Block() const { return FModel.Block(); }

  QLineEdit* Edit() const { return FEdit; }
  QCheckBox* BlockCheckBox() const { return FBlock; }
  QPushButton* OkButton() const { return FOk; }
  QPushButton* CancelButton() const { return FCancel; }

 private:
  TNewCategoryPromptModel FModel;
  QLineEdit* FEdit;
  QCheckBox* FBlock;
  QPushButton* FOk;
  QPushButton* FCancel;
};

}  // namespace bx::ui
