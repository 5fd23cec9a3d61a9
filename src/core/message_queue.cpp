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
}

void TBxMessageQueue::AddMessage(const TDispatchMessage& message) {
  if (Disabled.load(std::memory_order_relaxed)) return;
  TDispatchMessagePtr copy = CopyDispatchMessage(message);
  auto node = std::make_unique<TNode>();
  {
    std::lock_guard lock(FLock);
    TNode* tail = FTail.load(std::memory_order_relaxed);
    tail->Message = copy.release();
    tail->Next.store(node.get(), std::memory_order_release);
    FTail.store(node.release(), std::memory_order_release);
  }
  Signal();
  FMessageCount.fetch_add(1, std::memory_order_relaxed);
}

bool TBxMessageQueue::IsEmpty() const {
  return FHead.load(std::memory_order_relaxed) == FTail.load(std::memory_order_acquire);
}

TDispatchMessagePtr TBxMessageQueue::TakeHead() {
  TNode* head = FHead.load(std::memory_order_relaxed);
  if (head == FTail.load(std::memory_order_acquire)) return nullptr;
  TNode* next = head->Next.load(std::memory_order_acquire);
  TDispatchMessagePtr message(head->Message);
  FHead.store(next, std::memory_order_relaxed);
  delete head;
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

void TBxMessageQueue::Signal() { FEvent.Set(); }

}  // namespace bx
