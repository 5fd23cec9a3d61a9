#include "support/rsyslog_peer.h"

#include <signal.h>
#include <unistd.h>

#include <sstream>
#include <stdexcept>

#include "platform/socket.h"
#include "platform/unicode_text.h"
#include "support/free_port.h"
#include "support/temp_home.h"

namespace bx::test {

namespace {

constexpr const char* kRsyslogd = "/usr/sbin/rsyslogd";
constexpr const char* kProbeMarker = "rsyslog-peer-probe-";

// The JSON escapes rsyslog writes for a property with format="json".
std::string UnescapeJson(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\' || i + 1 == text.size()) {
      out += text[i];
      continue;
    }
    const char c = text[++i];
    switch (c) {
      case 'n':
        out += '\n';
        break;
      case 'r':
        out += '\r';
        break;
      case 't':
        out += '\t';
        break;
      case 'b':
        out += '\b';
        break;
      case 'f':
        out += '\f';
        break;
      case 'u':
        if (i + 4 < text.size()) {
          AppendUtf8(out, static_cast<char32_t>(std::stoul(text.substr(i + 1, 4), nullptr, 16)));
          i += 4;
        }
        break;
      default:
        out += c;  // \" \\ \/
    }
  }
  return out;
}

TSyslogFields ParseLine(const std::string& line) {
  TSyslogFields fields;
  std::stringstream in(line);
  std::string item;
  while (std::getline(in, item, '\t')) {
    const size_t eq = item.find('=');
    if (eq == std::string::npos) continue;
    fields[item.substr(0, eq)] = item.substr(eq + 1);
  }
  fields["MSG"] = UnescapeJson(fields["MSG"]);
  return fields;
}

}  // namespace

TRsyslogPeer::TRsyslogPeer(const std::string& folder, const TTestPki* pki)
    : FFolder(folder), FPki(pki) {
  FUdpPort = FreeUdpPort();
  FTcpPort = FreeTcpPort();
  if (FPki != nullptr) FTlsPort = FreeTcpPort();
  std::string conf;
  conf += "global(workDirectory=\"" + folder +
          "\" parser.escapeControlCharactersOnReceive=\"off\" maxMessageSize=\"64k\"";
  if (FPki != nullptr) {
    conf += " DefaultNetstreamDriverCAFile=\"" + FPki->CAFile +
            "\" DefaultNetstreamDriverCertFile=\"" + FPki->CertFile +
            "\" DefaultNetstreamDriverKeyFile=\"" + FPki->KeyFile + "\"";
  }
  conf += ")\n";
  conf += "module(load=\"imudp\")\nmodule(load=\"imtcp\")\n";
  conf += R"(template(name="fields" type="list") {
  constant(value="PRI=") property(name="pri")
  constant(value="\tFACILITY=") property(name="syslogfacility")
  constant(value="\tSEVERITY=") property(name="syslogseverity")
  constant(value="\tVERSION=") property(name="protocol-version")
  constant(value="\tTIMESTAMP=") property(name="timereported" dateFormat="rfc3339")
  constant(value="\tHOSTNAME=") property(name="hostname")
  constant(value="\tAPPNAME=") property(name="app-name")
  constant(value="\tPROCID=") property(name="procid")
  constant(value="\tMSGID=") property(name="msgid")
  constant(value="\tSD=") property(name="structured-data")
  constant(value="\tMSG=") property(name="msg" format="json")
  constant(value="\n")
}
)";
  conf += "ruleset(name=\"net\") { action(type=\"omfile\" file=\"" + folder +
          "/received.log\" template=\"fields\") }\n";
  conf += "input(type=\"imudp\" address=\"127.0.0.1\" port=\"" + std::to_string(FUdpPort) +
          "\" ruleset=\"net\")\n";
  conf += "input(type=\"imtcp\" address=\"127.0.0.1\" port=\"" + std::to_string(FTcpPort) +
          "\" ruleset=\"net\")\n";
  if (FPki != nullptr) {
    conf += "input(type=\"imtcp\" address=\"127.0.0.1\" port=\"" + std::to_string(FTlsPort) +
            "\" ruleset=\"net\" streamDriver.name=\"ossl\" streamDriver.mode=\"1\" "
            "streamDriver.authMode=\"anon\")\n";
  }
  WriteFile(folder + "/rsyslog.conf", conf);
  Start();
}

