// TBxHttpDestination (kind "Http"): forwards messages to an HTTP endpoint by form POST
// requests, optionally through a proxy.
//
// Options: URL (required: the option text must contain the word URL), Alias (default
// "Default"), ProxyServer, ProxyPort (low 16 bits), ProxyUsername, ProxyPassword and
// RemoteDestinationDetails (default "Viewer"), and for https URLs CAFile (a PEM file of
// trusted roots instead of the system's CA store) and VerifyPeer (Boolean, default True; False
// is logged once as a Warning at the first https request). Host is not an option of this kind.
// The proxy and TLS options live in the HTTP client (http_client.h: https, CONNECT tunnels).
//
// Every message costs two requests: "/connect" announces a fresh RemoteDispatchID with the
// lines [RemoteDispatchID, RemoteDestinationDetails], then "/message" carries the record
// relabelled with that ID as the lines [2130706433, size, Base64]. Both go to
// URL + path + "?Alias=" + the encoded alias (EncodeAliasParam). A record over 49,149 bytes
// gets the "/connect" request only. The destination is never Connected between messages, so
// its destruction sends nothing.
//
// Time-outs: the client's (http_client.h, 30 s each by default); the "/connect" and
// "/message" requests of one message together take at most the larger of ConnectTimeout and
// ReadTimeout (remote_destination.h). Client() lets tests and the owner change them.
//
// Ownership: owns its HTTP client. Threads: as every destination (destination.h).
// Failure: nothing is caught here. A failed request (network, time-out, an answer other than
// 2xx, an https URL) raises out of Dispatch to the dispatch thread, which logs it; a failed
// "/connect" means no "/message" for that message.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "destinations/remote_destination.h"
#include "net/http_client.h"

namespace bx {

// The alias as a query value: UTF-8 bytes; letters, digits and ! $ ' ( ) * - . _ @ as they
// are, space as "+", every other byte as "%" and two upper-case hex digits.
std::string EncodeAliasParam(std::string_view alias);

class TBxHttpDestination : public TBxRemoteDestination {
 public:
  static std::string_view ClassKindName() { return "Http"; }

  TBxHttpDestination();
  ~TBxHttpDestination() override;

  std::string_view KindName() const override { return ClassKindName(); }
  void SetOptions(const std::string& text) override;
  std::span<const TBxOptionDef> OptionTable() const override;

  // Announces a fresh RemoteDispatchID ("/connect") and leaves Connected false.
  void Connect() override;
  void Dispatch(TDispatchMessage& message) override;

  virtual std::string GetAlias() const;
  virtual void SetAlias(const std::string& value);
  virtual std::string GetProxyPassword() const;
  virtual void SetProxyPassword(const std::string& value);
  virtual uint16_t GetProxyPort() const;
  virtual void SetProxyPort(uint16_t value);
  virtual std::string GetProxyServer() const;
  virtual void SetProxyServer(const std::string& value);
  virtual std::string GetProxyUsername() const;
  virtual void SetProxyUsername(const std::string& value);

  TBxHTTP& Client() { return *FClient; }

  // Option: the endpoint's base URL; request paths are appended to it as they stand.
  std::string URL;

 private:
  std::string RequestURL(std::string_view path) const;

  std::string FAlias = "Default";
  bool FVerifyWarned = false;
  std::unique_ptr<TBxHTTP> FClient;
};

}  // namespace bx
