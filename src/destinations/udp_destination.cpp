#include "destinations/udp_destination.h"

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

}  // namespace

TBxUdpDestination::~TBxUdpDestination() { SendUnregistration(); }

void TBxUdpDestination::SetOptions(const std::string& text) {
  if (!CheckRequiredOption(
          text, "HOST", "Invalid Destination: Host option not specified in destination \"%s\"")) {
    return;
  }
  TBxRemoteDestination::SetOptions(text);
}

std::span<const TBxOptionDef> TBxUdpDestination::OptionTable() const { return kUdpOptions; }

uint16_t TBxUdpDestination::GetPort() const { return FPort; }

void TBxUdpDestination::SetPort(uint16_t port) { FPort = port; }

}  // namespace bx
