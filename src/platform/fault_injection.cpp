#include "platform/fault_injection.h"

#include <cstdlib>
#include <string>

namespace bx {

bool FaultInjected(std::string_view point) {
  // Read once: the environment does not change while the process runs, and getenv must not
  // race with setenv in tests that set the variable before starting threads.
  static const std::string points = [] {
    const char* value = std::getenv("BREVIX_FAULT");
    return value == nullptr ? std::string() : "," + std::string(value) + ",";
  }();
  if (points.empty() || point.empty()) return false;
  return points.find("," + std::string(point) + ",") != std::string::npos;
}

}  // namespace bx
