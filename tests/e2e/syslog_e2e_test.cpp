// End-to-end: the real BxDispatcher forwards what BxSend sends to a real rsyslogd over TCP and
// TLS, through a registration made with a Syslog destination string.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "support/child_process.h"
#include "support/free_port.h"
#include "support/rsyslog_peer.h"
#include "support/temp_home.h"
#include "support/test_pki.h"

namespace bx {
namespace {

using test::FileExists;
using test::ReadFile;
using test::RunProgram;
using test::TChildProcess;
using test::TTempHome;
using test::WaitFor;

const std::string kBin = BX_BIN_DIR;

TEST(SyslogE2E, ARegisteredSyslogDestinationFeedsRsyslog) {
  TTempHome home;
  test::TTestPki pki(home.Path());
  test::TRsyslogPeer peer(home.Path(), &pki);
  const std::string log = home / "user/Korvane/Brevix/4.0/BxDispatcherLog.txt";
  test::WriteFile(home / "common/Korvane/Brevix/4.0/BxDispatcher.ini",
                  "[Settings]\nUIMode=1\n[Ports]\nMonitorPorts=1\nTCPPort=" +
                      std::to_string(test::FreeTcpPort()) +
                      "\nUDPPort=" + std::to_string(test::FreeUdpPort()) + "\n");
  TChildProcess dispatcher({kBin + "/BxDispatcher"}, {}, home.Path());
  ASSERT_TRUE(WaitFor([&] {
    return FileExists(log) && ReadFile(log).find("MonitorPorts=") != std::string::npos &&
           FileExists(home / "run/TFrmDispatcher.Brevix Dispatcher.sock");
  })) << dispatcher.StandardError();

  const std::string id = "{51515151-2222-3333-4444-555555555555}";
  const std::string destination =
      "Syslog[Host=127.0.0.1;Protocol=tcp;Facility=local1;Port=" + std::to_string(peer.TcpPort()) +
      "],Syslog[Host=localhost;Protocol=tls;Facility=17;CAFile=" + pki.CAFile +
      ";Port=" + std::to_string(peer.TlsPort()) + "]";
  EXPECT_EQ(RunProgram({kBin + "/BxSend", "register", "--id", id, "--destination", destination},
                       home.Path())
                .Output,
            "1\n");
  EXPECT_EQ(RunProgram({kBin + "/BxSend", "message", "--id", id, "--type", "1", "--text",
                        "e2e Warnung \xC3\xBC", "--details", "zweite Zeile"},
                       home.Path())
                .Output,
            "1\n");
  // The same message over both connections: two lines, local1 (17) * 8 + warning (4).
  ASSERT_TRUE(WaitFor(
      [&] {
        size_t n = 0;
        for (auto& f : peer.Received()) n += f["MSG"].find("e2e Warnung") != std::string::npos;
        return n == 2;
      },
      std::chrono::seconds(30)))
      << ReadFile(log);
  for (auto& f : peer.Received()) {
    EXPECT_EQ(f["PRI"], "140");
    EXPECT_EQ(f["APPNAME"], "BxSend");
    EXPECT_EQ(f["MSGID"], "1");
    EXPECT_NE(f["SD"].find("dispatchID=\"" + id + "\""), std::string::npos) << f["SD"];
    EXPECT_EQ(f["MSG"],
              "\xEF\xBB\xBF"
              "e2e Warnung \xC3\xBC\nzweite Zeile");
  }
  EXPECT_EQ(RunProgram({kBin + "/BxSend", "--stop"}, home.Path()).Output, "1\n");
  EXPECT_EQ(dispatcher.Wait(), 0);
  EXPECT_EQ(ReadFile(log).find("Syslog Dispatch Unsuccessful"), std::string::npos);
}

}  // namespace
}  // namespace bx
