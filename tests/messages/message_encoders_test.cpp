#include "messages/message_encoders.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "messages/legacy_message.h"
#include "messages/message_format.h"
#include "messages/xml_message.h"

namespace bx {
namespace {

std::span<const std::byte> Bytes(const std::string& s) {
  return std::as_bytes(std::span<const char>(s.data(), s.size()));
}

TDispatchMessageFields Sample() {
  TDispatchMessageFields f;
  f.MsgType = 7;
  f.TimeStampTime = 18367089;
  f.TimeStampDate = 733470;
  f.TimeBias = -60;
  f.ProcessID = 4242;
  f.ThreadName = "worker";
  f.DispatchID = "{1234}";
  f.ComputerName = "host";
  f.AppName = "app";
  f.Category = "cat";
  f.CategoryColor = 0x00332211;
  f.CategoryFontColor = 0x00000080;
  f.TypeName = "Info";
  f.MsgText = "caf\xC3\xA9 text";
  f.Details = "line1\r\na & b <c>\r\n";
  return f;
}

void ExpectSameRecord(const TDispatchMessage& a, const TDispatchMessage& b) {
  ASSERT_EQ(DispatchMessageSize(a), DispatchMessageSize(b));
  EXPECT_EQ(std::memcmp(&a, &b, static_cast<size_t>(DispatchMessageSize(a))), 0);
}

TEST(MessageEncodersTest, XmlInBothWidthsReadsBackAsTheSameRecord) {
  const TDispatchMessagePtr record = BuildDispatchMessage(Sample());
  for (int32_t code : {bxmUTF8XmlMessageFormat, bxmUnicodeXmlMessageFormat}) {
    const std::string xml = EncodeXmlMessage(*record, code);
    ExpectSameRecord(*ParseXmlMessage(code, Bytes(xml)), *record);
  }
  EXPECT_THROW(EncodeXmlMessage(*record, bxmUTF8MessageFormat), std::invalid_argument);
  TDispatchMessageFields f = Sample();
  f.MsgText = "a<b";
  EXPECT_THROW(EncodeXmlMessage(*BuildDispatchMessage(f), bxmUTF8XmlMessageFormat),
               std::invalid_argument);
}

TEST(MessageEncodersTest, AnsiAndLegacyRecordsConvertBackToTheirFields) {
  const TDispatchMessagePtr record = BuildDispatchMessage(Sample());
  const std::string ansi = EncodeAnsiMessage(Sample());
  EXPECT_EQ(ansi.size(), static_cast<size_t>(DispatchMessageSize(*record)) - 1);  // é is 1 byte
  ExpectSameRecord(*ConvertAnsiMessage(Bytes(ansi)), *record);

  TDispatchMessageFields f = Sample();
  f.MsgType = kMsgTypeRegister;
  const std::string legacy = EncodeLegacyMessage(f, 31);
  EXPECT_EQ(legacy.size(),
            kLegacyMessageFixedSize + MsgText(*record).size() + Details(*record).size() + 1);
  int32_t legacyType = 0;
  std::memcpy(&legacyType, legacy.data(), 4);
  EXPECT_EQ(legacyType, kLegacyMsgTypeRegister);
  const TDispatchMessagePtr back = ConvertLegacyMessage(Bytes(legacy));
  EXPECT_EQ(back->MsgType, kMsgTypeRegister);
  EXPECT_EQ(FieldText(back->ThreadName), "31");
  EXPECT_EQ(FieldText(back->DispatchID), "{1234}");
  EXPECT_EQ(MsgText(*back), MsgText(*record));
  EXPECT_EQ(Details(*back), Details(*record));
  EXPECT_EQ(back->TimeStampTime, 18367089);
}

}  // namespace
}  // namespace bx
