// TScriptedServer: a loopback TCP server for tests of clients. It listens on 127.0.0.1 with a
// port the system chooses and runs the test's handler for each accepted connection, one
// connection at a time, on its own thread. Stop (or the destructor) wakes a handler blocked on
// its connection and joins the thread.
//
// THttpTestServer: a TScriptedServer that records every HTTP request as its raw bytes (head
// and a body of Content-Length bytes) and answers each with a fixed raw response, then closes
// the connection.
//
// ReadExactly/ReadUntilClosed: reads for handlers, each wait bounded (10 s by default), so a
// broken client fails a test instead of hanging it.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/socket.h"

namespace bx::test {

class TScriptedServer {
 public:
  using THandler = std::function<void(TStreamSocket&)>;
  explicit TScriptedServer(THandler handler, uint16_t port = 0);
  ~TScriptedServer();
  TScriptedServer(const TScriptedServer&) = delete;
  TScriptedServer& operator=(const TScriptedServer&) = delete;

  uint16_t Port() const { return FPort; }
  // Connections accepted so far.
  int Accepted();
  void Stop();

 private:
  void Run();
  THandler FHandler;
  TListenSocket FListener;
  uint16_t FPort = 0;
  std::thread FThread;
  std::mutex FMutex;
  TStreamSocket* FCurrent = nullptr;  // guarded by FMutex
  bool FStopping = false;             // guarded by FMutex
  int FAccepted = 0;                  // guarded by FMutex
};

// Exactly `count` bytes; no value when the peer closed first or the wait timed out.
std::optional<std::string> ReadExactly(
    TStreamSocket& socket, size_t count,
    std::chrono::milliseconds timeout = std::chrono::seconds(10));
// Everything up to the peer's close (or the time-out).
std::string ReadUntilClosed(TStreamSocket& socket,
                            std::chrono::milliseconds timeout = std::chrono::seconds(10));

class THttpTestServer {
 public:
  // `response`: the raw bytes written back to every request.
  explicit THttpTestServer(std::string response = "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nOK");

  uint16_t Port() const { return FServer.Port(); }
  void SetResponse(std::string response);
  // Raw requests received so far, oldest first.
  std::vector<std::string> Requests();
  // Waits until at least `count` requests arrived; false on time-out.
  bool WaitForRequests(size_t count, std::chrono::milliseconds timeout = std::chrono::seconds(10));

 private:
  void Handle(TStreamSocket& socket);
  std::mutex FMutex;
  std::condition_variable FArrived;
  std::vector<std::string> FRequests;  // guarded by FMutex
  std::string FResponse;               // guarded by FMutex
  TScriptedServer FServer;             // last: its thread uses the members above
};

}  // namespace bx::test
