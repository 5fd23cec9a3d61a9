// TBxKnownDestinationsList: the table of destination kinds, kind name -> class (a factory that
// makes a new, unconfigured destination of that kind). Kind names compare without regard to
// case; adding a name that is already present keeps the first class.
//
// The hub owns one table, fills it at start-up (Viewer, File, Tcp, Udp, Http, each under the
// class's own ClassKindName) before saved registrations are loaded, and publishes it with
// PublishKnownDestinations so that threads that register loggers find kinds without the hub
// (FindDestinationClass).
//
// Threads: every operation from any thread; lookups share a reader lock, changes take it
// exclusively. Find returns a copy of the class, so a caller never holds a pointer into the
// table. The owner unpublishes the table (PublishKnownDestinations(nullptr)) before it frees
// it, and only after every registering thread has stopped.
// Failure: nothing throws but std::bad_alloc.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "destinations/destination.h"
#include "platform/mutex.h"

namespace bx {

struct TBxDestinationClass {
  std::string KindName;
  std::function<std::unique_ptr<TBxDestination>()> Create;
};

// The class of a destination type T that has `static std::string_view ClassKindName()` and a
// default constructor.
template <class T>
TBxDestinationClass DestinationClassOf() {
  return {std::string(T::ClassKindName()),
          []() -> std::unique_ptr<TBxDestination> { return std::make_unique<T>(); }};
}

class TBxKnownDestinationsList {
 public:
  // Adds the class under its KindName; nothing changes when the name is already present.
  void Add(const TBxDestinationClass& destinationClass);
  // The class registered under `kind`, or none.
  std::optional<TBxDestinationClass> Find(std::string_view kind) const;
  void Delete(std::string_view kind);
  int Count() const;

 private:
  mutable TSharedMutex FLock;
  // Sorted by CompareText of the kind name.
  std::vector<TBxDestinationClass> FClasses GUARDED_BY(FLock);
};

// The process-wide table that FindDestinationClass consults; null when none is published.
void PublishKnownDestinations(TBxKnownDestinationsList* list);
TBxKnownDestinationsList* KnownDestinations();

// The class registered under `kind` in the published table, or none (also when no table is
// published).
std::optional<TBxDestinationClass> FindDestinationClass(std::string_view kind);

}  // namespace bx
