// TBxDeadlineChannel: a TBxByteChannel over a connected client socket whose every wait ends at
// a deadline that the owner moves as an exchange goes on. It is the bottom of a client's
// stream: a layer that transforms the bytes (an encrypting one, say) is a TBxByteChannel over
// this one, so each of its reads and writes stays under the same deadline.
//
// Ownership: owns the socket. Threads: one thread (the client's); Shutdown from any thread.
// Failure: Read and Write raise ESocketError for socket failures and TimedOutError once the
// deadline has passed without data (Read) or without the peer taking the bytes (Write). A
// deadline that has passed still lets a Read take what has already arrived and a Write what
// the buffers take at once. Read returns 0 once the peer has closed.
#pragma once

#include <optional>

#include "net/byte_channel.h"
#include "platform/socket.h"

namespace bx {

class TBxDeadlineChannel : public TBxByteChannel {
 public:
  explicit TBxDeadlineChannel(TStreamSocket socket) : FSocket(std::move(socket)) {}

  // No value: no bound.
  void SetDeadline(std::optional<TSteadyTime> deadline) { FDeadline = deadline; }
  std::optional<TSteadyTime> Deadline() const { return FDeadline; }

  size_t Read(void* buffer, size_t size) override {
    WaitReadable();
    return FSocket.Read(buffer, size);
  }
  void WaitReadable() override {
    if (!FDeadline) {
      FSocket.WaitReadable(std::chrono::milliseconds(-1));
    } else if (!FSocket.WaitReadable(TimeLeft(*FDeadline))) {
      throw TimedOutError("recv");
    }
  }
  void Write(const void* data, size_t size) override {
    if (FDeadline) {
      FSocket.Write(data, size, *FDeadline);
    } else {
      FSocket.Write(data, size);
    }
  }
  void Shutdown() override { FSocket.Shutdown(); }
  void Close() override { FSocket.Close(); }
  std::string PeerText() const override { return FSocket.PeerText(); }

 private:
  TStreamSocket FSocket;
  std::optional<TSteadyTime> FDeadline;
};

}  // namespace bx
