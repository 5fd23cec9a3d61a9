#include "destinations/tcp_destination.h"

namespace bx {

namespace {

constexpr TBxOptionDef kTcpOptions[] = {
    {"Host", TBxOptionType::Text,
     [](TBxDestination& d, const TBxOptionValue& v) {
       static_cast<TBxTcpDestination&>(d).SetHost(std::string(v.Text));
     }},
    {"Port", TBxOptionType::Integer,
     [](TBxDestination& d, const TBxOptionValue& v) {
       // A port keeps the low 16 bits of the number written.
       static_cast<TBxTcpDestination&>(d).SetPort(static_cast<uint16_t>(v.Integer));
     }},
    {"RemoteDestinationDetails", TBxOptionType::Text,
     [](TBxDestination& d, const TBxOptionValue& v) {
       static_cast<TBxTcpDestination&>(d).RemoteDestinationDetails = std::string(v.Text);
     }},
};

}  // namespace

TBxTcpDestination::~TBxTcpDestination() { SendUnregistration(); }

void TBxTcpDestination::SetOptions(const std::string& text) {
  if (!CheckRequiredOption(
          text, "HOST", "Invalid Destination: Host option not specified in destination \"%s\"")) {
    return;
  }
  TBxRemoteDestination::SetOptions(text);
}

std::span<const TBxOptionDef> TBxTcpDestination::OptionTable() const { return kTcpOptions; }

uint16_t TBxTcpDestination::GetPort() const { return FPort; }

void TBxTcpDestination::SetPort(uint16_t port) { FPort = port; }

}  // namespace bx
