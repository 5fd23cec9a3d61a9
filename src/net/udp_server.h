// TBxUDPServer: receives datagrams, one listener thread per binding, and hands each datagram to
// the read event. With the threaded-event switch off (the default) the event runs on the main
// loop's thread (MainLoop()) while the listener waits for it; with it on, or when no main loop
// exists, it runs on the listener thread. Every datagram already waiting when the listener
// wakes (up to 256) travels to the main thread in one hand-off, where the read events run one
// datagram at a time in arrival order; a busy main thread therefore costs one hand-off per
// batch instead of one per datagram. Each socket asks for a large receive buffer (8 MiB, best
// effort) so that bursts wait in the system rather than being dropped.
//
// Bindings: those added with AddBinding, or, when none were added, all IPv4 addresses and (when
// the machine has IPv6) all IPv6 addresses on the default port, chosen at each activation.
//
// Ownership: owns its sockets and threads; the events are borrowed and must stay valid while
// the server is active. Threads: SetActive, the setters and the destructor from the controlling
// (main) thread. Deactivation wakes the listeners and joins them; a listener waiting for the
// main loop gives up at once, so deactivating from the main thread never deadlocks.
// Failure: SetActive(true) throws on a bind failure (ESocketError; "Could not bind socket.
// Address and port are already in use." for a taken port), leaving nothing bound. Exceptions
// from receiving or from the read event go to the exception event (when set, run the same way
// as the read event) and are otherwise swallowed; reception goes on.
#pragma once

#include <cstddef>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "net/socket_binding.h"
#include "platform/socket.h"
#include "platform/thread.h"

namespace bx {

class TBxUDPServer {
 public:
  // The datagram's bytes and its sender's address and port.
  using TReadEvent = std::function<void(std::string_view data, const TSocketAddress& peer)>;
  // The message and the class name of the exception.
  using TExceptionEvent =
      std::function<void(const std::string& message, const std::string& className)>;

  explicit TBxUDPServer(std::string name = "TBxUDPServer");
  ~TBxUDPServer();  // deactivates first
  TBxUDPServer(const TBxUDPServer&) = delete;
  TBxUDPServer& operator=(const TBxUDPServer&) = delete;

  void SetActive(bool active);
  bool Active() const { return FActive; }

  void SetDefaultPort(uint16_t port) { FDefaultPort = port; }
  uint16_t DefaultPort() const { return FDefaultPort; }
  void AddBinding(const std::string& ip, uint16_t port, TIPVersion version);
  void ClearBindings() { FBindings.clear(); }
  std::vector<TBxSocketBinding> BoundBindings() const;

  // The largest datagram taken whole; longer ones are cut by the system. Default 8,192.
  void SetBufferSize(size_t bytes) { FBufferSize = bytes; }
  size_t BufferSize() const { return FBufferSize; }
  void SetThreadedEvent(bool threaded) { FThreadedEvent = threaded; }
  void SetOnRead(TReadEvent event) { FOnRead = std::move(event); }
  void SetOnException(TExceptionEvent event) { FOnException = std::move(event); }

 private:
  struct TListener;

  void ListenLoop(TListener& listener, std::stop_token stop);
  // Runs `fn` where events run; false when the main loop refused it.
  bool RunEvent(const std::function<void()>& fn, std::stop_token stop);
  // Runs `fn` here; an exception from it goes to the exception event (whose own are dropped).
  void RunGuarded(const std::function<void()>& fn);

  std::string FName;
  uint16_t FDefaultPort = 0;
  std::vector<TBxSocketBinding> FBindings;
  size_t FBufferSize = 8192;
  bool FThreadedEvent = false;
  TReadEvent FOnRead;
  TExceptionEvent FOnException;
  bool FActive = false;
  std::vector<std::unique_ptr<TListener>> FListeners;
};

}  // namespace bx
