// TQtDesktopFace: the desktop face on Qt Widgets: the QApplication, the pump that drives the
// hub's loop from Qt's event loop, and the tray view. BxCreateDesktopFace (the module's export,
// desktop_face.h) makes one.
//
// A QApplication is created only when it can open its display: with QT_QPA_PLATFORM unset or
// naming xcb, the X display must accept a client (or, unset, a Wayland compositor must answer
// and Qt's Wayland plugin be installed); another platform named there (offscreen in tests) is
// taken as it is. Otherwise Create returns null with the reason, before Qt is touched, because
// Qt ends the process when it cannot open its display.
// The QApplication sets the whole C locale from the environment; the face puts it back to "C"
// with the user's LC_TIME, as the rest of the program has it (short_date.h).
//
// Ownership: the program's entry owns the face; the face owns the QApplication, which it
// creates in Create and destroys last. Only one face exists per process.
// Threads: the main thread only. Failure: Create returns null and says why.
#pragma once

#include <QApplication>
#include <memory>
#include <string>

#include "host/desktop_face.h"
#include "ui/loop_pump.h"
#include "ui/qt_tray_view.h"

namespace bx::ui {

class TQtDesktopFace : public TDesktopFace {
 public:
  static std::unique_ptr<TQtDesktopFace> Create(TMessageLoop& loop, std::string* error);
  ~TQtDesktopFace() override;

  TTrayView& View() override { return *FView; }
  int Run() override;

  TQtTrayView& QtView() { return *FView; }
  TLoopPump& Pump() { return *FPump; }

 private:
  TQtDesktopFace(TMessageLoop& loop, std::unique_ptr<QApplication> app);

  TMessageLoop& FLoop;
  std::unique_ptr<QApplication> FApp;
  std::unique_ptr<TLoopPump> FPump;
  std::unique_ptr<TQtTrayView> FView;
};

}  // namespace bx::ui
