#include "destinations/http_destination.h"

namespace bx {

namespace {

TBxHttpDestination& Http(TBxDestination& d) { return static_cast<TBxHttpDestination&>(d); }

constexpr TBxOptionDef kHttpOptions[] = {
    {"URL", TBxOptionType::Text,
     [](TBxDestination& d, const TBxOptionValue& v) { Http(d).URL = std::string(v.Text); }},
    {"Alias", TBxOptionType::Text,
     [](TBxDestination& d, const TBxOptionValue& v) { Http(d).SetAlias(std::string(v.Text)); }},
    {"ProxyServer", TBxOptionType::Text,
     [](TBxDestination& d, const TBxOptionValue& v) {
       Http(d).SetProxyServer(std::string(v.Text));
     }},
    {"ProxyPort", TBxOptionType::Integer,
     [](TBxDestination& d, const TBxOptionValue& v) {
       Http(d).SetProxyPort(static_cast<uint16_t>(v.Integer));
     }},
    {"ProxyUsername", TBxOptionType::Text,
     [](TBxDestination& d, const TBxOptionValue& v) {
       Http(d).SetProxyUsername(std::string(v.Text));
     }},
    {"ProxyPassword", TBxOptionType::Text,
     [](TBxDestination& d, const TBxOptionValue& v) {
       Http(d).SetProxyPassword(std::string(v.Text));
     }},
    {"RemoteDestinationDetails", TBxOptionType::Text,
     [](TBxDestination& d, const TBxOptionValue& v) {
       Http(d).RemoteDestinationDetails = std::string(v.Text);
     }},
};

}  // namespace

TBxHttpDestination::~TBxHttpDestination() { SendUnregistration(); }

void TBxHttpDestination::SetOptions(const std::string& text) {
  if (!CheckRequiredOption(text, "URL",
                           "Invalid Destination: URL option not specified in destination \"%s\"")) {
    return;
  }
  TBxRemoteDestination::SetOptions(text);
}

std::span<const TBxOptionDef> TBxHttpDestination::OptionTable() const { return kHttpOptions; }

std::string TBxHttpDestination::GetAlias() const { return FAlias; }
void TBxHttpDestination::SetAlias(const std::string& value) { FAlias = value; }
std::string TBxHttpDestination::GetProxyPassword() const { return FProxyPassword; }
void TBxHttpDestination::SetProxyPassword(const std::string& value) { FProxyPassword = value; }
uint16_t TBxHttpDestination::GetProxyPort() const { return FProxyPort; }
void TBxHttpDestination::SetProxyPort(uint16_t value) { FProxyPort = value; }
std::string TBxHttpDestination::GetProxyServer() const { return FProxyServer; }
void TBxHttpDestination::SetProxyServer(const std::string& value) { FProxyServer = value; }
std::string TBxHttpDestination::GetProxyUsername() const { return FProxyUsername; }
void TBxHttpDestination::SetProxyUsername(const std::string& value) { FProxyUsername = value; }

}  // namespace bx
