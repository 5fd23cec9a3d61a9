// What desktop this process may show windows on.
//
// DesktopDisplayNamed: the environment names a display (DISPLAY or WAYLAND_DISPLAY non-empty).
// XDisplayReachable: the X server named by DISPLAY accepts a client, checked with a full
// client connection (the X client library, loaded at run time; false when it is missing).
// WaylandDisplayReachable: the compositor's socket ($XDG_RUNTIME_DIR/$WAYLAND_DISPLAY, or the
// absolute path WAYLAND_DISPLAY names) accepts a connection.
// Both probes are bounded: a server that does not answer within `timeout` counts as not
// reachable (the probe's thread is then left to finish on its own; it holds no resources of
// the caller).
//
// Threads: any. Failure: none; every failure reads as "not reachable".
#pragma once

#include <chrono>

namespace bx {

bool DesktopDisplayNamed();
bool XDisplayReachable(std::chrono::milliseconds timeout = std::chrono::milliseconds(5000));
bool WaylandDisplayReachable();

}  // namespace bx
