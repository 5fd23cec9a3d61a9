// TBxTCPConnection: the reader/writer of one TCP connection, handed to the server's execute
// event. Reads are buffered: each read from the channel takes what the peer has sent so far (up
// to the receive buffer), so several small requests arriving together cost one system call.
// Writes are buffered too and go out in one piece when the handler has finished with every
// request already received, before the stream waits for more input, when the buffer fills, and
// on Disconnect; that way the answers to requests that arrived together leave together.
//
// Wire conventions: integers are 32-bit signed, big-endian (network byte order). Lines are
// 7-bit ASCII ended by LF; a CR right before the LF is not part of the line; bytes above 0x7F
// read as "?". A line longer than MaxLineLength() characters raises EBxMaxLineLengthExceeded.
//
// The input buffer is allocated when the first input arrives (the channel is asked to wait for
// readability first), so a connection that stays idle holds no buffer; once allocated it is
// kept for the life of the connection. A connection whose reads keep filling the buffer (a
// pipelining sender) has it doubled, up to kBxMaxBufferSize, so a stream costs fewer reads and
// fewer answer writes per request.
//
// Ownership: owns its channel. Threads: the connection's own thread only, except Shutdown,
// which the server calls from any thread to wake a blocked read. Failure: a close by the peer
// (also in the middle of a value) raises EBxConnClosedGracefully; channel failures raise what
// the channel raises (ESocketError). After a failure the connection is not usable.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "net/byte_channel.h"

namespace bx {

inline constexpr size_t kBxDefaultBufferSize = 32768;
inline constexpr size_t kBxMaxBufferSize = 262144;
inline constexpr size_t kBxDefaultMaxLineLength = 16384;

class TBxTCPConnection {
 public:
  explicit TBxTCPConnection(std::unique_ptr<TBxByteChannel> channel);
  ~TBxTCPConnection();
  TBxTCPConnection(const TBxTCPConnection&) = delete;
  TBxTCPConnection& operator=(const TBxTCPConnection&) = delete;

  int32_t ReadInt32();
  // Exactly `count` bytes. Memory grows with the bytes that arrive, not with `count`, so a
  // lying length costs nothing until the peer really sends that much.
  std::string ReadBytes(size_t count);
  // One line without its end (LF or CR LF).
  std::string ReadLn();
  // The next `count` bytes, taken from the input without a copy when all of them have already
  // arrived; an empty view (and nothing taken) otherwise. The view stays valid until the next
  // read of this connection.
  std::string_view TakeBuffered(size_t count);

  void WriteInt32(int32_t value);
  void Write(std::string_view bytes);
  // The text followed by CR LF.
  void WriteLn(std::string_view text);
  // Sends everything written so far.
  void Flush();

  // Sends what is buffered (best effort) and closes the connection; the server then ends the
  // connection's loop.
  void Disconnect();
  bool Connected() const { return FConnected; }
  // Bytes received and not yet consumed.
  size_t InputBuffered() const { return FInEnd - FInStart; }
  size_t OutputBuffered() const { return FOut.size(); }

  size_t MaxLineLength() const { return FMaxLineLength; }
  void SetMaxLineLength(size_t length);

  std::string PeerText() const { return FChannel->PeerText(); }
  // Wakes a thread blocked in a read or write of this connection; any thread.
  void Shutdown() {
    // Release: pairs with ShutdownRequested; a flag on its own.
    FShutdownRequested.store(true, std::memory_order_release);
    FChannel->Shutdown();
  }
  // True once Shutdown was called: a handler that waits for something else than this
  // connection (a full message queue) checks it between slices of its wait. Any thread.
  bool ShutdownRequested() const { return FShutdownRequested.load(std::memory_order_acquire); }

 private:
  // Reads more input (flushing pending output first); throws on end of data.
  void Fill();
  // Moves the unread input into a buffer of `capacity` bytes.
  void Reallocate(size_t capacity);
  void Need(size_t count);

  std::unique_ptr<TBxByteChannel> FChannel;
  std::unique_ptr<char[]> FIn;                // null until the first input arrives
  size_t FInCapacity = kBxDefaultBufferSize;  // FIn's size, once allocated
  size_t FInStart = 0;
  size_t FInEnd = 0;
  std::string FOut;
  size_t FMaxLineLength = kBxDefaultMaxLineLength;
  bool FConnected = true;
  std::atomic<bool> FShutdownRequested{false};
};

}  // namespace bx
