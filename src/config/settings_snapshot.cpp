#include "config/settings_snapshot.h"

#include <atomic>

#include "platform/mutex.h"

namespace bx {

namespace {

// GCC 12 does offer std::atomic<std::shared_ptr>, but its lock bit lives beside the pointer in
// a way ThreadSanitizer cannot follow; a mutex held only for the pointer copy costs as little
// and can be checked.
struct TCurrent {
  TMutex Lock;
  std::shared_ptr<const TBxDispatcherSettings> Settings GUARDED_BY(Lock);
  // Counts the publishes, starting at 1; written under Lock. Release by the publisher, acquire
  // by TSettingsReader: a reader that sees its own number again holds the newest object.
  std::atomic<uint64_t> Generation{1};
};

std::shared_ptr<const TBxDispatcherSettings> DefaultSettings() {
  static const auto defaults =
      std::make_shared<const TBxDispatcherSettings>(TBxDispatcherSettings::TDefaultsOnly{});
  return defaults;
}

TCurrent& Current() {
  static TCurrent current{{}, DefaultSettings(), {1}};
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
    current.Generation.store(current.Generation.load(std::memory_order_relaxed) + 1,
                             std::memory_order_release);
  }
  // The previous object (now in `settings`) is released here, outside the lock: freeing a
  // large category list must not hold up readers.
}

const TBxDispatcherSettings& TSettingsReader::Get() {
  TCurrent& current = Current();
  if (FSettings == nullptr || current.Generation.load(std::memory_order_acquire) != FGeneration) {
    TMutexLock guard(current.Lock);
    FSettings = current.Settings;
    FGeneration = current.Generation.load(std::memory_order_relaxed);
  }
  return *FSettings;
}

bool IsPathAllowed(const std::string& path) { return CurrentSettings()->IsPathAllowed(path); }

}  // namespace bx
