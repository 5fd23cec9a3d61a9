#include "destinations/kept_open_files.h"

#include <algorithm>
#include <atomic>
#include <vector>

#include "platform/mutex.h"

namespace bx {

namespace {

struct TKeptFiles {
  TMutex Lock;
  std::vector<TBxKeptOpenFile*> Holders GUARDED_BY(Lock);
  // Holders.size(), readable without the lock. Relaxed: only a hint for AnyKeptFile; every
  // decision is taken again under Lock.
  std::atomic<size_t> Count{0};
};

TKeptFiles& Files() {
  static TKeptFiles files;
  return files;
}

// Closes and drops the holders for which `pick` is true; caller holds the lock.
template <class TPick>
bool CloseWhereLocked(TKeptFiles& files, TPick pick) REQUIRES(files.Lock) {
  bool closed = false;
  std::erase_if(files.Holders, [&](TBxKeptOpenFile* holder) {
    if (!pick(holder)) return false;
    holder->CloseKeptFile();
    closed = true;
    return true;
  });
  files.Count.store(files.Holders.size(), std::memory_order_relaxed);
  return closed;
}

// Dispatch-thread state: each thread has its own, so no other thread ever sees it set.
thread_local bool tBacklog = false;
thread_local bool tWritesPending = false;

}  // namespace

void SetDispatchBacklog(bool backlog) { tBacklog = backlog; }
bool DispatchBacklog() { return tBacklog; }
void NoteKeptWritesPending() { tWritesPending = true; }
bool KeptWritesPending() { return tWritesPending; }

void FlushKeptFiles() {
  tWritesPending = false;
  TKeptFiles& files = Files();
  TMutexLock lock(files.Lock);
  CloseWhereLocked(files, [](TBxKeptOpenFile* holder) { return !holder->FlushKeptFile(); });
}

void RegisterKeptFile(TBxKeptOpenFile* holder) {
  TKeptFiles& files = Files();
  TMutexLock lock(files.Lock);
  if (std::find(files.Holders.begin(), files.Holders.end(), holder) != files.Holders.end()) return;
  files.Holders.push_back(holder);
  files.Count.store(files.Holders.size(), std::memory_order_relaxed);
}

void UnregisterKeptFile(TBxKeptOpenFile* holder) {
  TKeptFiles& files = Files();
  TMutexLock lock(files.Lock);
  std::erase(files.Holders, holder);
  files.Count.store(files.Holders.size(), std::memory_order_relaxed);
}

bool AnyKeptFile() { return Files().Count.load(std::memory_order_relaxed) > 0; }

void CloseIdleKeptFiles() {
  TKeptFiles& files = Files();
  TMutexLock lock(files.Lock);
  CloseWhereLocked(files, [](TBxKeptOpenFile* holder) { return holder->IdleExpired(); });
}

void CloseAllKeptFiles() {
  TKeptFiles& files = Files();
  TMutexLock lock(files.Lock);
  CloseWhereLocked(files, [](TBxKeptOpenFile*) { return true; });
}

bool CloseKeptFilesNamed(const std::string& name, const TBxKeptOpenFile* except) {
  TKeptFiles& files = Files();
  TMutexLock lock(files.Lock);
  return CloseWhereLocked(files, [&](TBxKeptOpenFile* holder) {
    return holder != except && holder->KeptFileName() == name;
  });
}

}  // namespace bx
