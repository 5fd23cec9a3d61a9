// What desktop this process may show windows on.
//
// DesktopDisplayNamed: the environment names a display (DISPLAY or WAYLAND_DISPLAY non-empty).
// HoldXDisplay: the X server named by DISPLAY accepts a client, checked with a full
// client connection (the X client library, loaded at run time; null when it is missing).
// WaylandDisplayReachable: the compositor's socket ($XDG_RUNTIME_DIR/$WAYLAND_DISPLAY, or the
// absolute path WAYLAND_DISPLAY names) accepts a connection.
// Both probes are bounded: a server that does not answer within `timeout` counts as not
// reachable (the probe's thread is then left to finish on its own and closes what it opened;
// it holds no resources of the caller).
//
// HoldXDisplay is the X probe whose connection stays open for as long as the caller keeps the
// result. A bare X server (Xvfb, a kiosk's server) resets when its last client leaves, and a
// connection opened during that reset fails: the toolkit, which treats that as fatal, must
// connect while the probe's client still holds the server.
//
// Ownership: a TXDisplayHold owns its connection and the client library's handle.
// Threads: any. Failure: none; every failure reads as "not reachable".
#pragma once

#include <chrono>
#include <memory>

namespace bx {

class TXDisplayHold {
 public:
  struct TState;
  explicit TXDisplayHold(std::shared_ptr<TState> state);
  ~TXDisplayHold();  // closes the connection
  TXDisplayHold(const TXDisplayHold&) = delete;
  TXDisplayHold& operator=(const TXDisplayHold&) = delete;

 private:
  std::shared_ptr<TState> FState;
};

bool DesktopDisplayNamed();
// Null when DISPLAY is empty, the client library is missing, or the server refuses or does not
// answer within `timeout`.
std::unique_ptr<TXDisplayHold> HoldXDisplay(
    std::chrono::milliseconds timeout = std::chrono::milliseconds(5000));
bool WaylandDisplayReachable();

}  // namespace bx
