#include "net/udp_server.h"

#include <cxxabi.h>

#include <chrono>
#include <cstdlib>
#include <optional>
#include <typeinfo>
#include <utility>

#include "platform/loop_call.h"
#include "platform/message_loop.h"
#include "platform/thread_priority.h"

namespace bx {

namespace {
constexpr std::chrono::milliseconds kReadableWait{1000};
// A batch ends at this many datagrams or once it holds this many bytes: the main thread is
// never held for long, and a flood cannot make the listener hold much memory.
constexpr size_t kMaxBatch = 256;
constexpr size_t kMaxBatchBytes = size_t{1} << 20;
// Asked for at activation (best effort): room for bursts while the main thread is busy.
constexpr int kSocketReceiveBuffer = 8 << 20;

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
    const std::vector<TBxSocketBinding> bindings = BindingsToActivate(FBindings, FDefaultPort);
    std::vector<std::unique_ptr<TListener>> listeners;
    try {
      for (const TBxSocketBinding& binding : bindings) {
        auto listener = std::make_unique<TListener>();
        listener->Socket = TUdpSocket::Bind(binding.IP, binding.Port, binding.IPVersion);
        listener->Socket.EnlargeReceiveBuffer(kSocketReceiveBuffer);
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
          FName + " Listener #" + std::to_string(i + 1), [this, &listener](std::stop_token stop) {
            SetThreadPriority(CurrentThreadHandle(), TThreadPriority::Highest);  // best effort
            ListenLoop(listener, stop);
          });
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
  // A datagram taken from the socket, its bytes at [Offset, Offset + Length) of `bytes`.
  struct TDatagram {
    size_t Offset = 0;
    size_t Length = 0;
    TSocketAddress Peer;
  };
  std::vector<uint8_t> buffer;
  std::string bytes;
  std::vector<TDatagram> batch;
  while (!stop.stop_requested()) {
    // Set when receiving failed; reported after the datagrams taken before the failure.
    std::optional<std::pair<std::string, std::string>> receiveError;
    batch.clear();
    bytes.clear();
    try {
      if (!listener.Socket.WaitReadable(kReadableWait)) continue;
      if (stop.stop_requested()) return;
      buffer.resize(FBufferSize);
      while (batch.size() < kMaxBatch && bytes.size() < kMaxBatchBytes) {
        TDatagram datagram;
        const std::optional<size_t> length =
            listener.Socket.TryReceiveFrom(buffer.data(), buffer.size(), datagram.Peer);
        if (!length) break;
        datagram.Offset = bytes.size();
        datagram.Length = *length;
        bytes.append(reinterpret_cast<const char*>(buffer.data()), *length);
        batch.push_back(std::move(datagram));
      }
    } catch (const std::exception& e) {
      receiveError.emplace(e.what(), ClassName(typeid(e)));
    } catch (...) {
      receiveError.emplace("Unknown exception", "unknown");
    }
    if (stop.stop_requested()) return;
    if (batch.empty() && !receiveError) continue;
    if (!FOnRead && !FOnException) continue;
    // Every datagram of the batch in one hand-off, one at a time in arrival order, each with
    // its own exception report, exactly as if each had been handed over alone.
    const auto runBatch = [&] {
      for (const TDatagram& datagram : batch) {
        if (stop.stop_requested()) return;
        if (!FOnRead) break;
        RunGuarded([&] {
          FOnRead(std::string_view(bytes.data() + datagram.Offset, datagram.Length), datagram.Peer);
        });
      }
      if (receiveError && FOnException && !stop.stop_requested()) {
        try {
          FOnException(receiveError->first, receiveError->second);
        } catch (...) {
          // Nothing further to report to; reception goes on.
        }
      }
    };
    try {
      RunEvent(runBatch, stop);
    } catch (...) {
      // The batch guards each event; a failed hand-off leaves nothing to report to.
    }
  }
}

void TBxUDPServer::RunGuarded(const std::function<void()>& fn) {
  std::string message;
  std::string className;
  try {
    fn();
    return;
  } catch (const std::exception& e) {
    message = e.what();
    className = ClassName(typeid(e));
  } catch (...) {
    message = "Unknown exception";
    className = "unknown";
  }
  if (!FOnException) return;
  try {
    FOnException(message, className);
  } catch (...) {
    // Nothing further to report to; reception goes on.
  }
}

}  // namespace bx
