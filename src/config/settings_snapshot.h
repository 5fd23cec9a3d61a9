// The settings the running dispatcher works with, shared with every thread as one immutable
// object: a reload builds a new TBxDispatcherSettings, loads it and publishes it whole, so the
// dispatch thread and the threads building destinations see either the old or the new object,
// never a half-rebuilt category list, blocked set or named-path list.
//
// Threads: any thread may call every function here at any time. A caller keeps the object it
// got alive for as long as it holds the pointer, across any number of later publishes.
// Failure: none; nothing here touches files.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "config/dispatcher_settings.h"

namespace bx {

// The object most recently published; before the first publish, one with the defaults (built
// without touching the settings file). Never null.
std::shared_ptr<const TBxDispatcherSettings> CurrentSettings();

// Makes `settings` the current object for every later CurrentSettings. A null pointer puts
// the defaults back.
void PublishSettings(std::shared_ptr<const TBxDispatcherSettings> settings);

// One thread's view of the current settings, for a path taken once per message: Get costs
// one atomic load while nothing new was published, and takes the newest object (as
// CurrentSettings does) otherwise. The reference stays valid until the next Get. Owned and used
// by one thread; not to be shared.
class TSettingsReader {
 public:
  const TBxDispatcherSettings& Get();

 private:
  uint64_t FGeneration = 0;  // of FSettings; 0 before the first Get
  std::shared_ptr<const TBxDispatcherSettings> FSettings;
};

// CurrentSettings()->IsPathAllowed(path): the folder restriction for log files.
bool IsPathAllowed(const std::string& path);

}  // namespace bx
