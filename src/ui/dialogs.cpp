// Stand-ins for the dialogs until the real ones replace this file: the confirmation and the
// message boxes work; the settings dialog is not built yet and shows nothing.
#include "ui/dialogs.h"

#include <QMessageBox>
#include <QString>

namespace bx::ui {

bool ConfirmEmptyQueue(QWidget* parent) {
  QMessageBox box(QMessageBox::Question, QStringLiteral("Brevix Dispatcher"),
                  QStringLiteral("Remove All messages currently in the queue?"),
                  QMessageBox::Yes | QMessageBox::No, parent);
  box.setDefaultButton(QMessageBox::No);
  box.setEscapeButton(QMessageBox::No);
  return box.exec() == QMessageBox::Yes;
}

void ShowSettingsDialog(std::function<void()> onSaved) { (void)onSaved; }

void ShowAboutBox() {
  QMessageBox::about(nullptr, QStringLiteral("Brevix Dispatcher"),
                     QStringLiteral("Brevix Dispatcher\nVersion 4.6.2"));
}

void ShowMessageBox(const std::string& text) {
  QMessageBox::information(nullptr, QStringLiteral("Brevix Dispatcher"),
                           QString::fromStdString(text));
}

}  // namespace bx::ui
