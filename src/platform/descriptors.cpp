#include "platform/descriptors.h"

#include <sys/resource.h>

namespace bx {

namespace {

size_t Value(rlim_t value) {
  return value == RLIM_INFINITY ? static_cast<size_t>(-1) : static_cast<size_t>(value);
}

}  // namespace

TDescriptorLimit CurrentDescriptorLimit() {
  rlimit limit{};
  if (getrlimit(RLIMIT_NOFILE, &limit) != 0) return {};
  return {Value(limit.rlim_cur), Value(limit.rlim_max)};
}

TDescriptorLimit RaiseDescriptorLimit() {
  rlimit limit{};
  if (getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
    rlimit raised = limit;
    raised.rlim_cur = limit.rlim_max;
    // An unlimited hard limit cannot be the soft one for descriptors; keep what was.
    if (setrlimit(RLIMIT_NOFILE, &raised) != 0) (void)setrlimit(RLIMIT_NOFILE, &limit);
  }
  return CurrentDescriptorLimit();
}

}  // namespace bx
