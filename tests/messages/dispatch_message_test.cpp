#include "messages/dispatch_message.h"

#include <gtest/gtest.h>

#include <regex>
#include <set>
#include <vector>

namespace bx {
namespace {

std::vector<std::byte> Bytes(const TDispatchMessage& m) {
  const auto* p = reinterpret_cast<const std::byte*>(&m);
  return std::vector<std::byte>(p, p + DispatchMessageSize(m));
}

TEST(DispatchMessageTest, EmptyRecordIs246BytesWithThreeZeroBytesOfData) {
  TDispatchMessagePtr m = BuildDispatchMessage({});
  ASSERT_EQ(DispatchMessageSize(*m), 246);
  const auto bytes = Bytes(*m);
  for (size_t i = 243; i < 246; ++i) EXPECT_EQ(bytes[i], std::byte{0}) << i;
}

TEST(DispatchMessageTest, FieldsLandAtTheirOffsetsLittleEndian) {
  TDispatchMessageFields f;
  f.MsgType = 0x01020304;
  f.TimeStampTime = 0x11121314;
  f.TimeStampDate = 730120;
  f.TimeBias = -60;
  f.ProcessID = 0xFFFFFFFFu;
  f.ThreadName = "T";
  f.DispatchID = "D";
  f.ComputerName = "C";
  f.AppName = "A";
  f.Category = "G";
  f.CategoryColor = 0x00332211;
  f.CategoryFontColor = 0xFF000008;
  f.TypeName = "Y";
  f.MsgText = "Hello";
  f.Details = "World";
  auto m = BuildDispatchMessage(f);
  const auto b = Bytes(*m);
  auto u8 = [&](size_t i) { return static_cast<unsigned>(b[i]); };
  EXPECT_EQ(u8(0), 0x04u);
  EXPECT_EQ(u8(3), 0x01u);
  EXPECT_EQ(u8(4), 0x14u);
  EXPECT_EQ(u8(8), 730120u & 0xFF);
  EXPECT_EQ(u8(12), 0xC4u);  // -60
  EXPECT_EQ(u8(15), 0xFFu);
  EXPECT_EQ(u8(16), 5u);  // MsgTextLen
  EXPECT_EQ(u8(20), 5u);  // DetailsLen
  EXPECT_EQ(u8(24), 0xFFu);
  EXPECT_EQ(u8(28), 'T');
  EXPECT_EQ(u8(54), 'D');
  EXPECT_EQ(u8(96), 'C');
  EXPECT_EQ(u8(112), 'A');
  EXPECT_EQ(u8(153), 'G');
  EXPECT_EQ(u8(194), 0x11u);
  EXPECT_EQ(u8(197), 0x00u);
  EXPECT_EQ(u8(198), 0x08u);
  EXPECT_EQ(u8(201), 0xFFu);
  EXPECT_EQ(u8(202), 'Y');
  const std::string data(reinterpret_cast<const char*>(b.data()) + 243, 13);
  EXPECT_EQ(data, std::string("HelloWorld\0\0\0", 13));
  EXPECT_EQ(MsgText(*m), "Hello");
  EXPECT_EQ(Details(*m), "World");
}

TEST(DispatchMessageTest, TextFieldsAreCutToWidthMinusOneBytes) {
  TDispatchMessageFields f;
  const std::string app30(30, 'a'), app45(45, 'b');
  f.AppName = app30;
  EXPECT_EQ(FieldText(BuildDispatchMessage(f)->AppName), app30);
  f.AppName = app45;
  auto m = BuildDispatchMessage(f);
  EXPECT_EQ(FieldText(m->AppName), std::string(40, 'b'));
  EXPECT_EQ(m->AppName[40], '\0');
  const std::string longId(60, 'x');
  f.DispatchID = longId;
  m = BuildDispatchMessage(f);
  EXPECT_EQ(FieldText(m->DispatchID).size(), 41u);
  EXPECT_EQ(m->Category[0], '\0');  // the neighbour after the cut field stays untouched
  const std::string thread26(26, 't');
  f.ThreadName = thread26;
  m = BuildDispatchMessage(f);
  EXPECT_EQ(FieldText(m->ThreadName).size(), 25u);
  EXPECT_EQ(m->DispatchID[0], 'x');
}

TEST(DispatchMessageTest, TextsStopAtTheirFirstNul) {
  TDispatchMessageFields f;
  const std::string text("ab\0cd", 5);
  f.MsgText = text;
  f.Details = "x";
  auto m = BuildDispatchMessage(f);
  EXPECT_EQ(m->MsgTextLen, 2);
  EXPECT_EQ(DispatchMessageSize(*m), 246 + 2 + 1);
}

TEST(DispatchMessageTest, SizeIsFixedPartPlusTexts) {
  TDispatchMessageFields f;
  const std::string t(10, 't'), d(100, 'd');
  f.MsgText = t;
  f.Details = d;
  EXPECT_EQ(DispatchMessageSize(*BuildDispatchMessage(f)), 356);
}

TEST(DispatchMessageTest, CheckRefusesShortBuffersAndLyingLengths) {
  TDispatchMessageFields f;
  f.MsgText = "Hello";
  f.Details = "World";
  auto m = BuildDispatchMessage(f);
  auto bytes = Bytes(*m);
  EXPECT_NE(CheckDispatchMessage(bytes).Message, nullptr);
  // One byte short of the claimed size, and every shorter cut.
  for (size_t cut = 0; cut < bytes.size(); ++cut) {
    auto check = CheckDispatchMessage(std::span(bytes.data(), cut));
    EXPECT_EQ(check.Message, nullptr) << cut;
    EXPECT_FALSE(check.Error.empty());
  }
  // Negative lengths.
  auto negative = bytes;
  negative[16] = std::byte{0xFF};
  negative[17] = std::byte{0xFF};
  negative[18] = std::byte{0xFF};
  negative[19] = std::byte{0xFF};
  EXPECT_EQ(CheckDispatchMessage(negative).Message, nullptr);
  // Lengths whose sum overflows 32 bits.
  auto huge = bytes;
  huge[19] = std::byte{0x7F};
  huge[23] = std::byte{0x7F};
  EXPECT_EQ(CheckDispatchMessage(huge).Message, nullptr);
  // Extra bytes after the record are ignored.
  bytes.push_back(std::byte{1});
  EXPECT_NE(CheckDispatchMessage(bytes).Message, nullptr);
}

TEST(DispatchMessageTest, FieldTextNeverReadsPastAnUnterminatedField) {
  std::vector<std::byte> raw(246, std::byte{'z'});
  for (int i = 16; i < 24; ++i) raw[static_cast<size_t>(i)] = std::byte{0};
  raw[243] = raw[244] = raw[245] = std::byte{0};
  auto check = CheckDispatchMessage(raw);
  ASSERT_NE(check.Message, nullptr);
  EXPECT_EQ(FieldText(check.Message->AppName).size(), 41u);
  EXPECT_EQ(FieldText(check.Message->DispatchID).size(), 42u);
}

TEST(DispatchMessageTest, NewDispatchIdIsAnUpperCaseVersion4Guid) {
  const std::regex form(
      R"(\{[0-9A-F]{8}-[0-9A-F]{4}-4[0-9A-F]{3}-[89AB][0-9A-F]{3}-[0-9A-F]{12}\})");
  std::set<std::string> seen;
  for (int i = 0; i < 100; ++i) {
    std::string id = NewDispatchID();
    ASSERT_EQ(id.size(), 38u);
    EXPECT_TRUE(std::regex_match(id, form)) << id;
    seen.insert(id);
  }
  EXPECT_EQ(seen.size(), 100u);
}

TEST(DispatchMessageTest, CopyIsIndependentOfTheOriginal) {
  TDispatchMessageFields f;
  f.MsgText = "abc";
  auto m = BuildDispatchMessage(f);
  auto copy = CopyDispatchMessage(*m);
  m->MsgType = 7;
  reinterpret_cast<char*>(m.get())[243] = 'X';
  m.reset();
  EXPECT_EQ(copy->MsgType, 0);
  EXPECT_EQ(MsgText(*copy), "abc");
}

}  // namespace
}  // namespace bx
