#include "core/message_queue.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <memory>
#include <string>
#include <utility>

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
  delete FTakenNode;  // its message was taken; its link is stale
  DeleteChain(FRetired);
  DeleteChain(FSpare.load(std::memory_order_acquire));
  DeleteChain(FSpareTaken);
}

void TBxMessageQueue::DeleteChain(TNode* node) {
  while (node != nullptr) {
    TNode* next = node->Next.load(std::memory_order_relaxed);
    std::free(node->Message);  // a recycled block, or null
    delete node;
    node = next;
  }
}

TDispatchMessage* TBxMessageQueue::AllocateBlock(uint64_t bytes, uint64_t& capacity) {
  capacity =
      bytes <= kRecycledBlockBytes ? (bytes + kBlockStep - 1) / kBlockStep * kBlockStep : bytes;
  auto* block = static_cast<TDispatchMessage*>(std::malloc(capacity));
  if (block == nullptr) throw std::bad_alloc();
  return block;
}

// Node recycling: producers allocate nodes and the consumer releases them; a cross-thread
// allocate/free pair per message would cost as much as the rest of the hand-off.
// Invariant: FSpare only ever gains whole batches (ReleaseNode's CAS push) and loses all of its
// nodes at once (this exchange); no node is popped off it singly, so there is no ABA. Single
// pops happen on FSpareTaken, which only FLock's holder touches.
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
  top->Next.store(nullptr, std::memory_order_relaxed);
  return top;  // with its recycled block, if any, in Message
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
  // A stock beyond kSpareLimit is freed: a burst longer than it costs a node allocation and
  // free per message, and keeping it would pin the memory of the burst for good.
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
  const auto bytes = static_cast<uint64_t>(DispatchMessageSize(message));
  // The usual case: a spare node that brings a block large enough, copied into under the lock
  // (recycled blocks are small, see kRecycledBlockBytes).
  TNode* spare = nullptr;
  bool linked = false;
  {
    TMutexLock lock(FLock);
    spare = PopSpareLocked();
    if (spare != nullptr && spare->Message != nullptr && BlockFits(spare->Capacity, bytes)) {
      TDispatchMessage* block = std::exchange(spare->Message, nullptr);
      std::memcpy(block, &message, bytes);
      LinkLocked(spare, block, bytes, spare->Capacity);
      linked = true;
    }
  }
  if (linked) {
    Signal();
    FMessageCount.fetch_add(1, std::memory_order_relaxed);
    return;
  }
  // Otherwise a new block (and node), allocated and filled outside the lock.
  std::unique_ptr<TNode> node(spare);
  if (node != nullptr) {
    std::free(std::exchange(node->Message, nullptr));  // does not fit this one
  } else {
    node = std::make_unique<TNode>();
  }
  uint64_t capacity = 0;
  TDispatchMessagePtr copy(AllocateBlock(bytes, capacity));
  std::memcpy(copy.get(), &message, bytes);
  {
    TMutexLock lock(FLock);
    LinkLocked(node.release(), copy.release(), bytes, capacity);
  }
  Signal();
  FMessageCount.fetch_add(1, std::memory_order_relaxed);
}

bool TBxMessageQueue::AddMessageIfRoom(const TDispatchMessage& message) {
  if (Disabled.load(std::memory_order_relaxed)) return true;
  if (IsFull()) {
    FDropped.fetch_add(1, std::memory_order_relaxed);
    return false;
  }
  AddMessage(message);
  return true;
}

void TBxMessageQueue::SetMemoryLimit(int64_t bytes) {
  FMemoryLimit.store(bytes > 0 ? bytes : 0, std::memory_order_relaxed);
  // A raised limit may make room for producers that wait.
  WakeRoomWaiters();
}

int64_t TBxMessageQueue::MemoryLimit() const {
  return FMemoryLimit.load(std::memory_order_relaxed);
}

int64_t TBxMessageQueue::QueuedBytes() const {
  // Taken first: both only grow, so the difference is never below the true figure's floor.
  const int64_t taken = FBytesTaken.load(std::memory_order_seq_cst);
  const int64_t added = FBytesAdded.load(std::memory_order_relaxed);
  return added > taken ? added - taken : 0;
}

bool TBxMessageQueue::IsFull() const {
  const int64_t limit = FMemoryLimit.load(std::memory_order_relaxed);
  return limit > 0 && QueuedBytes() >= limit;
}

bool TBxMessageQueue::WaitForRoom(std::chrono::milliseconds timeout) {
  if (!IsFull()) return true;
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  TMutexLock lock(FRoomLock);
  FRoomWaiters.fetch_add(1, std::memory_order_seq_cst);
  bool room = true;
  while (IsFull()) {
    if (!FRoom.WaitUntil(FRoomLock, deadline)) {
      room = !IsFull();
      break;
    }
  }
  FRoomWaiters.fetch_sub(1, std::memory_order_relaxed);
  return room;
}

void TBxMessageQueue::WakeRoomWaiters() {
  if (FRoomWaiters.load(std::memory_order_seq_cst) == 0) return;
  // Under the lock: a waiter between its test and its wait holds it, so it cannot miss this.
  TMutexLock lock(FRoomLock);
  FRoom.NotifyAll();
}

int64_t TBxMessageQueue::TakeDropCount() { return FDropped.exchange(0, std::memory_order_relaxed); }

void TBxMessageQueue::NoteTaken(int64_t bytes, bool now) {
  FTakenPending += bytes;
  if (!now && FTakenPending < kTakenBatchBytes) return;
  // What was held before this batch left: the figure a burst reached.
  FPeakBytes = std::max(FPeakBytes, QueuedBytes());
  FBytesTaken.store(FBytesTaken.load(std::memory_order_relaxed) + FTakenPending,
                    std::memory_order_seq_cst);
  FTakenPending = 0;
  WakeRoomWaiters();
}

