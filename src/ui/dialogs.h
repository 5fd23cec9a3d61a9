// The dialogs of the desktop face: the empty-queue confirmation, the settings dialog, the about
// box, help and a plain message box. The tray view calls them; the rules behind the settings
// dialog and the small dialogs live in the Qt-free dialog model under host/.
//
// Ownership: each function creates what it shows; the settings dialog is created once and kept
// for the life of the QApplication (freed when the application is destroyed).
// Threads: the GUI (main) thread only, with a QApplication running.
// Failure: nothing is thrown into the caller; a dialog that cannot be shown is not shown, and an
// exception from a dialog or its callback becomes an Error entry of the activity log.
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
// A message box with the given text (the missing help file): caption "Brevix Help", error icon.
void ShowMessageBox(const std::string& text);
// Opens a topic of the help file ("Dispatcher", "Dispatcher_Settings"); when the help file is
// missing, shows kHelpMissingText (config/paths.h) in ShowMessageBox.
void ShowHelp(const std::string& topic);

}  // namespace bx::ui
