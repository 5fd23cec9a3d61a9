#include "net/tcp_server.h"

#include <chrono>
#include <optional>
#include <stdexcept>
#include <thread>

#include "net/net_errors.h"
#include "net/socket_channel.h"
#include "platform/descriptors.h"
#include "platform/log_entry.h"
#include "platform/thread_priority.h"

namespace bx {

namespace {

// How long the listener waits for another connection before it logs a burst of connections
// closed for lack of descriptors.
constexpr std::chrono::milliseconds kShedBurstQuiet{1000};

}  // namespace

struct TBxTCPServer::TListener {
  TListenSocket Socket;
  TBxSocketBinding Bound;
  TThread Thread;
};

struct TBxTCPServer::TClient {
  std::unique_ptr<TBxTCPConnection> Connection;
  TThread Thread;
  std::list<std::unique_ptr<TClient>>::iterator Position;
};

TBxTCPServer::TBxTCPServer(std::string name) : FName(std::move(name)) {}

TBxTCPServer::~TBxTCPServer() { SetActive(false); }

void TBxTCPServer::AddBinding(const std::string& ip, uint16_t port, TIPVersion version) {
  FBindings.push_back(TBxSocketBinding{ip, port, version});
}

std::vector<TBxSocketBinding> TBxTCPServer::BoundBindings() const {
  std::vector<TBxSocketBinding> result;
  for (const auto& listener : FListeners) result.push_back(listener->Bound);
  return result;
}

size_t TBxTCPServer::ConnectionCount() const {
  TMutexLock lock(FLock);
  return FClients.size();
}

void TBxTCPServer::SetActive(bool active) {
  if (active == FActive) return;
  if (active) {
    Activate();
  } else {
    Deactivate();
  }
}

void TBxTCPServer::Activate() {
  if (!FOnExecute) throw std::runtime_error("You must have an OnExecute event.");
  const std::vector<TBxSocketBinding> bindings = BindingsToActivate(FBindings, FDefaultPort);
  // Bind and listen on everything first; on a failure close what was bound, in reverse order.
  std::vector<std::unique_ptr<TListener>> listeners;
  try {
    for (const TBxSocketBinding& binding : bindings) {
      auto listener = std::make_unique<TListener>();
      listener->Socket = TListenSocket::BindTcp(binding.IP, binding.Port, binding.IPVersion);
      listener->Bound = binding;
      listener->Bound.Port = listener->Socket.Local().Port;
      listeners.push_back(std::move(listener));
    }
    for (auto& listener : listeners) listener->Socket.Listen(FListenBacklog);
  } catch (...) {
    for (auto it = listeners.rbegin(); it != listeners.rend(); ++it) (*it)->Socket.Close();
    throw;
  }
  {
    TMutexLock lock(FLock);
    FStopping = false;
  }
  FListeners = std::move(listeners);
  FActive = true;
  for (size_t i = 0; i < FListeners.size(); ++i) {
    TListener& listener = *FListeners[i];
    listener.Thread.Start(FName + " Listener #" + std::to_string(i + 1),
                          [this, &listener](std::stop_token stop) { ListenLoop(listener, stop); });
  }
}

void TBxTCPServer::Deactivate() {
  {
    TMutexLock lock(FLock);
    FStopping = true;
  }
  // Listeners first, so that no connection is added while the others are being closed.
  for (auto& listener : FListeners) {
    listener->Thread.RequestStop();
    listener->Socket.Shutdown();
  }
  for (auto& listener : FListeners) {
    listener->Thread.Join();
    listener->Socket.Close();
  }
  FListeners.clear();
  {
    TMutexLock lock(FLock);
    for (auto& client : FClients) client->Connection->Shutdown();
  }
  // Each thread moves itself to FFinished when it ends; join them until none is left.
  for (;;) {
    ReapFinished();
    TMutexLock lock(FLock);
    if (FClients.empty() && FFinished.empty()) break;
    while (FFinished.empty() && !FClients.empty()) FClientDone.Wait(FLock);
  }
  FActive = false;
}

void TBxTCPServer::ListenLoop(TListener& listener, std::stop_token stop) {
  SetThreadPriority(CurrentThreadHandle(), TThreadPriority::Highest);
  size_t shed = 0;  // connections closed for lack of descriptors in the current burst
  auto reportShed = [&] {
    if (shed == 0) return;
    AddLogEntry(TLogLevel::Warning,
                FName + ": closed " + std::to_string(shed) +
                    " incoming connections at once: no descriptor left for them (limit " +
                    std::to_string(CurrentDescriptorLimit().Soft) + ")");
    shed = 0;
  };
  while (!stop.stop_requested()) {
    std::optional<TStreamSocket> accepted;
    try {
      // A burst ends when no connection came for a while: then its count is logged.
      if (shed > 0 && !listener.Socket.WaitAcceptable(kShedBurstQuiet)) {
        reportShed();
        continue;
      }
      accepted = listener.Socket.Accept(kDescriptorReserve);
    } catch (const EDescriptorsExhausted&) {
      // The connection was accepted and closed: the listen queue does not fill up.
      ++shed;
      continue;
    } catch (const ESocketError& e) {
      // Out of memory or another failure: keep listening, but do not spin.
      reportShed();
      AddLogEntry(TLogLevel::Error, FName + ": accept failed: " + e.what());
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
      continue;
    }
    if (!accepted) break;
    reportShed();
    ReapFinished();
    StartClient(std::move(*accepted));
  }
  reportShed();
}

void TBxTCPServer::StartClient(TStreamSocket socket) {
  // The stream buffers its own writes; each flush should leave at once.
  try {
    socket.SetNoDelay(true);
  } catch (const ESocketError&) {
    // Not fatal: the answers only go out a little later.
  }
  auto client = std::make_unique<TClient>();
  client->Connection =
      std::make_unique<TBxTCPConnection>(std::make_unique<TBxSocketChannel>(std::move(socket)));
  TClient* raw = client.get();
  TMutexLock lock(FLock);
  if (FStopping || (FMaxConnections > 0 && FClients.size() >= FMaxConnections)) return;
  FClients.push_back(std::move(client));
  raw->Position = std::prev(FClients.end());
  try {
    raw->Thread.Start(FName + "Scheduler", [this, raw](std::stop_token) { RunClient(*raw); });
  } catch (const std::exception& e) {
    FClients.pop_back();
    AddLogEntry(TLogLevel::Error, FName + ": could not start a connection thread: " + e.what());
  }
}

void TBxTCPServer::RunClient(TClient& client) {
  TBxTCPConnection& connection = *client.Connection;
  try {
    while (connection.Connected()) {
      FOnExecute(connection);
      // Answers to requests that arrived together go out together.
      if (connection.Connected() && connection.InputBuffered() == 0) connection.Flush();
    }
  } catch (const EBxConnClosedGracefully&) {
    // The peer closed the connection: the normal end of a session.
  } catch (const std::exception& e) {
    if (FOnException) {
      try {
        FOnException(connection, e);
      } catch (...) {
        // The exception event has nowhere further to report to.
      }
    }
  } catch (...) {
    if (FOnException) {
      try {
        FOnException(connection, std::runtime_error("Unknown exception"));
      } catch (...) {
      }
    }
  }
  connection.Disconnect();
  TMutexLock lock(FLock);
  FFinished.push_back(std::move(*client.Position));
  FClients.erase(client.Position);
  FClientDone.NotifyAll();
}

void TBxTCPServer::ReapFinished() {
  std::vector<std::unique_ptr<TClient>> finished;
  {
    TMutexLock lock(FLock);
    finished.swap(FFinished);
  }
  for (auto& client : finished) client->Thread.Join();
}

}  // namespace bx
