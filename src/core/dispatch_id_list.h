// TBxDispatchIDList: the registry of loggers. Each entry maps a dispatch ID (compared without
// regard to case, kept sorted, duplicates ignored: the first registration of an ID stays) to
// its registration object: the one destination its destination string named, or a
// TBxDispatchList of several. Registrations are kept in BxDispatchIDs.ini in the user data
// folder, one section per ID with "DestinationString", "ConnectionMethod" and
// "FirstRegisteredOn" (days since 1899-12-30, local date); a save expires entries whose section
// was first written three or more days before today.
//
// The registry lock guards every change of the list together with the file write that follows
// it, an unregistration from lookup to save, and every lookup for delivery. Take it by making a
// TLock on the list; the operations that need it take the TLock as proof, and the
// thread-safety build checks that the lock held is this list's.
//
// Ownership: registration objects are shared-owned. The list holds one reference; the dispatch
// thread takes another (FindForDelivery) for as long as it delivers, so a registration that
// another thread removes meanwhile (unregistration, expiry, re-registration losing the race)
// is freed only when that delivery has returned, and never under the lock. Objects removed
// under a TLock are freed after the lock is released, so that closing a file or unregistering
// at a remote dispatcher never holds up registering threads.
//
// Threads: RegisterDispatchID and RegisterLogger from any thread (receivers, main thread,
// loading); Lock and the operations that take a TLock from any thread; LoadDispatchIDs once,
// on the main thread, before the dispatch thread starts. The destructor runs when no other
// thread uses the registry.
// Failure: RegisterDispatchID/RegisterLogger never throw (see their results). SaveDispatchIDs
// and LoadDispatchIDs throw std::runtime_error with the system's error text when the file
// cannot be read or written.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "destinations/destination.h"
#include "messages/dispatch_message.h"
#include "platform/clock.h"
#include "platform/mutex.h"

namespace bx {

class TBxDispatchIDList {
 public:
  // Holds the registry lock. On destruction it releases the lock first, then frees the
  // registration objects that were removed while it was held (last removed first).
  class SCOPED_CAPABILITY TLock {
   public:
    explicit TLock(TBxDispatchIDList& list) ACQUIRE(list.FMutex);
    ~TLock() RELEASE();
    TLock(const TLock&) = delete;
    TLock& operator=(const TLock&) = delete;

   private:
    TBxDispatchIDList& FList;
  };

  // `clock` gives today's date for "FirstRegisteredOn" and expiry; it must outlive the list.
  explicit TBxDispatchIDList(const TClock& clock = SystemClock());
  ~TBxDispatchIDList();
  TBxDispatchIDList(const TBxDispatchIDList&) = delete;
  TBxDispatchIDList& operator=(const TBxDispatchIDList&) = delete;

  // 1 registered (or already registered: the first registration stays), 0 the string gave no
  // usable destination, -1 an exception occurred ("Exception in RegisterDispatchID;
  // Exception: ..." logged). The string is parsed before the lock is taken; the file is saved
  // under the lock unless saved registrations are being loaded.
  int32_t RegisterDispatchID(const std::string& dispatchID, const std::string& destinationString,
                             uint8_t connectionMethod);
  // A registration carried by a type-91 record: DispatchID and MsgText (UTF-8). Logs one
  // "Register Logger" (Reg) or "Unable to Register Logger" (Error) line. `message` must be a
  // record built here or accepted by CheckDispatchMessage.
  int32_t RegisterLogger(const TDispatchMessage& message, uint8_t connectionMethod);

  // Registers every saved section with a destination string, without saving. A missing file
  // loads nothing.
  void LoadDispatchIDs();
  // Writes sections for new registrations, erases sections of IDs no longer registered and
  // expires old entries (removing their registrations), then writes the file.
  void SaveDispatchIDs(TLock& lock) REQUIRES(FMutex);
  void SaveDispatchIDs() EXCLUDES(FMutex);  // takes the lock itself

  // A TLock returned by value, for tests; the thread-safety analysis cannot follow a lock out
  // of the function that took it, so code in src/ makes its TLock itself.
  TLock LockForTest() NO_THREAD_SAFETY_ANALYSIS;

  // Index of `dispatchID`, or -1.
  int Find(const TLock& lock, std::string_view dispatchID) const REQUIRES(FMutex);
  int Count(const TLock& lock) const REQUIRES(FMutex);
  const std::string& Strings(const TLock& lock, int index) const REQUIRES(FMutex);
  const std::shared_ptr<TBxDestination>& Objects(const TLock& lock, int index) const
      REQUIRES(FMutex);
  // Removes the entry; its object is freed once no delivery uses it and the lock is released.
  void Delete(TLock& lock, int index) REQUIRES(FMutex);
  // Removes every entry, last first.
  void Clear(TLock& lock) REQUIRES(FMutex);

  // The registration for `dispatchID` (shared with the list), or null. Takes the lock for the
  // lookup only.
  std::shared_ptr<TBxDestination> FindForDelivery(std::string_view dispatchID) EXCLUDES(FMutex);

  // A number that changes with every change of the list (an entry added or removed). A lookup
  // made when it had a value gives the same answer for as long as it keeps that value, which
  // lets the dispatch thread reuse its last lookup. Any thread.
  uint64_t Generation() const { return FGeneration.load(std::memory_order_acquire); }
  // Frees the registrations removed under `lock` now, in the order of their removal, instead
  // of when the lock is released (an unregistration frees its destinations before its log
  // entry and the save). One still in delivery lives until that delivery returns.
  void FreeRetired(TLock& lock) REQUIRES(FMutex);

  // True while LoadDispatchIDs runs.
  bool Loading() const;

  // Full path of BxDispatchIDs.ini.
  static std::string FileName();

  // What the file stores as "DestinationString" for a registration object: its name, then
  // "[" options "]" when it has options.
  static std::string DestinationText(const TBxDestination& destination);

 private:
  struct TEntry {
    std::string ID;
    std::string Key;  // FoldCase(ID): the sort and lookup key
    std::shared_ptr<TBxDestination> Object;
  };

  // Index of the first entry whose key is not below `key`.
  size_t LowerBound(std::string_view key) const REQUIRES(FMutex);

  const TClock& FClock;
  // Relaxed: set and cleared by the one loading thread; a registering thread that reads it
  // late only saves once more or once less, which the next save makes good.
  std::atomic<bool> FLoading{false};

  TMutex FMutex;
  // State below is protected by FMutex.
  std::vector<TEntry> FEntries GUARDED_BY(FMutex);  // sorted by Key
  // Removed, freed by ~TLock.
  std::vector<std::shared_ptr<TBxDestination>> FRetired GUARDED_BY(FMutex);
  // Bumped under FMutex after each change of FEntries. Release/acquire: a reader that sees a
  // value sees the list as changed up to it (it still looks up under the lock).
  std::atomic<uint64_t> FGeneration{0};
};

}  // namespace bx
