// TBxUdpDestination (kind "Udp"): forwards messages to another dispatcher's UDP receiver.
//
// Options: Host (required: the option text must contain the word HOST), Port (default 3435,
// kept as its low 16 bits) and RemoteDestinationDetails (default "Viewer").
// What is here: the options and their validation. The UDP transport plugs in by overriding
// Connect, Dispatch and Disconnect of TBxRemoteDestination (see remote_destination.h) and
// SetHost/SetPort to reach its client; until then Dispatch only makes the remote dispatch ID
// and sends nothing.
// Ownership and threads as for every destination (destination.h).
#pragma once

#include <cstdint>
#include <string_view>

#include "destinations/remote_destination.h"

namespace bx {

class TBxUdpDestination : public TBxRemoteDestination {
 public:
  static constexpr uint16_t kDefaultPort = 3435;
  static std::string_view ClassKindName() { return "Udp"; }

  ~TBxUdpDestination() override;

  std::string_view KindName() const override { return ClassKindName(); }
  void SetOptions(const std::string& text) override;
  std::span<const TBxOptionDef> OptionTable() const override;

  virtual uint16_t GetPort() const;
  virtual void SetPort(uint16_t port);

 private:
  uint16_t FPort = kDefaultPort;
};

}  // namespace bx
