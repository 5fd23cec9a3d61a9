#include "net/tcp_connection.h"

#include <gtest/gtest.h>

#include "net/memory_channel.h"
#include "net/net_errors.h"
#include "support/tcp_test_client.h"

namespace bx {
namespace {

using test::BigEndian32;

// A connection over `input`, delivered `chunk` bytes per read; the channel stays reachable.
struct TFixture {
  explicit TFixture(std::string input, size_t chunk = 1 << 20) {
    auto channel = std::make_unique<TBxMemoryChannel>(std::move(input), chunk);
    Channel = channel.get();
    Connection = std::make_unique<TBxTCPConnection>(std::move(channel));
  }
  TBxMemoryChannel* Channel;
  std::unique_ptr<TBxTCPConnection> Connection;
};

TEST(TcpConnection, ReadsValuesAcrossReadBoundaries) {
  const std::string input =
      BigEndian32(0x7F000001) + BigEndian32(-2) + "abcdef" + "line one\r\nline two\nthird\r\r\n";
  for (size_t chunk : {size_t{1}, size_t{3}, size_t{1} << 20}) {
    TFixture f(input, chunk);
    EXPECT_EQ(f.Connection->ReadInt32(), 0x7F000001);
    EXPECT_EQ(f.Connection->ReadInt32(), -2);
    EXPECT_EQ(f.Connection->ReadBytes(6), "abcdef");
    EXPECT_EQ(f.Connection->ReadLn(), "line one");
    EXPECT_EQ(f.Connection->ReadLn(), "line two");
    EXPECT_EQ(f.Connection->ReadLn(), "third\r");  // only the CR right before LF is dropped
    EXPECT_THROW(f.Connection->ReadInt32(), EBxConnClosedGracefully);
    EXPECT_FALSE(f.Connection->Connected());
  }
}

TEST(TcpConnection, ReadsWhatArrivedInOneRead) {
  TFixture f(BigEndian32(1) + BigEndian32(2) + BigEndian32(3));
  f.Connection->ReadInt32();
  f.Connection->ReadInt32();
  f.Connection->ReadInt32();
  EXPECT_EQ(f.Channel->Reads(), 1u);
}

TEST(TcpConnection, CloseInsideAValueEndsGracefully) {
  TFixture a(std::string("\x7F\x00", 2));
  EXPECT_THROW(a.Connection->ReadInt32(), EBxConnClosedGracefully);
  TFixture b("abc");
  EXPECT_THROW(b.Connection->ReadBytes(4), EBxConnClosedGracefully);
  TFixture c("no line end");
  EXPECT_THROW(c.Connection->ReadLn(), EBxConnClosedGracefully);
}

TEST(TcpConnection, LineLengthLimit) {
  const std::string longest(kBxDefaultMaxLineLength, 'x');
  TFixture ok(longest + "\r\n" + longest + "\n", 1000);
  EXPECT_EQ(ok.Connection->ReadLn(), longest);
  EXPECT_EQ(ok.Connection->ReadLn(), longest);

  TFixture over(longest + "y\r\n");
  try {
    over.Connection->ReadLn();
    FAIL() << "an over-long line was accepted";
  } catch (const EBxMaxLineLengthExceeded& e) {
    EXPECT_STREQ(e.what(), "Max line length exceeded.");
  }
  // A peer that never sends LF is stopped once the limit is passed, not buffered forever.
  TFixture endless(std::string(1 << 20, 'z'), 4096);
  EXPECT_THROW(endless.Connection->ReadLn(), EBxMaxLineLengthExceeded);
  EXPECT_LE(endless.Channel->Reads(), 6u);
}

TEST(TcpConnection, RaisingTheLineLimitKeepsBufferedInput) {
  const std::string line(40000, 'L');  // longer than the default buffer
  // Raised after input is buffered: what was received moves to the larger buffer.
  TFixture during("ab\n" + line + "\ncd\n", 4096);
  EXPECT_EQ(during.Connection->ReadLn(), "ab");
  during.Connection->SetMaxLineLength(50000);
  EXPECT_EQ(during.Connection->ReadLn(), line);
  EXPECT_EQ(during.Connection->ReadLn(), "cd");
  // Raised before anything arrived.
  TFixture before(line + "\r\n", 4096);
  before.Connection->SetMaxLineLength(40000);
  EXPECT_EQ(before.Connection->ReadLn(), line);
}

TEST(TcpConnection, HighBytesInLinesReadAsQuestionMarks) {
  TFixture f("caf\xC3\xA9\n");
  EXPECT_EQ(f.Connection->ReadLn(), "caf??");
}

TEST(TcpConnection, LyingLengthDoesNotAllocateUpFront) {
  TFixture f("short");
  EXPECT_THROW(f.Connection->ReadBytes(size_t{1} << 40), EBxConnClosedGracefully);
}

TEST(TcpConnection, WritesAreBufferedUntilFlushOrNextWait) {
  TFixture f(BigEndian32(7) + BigEndian32(8));
  f.Connection->ReadInt32();
  f.Connection->WriteInt32(0x7F000001);
  f.Connection->WriteLn("OK");
  EXPECT_EQ(f.Channel->Writes(), 0u);
  f.Connection->ReadInt32();  // still buffered input: no flush needed
  EXPECT_EQ(f.Channel->Writes(), 0u);
  f.Connection->Write("z");
  EXPECT_THROW(f.Connection->ReadInt32(), EBxConnClosedGracefully);  // waits: flushes first
  EXPECT_EQ(f.Channel->Writes(), 1u);
  EXPECT_EQ(f.Channel->Written(), std::string("\x7F\x00\x00\x01OK\r\nz", 9));
}

TEST(TcpConnection, DisconnectSendsPendingOutput) {
  TFixture f("");
  f.Connection->WriteLn("OK");
  f.Connection->Disconnect();
  EXPECT_FALSE(f.Connection->Connected());
  EXPECT_EQ(f.Channel->Written(), "OK\r\n");
  EXPECT_THROW(f.Connection->ReadLn(), EBxConnClosedGracefully);
}

}  // namespace
}  // namespace bx
