#include "receivers/copy_data_receiver.h"

#include <gtest/gtest.h>

#include <cstring>
#include <stdexcept>

#include "messages/convert_error.h"
#include "messages/legacy_message.h"
#include "messages/message_encoders.h"
#include "messages/message_format.h"
#include "receiver_fixture.h"
#include "receivers/tcp_receiver.h"
#include "receivers/udp_receiver.h"

namespace bx {
namespace {

using test::AsBytes;

class CopyDataReceiverTest : public test::ReceiverFixture {
 protected:
  int32_t Send(uint64_t code, const std::string& bytes) {
    return FReceiver.HandleCopyData(code, AsBytes(bytes));
  }
  TBxCopyDataReceiver FReceiver;
};

TEST(ReceiverNamesTest, EachClassAnswersItsNamesWithoutAnInstance) {
  EXPECT_EQ(TBxReceiver::ReceiverName(), "<Unknown>");
  EXPECT_EQ(TBxReceiver::DisplayName(), "<Unknown>");
  EXPECT_EQ(TBxReceiver::ReceiverCode(), "");
  EXPECT_EQ(TBxCopyDataReceiver::ReceiverName(), "Default");
  EXPECT_EQ(TBxCopyDataReceiver::DisplayName(), "CopyData");
  EXPECT_EQ(TBxCopyDataReceiver::ReceiverCode(), "COPYDATA");
  EXPECT_EQ(TBxTcpReceiver::ReceiverName(), "Tcp");
  EXPECT_EQ(TBxTcpReceiver::DisplayName(), "Tcp");
  EXPECT_EQ(TBxTcpReceiver::ReceiverCode(), "Tcp");
  EXPECT_EQ(TBxUdpReceiver::ReceiverName(), "Udp");
  EXPECT_EQ(TBxUdpReceiver::DisplayName(), "Udp");
  EXPECT_EQ(TBxUdpReceiver::ReceiverCode(), "Udp");
}

TEST_F(CopyDataReceiverTest, StartsActiveAndLogsItsStartOnce) {
  EXPECT_TRUE(FReceiver.GetActive());
  FReceiver.SetActive(true);  // the main window's later call finds it active
  EXPECT_EQ(FLog.Lines(), std::vector<std::string>{"Info: Default Receiver Started"});
  FReceiver.SetActive(false);
  EXPECT_EQ(FLog.Lines().back(), "Info: Default Receiver Stopped");
}

TEST_F(CopyDataReceiverTest, RecordIsQueuedRegistrationIsRegisteredNotQueued) {
  FLog.Clear();
  EXPECT_EQ(Send(bxmUTF8MessageFormat, RecordBytes(0, "{A}", "hello")), 1);
  auto queued = TakeQueued();
  ASSERT_EQ(queued.size(), 1u);
  EXPECT_EQ(MsgText(*queued[0]), "hello");

  EXPECT_EQ(Send(bxmUTF8MessageFormat, RecordBytes(91, "{R}", "Viewer")), 1);
  EXPECT_EQ(Registered("{R}"), "Viewer 0");
  // No destination kind of that name: the registry's 0 is the sender's answer.
  EXPECT_EQ(Send(bxmUTF8MessageFormat, RecordBytes(91, "{N}", "Nowhere")), 0);
  EXPECT_EQ(Registered("{N}"), "-");
  EXPECT_TRUE(TakeQueued().empty());
}

TEST_F(CopyDataReceiverTest, EveryFormatCodeTakesItsOwnPath) {
  FLog.Clear();
  // 0x7F000003 is not accepted by window message.
  EXPECT_EQ(Send(bxmUTF8XmlMessageFormat, "<m><MsgType>1</MsgType></m>"), 1);
  EXPECT_EQ(FLog.Lines(), std::vector<std::string>{
                              "Warning: Received bxmUTF8XmlMessageFormat Message via CopyData"});
  EXPECT_TRUE(TakeQueued().empty());

  // 0x7F000001 holding 8-bit XML text, and UTF-16 XML.
  const std::string xml =
      "<m><MsgType>3</MsgType><TimeStamp>2009-03-04 05:06:07.089</TimeStamp>"
      "<MsgText>Hi</MsgText></m>";
  EXPECT_EQ(Send(bxmUTF8MessageFormat, xml), 1);
  const TDispatchMessagePtr record = BuildDispatchMessage(
      {.MsgType = 5, .TimeStampDate = 733000, .MsgText = "wide", .Details = "a<b"});
  EXPECT_EQ(Send(bxmUnicodeXmlMessageFormat, EncodeXmlMessage(*record, bxmUnicodeXmlMessageFormat)),
            1);
  // An ANSI record: its CP1252 byte 0xE9 becomes UTF-8.
  EXPECT_EQ(Send(bxmAnsiMessageFormat, EncodeAnsiMessage({.MsgType = 6, .MsgText = "caf\xC3\xA9"})),
            1);
  auto queued = TakeQueued();
  ASSERT_EQ(queued.size(), 3u);
  EXPECT_EQ(queued[0]->MsgType, 3);
  EXPECT_EQ(MsgText(*queued[0]), "Hi");
  EXPECT_EQ(queued[1]->MsgType, 5);
  EXPECT_EQ(MsgText(*queued[1]), "wide");
  EXPECT_EQ(Details(*queued[1]), "a<b\r\n");
  EXPECT_EQ(MsgText(*queued[2]), "caf\xC3\xA9");

  // Any other code is a legacy record; its type 41 becomes a registration (method 0).
  FLog.Clear();
  EXPECT_EQ(
      Send(5, EncodeLegacyMessage({.MsgType = 41, .DispatchID = "{L}", .MsgText = "File"}, 7)), 1);
  EXPECT_EQ(Registered("{L}"), "File 0");
  EXPECT_EQ(FLog.Texts(TLogLevel::Info),
            std::vector<std::string>{"Received Bx2MessageFormat Message via CopyData"});
  EXPECT_EQ(FLog.Texts(TLogLevel::Reg).size(), 1u);
  EXPECT_TRUE(TakeQueued().empty());
  // A code wider than 32 bits is not 0x7F000001: legacy as well.
  EXPECT_EQ(Send(0x17F000001ull, EncodeLegacyMessage({.MsgType = 2, .MsgText = "old"}, 7)), 1);
  queued = TakeQueued();
  ASSERT_EQ(queued.size(), 1u);
  EXPECT_EQ(MsgText(*queued[0]), "old");
}

TEST_F(CopyDataReceiverTest, BuffersShorterThanTheirFormatAreRefusedWithZero) {
  const std::string record = RecordBytes(0, "{A}", "text", "details");
  std::string lying = record;
  const int32_t bigText = 1000;
  std::memcpy(lying.data() + 16, &bigText, 4);
  std::string negative = record;
  const int32_t minus = -5;
  std::memcpy(negative.data() + 20, &minus, 4);
  const std::string legacy = EncodeLegacyMessage({.MsgType = 1, .MsgText = "abc"}, 1);

  FLog.Clear();
  EXPECT_EQ(Send(bxmUTF8MessageFormat, ""), 0);
  EXPECT_EQ(Send(bxmUTF8MessageFormat, record.substr(0, 245)), 0);
  EXPECT_EQ(Send(bxmUTF8MessageFormat, record.substr(0, record.size() - 1)), 0);
  EXPECT_EQ(Send(bxmUTF8MessageFormat, lying), 0);
  EXPECT_EQ(Send(bxmUTF8MessageFormat, negative), 0);
  EXPECT_EQ(Send(bxmAnsiMessageFormat, record.substr(0, 100)), 0);
  EXPECT_EQ(Send(bxmAnsiMessageFormat, lying), 0);
  EXPECT_EQ(Send(0, legacy.substr(0, 216)), 0);
  EXPECT_EQ(Send(0, legacy.substr(0, 219)), 0);  // the text claims three bytes
  EXPECT_TRUE(TakeQueued().empty());
  const auto errors = FLog.Texts(TLogLevel::Error);
  ASSERT_EQ(errors.size(), 9u);
  for (const std::string& e : errors) {
    EXPECT_EQ(e.rfind("CopyData Receiver refused a message: ", 0), 0u) << e;
  }
  EXPECT_NE(errors[3].find("claims"), std::string::npos) << errors[3];

  // A record with trailing bytes beyond its own size is fine; cut at exactly its size too.
  EXPECT_EQ(Send(bxmUTF8MessageFormat, record + "xyz"), 1);
  EXPECT_EQ(Send(bxmUTF8MessageFormat, record), 1);
  EXPECT_EQ(TakeQueued().size(), 2u);
}

TEST_F(CopyDataReceiverTest, XmlWithAnInvalidTimeStampRaisesAndQueuesNothing) {
  const std::string xml = "<m><TimeStamp>2009-13-04 05:06:07.089</TimeStamp></m>";
  try {
    Send(bxmUTF8MessageFormat, xml);
    FAIL() << "no exception";
  } catch (const EBxConvertError& e) {
    EXPECT_STREQ(e.what(), "Invalid argument to date encode");
  }
  EXPECT_TRUE(TakeQueued().empty());
}

}  // namespace
}  // namespace bx
