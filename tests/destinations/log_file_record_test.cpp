#include "destinations/log_file_record.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace bx {
namespace {

std::string EntryOf(const TDispatchMessage& message) {
  std::vector<std::byte> entry;
  BuildLogFileEntry(message, entry);
  return std::string(reinterpret_cast<const char*>(entry.data()), entry.size());
}

std::string Zeros(size_t n) { return std::string(n, '\0'); }

std::string Le32(uint32_t v) {
  std::string s(4, '\0');
  for (int i = 0; i < 4; ++i) s[i] = static_cast<char>((v >> (8 * i)) & 0xFF);
  return s;
}

std::string Field(std::string_view text, size_t width) {
  return std::string(text) + Zeros(width - text.size());
}

TEST(LogFileRecordTest, HelloWorldEntryIsMarkerAndRecordByteForByte) {
  TDispatchMessageFields f;
  f.MsgType = 3;
  f.TimeStampTime = 45296789;  // 12:34:56.789
  f.TimeStampDate = 739012;
  f.TimeBias = -120;
  f.ProcessID = 0xDEADBEEF;
  f.ThreadName = "main";
  f.DispatchID = "{00000000-0000-0000-0000-000000000001}";
  f.ComputerName = "HOST";
  f.AppName = "App";
  f.Category = "Net";
  f.CategoryColor = 0x00112233;
  f.CategoryFontColor = 0x44556677;
  f.TypeName = "Info";
  f.MsgText = "Hello";
  f.Details = "World";
  const std::string expected = std::string("\x01\x00\x00\x7F", 4) + Le32(3) + Le32(45296789) +
                               Le32(739012) + Le32(static_cast<uint32_t>(-120)) + Le32(5) +
                               Le32(5) + Le32(0xDEADBEEF) + Field("main", 26) + Field("HOST", 16) +
                               Field("App", 41) + Field("Net", 41) + Le32(0x00112233) +
                               Le32(0x44556677) + Field("Info", 41) + "HelloWorld" + Zeros(1);
  ASSERT_EQ(expected.size(), 4u + 212u);
  EXPECT_EQ(EntryOf(*BuildDispatchMessage(f)), expected);
}

TEST(LogFileRecordTest, EmptyTextsAndDispatchIdLeftOut) {
  TDispatchMessageFields f;
  f.AppName = "A";
  f.DispatchID = "one";
  const std::string first = EntryOf(*BuildDispatchMessage(f));
  EXPECT_EQ(first.size(), 4u + 202u);
  EXPECT_EQ(first.back(), '\0');
  f.DispatchID = "{another dispatch id}";
  EXPECT_EQ(EntryOf(*BuildDispatchMessage(f)), first);
}

TEST(LogFileRecordTest, TextAreaStopsAtFirstZeroAndKeepsLength) {
  // A record from outside may claim lengths that span a zero byte; the record keeps its length
  // and everything from the zero on is zero, so a reader still finds the next marker.
  TDispatchMessageFields f;
  f.MsgText = "abc";
  f.Details = "def";
  TDispatchMessagePtr m = BuildDispatchMessage(f);
  reinterpret_cast<char*>(m.get())[kDispatchMessageFixedSize + 1] = '\0';
  const std::string entry = EntryOf(*m);
  ASSERT_EQ(entry.size(), 4u + 202u + 6u);
  EXPECT_EQ(entry.substr(4 + 201), std::string("a") + Zeros(6));
}

TEST(LogFileRecordTest, FullWidthFieldsWithoutTerminatorAreCopiedWhole) {
  TDispatchMessagePtr m = BuildDispatchMessage({});
  std::memset(m->ThreadName, 'T', sizeof m->ThreadName);  // no NUL at all
  std::memset(m->ComputerName, 'C', sizeof m->ComputerName);
  const std::string entry = EntryOf(*m);
  EXPECT_EQ(entry.substr(4 + 28, 26), std::string(26, 'T'));
  EXPECT_EQ(entry.substr(4 + 54, 16), std::string(16, 'C'));
  EXPECT_EQ(entry[4 + 70], '\0');  // AppName untouched by the neighbours
}

TEST(LogFileRecordTest, NegativeLengthIsRefused) {
  TDispatchMessagePtr m = BuildDispatchMessage({});
  m->MsgTextLen = -1;
  std::vector<std::byte> entry;
  EXPECT_THROW(BuildLogFileEntry(*m, entry), std::invalid_argument);
}

}  // namespace
}  // namespace bx
