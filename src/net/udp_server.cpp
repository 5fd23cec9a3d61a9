#include "net/udp_server.h"

#include <cxxabi.h>

#include <chrono>
#include <cstdlib>
#include <typeinfo>

#include "platform/loop_call.h"
#include "platform/message_loop.h"

namespace bx {

namespace {
constexpr std::chrono::milliseconds kReadableWait{1000};

std::string ClassName(const std::type_info& type) {
  int status = 0;
  char* name = abi::__cxa_demangle(type.name(), nullptr, nullptr, &status);
  std::string result = (status == 0 && name != nullptr) ? name : type.name();
  std::free(name);
  return result;
}
}  // namespace

struct TBxUDPServer::TListener {
  TUdpSocket Socket;
  TBxSocketBinding Bound;
  TThread Thread;
};

TBxUDPServer::TBxUDPServer(std::string name) : FName(std::move(name)) {}

TBxUDPServer::~TBxUDPServer() { SetActive(false); }

void TBxUDPServer::AddBinding(const std::string& ip, uint16_t port, TIPVersion version) {
  FBindings.push_back(TBxSocketBinding{ip, port, version});
}

std::vector<TBxSocketBinding> TBxUDPServer::BoundBindings() const {
  std::vector<TBxSocketBinding> result;
  for (const auto& listener : FListeners) result.push_back(listener->Bound);
  return result;
}

void TBxUDPServer::SetActive(bool active) {
  if (active == FActive) return;
  if (active) {
    std::vector<TBxSocketBinding> bindings = FBindings;
    if (bindings.empty()) {
      bindings.push_back({AnyAddress(TIPVersion::V4), FDefaultPort, TIPVersion::V4});
      if (IPv6Available()) {
        bindings.push_back({AnyAddress(TIPVersion::V6), FDefaultPort, TIPVersion::V6});
      }
    }
    std::vector<std::unique_ptr<TListener>> listeners;
    try {
      for (const TBxSocketBinding& binding : bindings) {
        auto listener = std::make_unique<TListener>();
        listener->Socket = TUdpSocket::Bind(binding.IP, binding.Port, binding.IPVersion);
        listener->Bound = binding;
        listener->Bound.Port = listener->Socket.Local().Port;
        listeners.push_back(std::move(listener));
      }
    } catch (...) {
      for (auto it = listeners.rbegin(); it != listeners.rend(); ++it) (*it)->Socket.Close();
      throw;
    }
    FListeners = std::move(listeners);
    FActive = true;
    for (size_t i = 0; i < FListeners.size(); ++i) {
      TListener& listener = *FListeners[i];
      listener.Thread.Start(
          FName + " Listener #" + std::to_string(i + 1),
          [this, &listener](std::stop_token stop) { ListenLoop(listener, stop); });
    }
  } else {
    for (auto& listener : FListeners) {
      listener->Thread.RequestStop();  // also fails a wait for the main loop
      listener->Socket.Shutdown();     // wakes the readability wait
    }
    for (auto& listener : FListeners) {
      listener->Thread.Join();
      listener->Socket.Close();
    }
    FListeners.clear();
    FActive = false;
  }
}

bool TBxUDPServer::RunEvent(const std::function<void()>& fn, std::stop_token stop) {
  TMessageLoop* loop = FThreadedEvent ? nullptr : MainLoop();
  if (loop == nullptr) {
    fn();
    return true;
  }
  return CallOnLoop(*loop, fn, stop);
}

void TBxUDPServer::ListenLoop(TListener& listener, std::stop_token stop) {
  std::vector<uint8_t> buffer;
  while (!stop.stop_requested()) {
    std::string message;
    std::string className;
    try {
      if (!listener.Socket.WaitReadable(kReadableWait)) continue;
      if (stop.stop_requested()) return;
      buffer.resize(FBufferSize);
      TSocketAddress peer;
      const size_t length = listener.Socket.ReceiveFrom(buffer, peer);
      const std::string_view data(reinterpret_cast<const char*>(buffer.data()), length);
      if (FOnRead) RunEvent([&] { FOnRead(data, peer); }, stop);
      continue;
    } catch (const std::exception& e) {
      message = e.what();
      className = ClassName(typeid(e));
    } catch (...) {
      message = "Unknown exception";
      className = "unknown";
    }
    if (stop.stop_requested()) return;
    if (FOnException) {
      try {
        RunEvent([&] { FOnException(message, className); }, stop);
      } catch (...) {
        // Nothing further to report to; reception goes on.
      }
    }
  }
}

}  // namespace bx
