// TBxDispatcherStatus: one snapshot of the dispatcher's health for an administrator: whether it
// delivers, what waits in the queue, what each transport received and how much was delivered
// since the start, how many loggers are registered, and per destination kind the last error.
// The hub builds it on the main thread when asked (window message WM_USER+84, BxSend
// --status) and for the service manager's status line.
//
// Formats: a text block for people, one JSON object for scripts, a one-line summary (the
// service manager's STATUS=). Threads: any; the formatting keeps no state. Failure: none.
#pragma once

#include <cstdint>
#include <string>

#include "core/dispatch_counters.h"

namespace bx {

struct TBxDispatcherStatus {
  std::string State;  // "starting" (before StartDispatcher), "running", "disabled"
  bool Service = false;
  uint64_t QueuedMessages = 0;
  uint64_t QueuedBytes = 0;  // with each message's node and allocator share (kMessageOverhead)
  int Registrations = 0;
  TBxDispatchCounts Counts;
};

// The destination kinds listed in every report, whether they failed or not.
inline constexpr const char* kStatusDestinationKinds[] = {"Viewer", "File", "Tcp",
                                                          "Udp",    "Http", "Syslog"};

std::string FormatStatusText(const TBxDispatcherStatus& status);
std::string FormatStatusJson(const TBxDispatcherStatus& status);
// "running; queue 0 (0 bytes); received 3/2/1, delivered 6, failed 0; 2 registrations"
std::string FormatStatusLine(const TBxDispatcherStatus& status);

}  // namespace bx
