// TBxMessageQueue: the hand-off between the receivers (many threads) and the dispatch thread
// (the one consumer). Messages come out oldest first, in the order in which they were linked.
//
// Structure: a singly linked list ending in an empty sentinel node (FTail). A producer takes a
// spare node under FLock; when it brings a recycled block large enough, the message is copied
// into it there, otherwise a block (and node) is allocated and filled outside the lock. Under
// FLock it stores the copy in the current sentinel, links the new node and makes it the tail.
// The consumer takes from FHead without the lock: it compares FHead with FTail and follows
// `Next`; it gives each block back (RecycleMessage) once it is done with the message.
//
// Memory bound: the queue counts the bytes it holds (each copy with its node and the
// allocator's share, kMessageOverhead). With a limit set (SetMemoryLimit, 0 = none) it is full
// once it holds the limit or more. AddMessage still links when full: producers that may wait
// (the TCP connection threads) call WaitForRoom before they take their next request, so a
// queue holds at most the limit plus one message per such producer. Producers that must never
// wait (the main thread's receivers) call AddMessageIfRoom, which refuses and counts a drop.
// Below the limit nothing of this shows.
//
// Ownership: the queue owns every message copy and node it holds; AddMessage never keeps the
// caller's block. The event is borrowed and must outlive the queue.
// Threads: AddMessage, AddMessageIfRoom, IsEmpty, IsFull, QueuedBytes, WaitForRoom,
// SetMemoryLimit, TakeDropCount, MessageCount, ResetMessageCount, Signal, Disabled and
// EmptyRequested from any thread. TakeHead, RecycleMessage, EmptyQueue and ReleaseSpareNodes
// only from the one consuming thread (the dispatch thread), or from the owner once no other
// thread uses the queue (destructor).
// Failure: AddMessage lets std::bad_alloc through with nothing linked (the receiver reports
// it). EmptyQueue never throws; it reports a failure as one Error entry of the activity log.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>

#include "messages/dispatch_message.h"
#include "platform/manual_reset_event.h"
#include "platform/mutex.h"

namespace bx {

class TBxMessageQueue {
 public:
  explicit TBxMessageQueue(TManualResetEvent& event);
  ~TBxMessageQueue();
  TBxMessageQueue(const TBxMessageQueue&) = delete;
  TBxMessageQueue& operator=(const TBxMessageQueue&) = delete;

  // Copies `message` (DispatchMessageSize bytes, so its lengths must be trusted), links the
  // copy at the end, sets the event and counts it. While Disabled, does nothing at all.
  // Links even when the queue is full (see WaitForRoom).
  void AddMessage(const TDispatchMessage& message);
  // AddMessage unless the queue is full: then nothing is linked, the drop is counted
  // (TakeDropCount) and the result is false. True also when Disabled discarded the message.
  bool AddMessageIfRoom(const TDispatchMessage& message);

  // True when no message is queued. A snapshot: producers may add at any moment.
  bool IsEmpty() const;

  // The memory bound. 0 (the start value) means none. Any thread.
  void SetMemoryLimit(int64_t bytes);
  int64_t MemoryLimit() const;
  // Bytes held by queued messages, about: the consumer hands back what it took in batches, so
  // the figure may be high by up to kTakenBatchBytes.
  int64_t QueuedBytes() const;
  // True while a limit is set and the queue holds at least that much.
  bool IsFull() const;
  // Waits until the queue is not full, at most `timeout`; true when it is not full. Callers
  // wait in slices so that they notice their own stop.
  bool WaitForRoom(std::chrono::milliseconds timeout);
  // Messages refused by AddMessageIfRoom since the last call; resets the count.
  int64_t TakeDropCount();

  // Discards every message queued at the moment of the call and returns how many. With
  // keepUnregisters, messages of type 92 are added again (as by AddMessage, so subject to
  // Disabled) behind whatever arrived meanwhile, in their old order; they are not counted.
  // Consumer thread only.
  int64_t EmptyQueue(bool keepUnregisters);

  // Frees the spare nodes kept for reuse, so that the memory they pin can go back to the
  // system after a burst. Consumer thread only.
  void ReleaseSpareNodes();
  // The most the queue held (as QueuedBytes, looked at every kTakenBatchBytes taken) since the
  // last call; resets it. Consumer thread only.
  int64_t TakePeakQueuedBytes();

