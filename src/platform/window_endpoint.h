// Window endpoints: how programs of the product find each other's "window" and send it window
// messages. An owner (the dispatcher's main window, the live viewer) listens on the Unix stream
// socket <RunFolder()>/<class>.<caption>.sock (mode 0600, peers of other users refused); a
// sender finds it by connecting and then sends frames (endpoint_frame.h), each answered with
// the handler's result.
//
// TWindowEndpoint (the owner side) hands every frame to the owner's TMessageLoop: a sent frame
// with Send, the connection's reader waiting for the result (0 when the loop refused it); a
// posted frame with Post (result 1 once queued, 0 when refused). A broken frame, or one with
// more than 16 MiB of data, closes that connection only (with an activity-log entry).
// Refused without reaching the loop, answered 0: a posted WM_COPYDATA (the message may only
// be sent, as its data lives only while the sender waits), and every message that the
// owner's `accepts` filter (when given) does not let in from outside, the first of them on a
// connection with a Warning entry "Window endpoint <name>: refused message <n>, which other
// programs may not send".
//
// Ownership: TWindowEndpoint owns its socket file, its listener thread and one reader thread
// per connection; the loop is borrowed and must outlive the endpoint. The destructor closes
// every connection, joins every thread (a reader waiting in Send gives up at once) and removes
// the socket file. Threads: construct and destroy on one thread (normally the loop's); the
// loop's handler runs the frames on the loop's thread.
// Failure: the constructor throws EWindowEndpointError when the path is too long (over 107
// bytes), when another live program answers on the path, or when the socket cannot be made.
// A socket file left by a program that ended without removing it is replaced.
//
// TWindowEndpointClient (the sender side): one connection; SendFrame/PostFrame return the
// reply, or no value when the endpoint has gone or did not answer within the time-out (the
// connection is closed then). SendFrameBefore bounds the whole exchange (the write of the
// frame and the wait for its reply) by one deadline and tells apart a frame that cannot have
// reached the owner from one that may have: only the first may be sent again. Connect and
// FindWindowEndpoint take a time-out for owners that do not take connections (stopped or
// hung: their queue of waiting connections is full). Threads: one thread at a time per
// client.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

#include "platform/message_loop.h"

namespace bx {

class EWindowEndpointError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// An owner that did not take a connection within the time-out.
class EWindowEndpointTimeout : public EWindowEndpointError {
 public:
  using EWindowEndpointError::EWindowEndpointError;
};

// <RunFolder()>/<class>.<caption>.sock; throws EWindowEndpointError for a name holding "/" or
// a NUL byte, or a path over 107 bytes.
std::string WindowEndpointPath(const std::string& className, const std::string& caption);

class TWindowEndpoint {
 public:
  // True for the message numbers that other programs may send; called on reader threads.
  using TAccepts = std::function<bool(uint32_t message)>;

  TWindowEndpoint(const std::string& className, const std::string& caption, TMessageLoop& loop,
                  TAccepts accepts = {});
  ~TWindowEndpoint();
  TWindowEndpoint(const TWindowEndpoint&) = delete;
  TWindowEndpoint& operator=(const TWindowEndpoint&) = delete;

  const std::string& Path() const;
  // Connections whose reader is still running; any thread.
  size_t ConnectionCount() const;

 private:
  struct TImpl;
  std::unique_ptr<TImpl> FImpl;
};

class TWindowEndpointClient {
 public:
  static constexpr std::chrono::milliseconds kWaitForever{-1};

  ~TWindowEndpointClient();
  TWindowEndpointClient(const TWindowEndpointClient&) = delete;
  TWindowEndpointClient& operator=(const TWindowEndpointClient&) = delete;

  // How one bounded exchange ended.
  enum class TOutcome : uint8_t {
    Replied,       // Result holds the owner's reply
    NotDelivered,  // the owner had closed the connection before the frame was written whole:
                   // it cannot have handled it (sending it again is safe)
    TimedOut,      // the deadline passed while writing or waiting for the reply
    Failed,        // the connection failed after the frame was written: it may have been handled
    TooLarge,      // more data than an endpoint takes (kMaxFrameData); nothing was written and
                   // the connection stays open
  };
  struct TExchange {
    TOutcome Outcome = TOutcome::Failed;
    int64_t Result = 0;
  };

  // Connects to an endpoint path; null when nothing listens there. A time-out of zero or more
  // bounds the wait for an owner that does not take the connection: EWindowEndpointTimeout.
  // Other failures raise EWindowEndpointError.
  static std::unique_ptr<TWindowEndpointClient> Connect(
      const std::string& path, std::chrono::milliseconds timeout = kWaitForever);

  // A sent frame (the sender waits for the owner's result), everything done by `deadline`.
  // The connection is closed after every outcome but Replied and TooLarge.
  TExchange SendFrameBefore(uint32_t msg, uint64_t wparam, uint64_t lparam, std::string_view data,
                            std::chrono::steady_clock::time_point deadline);

  // The handler's result; no value on failure or time-out.
  std::optional<int64_t> SendFrame(uint32_t msg, uint64_t wparam, uint64_t lparam,
                                   std::string_view data,
                                   std::chrono::milliseconds timeout = kWaitForever);
  // A sent frame whose reply also carries the handler's bytes (TLoopMessage::Reply), stored in
  // *reply; no value on failure or time-out.
  std::optional<int64_t> SendFrameForReply(uint32_t msg, uint64_t wparam, uint64_t lparam,
                                           std::string_view data, std::string* reply,
                                           std::chrono::milliseconds timeout = kWaitForever);
  // 1 once queued, 0 when the owner's loop refused it; no value on failure or time-out.
  std::optional<int64_t> PostFrame(uint32_t msg, uint64_t wparam, uint64_t lparam,
                                   std::string_view data,
                                   std::chrono::milliseconds timeout = kWaitForever);
  // Writes raw bytes on the connection (tests of broken frames).
  bool WriteRawForTest(std::string_view bytes);
  bool Connected() const;
  // Connected, and the endpoint has not gone away since (its owner ended or closed it): the
  // test whether a found window still exists. Never waits.
  bool Alive() const;

 private:
  struct TImpl;
  explicit TWindowEndpointClient(std::unique_ptr<TImpl> impl);
  std::optional<int64_t> Exchange(uint32_t msg, uint32_t flags, uint64_t wparam, uint64_t lparam,
                                  std::string_view data, std::chrono::milliseconds timeout,
                                  std::string* replyData = nullptr);
  // No deadline: no bound on the write or the wait. With `replyData`, the frame asks for the
  // handler's bytes too (kFrameFlagReplyData) and they are read after the result.
  TExchange ExchangeUntil(uint32_t msg, uint32_t flags, uint64_t wparam, uint64_t lparam,
                          std::string_view data,
                          std::optional<std::chrono::steady_clock::time_point> deadline,
                          std::string* replyData = nullptr);
  std::unique_ptr<TImpl> FImpl;
};

// Finds the "window" of a class and caption: a connected client, or null when none runs.
// Raises as TWindowEndpointClient::Connect does.
std::unique_ptr<TWindowEndpointClient> FindWindowEndpoint(
    const std::string& className, const std::string& caption,
    std::chrono::milliseconds timeout = TWindowEndpointClient::kWaitForever);

}  // namespace bx
