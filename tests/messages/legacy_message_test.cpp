#include "messages/legacy_message.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "messages/convert_error.h"

namespace bx {
namespace {

std::vector<std::byte> LegacyBuffer(const TLegacyMessage& head, const std::string& texts,
                                    bool terminated = true) {
  std::vector<std::byte> bytes(sizeof head);
  std::memcpy(bytes.data(), &head, sizeof head);
  for (char c : texts) bytes.push_back(static_cast<std::byte>(c));
  if (terminated) bytes.push_back(std::byte{0});
  return bytes;
}

TLegacyMessage LegacyHead(int32_t type, int32_t textLen, int32_t detailsLen) {
  TLegacyMessage head;
  std::memset(&head, 0, sizeof head);
  head.MsgType = type;
  head.TextLen = textLen;
  head.DetailsLen = detailsLen;
  return head;
}

std::vector<std::byte> AnsiBuffer(const TDispatchMessageFields& fields) {
  auto m = BuildDispatchMessage(fields);
  const auto* p = reinterpret_cast<const std::byte*>(m.get());
  return std::vector<std::byte>(p, p + DispatchMessageSize(*m));
}

std::string RefusalOf(std::vector<std::byte> bytes, bool legacy) {
  try {
    legacy ? ConvertLegacyMessage(bytes) : ConvertAnsiMessage(bytes);
  } catch (const EBxConvertError& e) {
    return e.what();
  }
  return "accepted";
}

TEST(LegacyMessageTest, MapsRegistrationTypesAndCopiesTheRest) {
  TLegacyMessage head = LegacyHead(42, 3, 2);
  head.TimeStampTime = 18367089;
  head.TimeStampDate = 733470;
  head.TimeBias = -120;
  head.ProcessID = 0xFFFFFFFEu;
  head.ThreadID = 4294967295u;
  std::memcpy(head.DispatchID, "{ID}", 4);
  std::memset(head.ComputerName, 'c', sizeof head.ComputerName);  // no terminator
  std::memset(head.AppName, 'a', sizeof head.AppName);
  std::memcpy(head.Category, "cat", 3);
  std::memcpy(head.TypeName, "type", 4);
  head.CategoryColor = 0x00112233;
  auto m = ConvertLegacyMessage(LegacyBuffer(head, "abcde"));
  EXPECT_EQ(m->MsgType, 92);
  EXPECT_EQ(m->TimeStampTime, 18367089);
  EXPECT_EQ(m->TimeStampDate, 733470);
  EXPECT_EQ(m->TimeBias, -120);
  EXPECT_EQ(uint32_t{m->ProcessID}, 0xFFFFFFFEu);
  EXPECT_EQ(FieldText(m->ThreadName), "4294967295");
  EXPECT_EQ(FieldText(m->DispatchID), "{ID}");
  EXPECT_EQ(FieldText(m->ComputerName), std::string(15, 'c'));
  EXPECT_EQ(FieldText(m->AppName), std::string(40, 'a'));
  EXPECT_EQ(FieldText(m->Category), "cat");
  EXPECT_EQ(FieldText(m->TypeName), "type");
  EXPECT_EQ(uint32_t{m->CategoryColor}, 0x00112233u);
  EXPECT_EQ(uint32_t{m->CategoryFontColor}, 0xFF000008u);
  EXPECT_EQ(DispatchMessageSize(*m), 251);
  EXPECT_EQ(MsgText(*m), "abc");
  EXPECT_EQ(Details(*m), "de");
  const char* tail = reinterpret_cast<const char*>(m.get()) + 243 + 5;
  EXPECT_EQ(std::string(tail, 3), std::string(3, '\0'));

  EXPECT_EQ(ConvertLegacyMessage(LegacyBuffer(LegacyHead(41, 0, 0), ""))->MsgType, 91);
  EXPECT_EQ(ConvertLegacyMessage(LegacyBuffer(LegacyHead(43, 0, 0), ""))->MsgType, 43);
  EXPECT_EQ(ConvertLegacyMessage(LegacyBuffer(LegacyHead(91, 0, 0), ""))->MsgType, 91);
}

TEST(LegacyMessageTest, TextsStopAtZeroAndAtTheirLengths) {
  // Bytes after the claimed texts are not copied, terminator or not.
  auto m = ConvertLegacyMessage(LegacyBuffer(LegacyHead(0, 2, 1), "abcXY", false));
  EXPECT_EQ(MsgText(*m), "ab");
  EXPECT_EQ(Details(*m), "c");
  EXPECT_EQ(DispatchMessageSize(*m), 249);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(m.get()) + 246, 3), std::string(3, '\0'));
  // A zero inside the texts ends them; the lengths describe what was kept.
  m = ConvertLegacyMessage(LegacyBuffer(LegacyHead(0, 3, 2), std::string("a\0cde", 5)));
  EXPECT_EQ(MsgText(*m), "a");
  EXPECT_EQ(Details(*m), "");
  m = ConvertLegacyMessage(LegacyBuffer(LegacyHead(0, 3, 2), std::string("abc\0e", 5)));
  EXPECT_EQ(MsgText(*m), "abc");
  EXPECT_EQ(Details(*m), "");
  // Texts are bytes: no change of character set.
  m = ConvertLegacyMessage(LegacyBuffer(LegacyHead(0, 1, 0), "\xE9"));
  EXPECT_EQ(MsgText(*m), "\xE9");
}

