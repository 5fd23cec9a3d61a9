#include "platform/window_endpoint.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <list>
#include <thread>
#include <vector>

#include "platform/check.h"
#include "platform/endpoint_frame.h"
#include "platform/folders.h"
#include "platform/log_entry.h"
#include "platform/mutex.h"
#include "platform/socket.h"
#include "platform/system_error.h"
#include "platform/thread.h"

namespace bx {

namespace {

constexpr size_t kMaxSocketPath = 107;
constexpr size_t kReadChunk = 65536;

}  // namespace

std::string WindowEndpointPath(const std::string& className, const std::string& caption) {
  for (const std::string* name : {&className, &caption}) {
    if (name->find('/') != std::string::npos || name->find('\0') != std::string::npos) {
      throw EWindowEndpointError("Window endpoint name may not hold \"/\" or NUL: \"" + *name +
                                 "\"");
    }
  }
  std::string path = RunFolder() + "/" + className + "." + caption + ".sock";
  if (path.size() > kMaxSocketPath) {
    throw EWindowEndpointError("Window endpoint path is longer than 107 bytes (" +
                               std::to_string(path.size()) + "): " + path);
  }
  return path;
}

// --- owner side ---

struct TWindowEndpoint::TImpl {
  struct TConnection {
    TStreamSocket Socket;  // closed only when the record is destroyed, after its thread ended
    TThread Thread;
    std::list<std::unique_ptr<TConnection>>::iterator Position;
    bool RefusalLogged = false;  // one entry per connection, however many frames it forges
  };

  TMessageLoop& Loop;
  std::string Name;
  TWindowEndpoint::TAccepts Accepts;
  std::string Path;
  TListenSocket Listener;
  uint64_t Inode = 0;
  TThread ListenThread;

  // State below is protected by Lock.
  mutable TMutex Lock;
  TCondVar ConnectionDone;
  std::list<std::unique_ptr<TConnection>> Connections GUARDED_BY(Lock);
  std::vector<std::unique_ptr<TConnection>> Finished GUARDED_BY(Lock);
  bool Stopping GUARDED_BY(Lock) = false;

  // The thread that constructed the endpoint, which must also destroy it.
  const std::thread::id Owner = std::this_thread::get_id();

  TImpl(TMessageLoop& loop, std::string name) : Loop(loop), Name(std::move(name)) {}

