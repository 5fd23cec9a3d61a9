#include "platform/loop_call.h"

#include <exception>
#include <map>
#include <memory>

#include "platform/mutex.h"

namespace bx {

namespace {

enum class TCallState { Pending, Running, Done };

constinit TMutex gCallsLock;

struct TCall {
  const std::function<void()>* Fn = nullptr;
  TCallState State GUARDED_BY(gCallsLock) = TCallState::Pending;
  std::exception_ptr Error;  // written by the runner before Done
};

// Every call waiting for its loop, by id. Entries are added and withdrawn by the caller only.
TCondVar gCallDone;
std::map<uint64_t, std::shared_ptr<TCall>> gCalls GUARDED_BY(gCallsLock);
uint64_t gNextId GUARDED_BY(gCallsLock) = 1;

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
    TMutexLock lock(gCallsLock);
    id = gNextId++;
    gCalls.emplace(id, call);
  }
  loop.Send(kWmLoopCall, id, 0, {}, stop);
  TMutexLock lock(gCallsLock);
  gCalls.erase(id);
  // Given up while the loop runs the function: wait, the function uses the caller's state.
  while (call->State == TCallState::Running) gCallDone.Wait(gCallsLock);
  if (call->State != TCallState::Done) return false;
  if (call->Error) std::rethrow_exception(call->Error);
  return true;
}

int64_t RunLoopCall(const TLoopMessage& message) {
  std::shared_ptr<TCall> call;
  {
    TMutexLock lock(gCallsLock);
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
    TMutexLock lock(gCallsLock);
    call->State = TCallState::Done;
  }
  gCallDone.NotifyAll();
  return 1;
}

}  // namespace bx