TEST(LegacyMessageTest, RefusesBuffersShorterThanTheyClaim) {
  EXPECT_EQ(RefusalOf({}, true), "Legacy message too short: 0 bytes, at least 217 needed");
  auto bytes = LegacyBuffer(LegacyHead(0, 3, 2), "abcd", false);
  EXPECT_EQ(RefusalOf(bytes, true), "Legacy message claims 222 bytes but 221 arrived");
  EXPECT_EQ(RefusalOf(LegacyBuffer(LegacyHead(0, -1, 2), "ab"), true),
            "Legacy message with negative text length (text length -1, details length 2)");
  EXPECT_EQ(RefusalOf(LegacyBuffer(LegacyHead(0, INT32_MAX, INT32_MAX), ""), true),
            "Legacy message claims 4294967511 bytes but 218 arrived");
  // Every cut of a valid record: refused, or converted within the bytes given.
  const auto full = LegacyBuffer(LegacyHead(0, 3, 2), "abcde");
  for (size_t n = 0; n <= full.size(); ++n) {
    std::unique_ptr<std::byte[]> exact(new std::byte[n]);
    std::memcpy(exact.get(), full.data(), n);
    try {
      auto m = ConvertLegacyMessage(std::span<const std::byte>(exact.get(), n));
      EXPECT_GE(n, 222u);
      EXPECT_EQ(Details(*m), "de");
    } catch (const EBxConvertError&) {
      EXPECT_LT(n, 222u);
    }
  }
}

TEST(AnsiMessageTest, ConvertsTextsFromTheAnsiCodePage) {
  unsetenv("BREVIX_ANSI_CODEPAGE");
  const std::string threadName(25, '\xE9');
  TDispatchMessageFields f;
  f.MsgType = 5;
  f.TimeStampTime = 7;
  f.TimeStampDate = 8;
  f.TimeBias = 9;
  f.ProcessID = 10;
  f.MsgText = "\xE9";
  f.Details = "\x80\x81";
  f.DispatchID = "id\xE9";
  f.ThreadName = threadName;
  f.AppName = "\xE4pp";
  f.ComputerName = "pc";
  f.Category = "c\xFC";
  f.TypeName = "t";
  f.CategoryColor = 0x11;
  f.CategoryFontColor = 0xFF000008;
  auto m = ConvertAnsiMessage(AnsiBuffer(f));
  EXPECT_EQ(m->MsgTextLen, 2);
  EXPECT_EQ(MsgText(*m), "\xC3\xA9");
  EXPECT_EQ(Details(*m), "\xE2\x82\xAC\xC2\x81");
  EXPECT_EQ(FieldText(m->DispatchID), "id\xE9");    // stays in the ANSI code page
  EXPECT_EQ(FieldText(m->ThreadName).size(), 25u);  // 25 characters of 2 bytes, cut to 25 bytes
  EXPECT_EQ(FieldText(m->AppName), "\xC3\xA4pp");
  EXPECT_EQ(FieldText(m->Category), "c\xC3\xBC");
  EXPECT_EQ(FieldText(m->ComputerName), "pc");
  EXPECT_EQ(m->MsgType, 5);
  EXPECT_EQ(m->TimeStampTime, 7);
  EXPECT_EQ(m->TimeStampDate, 8);
  EXPECT_EQ(m->TimeBias, 9);
  EXPECT_EQ(uint32_t{m->ProcessID}, 10u);
  EXPECT_EQ(uint32_t{m->CategoryColor}, 0x11u);
  EXPECT_EQ(uint32_t{m->CategoryFontColor}, 0xFF000008u);
}

TEST(AnsiMessageTest, RefusesBuffersShorterThanTheyClaim) {
  TDispatchMessageFields f;
  f.MsgText = "abc";
  auto full = AnsiBuffer(f);
  EXPECT_EQ(RefusalOf(std::vector<std::byte>(full.begin(), full.end() - 1), false),
            "ANSI message refused: record claims 249 bytes but 248 arrived");
  EXPECT_EQ(RefusalOf({}, false),
            "ANSI message refused: record too short: 0 bytes, at least 246 needed");
  for (size_t n = 0; n <= full.size(); ++n) {
    std::unique_ptr<std::byte[]> exact(new std::byte[n]);
    std::memcpy(exact.get(), full.data(), n);
    try {
      EXPECT_EQ(MsgText(*ConvertAnsiMessage(std::span<const std::byte>(exact.get(), n))), "abc");
      EXPECT_EQ(n, full.size());
    } catch (const EBxConvertError&) {
      EXPECT_LT(n, full.size());
    }
  }
}

}  // namespace
}  // namespace bx