  void ListenLoop(std::stop_token stop);
  void Serve(TConnection& connection, std::stop_token stop);
  // Returns false when the connection must close.
  bool Handle(TConnection& connection, TEndpointFrameParser& parser, std::stop_token stop);
  // False when `frame` must be answered 0 without reaching the loop.
  bool Admit(TConnection& connection, const TEndpointFrame& frame);
  void Reap() EXCLUDES(Lock);
};

void TWindowEndpoint::TImpl::Reap() {
  std::vector<std::unique_ptr<TConnection>> finished;
  {
    TMutexLock lock(Lock);
    finished.swap(Finished);
  }
  for (auto& connection : finished) connection->Thread.Join();
}

void TWindowEndpoint::TImpl::ListenLoop(std::stop_token stop) {
  const uint32_t ownUid = static_cast<uint32_t>(::getuid());
  bool shedLogged = false;
  while (!stop.stop_requested()) {
    std::optional<TStreamSocket> accepted;
    try {
      accepted = Listener.Accept();
    } catch (const EDescriptorsExhausted& e) {
      // Accepted and closed at once: nothing spins. One entry until a connection gets through.
      if (!shedLogged) {
        shedLogged = true;
        AddLogEntry(TLogLevel::Warning,
                    "Window endpoint " + Name +
                        ": closed connections for lack of descriptors: " + e.what());
      }
      continue;
    } catch (const ESocketError& e) {
      AddLogEntry(TLogLevel::Error, "Window endpoint " + Name + ": accept failed: " + e.what());
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
      continue;
    }
    if (!accepted) return;
    shedLogged = false;
    Reap();
    const std::optional<uint32_t> uid = accepted->PeerUserId();
    if (!uid || *uid != ownUid) {
      AddLogEntry(TLogLevel::Warning, "Window endpoint " + Name +
                                          ": refused a connection from user " +
                                          (uid ? std::to_string(*uid) : std::string("unknown")));
      continue;
    }
    auto connection = std::make_unique<TConnection>();
    connection->Socket = std::move(*accepted);
    TConnection* raw = connection.get();
    TMutexLock lock(Lock);
    if (Stopping) return;
    Connections.push_back(std::move(connection));
    raw->Position = std::prev(Connections.end());
    try {
      raw->Thread.Start("BxEndpointConn",
                        [this, raw](std::stop_token token) { Serve(*raw, token); });
    } catch (const std::exception& e) {
      Connections.pop_back();
      AddLogEntry(TLogLevel::Error,
                  "Window endpoint " + Name + ": could not start a connection thread: " + e.what());
    }
  }
}

bool TWindowEndpoint::TImpl::Admit(TConnection& connection, const TEndpointFrame& frame) {
  // A posted copy would outlive the sender's block: the message may only be sent.
  if (frame.Message == WM_COPYDATA && !frame.Sent()) return false;
  if (!Accepts || Accepts(frame.Message)) return true;
  if (!connection.RefusalLogged) {
    connection.RefusalLogged = true;
    AddLogEntry(TLogLevel::Warning, "Window endpoint " + Name + ": refused message " +
                                        std::to_string(frame.Message) +
                                        ", which other programs may not send");
  }
  return false;
}

bool TWindowEndpoint::TImpl::Handle(TConnection& connection, TEndpointFrameParser& parser,
                                    std::stop_token stop) {
  TStreamSocket& socket = connection.Socket;
  std::string replies;
  while (std::optional<TEndpointFrame> frame = parser.Next()) {
    std::optional<int64_t> result;
    std::string replyData;
    if (!Admit(connection, *frame)) {
      result = 0;
    } else if (frame->Sent()) {
      result = Loop.Send(frame->Message, frame->WParam, frame->LParam, std::move(frame->Data), stop,
                         frame->WantsReplyData() ? &replyData : nullptr);
      // A reply that does not fit a frame is not sent half: the sender gets no bytes.
      if (replyData.size() > kMaxFrameData) replyData.clear();
    } else if (Loop.Post(frame->Message, frame->WParam, frame->LParam, std::move(frame->Data))) {
      result = 1;
    }
    if (stop.stop_requested()) return false;
    if (!result && Loop.Ended()) {
      // The owner's loop has ended: the window is gone. No reply, so the sender sees the
      // failure (and may look for a new owner) instead of taking 0 as an answer.
      if (!replies.empty()) socket.Write(replies.data(), replies.size());
      return false;
    }
    replies += EncodeReply(result.value_or(0));
    if (frame->WantsReplyData()) replies += EncodeReplyData(replyData);
  }
  // Replies to every frame that arrived together leave in one write.
  if (!replies.empty()) socket.Write(replies.data(), replies.size());
  return true;
}

void TWindowEndpoint::TImpl::Serve(TConnection& connection, std::stop_token stop) {
  TEndpointFrameParser parser;
  std::vector<char> buffer(kReadChunk);
  try {
    while (!stop.stop_requested()) {
      const size_t n = connection.Socket.Read(buffer.data(), buffer.size());
      if (n == 0) {
        if (parser.Buffered() > 0 && !stop.stop_requested()) {
          AddLogEntry(TLogLevel::Warning,
                      "Window endpoint " + Name + ": a connection ended in the middle of a frame");
        }
        break;
      }
      if (!parser.Feed(buffer.data(), n)) {
        AddLogEntry(TLogLevel::Warning,
                    "Window endpoint " + Name + ": closed a connection: " + parser.Error());
        break;
      }
      if (!Handle(connection, parser, stop)) break;
    }
  } catch (const std::exception& e) {
    if (!stop.stop_requested()) {
      AddLogEntry(TLogLevel::Warning,
                  "Window endpoint " + Name + ": connection failed: " + e.what());
    }
  }
  connection.Socket.Shutdown();
  TMutexLock lock(Lock);
  Finished.push_back(std::move(*connection.Position));
  Connections.erase(connection.Position);
  ConnectionDone.NotifyAll();
}

TWindowEndpoint::TWindowEndpoint(const std::string& className, const std::string& caption,
                                 TMessageLoop& loop, TAccepts accepts)
    : FImpl(std::make_unique<TImpl>(loop, className + "." + caption)) {
  TImpl& impl = *FImpl;
  impl.Accepts = std::move(accepts);
  impl.Path = WindowEndpointPath(className, caption);
  try {
    if (TStreamSocket::ConnectUnix(impl.Path)) {
      throw EWindowEndpointError("Window endpoint \"" + impl.Name +
                                 "\" is already in use by a running program: " + impl.Path);
    }
  } catch (const ESocketError& e) {
    throw EWindowEndpointError("Window endpoint \"" + impl.Name +
                               "\" cannot be checked: " + e.what());
  }
  struct stat info {};
  if (::lstat(impl.Path.c_str(), &info) == 0) {
    // Nobody answers: the file was left by a program that ended without removing it.
    if (!S_ISSOCK(info.st_mode)) {
      throw EWindowEndpointError("Window endpoint path exists and is not a socket: " + impl.Path);
    }
    if (::unlink(impl.Path.c_str()) != 0 && errno != ENOENT) {
      throw EWindowEndpointError(TSystemError::Last().Describe(
          "Window endpoint: cannot remove the stale socket " + impl.Path));
    }
  }
  try {
    impl.Listener = TListenSocket::ListenUnix(impl.Path, 64);
  } catch (const ESocketError& e) {
    throw EWindowEndpointError("Window endpoint \"" + impl.Name +
                               "\" cannot be created: " + e.what());
  }
  if (::lstat(impl.Path.c_str(), &info) == 0) impl.Inode = info.st_ino;
  impl.ListenThread.Start("BxEndpoint", [&impl](std::stop_token stop) { impl.ListenLoop(stop); });
}

TWindowEndpoint::~TWindowEndpoint() {
  TImpl& impl = *FImpl;
  BX_DCHECK_MSG(std::this_thread::get_id() == impl.Owner,
                "window endpoint destroyed on another thread than the one that created it");
  {
    TMutexLock lock(impl.Lock);
    impl.Stopping = true;
  }
  impl.ListenThread.RequestStop();
  impl.Listener.Shutdown();
  impl.ListenThread.Join();
  {
    TMutexLock lock(impl.Lock);
    for (auto& connection : impl.Connections) {
      connection->Thread.RequestStop();  // a reader waiting in Send gives up
      connection->Socket.Shutdown();
    }
  }
  for (;;) {
    impl.Reap();
    TMutexLock lock(impl.Lock);
    if (impl.Connections.empty() && impl.Finished.empty()) break;
    while (impl.Finished.empty() && !impl.Connections.empty()) impl.ConnectionDone.Wait(impl.Lock);
  }
  impl.Listener.Close();
  // Remove the file only while it is still ours.
  struct stat info {};
  if (::lstat(impl.Path.c_str(), &info) == 0 && info.st_ino == impl.Inode) {
    ::unlink(impl.Path.c_str());
  }
}

const std::string& TWindowEndpoint::Path() const { return FImpl->Path; }

size_t TWindowEndpoint::ConnectionCount() const {
  TMutexLock lock(FImpl->Lock);
  return FImpl->Connections.size();
}

// --- sender side ---

struct TWindowEndpointClient::TImpl {
  TStreamSocket Socket;
};

TWindowEndpointClient::TWindowEndpointClient(std::unique_ptr<TImpl> impl)
    : FImpl(std::move(impl)) {}

TWindowEndpointClient::~TWindowEndpointClient() = default;

std::unique_ptr<TWindowEndpointClient> TWindowEndpointClient::Connect(
    const std::string& path, std::chrono::milliseconds timeout) {
  std::optional<TStreamSocket> socket;
  try {
    socket = TStreamSocket::ConnectUnix(path, timeout);
  } catch (const ESocketError& e) {
    if (e.Code() == TimedOutError("connect").Code()) {
      throw EWindowEndpointTimeout("Window endpoint " + path + " did not take the connection in " +
                                   std::to_string(timeout.count()) + " ms");
    }
    throw EWindowEndpointError("Window endpoint " + path + ": " + e.what());
  }
  if (!socket) return nullptr;
  auto impl = std::make_unique<TImpl>();
  impl->Socket = std::move(*socket);
  return std::unique_ptr<TWindowEndpointClient>(new TWindowEndpointClient(std::move(impl)));
}

bool TWindowEndpointClient::Connected() const { return FImpl->Socket.IsOpen(); }

bool TWindowEndpointClient::Alive() const {
  return FImpl->Socket.IsOpen() && !FImpl->Socket.PeerClosed();
}

bool TWindowEndpointClient::WriteRawForTest(std::string_view bytes) {
  if (!Connected()) return false;
  try {
    FImpl->Socket.Write(bytes.data(), bytes.size());
    return true;
  } catch (const ESocketError&) {
    FImpl->Socket.Close();
    return false;
  }
}

TWindowEndpointClient::TExchange TWindowEndpointClient::ExchangeUntil(
    uint32_t msg, uint32_t flags, uint64_t wparam, uint64_t lparam, std::string_view data,
    std::optional<std::chrono::steady_clock::time_point> deadline, std::string* replyData) {
  if (data.size() > kMaxFrameData) return {TOutcome::TooLarge};
  TStreamSocket& socket = FImpl->Socket;
  auto closed = [&socket](TOutcome outcome) {
    socket.Close();  // a reply may still come; the stream is out of step now
    return TExchange{outcome};
  };
  // A connection the owner has closed since the last frame: nothing of this frame left.
  if (!socket.IsOpen() || socket.PeerClosed()) return closed(TOutcome::NotDelivered);
  const std::string request = EncodeFrame(msg, flags, wparam, lparam, data);
  try {
    if (deadline) {
      socket.Write(request.data(), request.size(), *deadline);
    } else {
      socket.Write(request.data(), request.size());
    }
  } catch (const ESocketError& e) {
    if (IsPeerGoneCode(e.Code())) return closed(TOutcome::NotDelivered);  // frame never whole
    if (e.Code() == TimedOutError("send").Code()) return closed(TOutcome::TimedOut);
    return closed(TOutcome::Failed);
  }
  // From here on the owner may have handled the frame. Reads exactly `size` bytes before the
  // deadline; an outcome other than Replied when the connection closes or the time runs out.
  auto readExactly = [&](char* out, size_t size) -> std::optional<TOutcome> {
    size_t got = 0;
    try {
      while (got < size) {
        if (deadline) {
          const auto left = TimeLeft(*deadline);
          if (left.count() <= 0 || !socket.WaitReadable(left)) return TOutcome::TimedOut;
        }
        const size_t n = socket.Read(out + got, size - got);
        if (n == 0) return TOutcome::Failed;
        got += n;
      }
    } catch (const ESocketError&) {
      return TOutcome::Failed;
    }
    return std::nullopt;
  };
  char reply[kFrameReplySize];
  if (auto failed = readExactly(reply, kFrameReplySize)) return closed(*failed);
  const int64_t result = DecodeReply(reply);
  if (replyData != nullptr) {
    char lengthBytes[kFrameReplyLengthSize];
    if (auto failed = readExactly(lengthBytes, kFrameReplyLengthSize)) return closed(*failed);
    const uint32_t length = DecodeReplyLength(lengthBytes);
    if (length > kMaxFrameData) return closed(TOutcome::Failed);
    replyData->assign(length, '\0');
    if (length > 0) {
      if (auto failed = readExactly(replyData->data(), length)) return closed(*failed);
    }
  }
  return {TOutcome::Replied, result};
}

TWindowEndpointClient::TExchange TWindowEndpointClient::SendFrameBefore(
    uint32_t msg, uint64_t wparam, uint64_t lparam, std::string_view data,
    std::chrono::steady_clock::time_point deadline) {
  return ExchangeUntil(msg, kFrameFlagSent, wparam, lparam, data, deadline);
}

std::optional<int64_t> TWindowEndpointClient::Exchange(uint32_t msg, uint32_t flags,
                                                       uint64_t wparam, uint64_t lparam,
                                                       std::string_view data,
                                                       std::chrono::milliseconds timeout,
                                                       std::string* replyData) {
  std::optional<std::chrono::steady_clock::time_point> deadline;
  if (timeout.count() >= 0) deadline = std::chrono::steady_clock::now() + timeout;
  const TExchange exchange = ExchangeUntil(msg, flags, wparam, lparam, data, deadline, replyData);
  if (exchange.Outcome != TOutcome::Replied) return std::nullopt;
  return exchange.Result;
}

std::optional<int64_t> TWindowEndpointClient::SendFrameForReply(uint32_t msg, uint64_t wparam,
                                                                uint64_t lparam,
                                                                std::string_view data,
                                                                std::string* reply,
                                                                std::chrono::milliseconds timeout) {
  std::string bytes;
  std::optional<int64_t> result =
      Exchange(msg, kFrameFlagSent | kFrameFlagReplyData, wparam, lparam, data, timeout, &bytes);
  if (result && reply != nullptr) *reply = std::move(bytes);
  return result;
}

std::optional<int64_t> TWindowEndpointClient::SendFrame(uint32_t msg, uint64_t wparam,
                                                        uint64_t lparam, std::string_view data,
                                                        std::chrono::milliseconds timeout) {
  return Exchange(msg, kFrameFlagSent, wparam, lparam, data, timeout);
}

std::optional<int64_t> TWindowEndpointClient::PostFrame(uint32_t msg, uint64_t wparam,
                                                        uint64_t lparam, std::string_view data,
                                                        std::chrono::milliseconds timeout) {
  return Exchange(msg, 0, wparam, lparam, data, timeout);
}

std::unique_ptr<TWindowEndpointClient> FindWindowEndpoint(const std::string& className,
                                                          const std::string& caption,
                                                          std::chrono::milliseconds timeout) {
  return TWindowEndpointClient::Connect(WindowEndpointPath(className, caption), timeout);
}

}  // namespace bx
