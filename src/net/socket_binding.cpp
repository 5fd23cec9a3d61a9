#include "net/socket_binding.h"

namespace bx {

std::vector<TBxSocketBinding> BindingsToActivate(const std::vector<TBxSocketBinding>& configured,
                                                 uint16_t defaultPort) {
  if (!configured.empty()) return configured;
  std::vector<TBxSocketBinding> bindings;
  bindings.push_back({AnyAddress(TIPVersion::V4), defaultPort, TIPVersion::V4});
  if (IPv6Available())
    bindings.push_back({AnyAddress(TIPVersion::V6), defaultPort, TIPVersion::V6});
  return bindings;
}

}  // namespace bx
