// https for the Http destination against real TLS peers: a Python ssl server with a
// certificate from a CA made at run time (support/test_pki.h), and a small CONNECT proxy that
// checks Basic credentials (support/https_peer.py). Both are started by the test on loopback
// ports of their own choosing and killed by PID.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "destinations/http_destination.h"
#include "messages/base64.h"
#include "support/child_process.h"
#include "support/log_capture.h"
#include "support/temp_home.h"
#include "support/test_pki.h"

namespace bx {
namespace {

using test::TChildProcess;
using test::TLogCapture;
using test::TTempHome;
using test::TTestPki;

// One https_peer.py process in a folder of its own.
class TPythonPeer {
 public:
  TPythonPeer(const std::string& folder, std::vector<std::string> args) : FFolder(folder) {
    std::filesystem::create_directories(folder);
    args.insert(args.begin(),
                {"/usr/bin/python3", std::string(BX_SOURCE_DIR) + "/tests/support/https_peer.py"});
    FProcess = std::make_unique<TChildProcess>(args, std::map<std::string, std::string>{}, folder);
    const bool up = test::WaitFor([&] { return test::FileExists(folder + "/port.txt"); },
                                  std::chrono::seconds(30));
    if (!up) {
      throw std::runtime_error("https_peer.py did not start: " + FProcess->StandardError());
    }
    FPort = std::stoi(test::ReadFile(folder + "/port.txt"));
  }
  uint16_t Port() const { return static_cast<uint16_t>(FPort); }
  // The stored files "<prefix>-NNNN.txt", oldest first.
  std::vector<std::string> Stored(const std::string& prefix) const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(FFolder)) {
      const std::string name = entry.path().filename().string();
      if (name.rfind(prefix + "-", 0) == 0 && name.size() > 4 &&
          name.compare(name.size() - 4, 4, ".txt") == 0) {
        names.push_back(name);
      }
    }
    std::sort(names.begin(), names.end());
    std::vector<std::string> out;
    for (const std::string& n : names) out.push_back(test::ReadFile(FFolder + "/" + n));
    return out;
  }
  bool WaitStored(const std::string& prefix, size_t count) const {
    return test::WaitFor([&] { return Stored(prefix).size() >= count; }, std::chrono::seconds(30));
  }

 private:
  std::string FFolder;
  int FPort = 0;
  std::unique_ptr<TChildProcess> FProcess;
};

class HttpTlsTest : public ::testing::Test {
 protected:
  HttpTlsTest()
      : FPki(FHome.Path()),
        FServer(FHome / "server", {"server", FHome / "server", FPki.CertFile, FPki.KeyFile}) {}

  std::unique_ptr<TBxHttpDestination> Make(const std::string& options) {
    auto d = std::make_unique<TBxHttpDestination>();
    d->SetName("Http");
    d->SetOptions(options);
    EXPECT_FALSE(d->Invalid) << options;
    d->Client().ConnectTimeout = std::chrono::seconds(20);
    return d;
  }
  static TDispatchMessagePtr Message(std::string_view text) {
    TDispatchMessageFields f;
    f.MsgType = 0;
    f.DispatchID = "{ORIGINAL}";
    f.AppName = "App";
    f.MsgText = text;
    return BuildDispatchMessage(f);
  }
  static std::string RequestLine(const std::string& r) { return r.substr(0, r.find("\r\n")); }
  static std::string Body(const std::string& r) { return r.substr(r.find("\r\n\r\n") + 4); }
  static std::string Header(const std::string& r, const std::string& name) {
    const size_t at = r.find("\r\n" + name + ": ");
    if (at == std::string::npos) return "<none>";
    const size_t start = at + 4 + name.size();
    return r.substr(start, r.find("\r\n", start) - start);
  }
  // The text of what Dispatch raises ("" when it succeeds).
  static std::string Failure(TBxHttpDestination& d, TDispatchMessage& m) {
    try {
      d.Dispatch(m);
    } catch (const std::exception& e) {
      return e.what();
    }
    return "";
  }
  std::string Origin(const std::string& host) const {
    return "https://" + host + ":" + std::to_string(FServer.Port());
  }

  TTempHome FHome;
  TLogCapture FLog;
  TTestPki FPki;
  TPythonPeer FServer;
};

TEST_F(HttpTlsTest, AVerifiedRequestCarriesThePlainHttpBytes) {
  auto d = Make("URL=" + Origin("localhost") + "/bx;CAFile=" + FPki.CAFile);
  TDispatchMessagePtr m = Message("over tls \xC3\xA9");
  EXPECT_EQ(Failure(*d, *m), "");
  ASSERT_TRUE(FServer.WaitStored("req", 2));
  const auto r = FServer.Stored("req");
  ASSERT_EQ(r.size(), 2u);
  const std::string host = "localhost:" + std::to_string(FServer.Port());
  EXPECT_EQ(r[0],
            "POST /bx/connect?Alias=Default HTTP/1.0\r\nHost: " + host +
                "\r\nAccept: text/html, */*\r\nUser-Agent: Mozilla/3.0 (compatible; Brevix "
                "Library)\r\nContent-Type: application/x-www-form-urlencoded\r\nContent-Length: " +
                std::to_string(38 + 3 + 6) + "\r\n\r\n" + d->RemoteDispatchID + "&|&Viewer");
  EXPECT_EQ(RequestLine(r[1]), "POST /bx/message?Alias=Default HTTP/1.0");
  TDispatchMessagePtr expected = Message("over tls \xC3\xA9");
  SetFieldText(expected->DispatchID, d->RemoteDispatchID);
  const std::string bytes(reinterpret_cast<const char*>(expected.get()),
                          static_cast<size_t>(DispatchMessageSize(*expected)));
  EXPECT_EQ(Body(r[1]),
            "2130706433&|&" + std::to_string(bytes.size()) + "&|&" + EncodeBase64(bytes));
  EXPECT_TRUE(FLog.Entries().empty());
}

