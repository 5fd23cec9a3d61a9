// TQtTrayView: the hub's view (TTrayView) on Qt: the tray icon, its popup menu, the log window
// and the dialogs. It keeps no state of the hub's: the hub says which icon, which menu and
// which entries to show.
//
// - Tray: one QSystemTrayIcon with the face's six icons and the tooltip the hub gives. A right
//   click posts the tray callback WM_USER+70 with WM_RBUTTONUP, a double click with
//   WM_LBUTTONDBLCLK; the hub answers with PopupMenu or the settings. The notification area
//   may come and go: Qt embeds the icon again whenever a tray host takes the desktop's tray
//   selection, at start-up or later, so availability is never latched here. When the hub
//   first adds the icon and no tray host is there, one Info entry says so.
// - Menu: built from the hub's TTrayMenu each time it opens (captions with their "&" keys,
//   separators as the model has them, the seven images, the default item in bold, enabled and
//   visible flags); choosing an item posts WM_USER+72 with the item's index, so the command
//   runs in the hub's message handling, never inside Qt's.
// - Log window and Clear: see log_window.h; Clear posts WM_USER+73.
// - Dialogs: dialogs.h.
//
// Ownership: the face owns the view; the loop is borrowed and must outlive it.
// Threads: the GUI (main) thread only. Failure: nothing is thrown into the hub or into Qt.
#pragma once

#include <QMenu>
#include <QSystemTrayIcon>
#include <memory>

#include "host/tray_view.h"
#include "platform/message_loop.h"
#include "ui/log_window.h"

namespace bx::ui {

class TQtTrayView : public QObject, public TTrayView {
  Q_OBJECT

 public:
  explicit TQtTrayView(TMessageLoop& loop);
  ~TQtTrayView() override;

  bool TrayAvailable() override;
  bool NotifiesTaskbarCreated() override;
  bool ShellPresent() override;
  void AddIcon(int index, const std::string& tooltip) override;
  void ModifyIcon(int index, const std::string& tooltip) override;
  void DeleteIcon() override;
  void PopupMenu(const TTrayMenu& menu) override;
  void ShowLogWindow(const TFrmDispatcherLog& log) override;
  bool LogWindowVisible() override;
  void LogEntryAdded(const TDispatcherLogEntry& entry) override;
  void AttachLog(const TFrmDispatcherLog& log) override;
  void LogCleared() override;
  bool ShowMessage(const std::string& text) override;
  bool ConfirmEmptyQueue() override;
  void ShowSettingsDialog(std::function<void()> onSaved) override;
  void ShowAbout() override;

  // For tests and pictures: the icon index shown (-1 when no icon is shown), the tray icon,
  // the menu last opened (null before), the log window.
  int ShownIconIndex() const { return FShownIndex; }
  QSystemTrayIcon& Tray() { return FTray; }
  QMenu* OpenedMenu() { return FMenu.get(); }
  TLogWindow& LogWindow() { return FLogWindow; }

 private:
  void OnActivated(QSystemTrayIcon::ActivationReason reason);

  TMessageLoop& FLoop;
  QSystemTrayIcon FTray;
  std::unique_ptr<QMenu> FMenu;
  TLogWindow FLogWindow;
  int FShownIndex = -1;
  bool FNoTrayHostNoted = false;
};

}  // namespace bx::ui
