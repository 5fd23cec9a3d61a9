#include "support/scripted_server.h"

#include <cstdlib>

namespace bx::test {

TScriptedServer::TScriptedServer(THandler handler, uint16_t port) : FHandler(std::move(handler)) {
  FListener = TListenSocket::BindTcp("127.0.0.1", port, TIPVersion::V4);
  FListener.Listen(16);
  FPort = FListener.Local().Port;
  FThread = std::thread([this] { Run(); });
}

TScriptedServer::~TScriptedServer() { Stop(); }

int TScriptedServer::Accepted() {
  std::lock_guard lock(FMutex);
  return FAccepted;
}

void TScriptedServer::Stop() {
  {
    std::lock_guard lock(FMutex);
    if (FStopping && !FThread.joinable()) return;
    FStopping = true;
    if (FCurrent != nullptr) FCurrent->Shutdown();
  }
  FListener.Shutdown();
  if (FThread.joinable()) FThread.join();
  FListener.Close();
}

void TScriptedServer::Run() {
  for (;;) {
    std::optional<TStreamSocket> socket = FListener.Accept();
    if (!socket) return;
    {
      std::lock_guard lock(FMutex);
      if (FStopping) return;
      FCurrent = &*socket;
      ++FAccepted;
    }
    try {
      FHandler(*socket);
    } catch (const std::exception&) {
      // A handler that meets a broken client simply ends that connection.
    }
    std::lock_guard lock(FMutex);
    FCurrent = nullptr;
  }
}

std::optional<std::string> ReadExactly(TStreamSocket& socket, size_t count,
                                       std::chrono::milliseconds timeout) {
  std::string out(count, '\0');
  size_t got = 0;
  while (got < count) {
    if (!socket.WaitReadable(timeout)) return std::nullopt;
    const size_t n = socket.Read(out.data() + got, count - got);
    if (n == 0) return std::nullopt;
    got += n;
  }
  return out;
}

std::string ReadUntilClosed(TStreamSocket& socket, std::chrono::milliseconds timeout) {
  std::string out;
  char chunk[4096];
  while (socket.WaitReadable(timeout)) {
    const size_t n = socket.Read(chunk, sizeof chunk);
    if (n == 0) break;
    out.append(chunk, n);
  }
  return out;
}

THttpTestServer::THttpTestServer(std::string response)
    : FResponse(std::move(response)), FServer([this](TStreamSocket& s) { Handle(s); }) {}

void THttpTestServer::SetResponse(std::string response) {
  std::lock_guard lock(FMutex);
  FResponse = std::move(response);
}

std::vector<std::string> THttpTestServer::Requests() {
  std::lock_guard lock(FMutex);
  return FRequests;
}

bool THttpTestServer::WaitForRequests(size_t count, std::chrono::milliseconds timeout) {
  std::unique_lock lock(FMutex);
  return FArrived.wait_for(lock, timeout, [&] { return FRequests.size() >= count; });
}

void THttpTestServer::Handle(TStreamSocket& socket) {
  std::string request;
  char chunk[4096];
  size_t headEnd;
  while ((headEnd = request.find("\r\n\r\n")) == std::string::npos) {
    if (!socket.WaitReadable(std::chrono::seconds(10))) return;
    const size_t n = socket.Read(chunk, sizeof chunk);
    if (n == 0) return;
    request.append(chunk, n);
  }
  size_t length = 0;
  const size_t at = request.find("Content-Length: ");
  if (at != std::string::npos && at < headEnd) {
    length = std::strtoul(request.c_str() + at + 16, nullptr, 10);
  }
  const size_t total = headEnd + 4 + length;
  if (request.size() < total) {
    std::optional<std::string> rest = ReadExactly(socket, total - request.size());
    if (!rest) return;
    request += *rest;
  }
  std::string response;
  {
    std::lock_guard lock(FMutex);
    FRequests.push_back(request);
    response = FResponse;
  }
  FArrived.notify_all();
  socket.Write(response.data(), response.size());
  socket.Shutdown();
}

}  // namespace bx::test
