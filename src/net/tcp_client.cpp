#include "net/tcp_client.h"

#include <cstring>

namespace bx {

void TBxTCPClient::Connect() {
  if (FSocket.IsOpen()) throw EBxNetError(kAlreadyConnectedText);
  if (FHost.empty()) throw EBxNetError("A host must be specified.");
  if (FPort == 0) throw EBxNetError("A port must be specified.");
  try {
    FSocket = TStreamSocket::ConnectTcp(FHost, FPort, BxWaitTimeout(ConnectTimeout, FLimit));
  } catch (const ESocketError& e) {
    FSocket.Close();
    throw BxSocketError(e);
  }
  FOut.clear();
  FBuffering = false;
}

bool TBxTCPClient::IsConnected() const { return FSocket.IsOpen() && !FSocket.PeerClosed(); }

void TBxTCPClient::Disconnect() {
  FSocket.Close();
  FOut.clear();
  FBuffering = false;
}

void TBxTCPClient::SetNagle(bool on) {
  if (!FSocket.IsOpen()) return;
  try {
    FSocket.SetNoDelay(!on);
  } catch (const ESocketError& e) {
    Fail(e);
  }
}

void TBxTCPClient::Fail(const ESocketError& error) {
  Disconnect();
  if (IsPeerClosedCode(error.Code())) throw EBxConnClosedGracefully();
  throw BxSocketError(error);
}

void TBxTCPClient::Send(const void* data, size_t size) {
  if (!FSocket.IsOpen()) throw EBxConnClosedGracefully();
  ++FSocketWrites;
  try {
    if (const std::optional<TSteadyTime> deadline = BxWaitDeadline(ReadTimeout, FLimit)) {
      FSocket.Write(data, size, *deadline);
    } else {
      FSocket.Write(data, size);
    }
  } catch (const ESocketError& e) {
    Fail(e);
  }
}

void TBxTCPClient::WriteBufferOpen() {
  FBuffering = true;
  FOut.clear();
}

void TBxTCPClient::WriteInt32(int32_t value) {
  const auto u = static_cast<uint32_t>(value);
  const char bytes[4] = {static_cast<char>(u >> 24), static_cast<char>(u >> 16),
                         static_cast<char>(u >> 8), static_cast<char>(u)};
  WriteBytes(bytes, sizeof bytes);
}

void TBxTCPClient::WriteBytes(const void* bytes, size_t count) {
  if (FBuffering) {
    FOut.append(static_cast<const char*>(bytes), count);
  } else {
    Send(bytes, count);
  }
}

void TBxTCPClient::WriteBufferClose() {
  FBuffering = false;
  std::string out;
  out.swap(FOut);
  if (!out.empty()) Send(out.data(), out.size());
}

int32_t TBxTCPClient::ReadInt32() {
  if (!FSocket.IsOpen()) throw EBxConnClosedGracefully();
  unsigned char bytes[4];
  size_t got = 0;
  const std::optional<TSteadyTime> deadline = BxWaitDeadline(ReadTimeout, FLimit);
  try {
    while (got < sizeof bytes) {
      if (deadline && !FSocket.WaitReadable(TimeLeft(*deadline))) throw TimedOutError("recv");
      const size_t n = FSocket.Read(bytes + got, sizeof bytes - got);
      if (n == 0) {
        Disconnect();
        throw EBxConnClosedGracefully();
      }
      got += n;
    }
  } catch (const ESocketError& e) {
    Fail(e);
  }
  return static_cast<int32_t>((uint32_t{bytes[0]} << 24) | (uint32_t{bytes[1]} << 16) |
                              (uint32_t{bytes[2]} << 8) | uint32_t{bytes[3]});
}

}  // namespace bx
