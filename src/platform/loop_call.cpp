#include "platform/loop_call.h"

#include <condition_variable>
#include <exception>
#include <map>
#include <memory>
#include <mutex>

namespace bx {

namespace {

enum class TCallState { Pending, Running, Done };

struct TCall {
  const std::function<void()>* Fn = nullptr;
  TCallState State = TCallState::Pending;  // protected by gCallsLock
  std::exception_ptr Error;                // written by the runner before Done
};

// Every call waiting for its loop, by id. Entries are added and withdrawn by the caller only.
std::mutex gCallsLock;
std::condition_variable gCallDone;
std::map<uint64_t, std::shared_ptr<TCall>> gCalls;  // protected by gCallsLock
uint64_t gNextId = 1;                               // protected by gCallsLock

}  // namespace

bool CallOnLoop(TMessageLoop& loop, const std::function<void()>& fn, std::stop_token stop) {
  if (loop.IsLoopThread()) {
    fn();
    return true;
  }
  auto call = std::make_shared<TCall>();
  call->Fn = &fn;
  uint64_t id = 0;
  {
    std::lock_guard lock(gCallsLock);
    id = gNextId++;
    gCalls.emplace(id, call);
  }
  loop.Send(kWmLoopCall, id, 0, {}, stop);
  std::unique_lock lock(gCallsLock);
  gCalls.erase(id);
  // Given up while the loop runs the function: wait, the function uses the caller's state.
  gCallDone.wait(lock, [&] { return call->State != TCallState::Running; });
  if (call->State != TCallState::Done) return false;
  if (call->Error) std::rethrow_exception(call->Error);
  return true;
}

int64_t RunLoopCall(const TLoopMessage& message) {
  std::shared_ptr<TCall> call;
  {
    std::lock_guard lock(gCallsLock);
    auto it = gCalls.find(message.WParam);
    if (it == gCalls.end() || it->second->State != TCallState::Pending) return 0;
    call = it->second;
    call->State = TCallState::Running;
  }
  try {
    (*call->Fn)();
  } catch (...) {
    call->Error = std::current_exception();
  }
  {
    std::lock_guard lock(gCallsLock);
    call->State = TCallState::Done;
  }
  gCallDone.notify_all();
  return 1;
}

}  // namespace bx
