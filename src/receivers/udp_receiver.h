// TBxUdpReceiver: logger registrations and messages as UDP datagrams (ParseUdpDatagram), never
// answered. It owns a TBxUDPServer listening on one port for all local addresses with a
// 65,536-byte receive buffer; the server runs HandleDatagram on the main loop's thread, one
// datagram at a time, while its listener waits.
//
// A registration datagram is registered with connection method 2 and logged at level Reg as
// "UDP Connection Established: Details="<destination string>"". A message datagram's record is
// queued (a type-91 record too: registration by UDP is only the "REGDISPATCH" datagram). A
// message datagram whose decoded block is not a whole record gets one Warning entry "UDP
// Receiver refused a datagram from <peer>: <reason>" and is dropped. Anything else is ignored
// without an entry.
//
// Ownership: owns its server; the destructor stops it (and joins its listeners) first.
// Threads: SetActive, SetPort, the destructor and HandleDatagram on the main thread.
// Failure: bind failures are logged (TBxNetworkReceiver); HandleDatagram lets std::bad_alloc
// through, which the server swallows.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "config/command_line.h"
#include "net/udp_server.h"
#include "receivers/network_receiver.h"

namespace bx {

inline constexpr size_t kUdpReceiverBufferSize = 65536;

class TBxUdpReceiver : public TBxNetworkReceiver<TBxUDPServer> {
 public:
  // The initial port is the command line's "UDPPort" option, 3435 when it is absent or not a
  // port number. Created inactive.
  explicit TBxUdpReceiver(TBxCommandLine& commandLine);
  explicit TBxUdpReceiver(uint16_t initialPort);
  ~TBxUdpReceiver() override;

  static std::string_view ReceiverName() { return "Udp"; }
  static std::string_view DisplayName() { return "Udp"; }
  static std::string_view ReceiverCode() { return "Udp"; }
  std::string_view Name() const override { return ReceiverName(); }

  // The read handler: one datagram's bytes and its sender ("IP:port", for the log only).
  void HandleDatagram(std::string_view bytes, const std::string& peer);
};

}  // namespace bx
