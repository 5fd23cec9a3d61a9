// TThread: a joinable thread with a chosen stack size, a name and a stop request, for the
// servers' listener and connection threads (a thousand idle connections must not cost a
// thousand default-sized stacks).
//
// Ownership: the owner of a TThread joins it; the destructor requests a stop and joins when the
// owner did not. Threads: Start, RequestStop, Join and Joinable from the owning thread;
// RequestStop may also be called from any thread (it only signals the stop source).
// Failure: Start throws std::system_error when the system cannot create the thread.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <stop_token>
#include <string>

namespace bx {

// Stack size for server threads: enough for the handlers, small enough for many connections.
// Sanitizer builds need larger frames.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
inline constexpr size_t kSmallThreadStack = 2 * 1024 * 1024;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
inline constexpr size_t kSmallThreadStack = 2 * 1024 * 1024;
#else
inline constexpr size_t kSmallThreadStack = 256 * 1024;
#endif
#else
inline constexpr size_t kSmallThreadStack = 256 * 1024;
#endif

class TThread {
 public:
  using TBody = std::function<void(std::stop_token)>;

  TThread();
  ~TThread();
  TThread(const TThread&) = delete;
  TThread& operator=(const TThread&) = delete;

  // Starts `body` on a new thread. `name` is shown by the system's tools (cut to 15 bytes).
  void Start(const std::string& name, TBody body, size_t stackSize = kSmallThreadStack);
  void RequestStop();
  std::stop_token StopToken() const;
  // Waits for the thread; does nothing when it was never started or is already joined.
  void Join();
  bool Joinable() const;

  struct TImpl;  // opaque; public so the system's thread entry can reach it

 private:
  std::unique_ptr<TImpl> FImpl;
};

}  // namespace bx
