// TBxUdpDestination (kind "Udp"): forwards messages to another dispatcher's UDP receiver as
// datagrams, without connection or acknowledgement.
//
// Options: Host (required: the option text must contain the word HOST), Port (default 3435,
// kept as its low 16 bits) and RemoteDestinationDetails (default "Viewer").
//
// The first Dispatch sends the registration datagram "REGDISPATCH" CR LF RemoteDispatchID CR LF
// RemoteDestinationDetails (UTF-8); from then on the destination stays Connected, whether or
// not that datagram arrived. Each message goes as the three ASCII lines 2130706433, its size
// and its record in Base64, each ended by CR LF, relabelled with RemoteDispatchID; a record
// over 49,149 bytes is skipped without a report. Destruction sends the type-92 record the same
// way.
//
// Ownership: owns its UDP client. Threads: as every destination (destination.h).
// Failure: nothing escapes. Errors are logged at level Error as "UDP Connect Unsuccesful (%s)"
// (the registration; spelt so in the log), "UDP Dispatch Unsuccessful (%s)" and "UDP
// Disconnect Unsuccessful (%s)".
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>

#include "destinations/remote_destination.h"
#include "net/udp_client.h"

namespace bx {

class TBxUdpDestination : public TBxRemoteDestination {
 public:
  static constexpr uint16_t kDefaultPort = 3435;
  static constexpr int kBufferSize = 65536;
  static std::string_view ClassKindName() { return "Udp"; }

  TBxUdpDestination();
  ~TBxUdpDestination() override;

  std::string_view KindName() const override { return ClassKindName(); }
  void SetOptions(const std::string& text) override;
  std::span<const TBxOptionDef> OptionTable() const override;

  void SetHost(const std::string& text) override;
  void Connect() override;
  void Dispatch(TDispatchMessage& message) override;
  void Disconnect(const TDispatchMessage& message) override;

  virtual uint16_t GetPort() const;
  virtual void SetPort(uint16_t port);

 private:
  void SendMessage(const TDispatchMessage& message, std::string_view errorPrefix);

  std::unique_ptr<TBxUDPClient> FClient;
};

}  // namespace bx
