// TDesktopFace: the desktop user interface, built as the loadable module
// lib/brevix/BxDispatcherFace.so beside the program's bin/ folder (installed:
// /usr/lib/brevix/BxDispatcherFace.so beside /usr/bin), so that the headless program never
// depends on the toolkit. The module's undefined symbols resolve to the program's own, so the
// face and the hub share every process-wide object (the main loop, AddLogEntry, the settings).
//
// The program loads the face only for a desktop run with a display named in the environment,
// never in service mode. Without the module, or when it cannot start (no reachable display, a
// missing toolkit), the program runs headless with NoTray as before; LoadDesktopFace says why.
//
// Ownership: the program's entry owns the face; the face owns its toolkit application and the
// view. The face must outlive the hub (the hub borrows View()).
// Threads: the main thread only, the one that runs the main loop.
// Failure: LoadDesktopFace returns null with the reason; nothing is thrown into the toolkit.
#pragma once

#include <memory>
#include <string>

#include "host/tray_view.h"
#include "platform/message_loop.h"

namespace bx {

class TDesktopFace {
 public:
  virtual ~TDesktopFace() = default;

  virtual TTrayView& View() = 0;

  // Runs the toolkit's event loop on this thread with `loop` driven by it (its wake handle and
  // its timers, see message_loop.h) until the loop takes WM_QUIT; returns the loop's exit code.
  virtual int Run() = 0;
};

// The module's one export: creates the face for `loop` (the toolkit's application included),
// or returns null and sets `error`.
extern "C" {
using TCreateDesktopFace = TDesktopFace* (*)(TMessageLoop* loop, std::string* error);
}
inline constexpr const char* kCreateDesktopFaceSymbol = "BxCreateDesktopFace";

// <ExecutableFolder()>/../lib/brevix/BxDispatcherFace.so
std::string DesktopFaceModulePath();

// Loads the module and creates the face; null and `*why` when there is none.
std::unique_ptr<TDesktopFace> LoadDesktopFace(TMessageLoop& loop, std::string* why);

}  // namespace bx
