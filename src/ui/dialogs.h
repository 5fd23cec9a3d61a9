// The dialogs of the desktop face: the empty-queue confirmation, the settings dialog, the about
// box and a plain message box. The tray view calls them; the rules behind the settings dialog
// and the small dialogs live in the Qt-free dialog model under host/.
//
// Ownership: each function creates what it shows; the settings dialog is created once and kept
// for the life of the QApplication.
// Threads: the GUI (main) thread only, with a QApplication running.
// Failure: nothing is thrown into the caller; a dialog that cannot be shown is not shown.
#pragma once

#include <functional>
#include <string>

class QWidget;

namespace bx::ui {

// Modal "&Empty Message Queue" confirmation; true only for Yes.
bool ConfirmEmptyQueue(QWidget* parent);
// The modeless settings dialog; onSaved runs after Close saved the settings file.
void ShowSettingsDialog(std::function<void()> onSaved);
// The about box.
void ShowAboutBox();
// A message box with the given text (the missing help file).
void ShowMessageBox(const std::string& text);

}  // namespace bx::ui
