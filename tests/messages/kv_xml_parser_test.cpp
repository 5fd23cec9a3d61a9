#include "messages/kv_xml_parser.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/unicode_text.h"

namespace bx {
namespace {

std::string U8(std::u16string_view s) { return Utf16ToUtf8(s); }

// "kind:name=text" of every child of `node`, in order.
std::vector<std::string> Children(const TKvNode& node) {
  std::vector<std::string> out;
  for (size_t i = 0; i < node.ChildCount(); ++i) {
    const TKvNode& c = node.Child(i);
    out.push_back(std::string(NodeKindName(c.Kind())) + ":" + U8(c.Name) + "=" + U8(c.Text));
  }
  return out;
}

TEST(KvXmlParserTest, BuildsEveryKindOfNodeWithItsNameAndText) {
  TKvXmlParser p;
  p.Parse(
      u"<?xml version=\"1.0\"?><!-- note > here --><!DOCTYPE r [<!ELEMENT r ANY>]>"
      u"<r a=\"1\"><e/>t1<![CDATA[<raw>]]><!ENTITY x -- c>d -- \"v\">t2</r>");
  ASSERT_EQ(Children(p.Root()),
            (std::vector<std::string>{"PI:xml=", "Comment:!=note > here",
                                      "DTDItem:!DOCTYPE=r [<!ELEMENT r ANY>]", "Element:r="}));
  EXPECT_EQ(p.Root().Child(0).Attributes, std::vector<std::u16string>{u"version=1.0"});
  const TKvNode& r = p.Root().Child(3);
  EXPECT_EQ(r.Attributes, std::vector<std::u16string>{u"a=1"});
  EXPECT_EQ(Children(r),
            (std::vector<std::string>{"Element:e=", "PCData:PCDATA=t1", "CData:CDATA=<raw>",
                                      "DTDItem:!ENTITY=x -- cd -- \"v\"", "PCData:PCDATA=t2"}));
  EXPECT_TRUE(static_cast<const TKvTagNode&>(r.Child(0)).EmptyElement);
  EXPECT_FALSE(static_cast<const TKvTagNode&>(r).EmptyElement);
  EXPECT_EQ(r.Child(0).Parent(), &r);
  // The ">" inside the declaration's comment part is the only thing reported.
  ASSERT_EQ(p.Warnings().size(), 1u);
  EXPECT_EQ(p.Warnings()[0].substr(0, 26), "Unexpected \">\" encountered");
  // NodeText takes PCData only, not CDATA or declarations.
  EXPECT_EQ(p.ElementText(u"R"), u"t1t2");
}

TEST(KvXmlParserTest, TokenisesTagsByItsQuoteLineFeedAndEqualsRules) {
  EXPECT_EQ(TokenizeTag(u"a x = \"1 2\" y='q\"r' z=\n\"w\"\tb\r\nc"),
            (std::vector<std::u16string>{u"a", u"x", u"=1 2", u"y=q\"r", u"z=w", u"b", u"c"}));
  EXPECT_EQ(TokenizeTag(u"ab\ncd  e=''"), (std::vector<std::u16string>{u"abcd", u"e="}));
  EXPECT_TRUE(TokenizeTag(u" \t ").empty());
  TKvXmlParser p;
  p.Parse(u"<Msg\nType  id='7'>1</msgtype>");
  ASSERT_EQ(p.Root().ChildCount(), 1u);
  EXPECT_EQ(p.Root().Child(0).Name, u"MsgType");
  EXPECT_TRUE(p.Warnings().empty());
}

TEST(KvXmlParserTest, EndTagsMatchLowerCasedNamesAndMismatchesLeaveTheStack) {
  TKvXmlParser p;
  p.Parse(u"<Root><A>x</a><b>y</c></B></ROOT>");
  ASSERT_EQ(p.Warnings().size(), 1u);
  EXPECT_EQ(p.Warnings()[0],
            "End tag found without matching start tag: </c>  Col: 00022  Row: 00001");
  const TKvNode& root = p.Root().Child(0);
  EXPECT_EQ(Children(root), (std::vector<std::string>{"Element:A=", "Element:b="}));
  // An end tag with anything after the name does not match, and is reported lower-cased.
  p.Parse(u"<a>\r\n <b>t</B >");
  ASSERT_EQ(p.Warnings().size(), 1u);
  EXPECT_EQ(p.Warnings()[0],
            "End tag found without matching start tag: </b >  Col: 00010  Row: 00002");
  // Parse replaces the earlier tree and warnings.
  p.Parse(u"<x/>");
  EXPECT_TRUE(p.Warnings().empty());
  EXPECT_EQ(Children(p.Root()), std::vector<std::string>{"Element:x="});
}

TEST(KvXmlParserTest, ReportsEachWarningWithTheCharactersPosition) {
  std::vector<std::string> events;
  TKvXmlParser p;
  p.OnError = [&](int64_t col, int64_t row, const std::string& text) {
    events.push_back(std::to_string(col) + "," + std::to_string(row) + " " + text);
  };
  p.Parse(u"a>\n<b<c>\n<?pi x>\n</z>");
  EXPECT_EQ(p.Warnings(),
            (std::vector<std::string>{
                "Unexpected \">\" encountered  Col: 00002  Row: 00001",
                "Unexpected \"<\" encountered  Col: 00003  Row: 00002",
                "\"?>\" expected but \">\" found  Col: 00007  Row: 00003",
                "End tag found without matching start tag: </z>  Col: 00004  Row: 00004"}));
  EXPECT_EQ(events, (std::vector<std::string>{
                        "2,1 Unexpected \">\" encountered", "3,2 Unexpected \"<\" encountered",
                        "7,3 \"?>\" expected but \">\" found",
                        "4,4 End tag found without matching start tag: </z>"}));
  // The dropped "<" is not part of the element's name; the PI loses its last character.
  // "bc" stays open, so the PI lands inside it and loses its last character ("x").
  ASSERT_EQ(Children(p.Root()), (std::vector<std::string>{"PCData:PCDATA=a\n", "Element:bc="}));
  const TKvNode& bc = p.Root().Child(1);
  ASSERT_EQ(bc.ChildCount(), 3u);
  EXPECT_EQ(bc.Child(1).Kind(), TKvNodeKind::PI);
  EXPECT_EQ(bc.Child(1).Name, u"pi");
  EXPECT_TRUE(bc.Child(1).Attributes.empty());
}

TEST(KvXmlParserTest, ColumnWrapsAfter256) {
  TKvXmlParser p;
  p.Parse(std::u16string(256, u'x') + u">");
  EXPECT_EQ(p.Warnings(),
            std::vector<std::string>{"Unexpected \">\" encountered  Col: 00257  Row: 00001"});
  p.Parse(std::u16string(257, u'x') + u">");
  EXPECT_EQ(p.Warnings(),
            std::vector<std::string>{"Unexpected \">\" encountered  Col: 00001  Row: 00002"});
  p.Parse(u"\n\n" + std::u16string(300, u'x') + u"\n>");
  EXPECT_EQ(p.Warnings(),
            std::vector<std::string>{"Unexpected \">\" encountered  Col: 00001  Row: 00005"});
}

TEST(KvXmlParserTest, FindsElementsDepthFirstWithoutRegardToCase) {
  TKvXmlParser p;
  p.Parse(u"<r><a><b><msgtype>1</msgtype></b></a><MsgType>2</MsgType><x>3</x></r>");
  const TKvNode* found = p.FindNode(u"MSGTYPE");
  ASSERT_NE(found, nullptr);
  EXPECT_EQ(found->NodeText(), u"1");
  EXPECT_EQ(p.ElementInteger(u"MsgType", -1), 1);
  EXPECT_EQ(p.Root().Child(0).FindNode(u"r"), nullptr);  // the node itself never matches
  EXPECT_EQ(p.FindNode(u"none"), nullptr);
  EXPECT_EQ(p.ElementText(u"none"), u"");
  EXPECT_EQ(p.ElementText(u"r"), u"123");
}

TEST(KvXmlParserTest, ElementIntegerAcceptsDecimal32BitOnly) {
  TKvXmlParser p;
  p.Parse(
      u"<r><a> 42\r\n</a><b>4x</b><c>2147483648</c><d>-2147483648</d><e></e><f>0x10</f>"
      u"<g>+7</g><h>99999999999999999999</h></r>");
  EXPECT_EQ(p.ElementInteger(u"a", -1), -1);  // blanks around the digits: not an integer
  EXPECT_EQ(p.ElementInteger(u"b", -1), -1);
  EXPECT_EQ(p.ElementInteger(u"c", -1), -1);
  EXPECT_EQ(p.ElementInteger(u"d", -1), INT32_MIN);
  EXPECT_EQ(p.ElementInteger(u"e", -1), -1);
  EXPECT_EQ(p.ElementInteger(u"f", -1), -1);
  EXPECT_EQ(p.ElementInteger(u"g", -1), 7);
  EXPECT_EQ(p.ElementInteger(u"h", -1), -1);
  EXPECT_EQ(p.ElementInteger(u"missing", 5), 5);
}

TEST(KvXmlParserTest, SurvivesDeepNestingAndBoundsItsWarningList) {
  TKvXmlParser p;
  std::u16string deep;
  for (int i = 0; i < 200000; ++i) deep += u"<a>";
  deep += u"<MsgType>9</MsgType>";
  p.Parse(deep);  // refused by default: elements nest at most 256 deep
  EXPECT_EQ(p.Refusal(), "elements nested more than 256 deep");
  EXPECT_EQ(p.Root().ChildCount(), 0u);
  p.Limits = {.MaxNodes = 300000, .MaxDepth = 300000, .TreeBaseBytes = size_t{1} << 30};
  p.Parse(deep);
  EXPECT_FALSE(p.Refused());
  EXPECT_EQ(p.ElementInteger(u"msgtype", 0), 9);
  EXPECT_EQ(p.ElementText(u"a"), u"9");
  p.Parse(std::u16string(5000, u'>'));
  EXPECT_EQ(p.Warnings().size(), TKvCustomMLParser::kMaxListedWarnings);
  EXPECT_EQ(p.OmittedWarnings(), 5000 - TKvCustomMLParser::kMaxListedWarnings);
}  // the deep tree is torn down here without recursion

TEST(KvXmlParserTest, ParseFromTheErrorEventReturnsAtOnce) {
  TKvXmlParser p;
  int calls = 0;
  p.OnError = [&](int64_t, int64_t, const std::string&) {
    ++calls;
    p.Parse(u"<other/>");  // ignored: a parse is running
  };
  p.Parse(u"<a>></a>");
  EXPECT_EQ(calls, 1);
  ASSERT_EQ(p.Warnings().size(), 1u);
  EXPECT_EQ(Children(p.Root()), std::vector<std::string>{"Element:a="});
  p.OnError = nullptr;
  p.Parse(u"<b/>");  // the guard is released afterwards
  EXPECT_EQ(Children(p.Root()), std::vector<std::string>{"Element:b="});
}

TEST(KvXmlParserTest, DiscardsTheRunLeftAtTheEnd) {
  TKvXmlParser p;
  p.Parse(u"<a>text");
  ASSERT_EQ(p.Root().ChildCount(), 1u);
  EXPECT_EQ(p.Root().Child(0).ChildCount(), 0u);
  p.Parse(u"<a>x</a>tail<b");
  EXPECT_EQ(Children(p.Root()), (std::vector<std::string>{"Element:a=", "PCData:PCDATA=tail"}));
}

}  // namespace
}  // namespace bx
