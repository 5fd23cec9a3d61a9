// TLoopPump: drives the hub's TMessageLoop from Qt's event loop on the main thread. A
// QSocketNotifier watches the loop's wake handle and a single-shot QTimer waits for the loop's
// next timer; either runs ProcessPending. Qt and the hub thus sleep in the same system wait,
// and a message posted or sent from another thread (a logger's WM_COPYDATA on the endpoint) is
// handled in the next turn of whatever Qt event loop runs, nested loops of modal dialogs and
// menus included (see message_loop.h on re-entrance).
//
// When the loop takes WM_QUIT, the pump tells Qt to leave every event loop with the loop's
// exit code and stops watching.
//
// Ownership: borrows the loop, which must outlive the pump. Threads: the main thread only.
// Failure: the constructor throws std::system_error when the wake handle cannot be made.
#pragma once

#include <QObject>
#include <QSocketNotifier>
#include <QTimer>

#include "platform/message_loop.h"

namespace bx::ui {

class TLoopPump : public QObject {
  Q_OBJECT

 public:
  explicit TLoopPump(TMessageLoop& loop, QObject* parent = nullptr);

  // How often ProcessPending ran (for tests: an answer within one turn).
  int PumpCountForTest() const { return FPumpCount; }
  bool LoopEnded() const { return FEnded; }

 private:
  void Pump();
  void ArmTimer();

  TMessageLoop& FLoop;
  QSocketNotifier FNotifier;
  QTimer FTimer;
  int FPumpCount = 0;
  bool FEnded = false;
};

}  // namespace bx::ui
