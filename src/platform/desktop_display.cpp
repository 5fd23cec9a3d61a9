#include "platform/desktop_display.h"

#include <dlfcn.h>

#include <chrono>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>

#include "platform/mutex.h"
#include "platform/socket.h"

namespace bx {

namespace {

std::string Environment(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

// The three calls of the X client library the probe needs, looked up at run time so that the
// program does not depend on the library when no desktop is used.
struct TXcb {
  using TConnect = void* (*)(const char*, int*);
  using THasError = int (*)(void*);
  using TDisconnect = void (*)(void*);
  TConnect Connect = nullptr;
  THasError HasError = nullptr;
  TDisconnect Disconnect = nullptr;
};

}  // namespace

// What the probe's thread and the caller share: the open connection, handed over unless the
// caller stopped waiting, in which case the thread closes it itself.
struct TXDisplayHold::TState {
  TMutex Lock;
  TCondVar Done;
  bool Finished GUARDED_BY(Lock) = false;   // the probe has ended
  bool Abandoned GUARDED_BY(Lock) = false;  // the caller stopped waiting
  bool Reachable GUARDED_BY(Lock) = false;
  void* Library = nullptr;
  TXcb Xcb;
  void* Connection = nullptr;

  // Closes what the probe opened; called once, by whoever ends up owning it.
  void Close() {
    if (Connection != nullptr) Xcb.Disconnect(Connection);
    Connection = nullptr;
    if (Library != nullptr) dlclose(Library);
    Library = nullptr;
  }
};

namespace {

// Opens a client connection to `display` into `state` (its fields are the probe's own until
// Finished is set).
void ProbeX(const std::string& display, TXDisplayHold::TState& state) {
  bool reachable = false;
  state.Library = dlopen("libxcb.so.1", RTLD_NOW | RTLD_LOCAL);
  if (state.Library != nullptr) {
    TXcb& xcb = state.Xcb;
    xcb.Connect = reinterpret_cast<TXcb::TConnect>(dlsym(state.Library, "xcb_connect"));
    xcb.HasError =
        reinterpret_cast<TXcb::THasError>(dlsym(state.Library, "xcb_connection_has_error"));
    xcb.Disconnect = reinterpret_cast<TXcb::TDisconnect>(dlsym(state.Library, "xcb_disconnect"));
    if (xcb.Connect && xcb.HasError && xcb.Disconnect) {
      int screen = 0;
      // xcb_connect never returns null; a failed connection is an error object to free.
      state.Connection = xcb.Connect(display.c_str(), &screen);
      reachable = state.Connection != nullptr && xcb.HasError(state.Connection) == 0;
    }
  }
  if (!reachable) state.Close();
  TMutexLock lock(state.Lock);
  state.Reachable = reachable;
  state.Finished = true;
  if (state.Abandoned) state.Close();
  state.Done.NotifyAll();
}

}  // namespace

bool DesktopDisplayNamed() {
  return !Environment("DISPLAY").empty() || !Environment("WAYLAND_DISPLAY").empty();
}

TXDisplayHold::TXDisplayHold(std::shared_ptr<TState> state) : FState(std::move(state)) {}

TXDisplayHold::~TXDisplayHold() { FState->Close(); }

std::unique_ptr<TXDisplayHold> HoldXDisplay(std::chrono::milliseconds timeout) {
  const std::string display = Environment("DISPLAY");
  if (display.empty()) return nullptr;
  auto state = std::make_shared<TXDisplayHold::TState>();
  std::thread([display, state] { ProbeX(display, *state); }).detach();
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  TMutexLock lock(state->Lock);
  while (!state->Finished) {
    if (!state->Done.WaitUntil(state->Lock, deadline) && !state->Finished) {
      state->Abandoned = true;  // the probe closes its connection when it ends
      return nullptr;
    }
  }
  if (!state->Reachable) return nullptr;
  lock.unlock();
  return std::make_unique<TXDisplayHold>(std::move(state));
}

bool WaylandDisplayReachable() {
  const std::string name = Environment("WAYLAND_DISPLAY");
  if (name.empty()) return false;
  std::string path = name;
  if (name.front() != '/') {
    const std::string runtime = Environment("XDG_RUNTIME_DIR");
    if (runtime.empty()) return false;
    path = runtime + "/" + name;
  }
  try {
    return TStreamSocket::ConnectUnix(path).has_value();
  } catch (const std::exception&) {
    return false;
  }
}

}  // namespace bx
