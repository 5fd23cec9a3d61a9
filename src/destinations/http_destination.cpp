#include "destinations/http_destination.h"

#include <vector>

#include "config/text_case.h"
#include "destinations/remote_record_text.h"
#include "platform/log_entry.h"

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
    {"CAFile", TBxOptionType::Text,
     [](TBxDestination& d, const TBxOptionValue& v) {
       Http(d).Client().Tls.CAFile = std::string(v.Text);
     }},
    {"VerifyPeer", TBxOptionType::Boolean,
     [](TBxDestination& d, const TBxOptionValue& v) {
       Http(d).Client().Tls.VerifyPeer = v.Boolean;
     }},
};

}  // namespace

std::string EncodeAliasParam(std::string_view alias) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(alias.size());
  for (const char ch : alias) {
    const auto c = static_cast<unsigned char>(ch);
    const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                       c == '!' || c == '$' || c == '\'' || c == '(' || c == ')' || c == '*' ||
                       c == '-' || c == '.' || c == '_' || c == '@';
    if (plain) {
      out += ch;
    } else if (c == ' ') {
      out += '+';
    } else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 0x0F];
    }
  }
  return out;
}

TBxHttpDestination::TBxHttpDestination() : FClient(std::make_unique<TBxHTTP>()) {}

TBxHttpDestination::~TBxHttpDestination() { SendUnregistration(); }

std::string TBxHttpDestination::RequestURL(std::string_view path) const {
  return URL + std::string(path) + "?Alias=" + EncodeAliasParam(FAlias);
}

void TBxHttpDestination::Connect() {
  if (!FClient->Tls.VerifyPeer && !FVerifyWarned && URL.size() >= 8 &&
      SameText(std::string_view(URL).substr(0, 8), "https://")) {
    FVerifyWarned = true;
    AddLogEntry(TLogLevel::Warning,
                "Http destination " + URL + ": VerifyPeer=False, the TLS peer is not verified");
  }
  TBxRemoteDestination::Connect();
  // Never Connected between messages: every message announces a fresh ID.
  Connected = false;
  FClient->PostForm(RequestURL("/connect"), {RemoteDispatchID, RemoteDestinationDetails});
}

void TBxHttpDestination::Dispatch(TDispatchMessage& message) {
  // "/connect" and "/message" share one bound.
  TBxMessageLimit limit(*FClient, FClient->ConnectTimeout, FClient->ReadTimeout);
  Connect();
  StampRemoteDispatchID(message);
  const auto lines = RecordTextLines(message);
  if (!lines) return;  // too large: the "/connect" request only
  FClient->PostForm(RequestURL("/message"), std::vector<std::string>(lines->begin(), lines->end()));
}

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
std::string TBxHttpDestination::GetProxyPassword() const { return FClient->GetProxyPassword(); }
void TBxHttpDestination::SetProxyPassword(const std::string& value) {
  FClient->SetProxyPassword(value);
}
uint16_t TBxHttpDestination::GetProxyPort() const { return FClient->GetProxyPort(); }
void TBxHttpDestination::SetProxyPort(uint16_t value) { FClient->SetProxyPort(value); }
std::string TBxHttpDestination::GetProxyServer() const { return FClient->GetProxyServer(); }
void TBxHttpDestination::SetProxyServer(const std::string& value) {
  FClient->SetProxyServer(value);
}
std::string TBxHttpDestination::GetProxyUsername() const { return FClient->GetProxyUsername(); }
void TBxHttpDestination::SetProxyUsername(const std::string& value) {
  FClient->SetProxyUsername(value);
}

}  // namespace bx
