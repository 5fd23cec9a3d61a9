// TFrmAddFolderVariable: the "Specify Named Path" dialog, a thin layer over
// TNamedPathEditorModel. "OK" (the default button) is enabled only while both edits hold text;
// the folder button inside the path edit opens the picker "Select a folder".
//
// Ownership: the caller owns the dialog (a parent widget may). Threads: the GUI thread only.
// Failure: none; a cancelled picker leaves the path unchanged.
#pragma once

#include <QDialog>
#include <string>

#include "host/named_path_editor_model.h"

class QAction;
class QLineEdit;
class QPushButton;

namespace bx::ui {

class TFrmAddFolderVariable : public QDialog {
  Q_OBJECT

 public:
  explicit TFrmAddFolderVariable(QWidget* parent = nullptr);

  // The two edits; the caller sets both before exec() and reads both after Accepted.
  std::string Name() const { return FModel.Name(); }
  std::string Path() const { return FModel.Path(); }
  void SetName(const std::string& name);
  void SetPath(const std::string& path);

  QLineEdit* NameEdit() const { return FNameEdit; }
  QLineEdit* PathEdit() const { return FPathEdit; }
  QAction* FolderAction() const { return FFolderAction; }
  QPushButton* OkButton() const { return FOk; }
  QPushButton* CancelButton() const { return FCancel; }

  // Opens the folder picker (the folder button does this).
  void PickFolder();

 private:
  void Update();

  TNamedPathEditorModel FModel;
  QLineEdit* FNameEdit;
  QLineEdit* FPathEdit;
  QAction* FFolderAction;
  QPushButton* FOk;
  QPushButton* FCancel;
};

}  // namespace bx::ui
