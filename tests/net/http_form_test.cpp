// Form bodies, form value encoding and URL parts of the HTTP client.
#include <gtest/gtest.h>

#include "net/ascii_text.h"
#include "net/http_client.h"

namespace bx {
namespace {

TEST(HttpForm, LinesAreJoinedTrimmedAndEncoded) {
  EXPECT_EQ(BuildFormBody({}), "");
  const std::string two = BuildFormBody({"{ABC}", "Viewer"});
  EXPECT_EQ(two, "{ABC}&|&Viewer");
  EXPECT_EQ(two.size(), 14u);
  EXPECT_EQ(BuildFormBody({"a b=c d"}), "a b=c%20d");  // the name is not encoded
  EXPECT_EQ(BuildFormBody({"2130706433", "246", "QUJD+/=="}), "2130706433&|&246&|&QUJD+/==");
  EXPECT_EQ(BuildFormBody({"x=QQ=="}), "x=QQ==");  // "=" in a value stays
  // One line: trimmed of blanks and control characters at both ends only.
  EXPECT_EQ(BuildFormBody({" \t a b \r\n"}), "a b");
  // Several: the whole is trimmed, so blanks at the outer ends go, inner ones stay.
  EXPECT_EQ(BuildFormBody({"  first ", " mid ", " last  "}), "first &|& mid &|& last");
  // Empty outer lines vanish with the trimming; an empty inner line keeps its separators.
  EXPECT_EQ(BuildFormBody({"", "a", "", "b", ""}), "a&|&&|&b");
  // A CR LF inside a line without "=" also becomes the separator.
  EXPECT_EQ(BuildFormBody({"a\r\nb", "c"}), "a&|&b&|&c");
  // 7-bit body: characters outside ASCII in a name or a line without "=" become "?".
  EXPECT_EQ(BuildFormBody({"\xC3\x9C"
                           "ber=\xC3\x9C",
                           "Caf\xC3\xA9"}),
            "?ber=%C3%9C&|&Caf?");
  EXPECT_EQ(BuildFormBody({"File[Path=c:\\x.bxl]"}), "File[Path=c:\\x.bxl%5D");
}

TEST(HttpForm, ValueEncodingSet) {
  EXPECT_EQ(EncodeFormValue("*#%<> []"), "%2A%23%25%3C%3E%20%5B%5D");
  EXPECT_EQ(EncodeFormValue("=&+/?:;,{}!~'\x7F"), "=&+/?:;,{}!~'\x7F");
  EXPECT_EQ(EncodeFormValue(std::string("\x01\t\n\x1F", 4)), "%01%09%0A%1F");
  EXPECT_EQ(EncodeFormValue("\xC3\x9C\xE2\x82\xAC"), "%C3%9C%E2%82%AC");
  EXPECT_EQ(EncodeFormValue("\xC2\x80"), "%C2%80");  // U+0080 is not sent as "?"
  EXPECT_EQ(EncodeFormValue("\xFF"
                            "a\xC3"),
            "%FFa%C3");  // stray bytes each on their own
}

TEST(HttpForm, Ascii7) {
  EXPECT_EQ(ToAscii7("plain"), "plain");
  EXPECT_EQ(ToAscii7("\xC3\x9C\xF0\x9F\x98\x80."), "??.");
  EXPECT_EQ(ToAscii7("\xED\xA0\x80"), "???");  // an encoded surrogate is not a character
}

TEST(HttpForm, UrlParts) {
  TBxURL u = ParseURL("http://example.test:8080/base/connect?Alias=A#frag");
  EXPECT_EQ(u.Scheme, "http");
  EXPECT_EQ(u.Host, "example.test");
  EXPECT_EQ(u.Port, 8080);
  EXPECT_EQ(u.PathAndQuery, "/base/connect?Alias=A");
  EXPECT_EQ(u.HostHeader(), "example.test:8080");
  u = ParseURL("HTTP://user:pw@[::1]/x");
  EXPECT_EQ(u.Scheme, "http");
  EXPECT_EQ(u.Host, "::1");
  EXPECT_EQ(u.Port, 80);
  EXPECT_EQ(u.HostHeader(), "[::1]");
  EXPECT_EQ(ParseURL("http://h?q=1").PathAndQuery, "/?q=1");
  EXPECT_EQ(ParseURL("http://h").PathAndQuery, "/");
  EXPECT_EQ(ParseURL("https://h/").Port, 443);
  EXPECT_THROW(ParseURL("no-scheme/x"), EBxNetError);
  EXPECT_THROW(ParseURL("http:///x"), EBxNetError);
  EXPECT_THROW(ParseURL("http://h:99999/"), EBxNetError);
  EXPECT_THROW(ParseURL("http://h:0/"), EBxNetError);
  EXPECT_THROW(ParseURL("http://[::1/"), EBxNetError);
}

}  // namespace
}  // namespace bx
