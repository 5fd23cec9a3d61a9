#include "core/dispatch_thread.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <future>
#include <stdexcept>
#include <string>

#include "config/settings_snapshot.h"
#include "core/dispatch_counters.h"
#include "core/dispatch_list.h"
#include "destinations/kept_open_files.h"
#include "platform/clock.h"
#include "platform/fault_injection.h"
#include "platform/log_entry.h"
#include "platform/memory_release.h"
#include "platform/message_loop.h"

namespace bx {

namespace {

constexpr std::chrono::milliseconds kWaitLimit{1000};
// How often kept log files are looked at for idleness while any is open.
constexpr std::chrono::milliseconds kKeptFileCheck{250};
// Quiet time after which the memory of a burst is given back.
constexpr std::chrono::milliseconds kReleaseAfter{900};
// A backlog this large is given back as soon as the queue has run empty.
constexpr int64_t kReleaseAtOnceBytes = 4 * 1024 * 1024;

std::string ExceptionText(std::exception_ptr error) {
  try {
    std::rethrow_exception(error);
  } catch (const std::exception& e) {
    return e.what();
  } catch (...) {
    return "unknown exception";
  }
}

}  // namespace

TBxDispatchThread::TBxDispatchThread(TBxMessageQueue& queue, TManualResetEvent& event,
                                     TBxDispatchIDList& registry)
    : FQueue(queue), FEvent(event), FRegistry(registry) {
  std::promise<TThreadPriorityHandle> started;
  std::future<TThreadPriorityHandle> handle = started.get_future();
  FThread = std::thread([this, started = std::move(started)]() mutable {
    // The thread keeps its own copy: FPriority belongs to the constructing thread until it
    // has been stored.
    const TThreadPriorityHandle self = CurrentThreadHandle();
    started.set_value(self);
    Execute(self);
  });
  FPriority = handle.get();
}

TBxDispatchThread::~TBxDispatchThread() {
  Terminate();
  WaitFor();
}

void TBxDispatchThread::Terminate() {
  FTerminated.store(true, std::memory_order_release);
  FEvent.Set();
}

void TBxDispatchThread::Stop(std::chrono::milliseconds drainTime) {
  if (!FTerminated.load(std::memory_order_acquire)) {
    FDrainDeadline = std::chrono::steady_clock::now() + drainTime;
  }
  Terminate();
}

bool TBxDispatchThread::Finished() {
  if (!FTerminated.load(std::memory_order_acquire)) return false;
  if (FQueue.IsEmpty()) return true;
  return std::chrono::steady_clock::now() >= FDrainDeadline;
}

void TBxDispatchThread::Housekeeping(std::chrono::steady_clock::time_point now, bool idle) {
  if (AnyKeptFile() && now - FLastKeptCheck >= kKeptFileCheck) {
    FLastKeptCheck = now;
    CloseIdleKeptFiles();
  }
  if (idle && FTrafficSinceRelease && now - FLastMessage >= kReleaseAfter) ReleaseMemory();
}

void TBxDispatchThread::ReleaseMemory() {
  FTrafficSinceRelease = false;
  FQueue.ReleaseSpareNodes();
  ReturnFreeMemoryToSystem();
}

void TBxDispatchThread::WaitFor() {
  if (FThread.joinable()) FThread.join();
}

void TBxDispatchThread::Execute(const TThreadPriorityHandle& self) {
  // Without the main window nobody could read what this thread reports: do nothing at all.
  if (MainLoop() == nullptr) return;
  SetThreadPriority(self, TThreadPriority::Lower);
  const bool injectFault = FaultInjected("DispatchLoop");
  try {
    while (!Finished()) {
      // IsSet first: while messages remain the event stays set, and the check needs no lock.
      // While a file is kept open the thread wakes often enough to close it in time.
      const auto limit = AnyKeptFile() ? kKeptFileCheck : kWaitLimit;
      if (FEvent.IsSet() || FEvent.WaitFor(limit)) {
        // Relaxed: the event that follows the request carries the wake-up.
        if (FQueue.EmptyRequested.exchange(false, std::memory_order_relaxed)) {
          FQueue.EmptyQueue(true);
        } else if (!FQueue.IsEmpty()) {
          if (injectFault) throw std::runtime_error("fault injected into the dispatch loop");
          DispatchNextMessage();
          FTrafficSinceRelease = true;
          if (AnyKeptFile()) Housekeeping(std::chrono::steady_clock::now(), false);
        }
        if (FQueue.IsEmpty()) {
          // Kept files write what they gathered while messages were waiting.
          if (KeptWritesPending()) FlushKeptFiles();
          if (FTrafficSinceRelease) {
            FLastMessage = std::chrono::steady_clock::now();
            if (FQueue.TakePeakQueuedBytes() >= kReleaseAtOnceBytes) ReleaseMemory();
          }
          FLastLookup.Destination.reset();
          FEvent.Reset();
          // A message linked or an emptying requested between the test and the reset would
          // otherwise wait for the time-out: a Set that found the event still set did nothing,
          // so everything its caller published is looked at again after the reset.
          if (!FQueue.IsEmpty() || FQueue.EmptyRequested.load(std::memory_order_relaxed)) {
            FEvent.Set();
          }
        }
      } else if (!FQueue.IsEmpty()) {
        FEvent.Set();
      } else {
        Housekeeping(std::chrono::steady_clock::now(), true);
      }
    }
  } catch (...) {
    LoopFailed(std::current_exception());
  }
  FLastLookup.Destination.reset();
  SetDispatchBacklog(false);
  CloseAllKeptFiles();
}

void TBxDispatchThread::LoopFailed(std::exception_ptr error) noexcept {
  // Without this thread nothing queued is ever delivered: the process must not go on
  // accepting messages. The entries and the quit travel through the main loop in order, so
  // both entries are written before the loop ends with the exit code.
  try {
    AddLogEntry(TLogLevel::Error, "Exception occurred in DispatchThread: " + ExceptionText(error));
    AddLogEntry(TLogLevel::Error,
                "The dispatch thread cannot go on; the dispatcher ends with exit code " +
                    std::to_string(kExitDispatchThreadFailed));
    if (TMessageLoop* loop = MainLoop();
        loop != nullptr && loop->Post(WM_QUIT, kExitDispatchThreadFailed)) {
      return;
    }
  } catch (...) {
    // Out of memory even for the entries: end at once below.
  }
  std::fprintf(stderr, "BxDispatcher: the dispatch thread cannot go on\n");
  std::_Exit(kExitDispatchThreadFailed);
}

void TBxDispatchThread::DispatchNextMessage() {
  TDispatchMessagePtr message = FQueue.TakeHead();
  if (!message) {
    AddLogEntry(TLogLevel::Warning,
                "Message Queue Problem: DispatchNextMessage called but queue is empty");
    FEvent.Reset();
    return;
  }
  // Destinations may gather what they write while more messages wait (kept files).
  SetDispatchBacklog(!FQueue.IsEmpty());
  try {
    DispatchMessage(*message);
  } catch (...) {
    AddLogEntry(TLogLevel::Error, "Exception occurred in DispatchMessage: " +
                                      ExceptionText(std::current_exception()));
  }
  // The message is given back here whatever happened: it is never retried.
  FQueue.RecycleMessage(std::move(message));
}

void TBxDispatchThread::DispatchMessage(TDispatchMessage& message) {
  // The field is in the ANSI code page; the registry keeps IDs as UTF-8.
  const std::string_view dispatchID = DispatchIDUtf8(message, FDispatchIDScratch);

  if (message.MsgType == kMsgTypeUnregister) {
    FLastLookup.Destination.reset();  // the registration removed below is freed with the lock
    TBxDispatchIDList::TLock lock(FRegistry);
    const int index = FRegistry.Find(lock, dispatchID);
    if (index >= 0) {
      const TBxDestination& registration = *FRegistry.Objects(lock, index);
      const std::string description = TBxDispatchIDList::DestinationText(registration);
      const uint8_t method = registration.ConnectionMethod;
      FRegistry.Delete(lock, index);
      // The destinations close their files and connections (a remote peer sees its
      // unregistration) before the entry is logged and the file saved.
      FRegistry.FreeRetired(lock);
      std::string line = "Unregister Logger " + std::string(dispatchID.substr(0, 8)) + " (" +
                         ConnectionMethodLetter(method) + "):  [ ";
      line += FieldText(message.ComputerName);
      line += "  ";
      line += FieldText(message.AppName);
      line += "  (" + std::to_string(message.ProcessID) + ")  ";
      line += FieldText(message.Category);
      line += " ]  --  \"" + description + "\"";
      AddLogEntry(TLogLevel::Unreg, line);
    }
    FRegistry.SaveDispatchIDs(lock);
    return;
  }

  const TBxDispatcherSettings& settings = FSettings.Get();
  // Unsigned: a negative type is a large number here and never blocked.
  const auto type = static_cast<uint32_t>(message.MsgType);
  if (type <= static_cast<uint32_t>(kMaxBlockableMsgType) && settings.BlockedMessages.test(type)) {
    AddLogEntry(TLogLevel::Warning,
                "Message Type BLOCKED - MsgType = " + std::to_string(message.MsgType));
    return;
  }
  const std::string_view category = FieldText(message.Category);
  if (!category.empty() && settings.Categories.Count() > 0 &&
      settings.Categories.IsCategoryBlocked(category)) {
    AddLogEntry(TLogLevel::Warning,
                "Message Category BLOCKED - MsgType = " + std::string(category));
    return;
  }

  if (std::shared_ptr<TBxDestination> destination = FindDestination(dispatchID)) {
    // Delivered unless a destination wrote an Error entry while it had the message; a list
    // records the kind of its failing member itself.
    const uint64_t errorsBefore = ThreadErrorEntryCount();
    destination->Dispatch(message);
    const bool failed = ThreadErrorEntryCount() != errorsBefore;
    if (failed && destination->KindName() != TBxDispatchList::ClassKindName()) {
      RecordDestinationError(destination->KindName(), ThreadLastErrorEntry(), SystemClock().Now());
    }
    CountDelivered(!failed);
  } else {
    AddLogEntry(TLogLevel::Warning, "Destination for " + std::string(dispatchID) + " NOT FOUND");
  }
}

std::shared_ptr<TBxDestination> TBxDispatchThread::FindDestination(std::string_view dispatchID) {
  try {
    const uint64_t generation = FRegistry.Generation();
    if (FLastLookup.Destination != nullptr && FLastLookup.Generation == generation &&
        FLastLookup.DispatchID == dispatchID) {
      return FLastLookup.Destination;
    }
    FLastLookup.Destination.reset();
    std::shared_ptr<TBxDestination> found = FRegistry.FindForDelivery(dispatchID);
    if (found != nullptr) {
      // Read before the lookup: a change in between only makes the next message look again.
      FLastLookup.Generation = generation;
      FLastLookup.DispatchID.assign(dispatchID);
      FLastLookup.Destination = found;
    }
    return found;
  } catch (...) {
    AddLogEntry(TLogLevel::Error, "Destination object (" + std::string(dispatchID) +
                                      ") could not be located (" +
                                      ExceptionText(std::current_exception()) + ")");
    return nullptr;
  }
}

}  // namespace bx
