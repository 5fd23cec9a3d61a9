#include "ui/qt_tray_view.h"

#include <QAction>
#include <QCursor>

#include "host/frm_dispatcher.h"
#include "platform/log_entry.h"
#include "ui/dialogs.h"
#include "ui/face_images.h"

namespace bx::ui {

TQtTrayView::TQtTrayView(TMessageLoop& loop)
    : FLoop(loop), FLogWindow([&loop] { loop.Post(kWmClearLog); }) {
  connect(&FTray, &QSystemTrayIcon::activated, this, &TQtTrayView::OnActivated);
}

TQtTrayView::~TQtTrayView() { FTray.hide(); }

// A display exists, so a notification area may exist now or later; Qt follows it.
bool TQtTrayView::TrayAvailable() { return true; }

// Qt re-embeds the icon itself when a tray host (re)starts: nothing to watch for.
bool TQtTrayView::NotifiesTaskbarCreated() { return true; }

bool TQtTrayView::ShellPresent() { return QSystemTrayIcon::isSystemTrayAvailable(); }

void TQtTrayView::AddIcon(int index, const std::string& tooltip) {
  FTray.setIcon(TrayIcon(index));
  FTray.setToolTip(QString::fromStdString(tooltip));
  FTray.show();
  FShownIndex = index;
  if (!FNoTrayHostNoted && !QSystemTrayIcon::isSystemTrayAvailable()) {
    FNoTrayHostNoted = true;
    AddLogEntry(TLogLevel::Info,
                "No notification area on this display: the tray icon appears when one starts");
  }
}

void TQtTrayView::ModifyIcon(int index, const std::string& tooltip) {
  FTray.setIcon(TrayIcon(index));
  FTray.setToolTip(QString::fromStdString(tooltip));
  FShownIndex = index;
}

void TQtTrayView::DeleteIcon() {
  FTray.hide();
  FShownIndex = -1;
}

void TQtTrayView::OnActivated(QSystemTrayIcon::ActivationReason reason) {
  if (reason == QSystemTrayIcon::DoubleClick) FLoop.Post(kWmTrayCallback, 0, WM_LBUTTONDBLCLK);
  if (reason == QSystemTrayIcon::Context) FLoop.Post(kWmTrayCallback, 0, WM_RBUTTONUP);
}

void TQtTrayView::PopupMenu(const TTrayMenu& menu) {
  // A new menu each time: it shows the model as it is now. The old one goes once it closed.
  if (FMenu) FMenu.release()->deleteLater();
  FMenu = std::make_unique<QMenu>();
  FMenu->setObjectName(QStringLiteral("mnuPopup"));
  // The model decides about every separator, leading ones included.
  FMenu->setSeparatorsCollapsible(false);
  const std::vector<TTrayMenuItem>& items = menu.Items();
  for (size_t i = 0; i < items.size(); ++i) {
    const TTrayMenuItem& item = items[i];
    QAction* action = nullptr;
    if (item.IsSeparator) {
      action = FMenu->addSeparator();
    } else {
      action = FMenu->addAction(MenuImage(item.ImageIndex), QString::fromStdString(item.Caption));
      action->setEnabled(item.Enabled);
      if (item.IsDefault) {
        FMenu->setDefaultAction(action);
        QFont bold = action->font();
        bold.setBold(true);
        action->setFont(bold);
      }
      TMessageLoop* loop = &FLoop;
      connect(action, &QAction::triggered, FMenu.get(),
              [loop, i] { loop->Post(kWmMenuCommand, i); });
    }
    action->setObjectName(QString::fromStdString(item.Name));
    action->setVisible(item.Visible);
  }
  FMenu->popup(QCursor::pos());
}

void TQtTrayView::ShowLogWindow(const TFrmDispatcherLog& log) {
  (void)log;  // attached at the hub's creation
  FLogWindow.ShowLog();
}

bool TQtTrayView::LogWindowVisible() { return FLogWindow.isVisible(); }

void TQtTrayView::LogEntryAdded(const TDispatcherLogEntry& entry) { FLogWindow.EntryAdded(entry); }

void TQtTrayView::AttachLog(const TFrmDispatcherLog& log) { FLogWindow.Attach(log); }

void TQtTrayView::LogCleared() { FLogWindow.Cleared(); }

bool TQtTrayView::ShowMessage(const std::string& text) {
  ShowMessageBox(text);
  return true;
}

bool TQtTrayView::ConfirmEmptyQueue() { return bx::ui::ConfirmEmptyQueue(nullptr); }

void TQtTrayView::ShowSettingsDialog(std::function<void()> onSaved) {
  bx::ui::ShowSettingsDialog(std::move(onSaved));
}

void TQtTrayView::ShowAbout() { ShowAboutBox(); }

}  // namespace bx::ui
