// The hub with the Qt view and the pump in one process, as the desktop run has them, for the
// QtTest programs: a temporary BREVIX_HOME with the given settings, the main loop published,
// the hub on the Qt view, Qt's event loop driving the hub's loop. Plus helpers that act on a
// modal dialog from inside its own event loop.
#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/dispatch_core.h"
#include "host/frm_dispatcher.h"
#include "messages/dispatch_message.h"
#include "messages/message_format.h"
#include "platform/folders.h"
#include "platform/message_loop.h"
#include "support/temp_home.h"
#include "ui/loop_pump.h"
#include "ui/qt_tray_view.h"

namespace bx::test {

class TFaceFixture {
 public:
  // `settings`: the text of BxDispatcher.ini ("" for none).
  explicit TFaceFixture(const std::string& settings) {
    if (!settings.empty()) {
      std::string error;
      CreateFolderChain(FHome / "common/Korvane/Brevix/4.0", &error);
      WriteFile(FHome / "common/Korvane/Brevix/4.0/BxDispatcher.ini", settings);
    }
    SetMainLoop(&Loop);
    View = std::make_unique<ui::TQtTrayView>(Loop);
    TFrmDispatcherOptions options;
    options.View = View.get();
    Hub = std::make_unique<TFrmDispatcher>(Loop, std::move(options));
    Pump = std::make_unique<ui::TLoopPump>(Loop);
  }
  ~TFaceFixture() {
    Hub.reset();
    Pump.reset();
    View.reset();
    SetMainLoop(nullptr);
  }

  bool HasEntry(const std::string& text) const {
    for (const TDispatcherLogEntry& e : Hub->Log().Entries()) {
      if (e.Text == text) return true;
    }
    return false;
  }
  size_t MenuIndex(const std::string& name) const {
    const auto& items = Hub->Menu().Items();
    for (size_t i = 0; i < items.size(); ++i) {
      if (items[i].Name == name) return i;
    }
    return items.size();
  }
  std::string EndpointPath() const {
    return WindowEndpointPath(TFrmDispatcher::kClassName, TFrmDispatcher::kCaption);
  }

  TTempHome FHome;
  TMessageLoop Loop;
  std::unique_ptr<ui::TQtTrayView> View;
  std::unique_ptr<TFrmDispatcher> Hub;
  std::unique_ptr<ui::TLoopPump> Pump;
};

// A logger's record as a WM_COPYDATA block carries it.
inline std::string RecordBytes(int32_t type, const std::string& id, const std::string& text) {
  TDispatchMessagePtr record = BuildDispatchMessage(
      {.MsgType = type, .DispatchID = id, .AppName = "FaceTest", .MsgText = text});
  return std::string(reinterpret_cast<const char*>(record.get()),
                     static_cast<size_t>(DispatchMessageSize(*record)));
}

// Calls `tick` every 20 ms while a modal dialog is up, from inside that dialog's event loop,
// until it returns true (or 60 s pass). Finished() tells the test when it is over.
class TWhileModal : public QObject {
 public:
  explicit TWhileModal(std::function<bool(QWidget*)> tick) : FTick(std::move(tick)) {
    connect(&FTimer, &QTimer::timeout, this, [this] {
      if (++FTicks > 3000) return Stop();
      if (QWidget* modal = QApplication::activeModalWidget()) {
        FSawModal = true;
        if (FTick(modal)) Stop();
      }
    });
    FTimer.start(20);
  }
  bool Finished() const { return FFinished; }
  bool SawModal() const { return FSawModal; }

 private:
  void Stop() {
    FTimer.stop();
    FFinished = true;
  }
  std::function<bool(QWidget*)> FTick;
  QTimer FTimer;
  int FTicks = 0;
  bool FSawModal = false;
  bool FFinished = false;
};

// Clicks the button of `dialog` whose text is `text` ("&Yes"); false when there is none.
inline bool ClickButton(QWidget* dialog, const QString& text) {
  for (QAbstractButton* button : dialog->findChildren<QAbstractButton*>()) {
    if (button->text() == text && button->isVisible()) {
      button->click();
      return true;
    }
  }
  return false;
}

}  // namespace bx::test