  // What one queued message costs beyond its own bytes: the node and the allocator's headers.
  static constexpr int64_t kMessageOverhead = 48;
  // The consumer hands back the bytes it took at least this often (and when the queue empties).
  static constexpr int64_t kTakenBatchBytes = 64 * 1024;

  // Messages added since the last reset: a work-load figure, not a length.
  int32_t MessageCount() const;
  void ResetMessageCount();

  // Messages queued now: a snapshot for the status report, possibly a message behind the
  // producers and the consumer. Any thread.
  uint64_t QueuedMessages() const;

  // Sets the event. Called by AddMessage after linking.
  void Signal();

  // Runs `hook` each time EmptyQueue(keepUnregisters) has added a message again, inside the
  // re-add: a throw counts as that re-add's failure. Lets a test act as a producer that gets in
  // while the queue is emptied, or make a re-add fail. Consumer thread only.
  void SetReAddHookForTest(std::function<void()> hook) { FReAddHookForTest = std::move(hook); }

  // Detaches the oldest message and returns it, or null when the queue is empty. No lock is
  // taken. Consumer thread only.
  TDispatchMessagePtr TakeHead();
  // Gives back the message that the latest TakeHead returned, once the consumer is done with
  // it: its block is kept for a later message of no greater size, so that the usual message
  // costs no allocation on the producer and no free on the consumer. Any other block (or a
  // second call) is freed. Consumer thread only.
  void RecycleMessage(TDispatchMessagePtr message);

  // While true, AddMessage discards what it is given. Written by the main thread.
  // Relaxed at every use: a switch on its own; no other data is published through it.
  std::atomic<bool> Disabled{false};
  // Set by the main thread, cleared by the dispatch thread, which then empties the queue.
  // Relaxed at every use: the event that follows the request carries the wake-up.
  std::atomic<bool> EmptyRequested{false};

 private:
  struct TNode {
    // Written by the producer that links the node, before it publishes the next tail; read by
    // the consumer after it has seen that tail.
    TDispatchMessage* Message = nullptr;
    // Release by the producer, acquire by the consumer: seeing the link means seeing Message.
    // While the node waits in the spare stack it links the spare nodes instead.
    std::atomic<TNode*> Next{nullptr};
    // Bytes that the block in Message can hold: its record's size while queued; in a spare
    // node, the size of a recycled block (Message non-null) for the producer that pops it.
    uint64_t Capacity = 0;
  };

  // Released nodes are reused by producers (PopSpareLocked, ReleaseNode).
  static constexpr int kSpareBatch = 64;  // nodes handed back at once
  // Beyond this many spare nodes (2 MiB of them at most), released nodes are freed.
  static constexpr int kSpareLimit = 65536;
  // Message blocks travel back with spare nodes (RecycleMessage) while fewer than this many
  // spare nodes exist, and only blocks of at most kRecycledBlockBytes: together they bound
  // the memory that recycled blocks pin (16 MiB at most, ReleaseSpareNodes frees it). A
  // producer copies into a recycled block under FLock, which the size bound keeps short.
  static constexpr int kSpareBlockLimit = 4096;
  static constexpr uint64_t kRecycledBlockBytes = 4096;
  // Blocks are allocated in steps of this size, so that records of about the same size fit
  // into each other's blocks.
  static constexpr uint64_t kBlockStep = 64;
  static TDispatchMessage* AllocateBlock(uint64_t bytes, uint64_t& capacity);
  // Whether a recycled block of `capacity` bytes takes a record of `bytes`: large enough, and
  // wasting at most a quarter and a step, so that the bytes the queue counts (the records')
  // stay close to the memory it holds; a large block is never pinned by a small record.
  static bool BlockFits(uint64_t capacity, uint64_t bytes) {
    return capacity >= bytes && capacity <= bytes + bytes / 4 + kBlockStep;
  }
  TNode* PopSpareLocked() REQUIRES(FLock);
  // Stores `message` (of `bytes` bytes) in the sentinel and makes `node` the new sentinel;
  // caller holds FLock.
  void LinkLocked(TNode* node, TDispatchMessage* message, uint64_t bytes, uint64_t capacity)
      REQUIRES(FLock);
  void CountTaken();                     // consumer only
  void ReleaseNode(TNode* node);         // consumer only
  static void DeleteChain(TNode* node);  // follows Next to null, with recycled blocks

