#include "config/settings_snapshot.h"

#include "platform/mutex.h"

namespace bx {

namespace {

// GCC 12 does offer std::atomic<std::shared_ptr>, but its lock bit lives beside the pointer in
// a way ThreadSanitizer cannot follow; a mutex held only for the pointer copy costs as little
// and can be checked.
struct TCurrent {
  TMutex Lock;
  std::shared_ptr<const TBxDispatcherSettings> Settings GUARDED_BY(Lock);
};

std::shared_ptr<const TBxDispatcherSettings> DefaultSettings() {
  static const auto defaults =
      std::make_shared<const TBxDispatcherSettings>(TBxDispatcherSettings::TDefaultsOnly{});
  return defaults;
}

TCurrent& Current() {
  static TCurrent current{{}, DefaultSettings()};
  return current;
}

}  // namespace

std::shared_ptr<const TBxDispatcherSettings> CurrentSettings() {
  TCurrent& current = Current();
  TMutexLock guard(current.Lock);
  return current.Settings;
}

void PublishSettings(std::shared_ptr<const TBxDispatcherSettings> settings) {
  if (settings == nullptr) settings = DefaultSettings();
  TCurrent& current = Current();
  {
    TMutexLock guard(current.Lock);
    current.Settings.swap(settings);
  }
  // The previous object (now in `settings`) is released here, outside the lock: freeing a
  // large category list must not hold up readers.
}

bool IsPathAllowed(const std::string& path) { return CurrentSettings()->IsPathAllowed(path); }

}  // namespace bx