TRsyslogPeer::~TRsyslogPeer() { Stop(); }

void TRsyslogPeer::Start() {
  if (::access(kRsyslogd, X_OK) != 0) {
    throw std::runtime_error(std::string(kRsyslogd) +
                             " is missing: scripts/install-deps installs rsyslog");
  }
  FProcess = std::make_unique<TChildProcess>(
      std::vector<std::string>{kRsyslogd, "-n", "-f", FFolder + "/rsyslog.conf", "-i",
                               FFolder + "/rsyslogd.pid"},
      std::map<std::string, std::string>{}, FFolder);
  WaitReady();
}

void TRsyslogPeer::Stop() {
  if (!FProcess) return;
  FProcess->Signal(SIGTERM);
  if (!FProcess->Wait(std::chrono::seconds(20))) {
    FProcess->Signal(SIGKILL);
    FProcess->Wait(std::chrono::seconds(10));
  }
  FProcess.reset();
}

void TRsyslogPeer::WaitReady() {
  auto fail = [&](const std::string& what) {
    const std::string output = FProcess->StandardOutput() + FProcess->StandardError();
    Stop();
    throw std::runtime_error("rsyslogd did not come up (" + what + "): " + output);
  };
  auto accepts = [](uint16_t port) {
    try {
      TStreamSocket s = TStreamSocket::ConnectTcp("127.0.0.1", port, std::chrono::seconds(2));
      return true;
    } catch (const ESocketError&) {
      return false;
    }
  };
  if (!WaitFor([&] { return !FProcess->Running() || accepts(FTcpPort); },
               std::chrono::seconds(30)) ||
      !FProcess->Running()) {
    fail("TCP port");
  }
  if (FTlsPort != 0 && !WaitFor([&] { return accepts(FTlsPort); }, std::chrono::seconds(30))) {
    fail("TLS port");
  }
  // UDP has no handshake: send probes until one is written out.
  const std::string marker = kProbeMarker + std::to_string(++FProbe);
  TUdpSocket udp = TUdpSocket::Open(TIPVersion::V4);
  TSocketAddress to{"127.0.0.1", FUdpPort, TIPVersion::V4};
  const std::string probe = "<14>1 - - - - - - " + marker;
  const bool seen = WaitFor(
      [&] {
        udp.SendTo(to, probe.data(), probe.size());
        const std::string path = FFolder + "/received.log";
        return FileExists(path) && ReadFile(path).find(marker) != std::string::npos;
      },
      std::chrono::seconds(30));
  if (!seen) fail("UDP port");
}

std::vector<TSyslogFields> TRsyslogPeer::Received() const {
  std::vector<TSyslogFields> out;
  const std::string text =
      FileExists(FFolder + "/received.log") ? ReadFile(FFolder + "/received.log") : "";
  std::stringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    if (line.find(kProbeMarker) != std::string::npos) continue;
    out.push_back(ParseLine(line));
  }
  return out;
}

std::optional<TSyslogFields> TRsyslogPeer::WaitForMessage(const std::string& marker,
                                                          std::chrono::milliseconds timeout) const {
  std::optional<TSyslogFields> found;
  WaitFor(
      [&] {
        for (TSyslogFields& f : Received()) {
          if (f["MSG"].find(marker) != std::string::npos) {
            found = f;
            return true;
          }
        }
        return false;
      },
      timeout);
  return found;
}

}  // namespace bx::test
