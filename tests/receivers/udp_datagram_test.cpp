#include "receivers/udp_datagram.h"

#include <gtest/gtest.h>

#include <cstring>

#include "messages/base64.h"
#include "messages/dispatch_message.h"

namespace bx {
namespace {

using TKind = TBxUdpDatagram::TKind;

std::string Record(int32_t type, std::string_view text) {
  TDispatchMessageFields f;
  f.MsgType = type;
  f.MsgText = text;
  const TDispatchMessagePtr m = BuildDispatchMessage(f);
  return std::string(reinterpret_cast<const char*>(m.get()),
                     static_cast<size_t>(DispatchMessageSize(*m)));
}

std::string MessageDatagram(const std::string& record, const std::string& size = "") {
  return "2130706433\r\n" + (size.empty() ? std::to_string(record.size()) : size) + "\r\n" +
         EncodeBase64(record) + "\r\n";
}

TEST(UdpDatagramTest, LinesBreakAtCrLfLfOrCrAndAFinalBreakAddsNoLine) {
  using V = std::vector<std::string_view>;
  EXPECT_EQ(SplitDatagramLines("a\r\nb\nc\rd"), (V{"a", "b", "c", "d"}));
  EXPECT_EQ(SplitDatagramLines("a\r\nb\r\nc\r\n"), (V{"a", "b", "c"}));
  EXPECT_EQ(SplitDatagramLines("a\n\nc\n\n"), (V{"a", "", "c", ""}));
  EXPECT_EQ(SplitDatagramLines("a\n\r"), (V{"a", ""}));  // LF then a lone CR: two breaks
  EXPECT_EQ(SplitDatagramLines(""), V{});
}

TEST(UdpDatagramTest, RegistrationNeedsExactlyThreeLinesAndTheExactTag) {
  for (const char* text : {"REGDISPATCH\r\n{ID}\r\nViewer", "REGDISPATCH\r\n{ID}\r\nViewer\r\n",
                           "REGDISPATCH\n{ID}\nViewer\n", "REGDISPATCH\r{ID}\rViewer"}) {
    const TBxUdpDatagram d = ParseUdpDatagram(text);
    ASSERT_EQ(d.Kind, TKind::Registration) << text;
    EXPECT_EQ(d.DispatchID, "{ID}");
    EXPECT_EQ(d.DestinationString, "Viewer");
  }
  for (const char* text : {"regdispatch\r\n{ID}\r\nViewer", "REGDISPATCH\r\n{ID}",
                           "REGDISPATCH\r\n{ID}\r\nViewer\r\n\r\n", "REGDISPATCH\r\n{ID}\r\nA\r\nB",
                           " REGDISPATCH\r\n{ID}\r\nViewer", ""}) {
    EXPECT_EQ(ParseUdpDatagram(text).Kind, TKind::Ignored) << text;
  }
}

TEST(UdpDatagramTest, DatagramsAreReadAsUtf8) {
  // Valid UTF-8 stays as it is; a byte that starts no valid sequence reads as U+FFFD.
  TBxUdpDatagram d = ParseUdpDatagram(
      "REGDISPATCH\r\n{Gr\xC3\xB6\xC3\x9F"
      "e}\r\nViewer");
  EXPECT_EQ(d.DispatchID,
            "{Gr\xC3\xB6\xC3\x9F"
            "e}");
  d = ParseUdpDatagram(
      "REGDISPATCH\r\n{Gr\xF6\xDF"
      "e}\r\nFile[Path=\xFF]");
  EXPECT_EQ(d.DispatchID,
            "{Gr\xEF\xBF\xBD\xEF\xBF\xBD"
            "e}");
  EXPECT_EQ(d.DestinationString, "File[Path=\xEF\xBF\xBD]");
}

TEST(UdpDatagramTest, MessageIsDecodedAndCheckedBeforeItIsAccepted) {
  const std::string record = Record(4, "hello");
  TBxUdpDatagram d = ParseUdpDatagram(MessageDatagram(record));
  ASSERT_EQ(d.Kind, TKind::Message);
  EXPECT_EQ(d.Record, record);
  // The size line is not compared with anything, but must be a number above 0.
  EXPECT_EQ(ParseUdpDatagram(MessageDatagram(record, "1")).Kind, TKind::Message);
  EXPECT_EQ(ParseUdpDatagram(MessageDatagram(record, "+7")).Kind, TKind::Message);
  EXPECT_EQ(ParseUdpDatagram(MessageDatagram(record, "0")).Kind, TKind::Ignored);
  EXPECT_EQ(ParseUdpDatagram(MessageDatagram(record, "-3")).Kind, TKind::Ignored);
  EXPECT_EQ(ParseUdpDatagram(MessageDatagram(record, "12x")).Kind, TKind::Ignored);
  EXPECT_EQ(ParseUdpDatagram(MessageDatagram(record, "99999999999999999999")).Kind, TKind::Ignored);
  // The size line is a 32-bit integer: beyond 2147483647 it is not one.
  EXPECT_EQ(ParseUdpDatagram(MessageDatagram(record, "2147483647")).Kind, TKind::Message);
  EXPECT_EQ(ParseUdpDatagram(MessageDatagram(record, "2147483648")).Kind, TKind::Ignored);
  EXPECT_EQ(ParseUdpDatagram(MessageDatagram(record, "4294967297")).Kind, TKind::Ignored);
  // Another format code, or one that is not a number.
  EXPECT_EQ(ParseUdpDatagram("2130706434\r\n1\r\nAAAA").Kind, TKind::Ignored);
  EXPECT_EQ(ParseUdpDatagram("0x7F000001\r\n1\r\nAAAA").Kind, TKind::Ignored);
  // Base64 with line noise and without padding still decodes.
  std::string noisy = EncodeBase64(record);
  while (!noisy.empty() && noisy.back() == '=') noisy.pop_back();
  noisy.insert(10, " \t*=");
  d = ParseUdpDatagram("2130706433\n5\n" + noisy);
  ASSERT_EQ(d.Kind, TKind::Message);
  EXPECT_EQ(d.Record, record);

  // Decoded blocks that are no whole record are refused with the reason.
  d = ParseUdpDatagram(MessageDatagram(record.substr(0, 200)));
  EXPECT_EQ(d.Kind, TKind::Refused);
  EXPECT_NE(d.Error.find("too short"), std::string::npos) << d.Error;
  std::string lying = record;
  const int32_t big = 1 << 30;
  std::memcpy(lying.data() + 20, &big, 4);
  d = ParseUdpDatagram(MessageDatagram(lying));
  EXPECT_EQ(d.Kind, TKind::Refused);
  EXPECT_NE(d.Error.find("claims"), std::string::npos) << d.Error;
  EXPECT_EQ(ParseUdpDatagram("2130706433\r\n1\r\n").Kind, TKind::Ignored);  // two lines
  EXPECT_EQ(ParseUdpDatagram("2130706433\r\n1\r\n\r\n").Kind, TKind::Refused);
}

}  // namespace
}  // namespace bx