  // Frees the nodes from `first` up to (not including) `stop` with their messages; type-92
  // messages are added again when `keepUnregisters`. Finishes the walk after a failure, then
  // throws the first failure. Counts the discarded messages into `discarded`.
  void DiscardChain(TNode* first, TNode* stop, bool keepUnregisters, int64_t& discarded);
  // Consumer: `bytes` left the queue; handed back at once when `now`, else in batches.
  void NoteTaken(int64_t bytes, bool now);
  void WakeRoomWaiters() EXCLUDES(FRoomLock);

  // FLock (with the producers' other fields), FTail and FHead sit on separate cache lines: the
  // consumer reading FTail or writing FHead does not take the producers' line away from them.
  TManualResetEvent& FEvent;
  // Guards the linking of a node (producers) and the detaching of the chain (EmptyQueue).
  alignas(64) TMutex FLock;
  // Relaxed: a statistic; a lost race with a reset only lowers the figure.
  std::atomic<int32_t> FMessageCount{0};
  // Messages ever linked, written under FLock. With FTakenCount it gives the depth. Relaxed: a
  // figure for the status report, not tied to the links themselves.
  std::atomic<uint64_t> FLinkedCount{0};
  // Spare nodes taken from FSpare, and pops not yet subtracted from FSpareCount; under FLock.
  TNode* FSpareTaken GUARDED_BY(FLock) = nullptr;
  int FSparePops GUARDED_BY(FLock) = 0;
  // Bytes ever linked; written under FLock. Relaxed: the lock orders the writers, and readers
  // only need a figure that is about right (a wake-up never depends on it growing).
  std::atomic<int64_t> FBytesAdded{0};
  // Relaxed: a count on its own, reported once a second.
  std::atomic<int64_t> FDropped{0};
  // Relaxed: a setting; a producer that sees the old value for a moment does no harm.
  std::atomic<int64_t> FMemoryLimit{0};
  // The sentinel. Stored under FLock with release so that a consumer that loads it with acquire
  // sees the message and link stored before it; producers read it under FLock.
  alignas(64) std::atomic<TNode*> FTail;
  // Top of the stack of spare nodes. Push (consumer) CAS with release; a producer under FLock
  // takes the whole stack with an acquire exchange, so it sees the links of the pushed batches.
  std::atomic<TNode*> FSpare{nullptr};
  // About how many spare nodes exist (FSpare and FSpareTaken); relaxed: only a bound on memory,
  // never exact. Producers subtract their pops in batches, so it may be high by a batch.
  std::atomic<int> FSpareCount{0};
  // The oldest node; moved by the consumer only (EmptyQueue under FLock). Relaxed: other threads
  // only compare it with FTail for IsEmpty and never dereference it.
  alignas(64) std::atomic<TNode*> FHead;
  // Messages ever taken or discarded; consumer only writes. Relaxed, as FLinkedCount.
  std::atomic<uint64_t> FTakenCount{0};
  // Released nodes not yet pushed onto FSpare; consumer only.
  TNode* FRetired = nullptr;
  TNode* FRetiredLast = nullptr;
  int FRetiredCount = 0;
  // The node of the message that TakeHead returned last, kept until RecycleMessage gives its
  // block back (or the next TakeHead retires it bare); consumer only.
  TNode* FTakenNode = nullptr;
  const TDispatchMessage* FTakenBlock = nullptr;  // the message taken from it
  // Bytes ever taken out, written by the consumer only. Seq_cst: a consumer that stores it and
  // then reads FRoomWaiters, and a waiter that counts itself in and then reads it, cannot both
  // miss each other.
  std::atomic<int64_t> FBytesTaken{0};
  int64_t FTakenPending = 0;  // taken, not yet added to FBytesTaken; consumer only
  int64_t FPeakBytes = 0;     // consumer only

  // Producers waiting in WaitForRoom; seq_cst, see FBytesTaken.
  std::atomic<int> FRoomWaiters{0};
  TMutex FRoomLock;
  TCondVar FRoom;

  std::function<void()> FReAddHookForTest;  // consumer only
};

}  // namespace bx
