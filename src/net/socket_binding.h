// TBxSocketBinding: one local address, port and IP version a server listens on, and the rule
// both servers apply when none was configured.
// Threads: plain values and a free function without state; any thread.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/socket.h"

namespace bx {

struct TBxSocketBinding {
  std::string IP;
  uint16_t Port = 0;
  TIPVersion IPVersion = TIPVersion::V4;
};

// The bindings an activation uses: the configured ones, or, when there are none, all IPv4
// addresses on the default port plus all IPv6 addresses when the machine has IPv6.
std::vector<TBxSocketBinding> BindingsToActivate(const std::vector<TBxSocketBinding>& configured,
                                                 uint16_t defaultPort);

}  // namespace bx
