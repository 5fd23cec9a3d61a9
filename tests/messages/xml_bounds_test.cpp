// Hostile XML documents: refused within the memory multiple that xml_message.h states, while
// ordinary large messages still convert. The heap is measured by counting what operator new
// hands out in this test program (heap_meter.h).
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <new>
#include <string>

#include "heap_meter.h"
#include "messages/convert_error.h"
#include "messages/dispatch_message.h"
#include "messages/kv_xml_parser.h"
#include "messages/message_format.h"
#include "messages/xml_message.h"

namespace bx {
namespace {

using test::PeakHeapGrowth;

// The figure xml_message.h promises for a buffer of `n` bytes.
size_t Allowed(size_t n) { return 10 * n + 8 * 1024 * 1024; }

std::span<const std::byte> Bytes(const std::string& s) {
  return std::as_bytes(std::span<const char>(s.data(), s.size()));
}

std::string Repeat(const std::string& piece, size_t bytes) {
  std::string out;
  out.reserve(bytes + piece.size());
  while (out.size() < bytes) out += piece;
  return out;
}

constexpr size_t k16MiB = 16 * 1024 * 1024;

// Converts `document` (8-bit XML) and returns the refusal text, "" when it converted.
std::string Refusal(const std::string& document, int32_t format = bxmUTF8XmlMessageFormat) {
  try {
    ParseXmlMessage(format, Bytes(document));
    return "";
  } catch (const EBxConvertError& e) {
    return e.what();
  }
}

TEST(XmlBoundsTest, TagBombsAreRefusedWithinTheStatedMemoryMultiple) {
  struct TCase {
    const char* Piece;
    const char* Reason;
  };
  // Nested start tags, empty elements, text between tags, a tag of attributes, comments.
  for (const TCase& c :
       {TCase{"<a>", "elements nested more than 256 deep"}, TCase{"<a/>", "more than 65536 nodes"},
        TCase{"x<b/>", "more than 65536 nodes"}, TCase{"<!-- -->", "more than 65536 nodes"}}) {
    const std::string bomb = Repeat(c.Piece, k16MiB);
    std::string refusal;
    const size_t peak = PeakHeapGrowth([&] { refusal = Refusal(bomb); });
    EXPECT_EQ(refusal, std::string("XML document refused: ") + c.Reason) << c.Piece;
    EXPECT_LE(peak, Allowed(bomb.size())) << c.Piece;
  }
  // One tag of millions of attributes: capped before the tokens are built.
  const std::string attributes = "<a" + Repeat(" b", k16MiB) + ">";
  std::string refusal;
  size_t peak = PeakHeapGrowth([&] { refusal = Refusal(attributes); });
  EXPECT_EQ(refusal.rfind("XML document refused: more than ", 0), 0u) << refusal;
  EXPECT_NE(refusal.find("bytes of document tree"), std::string::npos) << refusal;
  EXPECT_LE(peak, Allowed(attributes.size()));

  // The same bomb in UTF-16.
  std::string wide;
  for (char ch : Repeat("<a/>", k16MiB / 2)) wide += std::string{ch, '\0'};
  peak = PeakHeapGrowth([&] { refusal = Refusal(wide, bxmUnicodeXmlMessageFormat); });
  EXPECT_EQ(refusal, "XML document refused: more than 65536 nodes");
  EXPECT_LE(peak, Allowed(wide.size()));

  // A text beyond the length bound is refused before it is decoded.
  const std::string huge(33 * 1024 * 1024, 'x');
  peak = PeakHeapGrowth([&] { refusal = Refusal(huge); });
  EXPECT_EQ(refusal, "XML document refused: more than 33554432 bytes");
  EXPECT_LT(peak, size_t{1024 * 1024});
}

TEST(XmlBoundsTest, OrdinaryMessagesOfSomeMebibytesStillConvertWithinTheMultiple) {
  const std::string details = Repeat("line &amp; more\n", 4 * 1024 * 1024);
  const std::string document =
      "<Msg><MsgType>3</MsgType><TimeStamp>2009-03-04 05:06:07.089</TimeStamp>"
      "<MsgText>big</MsgText><Details>" +
      details + "</Details></Msg>";
  TDispatchMessagePtr record;
  const size_t peak =
      PeakHeapGrowth([&] { record = ParseXmlMessage(bxmUTF8XmlMessageFormat, Bytes(document)); });
  ASSERT_NE(record, nullptr);
  EXPECT_EQ(record->MsgType, 3);
  // "&amp;" became "&" and each LF became CR LF: 13 bytes for each line of 16.
  EXPECT_EQ(record->DetailsLen, static_cast<int32_t>(details.size() / 16 * 13));
  EXPECT_LE(peak, Allowed(document.size()));

  // Many elements of modest size stay within the node and memory bounds.
  std::string items = "<Msg><TimeStamp>2009-03-04 05:06:07.089</TimeStamp>";
  for (int i = 0; i < 5000; ++i) items += "<Item kind=\"x\">v</Item>";
  items += "<MsgText>found</MsgText></Msg>";
  EXPECT_EQ(Refusal(items), "");
}

TEST(XmlBoundsTest, ParserLimitsCanBeSetAndAreCountedPerParse) {
  TKvXmlParser parser;
  parser.Limits.MaxNodes = 3;
  parser.Parse(u"<a/><b/><c/>");
  EXPECT_FALSE(parser.Refused());
  EXPECT_EQ(parser.Root().ChildCount(), 3u);
  parser.Parse(u"<a/><b/><c/><d/>");
  EXPECT_EQ(parser.Refusal(), "more than 3 nodes");
  EXPECT_EQ(parser.Root().ChildCount(), 0u);  // the tree is freed on refusal
  parser.Parse(u"<a/>");                      // the count starts again
  EXPECT_FALSE(parser.Refused());
  EXPECT_EQ(parser.Root().ChildCount(), 1u);

  parser.Limits.MaxDepth = 2;
  parser.Parse(u"<a><b></b></a>");
  EXPECT_FALSE(parser.Refused());
  parser.Parse(u"<a><b><c></c></b></a>");
  EXPECT_EQ(parser.Refusal(), "elements nested more than 2 deep");
}

}  // namespace
}  // namespace bx
