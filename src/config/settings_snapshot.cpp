#include "config/settings_snapshot.h"

#include <atomic>

namespace bx {

namespace {

std::shared_ptr<const TBxDispatcherSettings> DefaultSettings() {
  static const auto defaults =
      std::make_shared<const TBxDispatcherSettings>(TBxDispatcherSettings::TDefaultsOnly{});
  return defaults;
}

std::atomic<std::shared_ptr<const TBxDispatcherSettings>>& Current() {
  static std::atomic<std::shared_ptr<const TBxDispatcherSettings>> current{DefaultSettings()};
  return current;
}

}  // namespace

std::shared_ptr<const TBxDispatcherSettings> CurrentSettings() {
  // Acquire pairs with the release in PublishSettings: the reader sees the object fully built.
  return Current().load(std::memory_order_acquire);
}

void PublishSettings(std::shared_ptr<const TBxDispatcherSettings> settings) {
  if (settings == nullptr) settings = DefaultSettings();
  // Release: everything written into the object before publishing is visible to readers.
  Current().store(std::move(settings), std::memory_order_release);
}

bool IsPathAllowed(const std::string& path) { return CurrentSettings()->IsPathAllowed(path); }

}  // namespace bx
