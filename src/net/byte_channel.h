// TBxByteChannel: the byte transport under a connection stream. The server gives each
// connection a channel over its socket; tests and fuzz targets drive the same stream parsing
// from a TBxMemoryChannel (memory_channel.h).
//
// Ownership: the stream owns its channel. Threads: Read and Write from the connection's
// thread; Shutdown from any thread (it wakes a blocked Read or Write). Failure: Read and Write
// throw (ESocketError for sockets); Read returns 0 once the peer has closed.
#pragma once

#include <cstddef>
#include <string>

namespace bx {

class TBxByteChannel {
 public:
  virtual ~TBxByteChannel() = default;
  // Waits for data and returns what is there now, at most `size` bytes; 0 at end of data.
  virtual size_t Read(void* buffer, size_t size) = 0;
  // Waits until Read would not block (data, end of data, a failure or Shutdown) without taking
  // anything, so a reader can leave its buffer unallocated while nothing arrives. Channels
  // whose Read never waits keep this default, which returns at once.
  virtual void WaitReadable() {}
  virtual void Write(const void* data, size_t size) = 0;
  // Ends the connection in both directions; any thread.
  virtual void Shutdown() = 0;
  // Releases the connection; only from the owning thread.
  virtual void Close() = 0;
  // "IP:port" of the peer, "" when unknown.
  virtual std::string PeerText() const = 0;
};

}  // namespace bx
