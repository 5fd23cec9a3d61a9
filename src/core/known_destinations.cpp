#include "core/known_destinations.h"

#include <algorithm>
#include <atomic>
#include <mutex>

#include "config/text_case.h"

namespace bx {

namespace {

// Release on publish, acquire on use: a thread that sees the table sees it constructed.
std::atomic<TBxKnownDestinationsList*> GKnownDestinations{nullptr};

bool KindLess(const TBxDestinationClass& entry, std::string_view kind) {
  return CompareText(entry.KindName, kind) < 0;
}

}  // namespace

void TBxKnownDestinationsList::Add(const TBxDestinationClass& destinationClass) {
  TWriterLock lock(FLock);
  auto at = std::lower_bound(FClasses.begin(), FClasses.end(),
                             std::string_view(destinationClass.KindName), KindLess);
  if (at != FClasses.end() && SameText(at->KindName, destinationClass.KindName)) return;
  FClasses.insert(at, destinationClass);
}

std::optional<TBxDestinationClass> TBxKnownDestinationsList::Find(std::string_view kind) const {
  TReaderLock lock(FLock);
  auto at = std::lower_bound(FClasses.begin(), FClasses.end(), kind, KindLess);
  if (at == FClasses.end() || !SameText(at->KindName, kind)) return std::nullopt;
  return *at;
}

void TBxKnownDestinationsList::Delete(std::string_view kind) {
  TWriterLock lock(FLock);
  auto at = std::lower_bound(FClasses.begin(), FClasses.end(), kind, KindLess);
  if (at != FClasses.end() && SameText(at->KindName, kind)) FClasses.erase(at);
}

int TBxKnownDestinationsList::Count() const {
  TReaderLock lock(FLock);
  return static_cast<int>(FClasses.size());
}

void PublishKnownDestinations(TBxKnownDestinationsList* list) {
  GKnownDestinations.store(list, std::memory_order_release);
}

TBxKnownDestinationsList* KnownDestinations() {
  return GKnownDestinations.load(std::memory_order_acquire);
}

std::optional<TBxDestinationClass> FindDestinationClass(std::string_view kind) {
  TBxKnownDestinationsList* list = KnownDestinations();
  if (list == nullptr) return std::nullopt;
  return list->Find(kind);
}

}  // namespace bx
