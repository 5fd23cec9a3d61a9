// TBxHttpDestination (kind "Http"): forwards messages to an HTTP endpoint by form POST
// requests, optionally through a proxy.
//
// Options: URL (required: the option text must contain the word URL), Alias (default
// "Default"), ProxyServer, ProxyPort (low 16 bits), ProxyUsername, ProxyPassword and
// RemoteDestinationDetails (default "Viewer"). Host is not an option of this kind.
// What is here: the options and their validation. The HTTP transport plugs in by overriding
// Connect and Dispatch of TBxRemoteDestination (see remote_destination.h) and the proxy
// accessors to reach its client; until then Dispatch only makes the remote dispatch ID and
// sends nothing.
// Ownership and threads as for every destination (destination.h).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "destinations/remote_destination.h"

namespace bx {

class TBxHttpDestination : public TBxRemoteDestination {
 public:
  static std::string_view ClassKindName() { return "Http"; }

  ~TBxHttpDestination() override;

  std::string_view KindName() const override { return ClassKindName(); }
  void SetOptions(const std::string& text) override;
  std::span<const TBxOptionDef> OptionTable() const override;

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

  // Option: the endpoint's base URL; request paths are appended to it as they stand.
  std::string URL;

 private:
  std::string FAlias = "Default";
  std::string FProxyPassword;
  uint16_t FProxyPort = 0;
  std::string FProxyServer;
  std::string FProxyUsername;
};

}  // namespace bx
