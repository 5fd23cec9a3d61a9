#include "ui/dialogs.h"

#include <QCoreApplication>
#include <QMessageBox>
#include <QPointer>
#include <QString>
#include <exception>

#include "config/paths.h"
#include "platform/log_entry.h"
#include "ui/about_box.h"
#include "ui/empty_queue_dialog.h"
#include "ui/settings_dialog.h"

namespace bx::ui {

namespace {

// The one settings dialog of the process, created on first use.
QPointer<TfrmDispatcherSettings>& SettingsDialog() {
  static QPointer<TfrmDispatcherSettings> dialog;
  return dialog;
}

void FreeSettingsDialog() { delete SettingsDialog().data(); }

void ReportException(const char* where, const std::exception& e) {
  AddLogEntry(TLogLevel::Error, std::string("Exception occurred in ") + where + ": " + e.what());
}

}  // namespace

bool ConfirmEmptyQueue(QWidget* parent) {
  try {
    TFrmEmptyQueue confirmation(parent);
    return confirmation.Ask() == TConfirmAnswer::Yes;
  } catch (const std::exception& e) {
    ReportException("ConfirmEmptyQueue", e);
    return false;
  }
}

void ShowSettingsDialog(std::function<void()> onSaved) {
  try {
    QPointer<TfrmDispatcherSettings>& dialog = SettingsDialog();
    if (dialog.isNull()) {
      dialog = new TfrmDispatcherSettings();
      // Freed while the application still exists, before its widgets are torn down.
      qAddPostRoutine(FreeSettingsDialog);
    }
    dialog->ShowSettings(std::move(onSaved));
  } catch (const std::exception& e) {
    ReportException("ShowSettingsDialog", e);
  }
}

void ShowAboutBox() {
  try {
    ShowAbout(0);
  } catch (const std::exception& e) {
    ReportException("ShowAboutBox", e);
  }
}

void ShowMessageBox(const std::string& text) {
  QMessageBox box(QMessageBox::Critical, QStringLiteral("Brevix Help"),
                  QString::fromStdString(text), QMessageBox::Ok);
  box.exec();
}

void ShowHelp(const std::string& topic) {
  if (!HelpFileExists()) {
    ShowMessageBox(kHelpMissingText);
    return;
  }
  ShowHelpTopic(topic);
}

}  // namespace bx::ui
