// TBxTlsChannel and TBxTlsContext against loopback peers that do not speak TLS properly: each
// failure names its step, and a silent peer releases the handshake at the transport's deadline.
#include "net/tls_channel.h"

#include <gtest/gtest.h>

#include "support/scripted_server.h"
#include "support/temp_home.h"

namespace bx {
namespace {

using test::TScriptedServer;

std::string HandshakeFailure(uint16_t port, std::chrono::milliseconds limit,
                             const TBxTlsSettings& settings = {}) {
  TBxTlsContext context(settings);
  auto transport = std::make_unique<TBxDeadlineChannel>(
      TStreamSocket::ConnectTcp("127.0.0.1", port, std::chrono::seconds(10)));
  transport->SetDeadline(std::chrono::steady_clock::now() + limit);
  try {
    TBxTlsChannel channel(context, std::move(transport), "127.0.0.1", port);
  } catch (const EBxTlsError& e) {
    return e.what();
  }
  return "";
}

TEST(TlsChannel, HandshakeFailuresNameTheirStep) {
  const std::string where = "127.0.0.1:";
  {
    // Accepts and says nothing: the deadline ends the handshake.
    TScriptedServer silent([](TStreamSocket& s) { test::ReadUntilClosed(s); });
    EXPECT_EQ(HandshakeFailure(silent.Port(), std::chrono::milliseconds(300)),
              "TLS handshake with " + where + std::to_string(silent.Port()) + " failed: timed out");
  }
  {
    // Closes at once: an orderly end or, with the ClientHello unread, a reset.
    TScriptedServer closing([](TStreamSocket& s) { s.Close(); });
    const std::string text = HandshakeFailure(closing.Port(), std::chrono::seconds(20));
    const std::string prefix =
        "TLS handshake with " + where + std::to_string(closing.Port()) + " failed: ";
    EXPECT_TRUE(text == prefix + "connection closed by the peer" ||
                text == prefix + "Socket Error # 104 Connection reset by peer")
        << text;
  }
  {
    // A plain-text server answering the ClientHello: the library's reason is passed on.
    TScriptedServer plain([](TStreamSocket& s) {
      (void)test::ReadExactly(s, 5);
      const std::string answer = "HTTP/1.0 400 Bad Request\r\n\r\n";
      s.Write(answer.data(), answer.size());
      test::ReadUntilClosed(s, std::chrono::seconds(2));
    });
    const std::string text = HandshakeFailure(plain.Port(), std::chrono::seconds(20));
    const std::string prefix =
        "TLS handshake with " + where + std::to_string(plain.Port()) + " failed: ";
    EXPECT_EQ(text.rfind(prefix, 0), 0u) << text;
    EXPECT_GT(text.size(), prefix.size() + 3) << text;
  }
}

TEST(TlsChannel, ContextRefusesAnUnusableCAFile) {
  test::TTempHome home;
  try {
    TBxTlsContext context({home / "missing.pem", true});
    FAIL() << "no exception";
  } catch (const EBxTlsError& e) {
    EXPECT_EQ(std::string(e.what()).rfind(
                  "TLS: cannot load CA file \"" + home / "missing.pem" + "\": ", 0),
              0u);
  }
  test::WriteFile(home / "junk.pem", "not a certificate\n");
  EXPECT_THROW(TBxTlsContext({home / "junk.pem", true}), EBxTlsError);
  // Without verification no roots are needed, whatever the file.
  EXPECT_NO_THROW(TBxTlsContext({home / "missing.pem", false}));
  EXPECT_NO_THROW(TBxTlsContext({}));  // the system's store
}

}  // namespace
}  // namespace bx
