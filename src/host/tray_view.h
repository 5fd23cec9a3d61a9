// TTrayView: what the hub needs from a desktop face: the notification-area icon, the popup
// menu, the log window and the dialogs. The hub keeps all state (icon index, menu items, error
// indicator) itself and tells the view what to show; the Qt face implements this interface,
// TNullTrayView stands in where there is no desktop (no display, service mode, tests).
//
// Ownership: the hub borrows its view; the view must outlive the hub.
// Threads: the main thread only; every call comes from the hub's message handling.
// Failure: a view reports nothing back but the answers below; a view that cannot show
// something simply does not show it.
#pragma once

#include <functional>
#include <string>

#include "host/dispatcher_log.h"
#include "host/tray_menu.h"

namespace bx {

class TTrayView {
 public:
  virtual ~TTrayView() = default;

  // Whether a notification area exists at all; false makes the hub run with NoTray.
  virtual bool TrayAvailable() = 0;
  // Whether the view tells the hub when the shell's taskbar is re-created (the hub's
  // TaskbarCreated); when not, the hub asks ShellPresent every 10 s instead.
  virtual bool NotifiesTaskbarCreated() = 0;
  virtual bool ShellPresent() = 0;

  // The tray icon: add it, change its picture, remove it. `index` is 0 to 5; `tooltip` is the
  // main window's caption.
  virtual void AddIcon(int index, const std::string& tooltip) = 0;
  virtual void ModifyIcon(int index, const std::string& tooltip) = 0;
  virtual void DeleteIcon() = 0;

  // Shows the popup menu at the cursor.
  virtual void PopupMenu(const TTrayMenu& menu) = 0;

  // The activity log window: show it (with the entries of `log`), whether it is visible, and
  // an entry just added while it may be showing.
  virtual void ShowLogWindow(const TFrmDispatcherLog& log) = 0;
  virtual bool LogWindowVisible() = 0;
  virtual void LogEntryAdded(const TDispatcherLogEntry& entry) = 0;
  // The hub's log, given once before its first entry; it outlives every later call. A view
  // that keeps a window of the entries reads them from here.
  virtual void AttachLog(const TFrmDispatcherLog& log) { (void)log; }
  // The log's entries were removed (Clear), also when rewriting the file failed afterwards.
  virtual void LogCleared() {}

  // A message box with `text` (the missing help file); false when there is no desktop to show
  // it on, and the hub writes the text to the activity log instead.
  virtual bool ShowMessage(const std::string& text) {
    (void)text;
    return false;
  }

  // The modal confirmation of "&Empty Message Queue"; true for "&Yes".
  virtual bool ConfirmEmptyQueue() = 0;
  // The settings dialog, modeless; `onSaved` is called after it saved the settings.
  virtual void ShowSettingsDialog(std::function<void()> onSaved) = 0;
  virtual void ShowAbout() = 0;
};

// No desktop: no tray, no windows, no dialogs (a confirmation is never given).
class TNullTrayView : public TTrayView {
 public:
  bool TrayAvailable() override { return false; }
  bool NotifiesTaskbarCreated() override { return true; }
  bool ShellPresent() override { return false; }
  void AddIcon(int, const std::string&) override {}
  void ModifyIcon(int, const std::string&) override {}
  void DeleteIcon() override {}
  void PopupMenu(const TTrayMenu&) override {}
  void ShowLogWindow(const TFrmDispatcherLog&) override {}
  bool LogWindowVisible() override { return false; }
  void LogEntryAdded(const TDispatcherLogEntry&) override {}
  bool ConfirmEmptyQueue() override { return false; }
  void ShowSettingsDialog(std::function<void()>) override {}
  void ShowAbout() override {}
};

}  // namespace bx