TEST_F(HttpTlsTest, AWrongNameOrAnUntrustedCAIsRefusedBeforeAnyRequest) {
  TDispatchMessagePtr m = Message("never sent");
  const std::string port = std::to_string(FServer.Port());
  // The certificate names localhost only.
  auto wrongName = Make("URL=" + Origin("127.0.0.1") + ";CAFile=" + FPki.CAFile);
  EXPECT_EQ(Failure(*wrongName, *m),
            "TLS certificate verification with 127.0.0.1:" + port + " failed: IP address mismatch");
  auto untrusted = Make("URL=" + Origin("localhost") + ";CAFile=" + FPki.OtherCAFile);
  EXPECT_EQ(Failure(*untrusted, *m), "TLS certificate verification with localhost:" + port +
                                         " failed: unable to get local issuer certificate");
  // The system's CA store does not know the test's CA either.
  auto system = Make("URL=" + Origin("localhost"));
  EXPECT_EQ(Failure(*system, *m), "TLS certificate verification with localhost:" + port +
                                      " failed: unable to get local issuer certificate");
  auto missing = Make("URL=" + Origin("localhost") + ";CAFile=" + FHome / "none.pem");
  EXPECT_EQ(
      Failure(*missing, *m).rfind("TLS: cannot load CA file \"" + FHome / "none.pem" + "\": ", 0),
      0u);
  // Nothing reached the server, and nothing is logged by the destination.
  EXPECT_TRUE(FServer.Stored("req").empty());
  EXPECT_TRUE(FLog.Entries().empty());
  // A closed port names the connect step.
  auto closed = Make("URL=https://127.0.0.1:1/x");
  EXPECT_EQ(Failure(*closed, *m).rfind("Connect to 127.0.0.1:1 failed: Socket Error # 111", 0), 0u);
}

TEST_F(HttpTlsTest, VerifyPeerFalseIsAcceptedWithOneWarning) {
  auto d = Make("URL=" + Origin("127.0.0.1") + ";VerifyPeer=False;CAFile=" + FPki.OtherCAFile);
  TDispatchMessagePtr a = Message("a");
  TDispatchMessagePtr b = Message("b");
  EXPECT_EQ(Failure(*d, *a), "");
  EXPECT_EQ(Failure(*d, *b), "");
  ASSERT_TRUE(FServer.WaitStored("req", 4));
  EXPECT_EQ(FLog.Texts(TLogLevel::Warning),
            std::vector<std::string>{"Http destination " + Origin("127.0.0.1") +
                                     ": VerifyPeer=False, the TLS peer is not verified"});
}

TEST_F(HttpTlsTest, ThroughAConnectProxyWithBasicCredentials) {
  TPythonPeer proxy(FHome / "proxy", {"proxy", FHome / "proxy",
                                      "user:s\xC3\xA9"
                                      "cret"});
  const std::string proxyOptions =
      ";ProxyServer=127.0.0.1;ProxyPort=" + std::to_string(proxy.Port()) + ";ProxyUsername=user";
  auto d = Make("URL=" + Origin("localhost") + "/p;CAFile=" + FPki.CAFile + proxyOptions +
                ";ProxyPassword=s\xC3\xA9"
                "cret");
  TDispatchMessagePtr m = Message("tunnelled");
  EXPECT_EQ(Failure(*d, *m), "");
  ASSERT_TRUE(FServer.WaitStored("req", 2));
  const auto connects = proxy.Stored("connect");
  ASSERT_EQ(connects.size(), 2u);
  const std::string authority = "localhost:" + std::to_string(FServer.Port());
  EXPECT_EQ(RequestLine(connects[0]), "CONNECT " + authority + " HTTP/1.1");
  EXPECT_EQ(Header(connects[0], "Host"), authority);
  EXPECT_EQ(Header(connects[0], "Proxy-Authorization"), "Basic " + EncodeBase64("user:s\xC3\xA9"
                                                                                "cret"));
  // Inside the tunnel the request is the origin's: its own path, no proxy credentials.
  const auto r = FServer.Stored("req");
  EXPECT_EQ(RequestLine(r[0]), "POST /p/connect?Alias=Default HTTP/1.0");
  EXPECT_EQ(Header(r[0], "Proxy-Authorization"), "<none>");
  EXPECT_EQ(Header(r[1], "Host"), authority);

  auto wrong = Make("URL=" + Origin("localhost") + "/p;CAFile=" + FPki.CAFile + proxyOptions +
                    ";ProxyPassword=guess");
  try {
    wrong->Dispatch(*m);
    FAIL() << "no exception";
  } catch (const EBxHTTPProtocolException& e) {
    EXPECT_EQ(e.ErrorCode, 407);
    EXPECT_EQ(std::string(e.what()), "Proxy 127.0.0.1:" + std::to_string(proxy.Port()) +
                                         " refused CONNECT " + authority +
                                         ": HTTP/1.1 407 Proxy Authentication Required");
  }
  EXPECT_EQ(FServer.Stored("req").size(), 2u);
}

}  // namespace
}  // namespace bx
