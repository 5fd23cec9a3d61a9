// How other threads and programs address the dispatcher's main window: the class and caption
// under which its window endpoint is found, and its private window messages that receivers and
// companion programs send.
//
// Threads: constants only.
#pragma once

#include <cstdint>

#include "platform/message_loop.h"

namespace bx {

inline constexpr const char* kDispatcherWindowClass = "TFrmDispatcher";
inline constexpr const char* kDispatcherWindowCaption = "Brevix Dispatcher";

// Result 1 when the dispatcher runs as a service, else 0.
inline constexpr uint32_t kWmIsService = WM_USER + 81;
// Reload the settings (both parameters 0).
inline constexpr uint32_t kWmReloadSettings = WM_USER + 82;
// Show the activity log window.
inline constexpr uint32_t kWmShowLog = WM_USER + 83;

// A health snapshot, answered on the main thread: the result is 1 and the reply's bytes are
// the snapshot, as text (WParam kStatusText) or as one JSON object (WParam kStatusJson). Sent
// over the window endpoint with a reply that carries data (endpoint_frame.h).
inline constexpr uint32_t kWmStatus = WM_USER + 84;
inline constexpr uint64_t kStatusText = 0;
inline constexpr uint64_t kStatusJson = 1;

static_assert(kWmIsService == 1105 && kWmReloadSettings == 1106 && kWmShowLog == 1107 &&
              kWmStatus == 1108);

// The messages that other programs may send to the main window: WM_COPYDATA, the four above,
// WM_CLOSE and WM_QUIT. The others (log entries, the tray's callback, timers, work handed to
// the main thread) are the process's own and are refused from outside.
inline bool DispatcherAcceptsFromOutside(uint32_t message) {
  return message == WM_COPYDATA || message == kWmIsService || message == kWmReloadSettings ||
         message == kWmShowLog || message == kWmStatus || message == WM_CLOSE || message == WM_QUIT;
}

}  // namespace bx
