// TBxNetworkReceiver: what the TCP and UDP receivers share on top of TBxReceiver: a server
// object listening on one port for all local addresses, started and stopped with the receiver,
// and the port switch.
//
// Start: the "Receiver Started" entry, then the server is activated. A bind failure is logged
// as Warning "<TCP|UDP> Receiver could not allocate a socket (<reason>)" followed by Stop (its
// "Receiver Stopped" entry); Active stays true, so the receiver stays silent until it is
// recreated. SetPort logs "<TCP|UDP> Receiver switching from port %d to port %d" (Info) and
// restarts the server only when it was listening.
//
// Ownership: owns its server. A subclass whose server events call back into it must call
// DeactivateTransport() in its own destructor, so that no server thread runs into a
// half-destroyed object. Threads: SetActive, SetPort and the destructor on the main thread.
// Failure: SetActive and SetPort never throw on a bind failure (logged as above).
#pragma once

#include <cstdint>
#include <exception>
#include <string>
#include <vector>

#include "net/tcp_server.h"
#include "receivers/receiver.h"

namespace bx {

// A port option value outside 0..65535 gives the default port.
inline uint16_t ReceiverPortOrDefault(int32_t value, uint16_t defaultPort) {
  return (value >= 0 && value <= 65535) ? static_cast<uint16_t>(value) : defaultPort;
}

template <class TServer>
class TBxNetworkReceiver : public TBxReceiver {
 public:
  // `label` is "TCP" or "UDP" as the receiver's own log texts name it.
  TBxNetworkReceiver(std::string serverName, std::string label, uint16_t initialPort)
      : FServer(std::move(serverName)), FLabel(std::move(label)) {
    FServer.SetDefaultPort(initialPort);
  }

  virtual uint16_t GetPort() const { return FServer.DefaultPort(); }
  virtual void SetPort(uint16_t port) {
    const uint16_t old = FServer.DefaultPort();
    if (port == old) return;
    Log(TLogLevel::Info, FLabel + " Receiver switching from port " + std::to_string(old) +
                             " to port " + std::to_string(port));
    const bool wasActive = FServer.Active();
    FServer.SetActive(false);
    FServer.SetDefaultPort(port);
    ActivateTransport(wasActive);
  }

  // The addresses the server listens on now, with the ports actually bound (port 0 lets the
  // system choose); empty while it does not listen.
  std::vector<TBxSocketBinding> BoundBindings() const { return FServer.BoundBindings(); }
  bool Listening() const { return FServer.Active(); }

 protected:
  void Start() override {
    TBxReceiver::Start();
    ActivateTransport(true);
  }
  void Stop() override {
    TBxReceiver::Stop();
    FServer.SetActive(false);
  }
  void DeactivateTransport() { FServer.SetActive(false); }

  TServer FServer;

 private:
  void ActivateTransport(bool active) {
    try {
      FServer.SetActive(active);
    } catch (const std::exception& e) {
      Log(TLogLevel::Warning, FLabel + " Receiver could not allocate a socket (" + e.what() + ")");
      Stop();
    }
  }

  std::string FLabel;
};

}  // namespace bx
