#include "destinations/udp_destination.h"

#include <exception>

#include "destinations/remote_record_text.h"
#include "platform/log_entry.h"

namespace bx {

namespace {

constexpr TBxOptionDef kUdpOptions[] = {
    {"Host", TBxOptionType::Text,
     [](TBxDestination& d, const TBxOptionValue& v) {
       static_cast<TBxUdpDestination&>(d).SetHost(std::string(v.Text));
     }},
    {"Port", TBxOptionType::Integer,
     [](TBxDestination& d, const TBxOptionValue& v) {
       // A port keeps the low 16 bits of the number written.
       static_cast<TBxUdpDestination&>(d).SetPort(static_cast<uint16_t>(v.Integer));
     }},
    {"RemoteDestinationDetails", TBxOptionType::Text,
     [](TBxDestination& d, const TBxOptionValue& v) {
       static_cast<TBxUdpDestination&>(d).RemoteDestinationDetails = std::string(v.Text);
     }},
};

void LogFailure(std::string_view prefix, const std::exception& e) {
  AddLogEntry(TLogLevel::Error, std::string(prefix) + " (" + e.what() + ")");
}

}  // namespace

TBxUdpDestination::TBxUdpDestination() : FClient(std::make_unique<TBxUDPClient>("", kDefaultPort)) {
  FClient->BufferSize = kBufferSize;
}

TBxUdpDestination::~TBxUdpDestination() { SendUnregistration(); }

void TBxUdpDestination::SetOptions(const std::string& text) {
  if (!CheckRequiredOption(
          text, "HOST", "Invalid Destination: Host option not specified in destination \"%s\"")) {
    return;
  }
  TBxRemoteDestination::SetOptions(text);
}

std::span<const TBxOptionDef> TBxUdpDestination::OptionTable() const { return kUdpOptions; }

void TBxUdpDestination::SetHost(const std::string& text) {
  TBxRemoteDestination::SetHost(text);
  FClient->SetHost(text);
}

uint16_t TBxUdpDestination::GetPort() const { return FClient->GetPort(); }

void TBxUdpDestination::SetPort(uint16_t port) { FClient->SetPort(port); }

void TBxUdpDestination::Connect() {
  TBxRemoteDestination::Connect();
  try {
    FClient->Send("REGDISPATCH\r\n" + RemoteDispatchID + "\r\n" + RemoteDestinationDetails,
                  TBxTextEncoding::Utf8);
  } catch (const std::exception& e) {
    // Stays Connected: the registration is not repeated.
    LogFailure("UDP Connect Unsuccesful", e);
  }
}

void TBxUdpDestination::SendMessage(const TDispatchMessage& message, std::string_view errorPrefix) {
  try {
    const auto lines = RecordTextLines(message);
    if (!lines) return;  // too large for one datagram's text
    std::string datagram;
    datagram.reserve((*lines)[2].size() + 32);
    for (const std::string& line : *lines) {
      datagram += line;
      datagram += "\r\n";
    }
    FClient->Send(datagram);
  } catch (const std::exception& e) {
    LogFailure(errorPrefix, e);
  }
}

void TBxUdpDestination::Dispatch(TDispatchMessage& message) {
  TBxRemoteDestination::Dispatch(message);
  StampRemoteDispatchID(message);
  SendMessage(message, "UDP Dispatch Unsuccessful");
}

void TBxUdpDestination::Disconnect(const TDispatchMessage& message) {
  SendMessage(message, "UDP Disconnect Unsuccessful");
}

}  // namespace bx
