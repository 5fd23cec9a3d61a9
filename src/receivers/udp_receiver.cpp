#include "receivers/udp_receiver.h"

#include <span>

#include "core/dispatch_counters.h"
#include "destinations/destination.h"
#include "messages/dispatch_message.h"
#include "receivers/udp_datagram.h"

namespace bx {

TBxUdpReceiver::TBxUdpReceiver(TBxCommandLine& commandLine)
    : TBxUdpReceiver(ReceiverPortOrDefault(CommandLineUdpPort(commandLine), kDefaultUdpPort)) {}

TBxUdpReceiver::TBxUdpReceiver(uint16_t initialPort)
    : TBxNetworkReceiver("TBxUDPServer", "UDP", initialPort) {
  FServer.SetBufferSize(kUdpReceiverBufferSize);
  FServer.SetOnRead([this](std::string_view data, const TSocketAddress& peer) {
    HandleDatagram(data, peer.Version == TIPVersion::V6
                             ? "[" + peer.IP + "]:" + std::to_string(peer.Port)
                             : peer.IP + ":" + std::to_string(peer.Port));
  });
}

TBxUdpReceiver::~TBxUdpReceiver() { DeactivateTransport(); }

void TBxUdpReceiver::HandleDatagram(std::string_view bytes, const std::string& peer) {
  TBxUdpDatagram datagram = ParseUdpDatagram(bytes);
  switch (datagram.Kind) {
    case TBxUdpDatagram::TKind::Registration:
      RegisterDispatchID(datagram.DispatchID, datagram.DestinationString, kConnectionUdp);
      Log(TLogLevel::Reg,
          "UDP Connection Established: Details=\"" + datagram.DestinationString + "\"");
      break;
    case TBxUdpDatagram::TKind::Message:
      // The parser checked the record; the check gives the view of it in place.
      CountReceived(kConnectionUdp);
      QueueMessage(CheckDispatchMessage(std::as_bytes(std::span<const char>(
                                            datagram.Record.data(), datagram.Record.size())))
                       .Message);
      break;
    case TBxUdpDatagram::TKind::Refused:
      Log(TLogLevel::Warning,
          "UDP Receiver refused a datagram from " + peer + ": " + datagram.Error);
      break;
    case TBxUdpDatagram::TKind::Ignored:
      break;
  }
}

}  // namespace bx
