// TBxTCPServer: a TCP server with one listener thread per binding and one thread per client
// connection. The execute event runs on the connection's thread, again and again while the
// connection is open; it reads one request from the TBxTCPConnection and answers it.
//
// Bindings: those added with AddBinding, or, when none were added, all IPv4 addresses and (when
// the machine has IPv6) all IPv6 addresses on the default port, chosen at each activation.
// Listening sockets reuse addresses (TIME_WAIT only; a second listener still cannot take the
// port) and IPv6 listeners accept IPv6 only.
//
// Ownership: the server owns its sockets, threads and connections; the execute and exception
// events are borrowed callables that must stay valid while the server is active.
// Threads: SetActive, the setters and the destructor from one controlling thread (the main
// thread); the execute event runs concurrently for different connections, never concurrently
// for one connection. Connection threads have small stacks (kSmallThreadStack).
// Descriptors: a connection is admitted only while kDescriptorReserve descriptors stay free
// (descriptors.h), so files and the window endpoint always get one; out of descriptors the
// connection is accepted and closed at once. Such connections are counted, and each burst of
// them gives one Warning entry "<name>: closed <n> incoming connections at once: no
// descriptor left for them (limit <soft limit>)" once no connection came for a second.
// Listener threads run at the highest priority (best effort).
// Failure: SetActive(true) throws on a bind failure (ESocketError; "Could not bind socket.
// Address and port are already in use." for a taken port) and std::runtime_error "You must
// have an OnExecute event." without an execute event; nothing stays bound then. A close by the
// peer ends a connection quietly; any other exception leaving the execute event goes to the
// exception event (when set) and closes that connection only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <exception>
#include <functional>
#include <list>
#include <memory>
#include <string>
#include <vector>

#include "net/socket_binding.h"
#include "net/tcp_connection.h"
#include "platform/mutex.h"
#include "platform/socket.h"
#include "platform/thread.h"

namespace bx {

class TBxTCPServer {
 public:
  using TExecuteEvent = std::function<void(TBxTCPConnection&)>;
  using TExceptionEvent = std::function<void(TBxTCPConnection&, const std::exception&)>;

  explicit TBxTCPServer(std::string name = "TBxTCPServer");
  ~TBxTCPServer();  // deactivates first
  TBxTCPServer(const TBxTCPServer&) = delete;
  TBxTCPServer& operator=(const TBxTCPServer&) = delete;

  void SetActive(bool active);
  bool Active() const { return FActive; }

  // Takes effect at the next activation.
  void SetDefaultPort(uint16_t port) { FDefaultPort = port; }
  uint16_t DefaultPort() const { return FDefaultPort; }
  void AddBinding(const std::string& ip, uint16_t port, TIPVersion version);
  void ClearBindings() { FBindings.clear(); }
  // The addresses actually bound while active (with the ports the system chose for port 0).
  std::vector<TBxSocketBinding> BoundBindings() const;

  void SetOnExecute(TExecuteEvent event) { FOnExecute = std::move(event); }
  void SetOnException(TExceptionEvent event) { FOnException = std::move(event); }
  int ListenBacklog() const { return FListenBacklog; }
  void SetListenBacklog(int backlog) { FListenBacklog = backlog; }
  // 0: unlimited. A connection over the limit is closed at once.
  void SetMaxConnections(size_t count) { FMaxConnections = count; }

  // Connections whose thread has not finished yet; any thread.
  size_t ConnectionCount() const;

 private:
  struct TListener;
  struct TClient;

  void Activate();
  void Deactivate();
  void ListenLoop(TListener& listener, std::stop_token stop);
  void StartClient(TStreamSocket socket);
  void RunClient(TClient& client);
  // Joins client threads that have finished; takes FLock itself.
  void ReapFinished() EXCLUDES(FLock);

  std::string FName;
  uint16_t FDefaultPort = 0;
  std::vector<TBxSocketBinding> FBindings;
  TExecuteEvent FOnExecute;
  TExceptionEvent FOnException;
  int FListenBacklog = 15;
  size_t FMaxConnections = 0;
  bool FActive = false;
  std::vector<std::unique_ptr<TListener>> FListeners;

  // State below is protected by FLock.
  mutable TMutex FLock;
  std::list<std::unique_ptr<TClient>> FClients GUARDED_BY(FLock);     // running connections
  std::vector<std::unique_ptr<TClient>> FFinished GUARDED_BY(FLock);  // done, to be joined
  bool FStopping GUARDED_BY(FLock) = false;
  TCondVar FClientDone;  // a client moved itself to FFinished
};

}  // namespace bx