int64_t TBxMessageQueue::TakePeakQueuedBytes() { return std::exchange(FPeakBytes, 0); }

bool TBxMessageQueue::IsEmpty() const {
  return FHead.load(std::memory_order_relaxed) == FTail.load(std::memory_order_acquire);
}

void TBxMessageQueue::LinkLocked(TNode* node, TDispatchMessage* message, uint64_t bytes,
                                 uint64_t capacity) {
  // Both are written under FLock only, so a load and a store suffice.
  FLinkedCount.store(FLinkedCount.load(std::memory_order_relaxed) + 1, std::memory_order_relaxed);
  FBytesAdded.store(
      FBytesAdded.load(std::memory_order_relaxed) + static_cast<int64_t>(bytes) + kMessageOverhead,
      std::memory_order_relaxed);
  TNode* tail = FTail.load(std::memory_order_relaxed);
  tail->Message = message;
  tail->Capacity = capacity;
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
  TDispatchMessagePtr message(std::exchange(head->Message, nullptr));
  FHead.store(next, std::memory_order_relaxed);
  // The node waits for its block (RecycleMessage); one that never got it goes bare.
  if (FTakenNode != nullptr) ReleaseNode(FTakenNode);
  FTakenNode = head;
  FTakenBlock = message.get();
  CountTaken();
  // Handed back at once when this was the last message, so an idle queue reads empty.
  NoteTaken(DispatchMessageSize(*message) + kMessageOverhead,
            next->Next.load(std::memory_order_relaxed) == nullptr);
  return message;
}

void TBxMessageQueue::RecycleMessage(TDispatchMessagePtr message) {
  TNode* node = std::exchange(FTakenNode, nullptr);
  if (node == nullptr) return;  // `message` is freed
  if (message != nullptr && message.get() == FTakenBlock && node->Capacity <= kRecycledBlockBytes &&
      FSpareCount.load(std::memory_order_relaxed) < kSpareBlockLimit) {
    node->Message = message.release();  // node->Capacity is still its size
  }
  ReleaseNode(node);
}

int64_t TBxMessageQueue::EmptyQueue(bool keepUnregisters) {
  int64_t discarded = 0;
  try {
    TNode* first = nullptr;
    TNode* stop = nullptr;
    {
      TMutexLock lock(FLock);
      first = FHead.load(std::memory_order_relaxed);
      stop = FTail.load(std::memory_order_relaxed);
      FHead.store(stop, std::memory_order_relaxed);
    }
    // The chain first..stop now belongs to this call alone; new messages link behind stop.
    DiscardChain(first, stop, keepUnregisters, discarded);
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
  return discarded;
}

void TBxMessageQueue::DiscardChain(TNode* first, TNode* stop, bool keepUnregisters,
                                   int64_t& discarded) {
  std::exception_ptr failure;
  int64_t bytes = 0;
  for (TNode* node = first; node != stop;) {
    TNode* next = node->Next.load(std::memory_order_acquire);
    TDispatchMessagePtr message(node->Message);
    delete node;
    node = next;
    CountTaken();
    bytes += DispatchMessageSize(*message) + kMessageOverhead;
    if (!keepUnregisters || message->MsgType != kMsgTypeUnregister) ++discarded;
    if (keepUnregisters && message->MsgType == kMsgTypeUnregister) {
      // A failure must not leak the rest of the chain or lose the later unregistrations.
      try {
        AddMessage(*message);
        if (FReAddHookForTest) FReAddHookForTest();
      } catch (...) {
        if (!failure) failure = std::current_exception();
      }
    }
  }
  NoteTaken(bytes, true);
  if (failure) std::rethrow_exception(failure);
}

void TBxMessageQueue::ReleaseSpareNodes() {
  delete std::exchange(FTakenNode, nullptr);  // as in the destructor
  DeleteChain(FRetired);
  FRetired = FRetiredLast = nullptr;
  FRetiredCount = 0;
  TNode* taken = nullptr;
  TNode* spare = nullptr;
  {
    TMutexLock lock(FLock);
    taken = FSpareTaken;
    FSpareTaken = nullptr;
    FSparePops = 0;
    // Acquire: pairs with the consumer's own release pushes (this is the consumer, but the
    // exchange keeps the rule of every other taker).
    spare = FSpare.exchange(nullptr, std::memory_order_acquire);
    FSpareCount.store(0, std::memory_order_relaxed);
  }
  DeleteChain(taken);
  DeleteChain(spare);
}

int32_t TBxMessageQueue::MessageCount() const {
  return FMessageCount.load(std::memory_order_relaxed);
}

void TBxMessageQueue::ResetMessageCount() { FMessageCount.store(0, std::memory_order_relaxed); }

void TBxMessageQueue::CountTaken() {
  // Only the consumer writes it, so a load and a store suffice.
  FTakenCount.store(FTakenCount.load(std::memory_order_relaxed) + 1, std::memory_order_relaxed);
}

uint64_t TBxMessageQueue::QueuedMessages() const {
  // Taken first: it never passes linked, so a later read of linked is at least as large.
  const uint64_t taken = FTakenCount.load(std::memory_order_relaxed);
  const uint64_t linked = FLinkedCount.load(std::memory_order_relaxed);
  return linked > taken ? linked - taken : 0;
}

void TBxMessageQueue::Signal() { FEvent.Set(); }

}  // namespace bx
