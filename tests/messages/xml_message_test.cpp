#include "messages/xml_message.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "messages/convert_error.h"
#include "messages/message_format.h"
#include "platform/clock.h"
#include "support/log_capture.h"

namespace bx {
namespace {

constexpr const char* kStamp = "<TimeStamp>2009-03-04 05:06:07.089</TimeStamp>";

std::vector<std::byte> Utf8Buffer(const std::string& text, bool terminated = true) {
  std::vector<std::byte> bytes;
  for (char c : text) bytes.push_back(static_cast<std::byte>(c));
  if (terminated) bytes.push_back(std::byte{0});
  return bytes;
}

std::vector<std::byte> Utf16Buffer(const std::u16string& text, bool terminated = true) {
  std::vector<std::byte> bytes;
  for (char16_t c : text) {
    bytes.push_back(static_cast<std::byte>(c & 0xFF));
    bytes.push_back(static_cast<std::byte>(c >> 8));
  }
  if (terminated) bytes.insert(bytes.end(), 2, std::byte{0});
  return bytes;
}

TDispatchMessagePtr Parse8(const std::string& text) {
  return ParseXmlMessage(bxmUTF8XmlMessageFormat, Utf8Buffer(text));
}

// A message whose root holds a valid time stamp and `body`.
TDispatchMessagePtr Message(const std::string& body) {
  return Parse8(std::string("<Message>") + kStamp + body + "</Message>");
}

std::string DetailsOf(const std::string& details) {
  return std::string(Details(*Message("<Details>" + details + "</Details>")));
}

std::string ErrorOf(const std::string& stamp) {
  try {
    Parse8("<m><TimeStamp>" + stamp + "</TimeStamp></m>");
  } catch (const EBxConvertError& e) {
    return e.what();
  }
  return "no error";
}

TEST(XmlMessageTest, ConvertsTheBasicDocumentWithoutWarnings) {
  test::TLogCapture log;
  auto m = Parse8(std::string("<Message><MsgType>1</MsgType>") + kStamp +
                  "<MsgText>Hi</MsgText></Message>");
  EXPECT_EQ(m->MsgType, 1);
  EXPECT_EQ(m->TimeStampDate, DateToDayNumber(2009, 3, 4));
  EXPECT_EQ(m->TimeStampTime, 18367089);
  EXPECT_EQ(MsgText(*m), "Hi");
  EXPECT_EQ(m->MsgTextLen, 2);
  EXPECT_EQ(m->DetailsLen, 0);
  EXPECT_EQ(DispatchMessageSize(*m), 248);
  EXPECT_TRUE(log.Entries().empty());
}

TEST(XmlMessageTest, FindsElementsInAnyCaseAndNestingTakingTheFirst) {
  EXPECT_EQ(Message("<msgtype>5</msgtype>")->MsgType, 5);
  EXPECT_EQ(Message("<a><b><MsgType>6</MsgType></b></a>")->MsgType, 6);
  EXPECT_EQ(Message("<MsgType>7</MsgType><MsgType>8</MsgType>")->MsgType, 7);
  EXPECT_EQ(Message("<a><MsgType>9</MsgType></a><MsgType>10</MsgType>")->MsgType, 9);
  EXPECT_EQ(Message("<MsgType>x</MsgType>")->MsgType, 0);
  // "decimal integer": blanks around the digits make the text no integer, so the default.
  EXPECT_EQ(Message("<MsgType> 1 </MsgType>")->MsgType, 0);
  EXPECT_EQ(Message("<MsgType>-1</MsgType>")->MsgType, -1);
}

TEST(XmlMessageTest, FillsEveryFieldAndSwapsColourBytes) {
  auto m = Message(
      "<DispatchID>{ID}</DispatchID><TimeBias>-60</TimeBias><ProcessID>4242</ProcessID>"
      "<ThreadName>Main</ThreadName><ComputerName>host</ComputerName><AppName>app</AppName>"
      "<TypeName>type</TypeName><Category>cat</Category>"
      "<CategoryColor>16711680</CategoryColor><CategoryFontColor>-1</CategoryFontColor>"
      "<MsgText>a &amp; b&lt;c&gt;</MsgText><Details>a &amp; b&lt;c&gt;</Details>");
  EXPECT_EQ(FieldText(m->DispatchID), "{ID}");
  EXPECT_EQ(m->TimeBias, -60);
  EXPECT_EQ(uint32_t{m->ProcessID}, 4242u);
  EXPECT_EQ(FieldText(m->ThreadName), "Main");
  EXPECT_EQ(FieldText(m->ComputerName), "host");
  EXPECT_EQ(FieldText(m->AppName), "app");
  EXPECT_EQ(FieldText(m->TypeName), "type");
  EXPECT_EQ(FieldText(m->Category), "cat");
  EXPECT_EQ(uint32_t{m->CategoryColor}, 0x000000FFu);
  EXPECT_EQ(uint32_t{m->CategoryFontColor}, 0x00FFFFFFu);  // high byte dropped
  EXPECT_EQ(uint32_t{Message("<CategoryColor>1193046</CategoryColor>")->CategoryColor}, 0x563412u);
  EXPECT_EQ(MsgText(*m), "a &amp; b&lt;c&gt;");  // references stay as written in MsgText
  EXPECT_EQ(Details(*m), "a & b<c>\r\n");
}

TEST(XmlMessageTest, DecodesCharacterReferencesInDetails) {
  EXPECT_EQ(DetailsOf("&#65;"), "A\r\n");
  EXPECT_EQ(DetailsOf("&bogus;x"), "&bogusx\r\n");
  EXPECT_EQ(DetailsOf("&AMP;&Quot;&nbsp;&tilde;&times;"), "&\" ~\xC3\x97\r\n");
  EXPECT_EQ(DetailsOf("&iexcl;&cent;&sect;&reg;&frac12;&frac34;"),
            "\xC2\xA1\xC2\xA2\xC2\xA7\xC2\xAE\xC2\xBD\xC2\xBE\r\n");
  EXPECT_EQ(DetailsOf("&apos;"), "&apos\r\n");
  EXPECT_EQ(DetailsOf("&#0;|&#x41;|&#;|&#233;|&#128512;"),
            "#0|#x41|#|\xC3\xA9|\xF0\x9F\x98\x80\r\n");
  // Names ended by one of the six other characters, which are then read normally.
  EXPECT_EQ(DetailsOf("&lt x&gt%&amp+&quot&lt;"), "< x>%&+\"<\r\n");
  EXPECT_EQ(DetailsOf("a & b"), "a & b\r\n");
  // Not ended as a reference at all: kept as written.
  EXPECT_EQ(DetailsOf("AT&T.&lt"), "AT&T.&lt\r\n");
}

TEST(XmlMessageTest, NormalisesLineBreaksInDetailsOnly) {
  EXPECT_EQ(DetailsOf("a\nb\rc\r\nd"), "a\r\nb\r\nc\r\nd\r\n");
  EXPECT_EQ(DetailsOf("a\n\n"), "a\r\n\r\n");
  EXPECT_EQ(DetailsOf("a&#13;&#10;b&#10;"), "a\r\nb\r\n");
  EXPECT_EQ(DetailsOf(""), "");
  EXPECT_EQ(MsgText(*Message("<MsgText>a\nb</MsgText>")), "a\nb");
}

TEST(XmlMessageTest, RefusesTimeStampsThatAreNoValidDateOrTime) {
  EXPECT_EQ(ErrorOf("2009-13-04 05:06:07.089"), "Invalid argument to date encode");
  EXPECT_EQ(ErrorOf("2009-02-29 05:06:07.089"), "Invalid argument to date encode");
  EXPECT_EQ(ErrorOf("0000-01-01 00:00:00.000"), "Invalid argument to date encode");
  EXPECT_EQ(ErrorOf(""), "Invalid argument to date encode");
  EXPECT_EQ(ErrorOf("2009-03-04 24:00:00.000"), "Invalid argument to time encode");
  EXPECT_EQ(ErrorOf("2009-03-04 23:60:00.000"), "Invalid argument to time encode");
  EXPECT_EQ(ErrorOf("2009-03-04 23:00:-1.000"), "Invalid argument to time encode");
  EXPECT_THROW(Parse8("<m/>"), EBxConvertError);
  // Separators are not looked at; missing or non-numeric time pieces count as 0.
  auto m = Parse8("<m><TimeStamp>2008x02y29zAAbbCC</TimeStamp></m>");
  EXPECT_EQ(m->TimeStampDate, DateToDayNumber(2008, 2, 29));
  EXPECT_EQ(m->TimeStampTime, 0);
  EXPECT_EQ(Parse8("<m><TimeStamp>9999-12-31 23:59:59.999</TimeStamp></m>")->TimeStampTime,
            86399999);
}

TEST(XmlMessageTest, CutsEveryFieldToItsWidth) {
  const std::string forty(40, 'a');
  auto m = Message("<AppName>" + forty + "</AppName><Category>" + forty + "b</Category>" +
                   "<DispatchID>" + std::string(50, 'd') + "</DispatchID><ComputerName>" +
                   std::string(20, 'c') + "</ComputerName><ThreadName>" + std::string(30, 't') +
                   "</ThreadName>");
  EXPECT_EQ(FieldText(m->AppName), forty);
  EXPECT_EQ(FieldText(m->Category), forty);
  EXPECT_EQ(FieldText(m->DispatchID), std::string(41, 'd'));
  EXPECT_EQ(FieldText(m->ComputerName), std::string(15, 'c'));
  EXPECT_EQ(FieldText(m->ThreadName), std::string(25, 't'));
  EXPECT_EQ(FieldText(Message("<AppName>" + forty + "z</AppName>")->AppName), forty);
}

TEST(XmlMessageTest, LogsAllWarningsInOneEntry) {
  test::TLogCapture log;
  auto m = Parse8(std::string("<m>") + kStamp + "\n<a>x</b>></a><MsgType>3</MsgType></m>");
  EXPECT_EQ(m->MsgType, 3);
  EXPECT_EQ(log.Texts(TLogLevel::Warning),
            std::vector<std::string>{
                "Xml Parsing Warnings in Transfer Data Buffer:"
                "End tag found without matching start tag: </b>  Col: 00008  Row: 00002\r\n"
                "Unexpected \">\" encountered  Col: 00009  Row: 00002\r\n"});
  EXPECT_EQ(log.Entries().size(), 1u);
  // Warnings are logged even when the conversion then fails.
  log.Clear();
  EXPECT_THROW(Parse8("<m>>"), EBxConvertError);
  EXPECT_EQ(log.Texts(TLogLevel::Warning).size(), 1u);
  // Hostile input cannot grow the entry without bound: the first 1000 are listed.
  log.Clear();
  Message(std::string(1500, '>'));
  const auto texts = log.Texts(TLogLevel::Warning);
  ASSERT_EQ(texts.size(), 1u);
  const std::string tail =
      "Unexpected \">\" encountered  Col: 00027  Row: 00005\r\n"
      "(500 more warnings not listed)\r\n";
  EXPECT_EQ(texts[0].substr(texts[0].size() - tail.size()), tail);
}

TEST(XmlMessageTest, ReadsUtf16UpToItsZeroAndNeverPastTheBuffer) {
  const std::u16string doc =
      u"<m><TimeStamp>2009-03-04 05:06:07.089</TimeStamp>"
      u"<MsgText>caf\u00E9 \U0001F600</MsgText></m>";
  auto m = ParseXmlMessage(bxmUnicodeXmlMessageFormat, Utf16Buffer(doc));
  EXPECT_EQ(MsgText(*m), "caf\xC3\xA9 \xF0\x9F\x98\x80");
  // No terminator, odd trailing byte: still read, up to the buffer's end.
  auto bytes = Utf16Buffer(doc, false);
  bytes.push_back(std::byte{'x'});
  EXPECT_EQ(MsgText(*ParseXmlMessage(bxmUnicodeXmlMessageFormat, bytes)), MsgText(*m));
  // Text after the zero is ignored.
  auto early = Utf16Buffer(doc + u'\0' + u"<MsgType>4</MsgType>", false);
  EXPECT_EQ(ParseXmlMessage(bxmUnicodeXmlMessageFormat, early)->MsgType, 0);
  // An unpaired surrogate becomes U+FFFD.
  auto lone = ParseXmlMessage(bxmUnicodeXmlMessageFormat,
                              Utf16Buffer(u"<m><TimeStamp>2009-03-04 05:06:07.089</TimeStamp>"
                                          u"<MsgText>\xD800!</MsgText></m>"));
  EXPECT_EQ(MsgText(*lone), "\xEF\xBF\xBD!");
}

TEST(XmlMessageTest, Reads8BitTextAsUtf8FallingBackToTheAnsiCodePage) {
  unsetenv("BREVIX_ANSI_CODEPAGE");
  EXPECT_EQ(MsgText(*Message("<MsgText>caf\xC3\xA9</MsgText>")), "caf\xC3\xA9");
  // A lone 0xE9 is no UTF-8: read as CP1252 e acute.
  EXPECT_EQ(MsgText(*Message("<MsgText>caf\xE9 \x80\x81</MsgText>")),
            "caf\xC3\xA9 \xE2\x82\xAC\xC2\x81");
  // DispatchID is stored in the ANSI code page.
  EXPECT_EQ(
      FieldText(Message("<DispatchID>\xC3\xA9\xE2\x82\xAC\xE4\xB8\xAD</DispatchID>")->DispatchID),
      "\xE9\x80?");
  // The same document as a 0x7F000003 buffer without its terminator.
  const std::string doc = std::string("<m>") + kStamp + "<MsgText>x</MsgText></m>";
  EXPECT_EQ(MsgText(*ParseXmlMessage(bxmUTF8XmlMessageFormat, Utf8Buffer(doc, false))), "x");
  EXPECT_THROW(ParseXmlMessage(bxmUTF8MessageFormat, Utf8Buffer(doc)), EBxConvertError);
}

// Every prefix of a document, in both codes, in a buffer of exactly that size (so that the
// address sanitizer sees any read past it): a record or a conversion error, nothing else.
TEST(XmlMessageTest, EveryCutOfTheInputIsReadWithinItsBuffer) {
  const std::string doc = std::string("<?xml version=\"1.0\"?><m><MsgType>1</MsgType>") + kStamp +
                          "<!-- c --><Details>a&amp;\xC3\xA9\xE9&#65</Details><![CDATA[x]]>"
                          "<AppName>app</AppName></m>";
  const auto full8 = Utf8Buffer(doc, false);
  std::u16string doc16(doc.begin(), doc.end());
  const auto full16 = Utf16Buffer(doc16, false);
  for (int code : {bxmUTF8XmlMessageFormat, bxmUnicodeXmlMessageFormat}) {
    const auto& full = code == bxmUTF8XmlMessageFormat ? full8 : full16;
    size_t records = 0;
    for (size_t n = 0; n <= full.size(); ++n) {
      std::unique_ptr<std::byte[]> exact(new std::byte[n]);
      std::copy(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(n), exact.get());
      try {
        auto m = ParseXmlMessage(code, std::span<const std::byte>(exact.get(), n));
        ASSERT_GE(DispatchMessageSize(*m), 246);
        ++records;
      } catch (const EBxConvertError&) {
      }
    }
    EXPECT_GT(records, 0u);
  }
}

}  // namespace
}  // namespace bx
