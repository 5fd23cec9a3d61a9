// TBxSocketChannel: a TBxByteChannel over a connected stream socket.
//
// Ownership: owns the socket. Threads: Read/Write from the connection's thread; Shutdown from
// any thread. Shutdown and Close are serialised by a lock so that a late Shutdown never hits a
// descriptor number the system has handed to another socket; the lock is never held during
// Read or Write. Failure: ESocketError from Read and Write.
#pragma once

#include <chrono>

#include "net/byte_channel.h"
#include "platform/mutex.h"
#include "platform/socket.h"

namespace bx {

class TBxSocketChannel : public TBxByteChannel {
 public:
  explicit TBxSocketChannel(TStreamSocket socket)
      : FSocket(std::move(socket)), FPeer(FSocket.PeerText()) {}

  size_t Read(void* buffer, size_t size) override { return FSocket.Read(buffer, size); }
  // Without a time limit: Shutdown wakes it (the socket then reads as ended).
  void WaitReadable() override { FSocket.WaitReadable(std::chrono::milliseconds(-1)); }
  void Write(const void* data, size_t size) override { FSocket.Write(data, size); }
  void Shutdown() override {
    TMutexLock lock(FLock);
    if (!FClosed) FSocket.Shutdown();
  }
  void Close() override {
    TMutexLock lock(FLock);
    FClosed = true;
    FSocket.Close();
  }
  std::string PeerText() const override { return FPeer; }

 private:
  TStreamSocket FSocket;
  std::string FPeer;
  TMutex FLock;
  bool FClosed GUARDED_BY(FLock) = false;
};

}  // namespace bx
