// TRsyslogPeer: the system's rsyslogd run by a test as a real syslog receiver, with a private
// configuration, work folder and pid file below the test's folder, listening on loopback ports
// of its own (UDP, TCP and, with certificates, TLS). It never touches the system's syslog
// service, its sockets or its files: no local socket input is loaded, and nothing is read
// from /etc.
//
// Every message received is written as one line of tab-separated fields NAME=value showing each
// RFC 5424 field: PRI, FACILITY, SEVERITY, VERSION, TIMESTAMP (RFC 3339 as received),
// HOSTNAME, APPNAME, PROCID, MSGID, SD (the STRUCTURED-DATA as received) and MSG (the message
// with its byte-order mark, JSON-escaped in the file and unescaped by Received()).
//
// Threads: one test thread. Failure: Start throws std::runtime_error (with rsyslogd's output)
// when rsyslogd is missing (run scripts/install-deps) or does not come up within 30 s.
#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "support/child_process.h"
#include "support/test_pki.h"

namespace bx::test {

using TSyslogFields = std::map<std::string, std::string>;

class TRsyslogPeer {
 public:
  // Picks free ports and starts; `pki` (may be null: no TLS input) must outlive the peer.
  TRsyslogPeer(const std::string& folder, const TTestPki* pki);
  ~TRsyslogPeer();

  // Stops rsyslogd by its PID (SIGTERM, then SIGKILL) and waits for it.
  void Stop();
  // Starts it again on the same ports, appending to the same output file.
  void Start();

  uint16_t UdpPort() const { return FUdpPort; }
  uint16_t TcpPort() const { return FTcpPort; }
  uint16_t TlsPort() const { return FTlsPort; }

  // Every message received so far (readiness probes left out).
  std::vector<TSyslogFields> Received() const;
  // The first message whose MSG contains `marker`, waiting up to `timeout` for it.
  std::optional<TSyslogFields> WaitForMessage(
      const std::string& marker,
      std::chrono::milliseconds timeout = std::chrono::seconds(30)) const;

 private:
  void WaitReady();
  std::string FFolder;
  const TTestPki* FPki;
  uint16_t FUdpPort = 0;
  uint16_t FTcpPort = 0;
  uint16_t FTlsPort = 0;
  int FProbe = 0;
  std::unique_ptr<TChildProcess> FProcess;
};

}  // namespace bx::test
