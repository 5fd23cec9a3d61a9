#include "platform/message_loop.h"

#include <atomic>
#include <exception>

#include "platform/check.h"
#include "platform/wake_signal.h"

namespace bx {

namespace {
std::atomic<TMessageLoop*> gMainLoop{nullptr};
}  // namespace

TMessageLoop* MainLoop() { return gMainLoop.load(std::memory_order_acquire); }
void SetMainLoop(TMessageLoop* loop) { gMainLoop.store(loop, std::memory_order_release); }

struct TMessageLoop::TSendState {
  TMutex Mutex;
  TCondVar Done;
  bool Finished GUARDED_BY(Mutex) = false;
  std::optional<int64_t> Result GUARDED_BY(Mutex);
  std::string Reply GUARDED_BY(Mutex);

  void Finish(std::optional<int64_t> result, std::string reply = {}) EXCLUDES(Mutex) {
    {
      TMutexLock lock(Mutex);
      if (Finished) return;
      Finished = true;
      Result = result;
      if (result) Reply = std::move(reply);
    }
    Done.NotifyAll();
  }
};

TMessageLoop::TMessageLoop() : FLoopThread(std::this_thread::get_id()) {}

TMessageLoop::~TMessageLoop() {
  TMutexLock lock(FMutex);
  EndLocked();
}

void TMessageLoop::SetHandler(THandler handler) { FHandler = std::move(handler); }
void TMessageLoop::SetErrorHandler(TErrorHandler handler) { FErrorHandler = std::move(handler); }

bool TMessageLoop::IsLoopThread() const { return std::this_thread::get_id() == FLoopThread; }

void TMessageLoop::AssertInLoopThread() const {
  BX_DCHECK_MSG(IsLoopThread(), "called off the thread that owns the message loop");
}

bool TMessageLoop::Ended() const {
  TMutexLock lock(FMutex);
  return FEnded;
}

TWakeSignal* TMessageLoop::NeedsWakeLocked() {
  if (!FWakeSignal || FWakeRaised) return nullptr;
  FWakeRaised = true;
  return FWakeSignal.get();
}

intptr_t TMessageLoop::WakeHandle() {
  AssertInLoopThread();
  TMutexLock lock(FMutex);
  if (!FWakeSignal) {
    FWakeSignal = std::make_unique<TWakeSignal>();
    if (!FQueue.empty() || !FTimers.empty()) {
      FWakeRaised = true;
      FWakeSignal->Raise();
    }
  }
  return FWakeSignal->NativeHandle();
}

std::optional<std::chrono::steady_clock::time_point> TMessageLoop::NextTimerDue() const {
  AssertInLoopThread();
  TMutexLock lock(FMutex);
  std::optional<std::chrono::steady_clock::time_point> due;
  for (const auto& entry : FTimers) {
    if (!due || entry.second.Due < *due) due = entry.second.Due;
  }
  return due;
}

int TMessageLoop::ExitCode() const {
  TMutexLock lock(FMutex);
  return FExitCode;
}

bool TMessageLoop::Post(uint32_t msg, uint64_t wparam, uint64_t lparam, std::string data) {
  bool wake = false;
  TWakeSignal* raise = nullptr;
  {
    TMutexLock lock(FMutex);
    if (FEnded) return false;
    FQueue.push_back(TItem{TLoopMessage{msg, wparam, lparam, std::move(data), {}}, nullptr});
    wake = FWaiting;
    FWaiting = false;
    raise = NeedsWakeLocked();
  }
  if (wake) FWake.NotifyOne();
  if (raise) raise->Raise();
  return true;
}

std::optional<int64_t> TMessageLoop::Send(uint32_t msg, uint64_t wparam, uint64_t lparam,
                                          std::string data, std::stop_token stop,
                                          std::string* reply) {
  if (reply) reply->clear();
  if (IsLoopThread()) {
    TItem item{TLoopMessage{msg, wparam, lparam, std::move(data), {}}, nullptr};
    try {
      const int64_t result = FHandler ? FHandler(item.Message) : 0;
      if (reply) *reply = std::move(item.Message.Reply);
      return result;
    } catch (const std::exception&) {
      return std::nullopt;
    }
  }
  // A worker that is asked to stop does not start a new wait, nor leave work behind it.
  if (stop.stop_requested()) return std::nullopt;
  auto state = std::make_shared<TSendState>();
  bool wake = false;
  TWakeSignal* raise = nullptr;
  {
    TMutexLock lock(FMutex);
    if (FEnded) return std::nullopt;
    FQueue.push_back(TItem{TLoopMessage{msg, wparam, lparam, std::move(data), {}}, state});
    wake = FWaiting;
    FWaiting = false;
    raise = NeedsWakeLocked();
  }
  if (wake) FWake.NotifyOne();
  if (raise) raise->Raise();
  // A stop request fails the wait; the loop may still run the handler later, but nobody waits.
  std::stop_callback onStop(stop, [state] { state->Finish(std::nullopt); });
  TMutexLock lock(state->Mutex);
  while (!state->Finished) state->Done.Wait(state->Mutex);
  if (reply && state->Result) *reply = std::move(state->Reply);
  return state->Result;
}

void TMessageLoop::SetTimer(uint32_t id, std::chrono::milliseconds interval) {
  bool wake = false;
  TWakeSignal* raise = nullptr;
  {
    TMutexLock lock(FMutex);
    FTimers[id] = TTimer{interval, std::chrono::steady_clock::now() + interval};
    wake = FWaiting;
    FWaiting = false;
    // The toolkit's loop learns the new due time at its next ProcessPending.
    raise = NeedsWakeLocked();
  }
  if (wake) FWake.NotifyOne();
  if (raise) raise->Raise();
}

void TMessageLoop::KillTimer(uint32_t id) {
  TMutexLock lock(FMutex);
  FTimers.erase(id);
}

void TMessageLoop::Quit(int exitCode) { Post(WM_QUIT, static_cast<uint64_t>(exitCode)); }

void TMessageLoop::CollectDueTimers(std::deque<TItem>& out) {
  const auto now = std::chrono::steady_clock::now();
  for (auto& [id, timer] : FTimers) {
    if (timer.Due <= now) {
      out.push_back(TItem{TLoopMessage{WM_TIMER, id, 0, {}, {}}, nullptr});
      timer.Due = now + timer.Interval;
    }
  }
}

void TMessageLoop::EndLocked() {
  FEnded = true;
  for (TItem& item : FQueue) {
    if (item.Send) item.Send->Finish(std::nullopt);
  }
  FQueue.clear();
  FTimers.clear();
}

bool TMessageLoop::Dispatch(TItem& item) {
  if (item.Message.Msg == WM_QUIT) {
    if (item.Send) item.Send->Finish(0);
    return false;
  }
  std::optional<int64_t> result;
  try {
    result = FHandler ? FHandler(item.Message) : 0;
  } catch (const std::exception& e) {
    if (!item.Send && FErrorHandler) FErrorHandler(e);
  }
  if (item.Send) item.Send->Finish(result, std::move(item.Message.Reply));
  return true;
}

int TMessageLoop::Run() {
  AssertInLoopThread();
  std::deque<TItem> batch;
  for (;;) {
    {
      TMutexLock lock(FMutex);
      for (;;) {
        if (FEnded) return 0;
        CollectDueTimers(FQueue);
        if (!FQueue.empty()) break;
        FWaiting = true;
        if (FTimers.empty()) {
          FWake.Wait(FMutex);
        } else {
          auto due = FTimers.begin()->second.Due;
          for (const auto& entry : FTimers) due = std::min(due, entry.second.Due);
          FWake.WaitUntil(FMutex, due);
        }
        FWaiting = false;
      }
      batch.swap(FQueue);
    }
    while (!batch.empty()) {
      TItem item = std::move(batch.front());
      batch.pop_front();
      if (!Dispatch(item)) {
        const int code = static_cast<int>(item.Message.WParam);
        TMutexLock lock(FMutex);
        FExitCode = code;
        // Messages behind the WM_QUIT are not handled; waiting senders are released.
        for (TItem& rest : batch) {
          if (rest.Send) rest.Send->Finish(std::nullopt);
        }
        EndLocked();
        return code;
      }
    }
  }
}

bool TMessageLoop::ProcessPending() {
  AssertInLoopThread();
  size_t budget = 0;
  {
    TMutexLock lock(FMutex);
    if (FEnded) return false;
    if (FWakeSignal) {
      FWakeRaised = false;
      FWakeSignal->Clear();
    }
    CollectDueTimers(FQueue);
    budget = FQueue.size();
  }
  // One message at a time: a nested loop inside a handler goes on with the same queue.
  for (; budget > 0; --budget) {
    TItem item;
    TWakeSignal* raise = nullptr;
    {
      TMutexLock lock(FMutex);
      if (FEnded) return false;
      if (FQueue.empty()) break;  // a nested call took the rest
      item = std::move(FQueue.front());
      FQueue.pop_front();
      // What is left stays announced, so that a loop nested in this handler takes it.
      if (!FQueue.empty()) raise = NeedsWakeLocked();
    }
    if (raise) raise->Raise();
    if (!Dispatch(item)) {
      TMutexLock lock(FMutex);
      FExitCode = static_cast<int>(item.Message.WParam);
      EndLocked();  // releases every sender still queued
      return false;
    }
  }
  return true;
}

}  // namespace bx
