#include "platform/desktop_display.h"

#include <dlfcn.h>

#include <cstdlib>
#include <future>
#include <memory>
#include <string>
#include <thread>

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

bool ProbeX(const std::string& display) {
  void* library = dlopen("libxcb.so.1", RTLD_NOW | RTLD_LOCAL);
  if (library == nullptr) return false;
  TXcb xcb;
  xcb.Connect = reinterpret_cast<TXcb::TConnect>(dlsym(library, "xcb_connect"));
  xcb.HasError = reinterpret_cast<TXcb::THasError>(dlsym(library, "xcb_connection_has_error"));
  xcb.Disconnect = reinterpret_cast<TXcb::TDisconnect>(dlsym(library, "xcb_disconnect"));
  bool reachable = false;
  if (xcb.Connect && xcb.HasError && xcb.Disconnect) {
    int screen = 0;
    void* connection = xcb.Connect(display.c_str(), &screen);
    // xcb_connect never returns null; a failed connection is an error object to free.
    if (connection != nullptr) {
      reachable = xcb.HasError(connection) == 0;
      xcb.Disconnect(connection);
    }
  }
  dlclose(library);
  return reachable;
}

}  // namespace

bool DesktopDisplayNamed() {
  return !Environment("DISPLAY").empty() || !Environment("WAYLAND_DISPLAY").empty();
}

bool XDisplayReachable(std::chrono::milliseconds timeout) {
  const std::string display = Environment("DISPLAY");
  if (display.empty()) return false;
  auto result = std::make_shared<std::promise<bool>>();
  std::future<bool> answer = result->get_future();
  std::thread([display, result] { result->set_value(ProbeX(display)); }).detach();
  if (answer.wait_for(timeout) != std::future_status::ready) return false;
  return answer.get();
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
