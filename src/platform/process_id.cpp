#include "platform/process_id.h"

#include <unistd.h>

namespace bx {

uint32_t CurrentProcessID() { return static_cast<uint32_t>(::getpid()); }

}  // namespace bx
