#include "ui/loop_pump.h"

#include <QCoreApplication>
#include <chrono>

namespace bx::ui {

TLoopPump::TLoopPump(TMessageLoop& loop, QObject* parent)
    : QObject(parent),
      FLoop(loop),
      FNotifier(static_cast<qintptr>(loop.WakeHandle()), QSocketNotifier::Read) {
  FTimer.setSingleShot(true);
  FTimer.setTimerType(Qt::PreciseTimer);
  connect(&FNotifier, &QSocketNotifier::activated, this, &TLoopPump::Pump);
  connect(&FTimer, &QTimer::timeout, this, &TLoopPump::Pump);
  ArmTimer();
}

void TLoopPump::Pump() {
  if (FEnded) return;
  ++FPumpCount;
  const bool running = FLoop.ProcessPending();
  if (FEnded) return;  // a nested pump inside a handler took the WM_QUIT
  if (!running) {
    FEnded = true;
    FNotifier.setEnabled(false);
    FTimer.stop();
    QCoreApplication::exit(FLoop.ExitCode());
    return;
  }
  ArmTimer();
}

void TLoopPump::ArmTimer() {
  const auto due = FLoop.NextTimerDue();
  if (!due) {
    FTimer.stop();
    return;
  }
  using namespace std::chrono;
  const auto left = *due - steady_clock::now();
  // Rounded up: waking a little late hands the timer over; waking early would only find it
  // not yet due and wait again.
  const auto ms = left <= nanoseconds::zero() ? milliseconds::zero() : ceil<milliseconds>(left);
  FTimer.start(static_cast<int>(std::min<milliseconds::rep>(ms.count(), 1 << 30)));
}

}  // namespace bx::ui
