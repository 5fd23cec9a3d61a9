#include "core/message_queue.h"

#include <exception>
#include <memory>
#include <string>

#include "platform/log_entry.h"

namespace bx {

TBxMessageQueue::TBxMessageQueue(TManualResetEvent& event) : FEvent(event) {
  TNode* sentinel = new TNode;
  FTail.store(sentinel, std::memory_order_relaxed);
  FHead.store(sentinel, std::memory_order_relaxed);
}

TBxMessageQueue::~TBxMessageQueue() {
  EmptyQueue(false);
  delete FHead.load(std::memory_order_relaxed);
  DeleteChain(FRetired);
  DeleteChain(FSpare.load(std::memory_order_acquire));
  DeleteChain(FSpareTaken);
}

void TBxMessageQueue::DeleteChain(TNode* node) {
  while (node != nullptr) {
    TNode* next = node->Next.load(std::memory_order_relaxed);
    delete node;
    node = next;
  }
}

TBxMessageQueue::TNode* TBxMessageQueue::PopSpareLocked() {
  if (FSpareTaken == nullptr) {
    // Acquire: pairs with the consumer's release push, so the batch's links are visible.
    FSpareTaken = FSpare.exchange(nullptr, std::memory_order_acquire);
    if (FSpareTaken == nullptr) return nullptr;
  }
  TNode* top = FSpareTaken;
  FSpareTaken = top->Next.load(std::memory_order_relaxed);
  if (++FSparePops == kSpareBatch) {
    FSpareCount.fetch_sub(FSparePops, std::memory_order_relaxed);
    FSparePops = 0;
  }
  top->Message = nullptr;
  top->Next.store(nullptr, std::memory_order_relaxed);
  return top;
}

void TBxMessageQueue::ReleaseNode(TNode* node) {
  node->Next.store(FRetired, std::memory_order_relaxed);
  if (FRetired == nullptr) FRetiredLast = node;
  FRetired = node;
  if (++FRetiredCount < kSpareBatch) return;
  TNode* first = FRetired;
  TNode* last = FRetiredLast;
  FRetired = FRetiredLast = nullptr;
  FRetiredCount = 0;
  if (FSpareCount.load(std::memory_order_relaxed) >= kSpareLimit) {
    DeleteChain(first);  // the queue has shrunk after a burst; give the memory back
    return;
  }
  FSpareCount.fetch_add(kSpareBatch, std::memory_order_relaxed);
  TNode* top = FSpare.load(std::memory_order_relaxed);
  do {
    last->Next.store(top, std::memory_order_relaxed);
  } while (!FSpare.compare_exchange_weak(top, first, std::memory_order_release,
                                         std::memory_order_relaxed));
}

void TBxMessageQueue::AddMessage(const TDispatchMessage& message) {
  if (Disabled.load(std::memory_order_relaxed)) return;
  TDispatchMessagePtr copy = CopyDispatchMessage(message);
  const auto bytes = static_cast<uint64_t>(DispatchMessageSize(*copy));
  bool linked = false;
  {
    std::lock_guard lock(FLock);
    if (TNode* spare = PopSpareLocked()) {
      LinkLocked(spare, copy.release(), bytes);
      linked = true;
    }
  }
  if (!linked) {
    auto fresh = std::make_unique<TNode>();  // allocated outside the lock
    std::lock_guard lock(FLock);
    LinkLocked(fresh.release(), copy.release(), bytes);
  }
  Signal();
  FMessageCount.fetch_add(1, std::memory_order_relaxed);
}

bool TBxMessageQueue::IsEmpty() const {
  return FHead.load(std::memory_order_relaxed) == FTail.load(std::memory_order_acquire);
}

void TBxMessageQueue::LinkLocked(TNode* node, TDispatchMessage* message, uint64_t bytes) {
  FLinkedCount.fetch_add(1, std::memory_order_relaxed);
  FLinkedBytes.fetch_add(bytes, std::memory_order_relaxed);
  TNode* tail = FTail.load(std::memory_order_relaxed);
  tail->Message = message;
  tail->Next.store(node, std::memory_order_release);
  FTail.store(node, std::memory_order_release);
}

TDispatchMessagePtr TBxMessageQueue::TakeHead() {
  TNode* head = FHead.load(std::memory_order_relaxed);
  // The head's link tells the same as comparing with FTail (the sentinel has no link yet) and
  // is published the same way, but it keeps the consumer off the cache line that every
  // producer writes.
  TNode* next = head->Next.load(std::memory_order_acquire);
  if (next == nullptr) return nullptr;
  TDispatchMessagePtr message(head->Message);
  FHead.store(next, std::memory_order_relaxed);
  ReleaseNode(head);
  CountTaken(*message);
  return message;
}

void TBxMessageQueue::EmptyQueue(bool keepUnregisters) {
  try {
    TNode* first = nullptr;
    TNode* stop = nullptr;
    {
      std::lock_guard lock(FLock);
      first = FHead.load(std::memory_order_relaxed);
      stop = FTail.load(std::memory_order_relaxed);
      FHead.store(stop, std::memory_order_relaxed);
    }
    // The chain first..stop now belongs to this call alone; new messages link behind stop.
    DiscardChain(first, stop, keepUnregisters);
  } catch (const std::exception& e) {
    try {
      AddLogEntry(TLogLevel::Error,
                  std::string("Message queue could not be emptied (") + e.what() + ")");
    } catch (...) {
      // Out of memory even for the log entry: the queue itself is consistent, go on.
    }
  } catch (...) {
    AddLogEntry(TLogLevel::Error, "Message queue could not be emptied (unknown exception)");
  }
}

void TBxMessageQueue::DiscardChain(TNode* first, TNode* stop, bool keepUnregisters) {
  std::exception_ptr failure;
  for (TNode* node = first; node != stop;) {
    TNode* next = node->Next.load(std::memory_order_acquire);
    TDispatchMessagePtr message(node->Message);
    delete node;
    node = next;
    CountTaken(*message);
    if (keepUnregisters && message->MsgType == kMsgTypeUnregister) {
      // A failure must not leak the rest of the chain or lose the later unregistrations.
      try {
        AddMessage(*message);
      } catch (...) {
        if (!failure) failure = std::current_exception();
      }
    }
  }
  if (failure) std::rethrow_exception(failure);
}

int32_t TBxMessageQueue::MessageCount() const {
  return FMessageCount.load(std::memory_order_relaxed);
}

void TBxMessageQueue::ResetMessageCount() { FMessageCount.store(0, std::memory_order_relaxed); }

void TBxMessageQueue::CountTaken(const TDispatchMessage& message) {
  // Only the consumer writes these, so a load and a store would do; fetch_add says it plainly.
  FTakenCount.fetch_add(1, std::memory_order_relaxed);
  FTakenBytes.fetch_add(static_cast<uint64_t>(DispatchMessageSize(message)),
                        std::memory_order_relaxed);
}

uint64_t TBxMessageQueue::QueuedMessages() const {
  // Taken first: it never passes linked, so a later read of linked is at least as large.
  const uint64_t taken = FTakenCount.load(std::memory_order_relaxed);
  const uint64_t linked = FLinkedCount.load(std::memory_order_relaxed);
  return linked > taken ? linked - taken : 0;
}

uint64_t TBxMessageQueue::QueuedBytes() const {
  const uint64_t taken = FTakenBytes.load(std::memory_order_relaxed);
  const uint64_t linked = FLinkedBytes.load(std::memory_order_relaxed);
  return linked > taken ? linked - taken : 0;
}

void TBxMessageQueue::Signal() { FEvent.Set(); }

}  // namespace bx
