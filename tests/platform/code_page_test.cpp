#include "platform/code_page.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <stdexcept>
#include <string>

namespace bx {
namespace {

// Sets BREVIX_ANSI_CODEPAGE for one test and removes it afterwards.
class TCodePage {
 public:
  explicit TCodePage(const char* name) { setenv("BREVIX_ANSI_CODEPAGE", name, 1); }
  ~TCodePage() { unsetenv("BREVIX_ANSI_CODEPAGE"); }
};

TEST(CodePageTest, Cp1252IsTheDefaultAndRoundTripsEveryByte) {
  unsetenv("BREVIX_ANSI_CODEPAGE");
  EXPECT_EQ(AnsiCodePageName(), "CP1252");
  EXPECT_EQ(AnsiToUtf8("\xE9"), "\xC3\xA9");
  EXPECT_EQ(AnsiToUtf8("\x80\x9F"), "\xE2\x82\xAC\xC5\xB8");
  EXPECT_EQ(AnsiToUtf8("a\x81\x8D\x8F\x90\x9Dz"), "a\xC2\x81\xC2\x8D\xC2\x8F\xC2\x90\xC2\x9Dz");
  std::string all;
  for (int b = 1; b < 256; ++b) all += static_cast<char>(b);
  EXPECT_EQ(Utf8ToAnsi(AnsiToUtf8(all)), all);
  EXPECT_EQ(AnsiToUtf8(std::string("a\0b", 3)), std::string("a\0b", 3));
}

TEST(CodePageTest, Utf8ToAnsiReplacesWhatTheCodePageCannotHold) {
  unsetenv("BREVIX_ANSI_CODEPAGE");
  EXPECT_EQ(Utf8ToAnsi("\xE2\x82\xAC \xE4\xB8\xAD \xF0\x9F\x98\x80"), "\x80 ? ?");
  EXPECT_EQ(Utf8ToAnsi("a\xFF\xC3"), "a??");                 // invalid and cut-short UTF-8
  EXPECT_EQ(Utf8ToAnsi("\xC3\xA9\xED\xA0\x80"), "\xE9???");  // encoded surrogate: 3 bad bytes
  EXPECT_EQ(Utf8ToAnsi(""), "");
}

TEST(CodePageTest, FollowsTheConfiguredCodePage) {
  {
    TCodePage cp("cp1250");
    EXPECT_EQ(AnsiCodePageName(), "CP1250");
    EXPECT_EQ(AnsiToUtf8("\x8A"), "\xC5\xA0");  // S caron
    EXPECT_EQ(Utf8ToAnsi("\xC5\xA0"), "\x8A");
    EXPECT_EQ(AnsiToUtf8("\x81"), "\xEF\xBF\xBD");  // undefined there, and not CP1252
  }
  {
    TCodePage cp("CP932");
    EXPECT_EQ(AnsiToUtf8("\x93\xFA\x96\x7B"), "\xE6\x97\xA5\xE6\x9C\xAC");
    EXPECT_EQ(Utf8ToAnsi("\xE6\x97\xA5\xE6\x9C\xAC"), "\x93\xFA\x96\x7B");
    EXPECT_EQ(AnsiToUtf8("a\x93"), "a\xEF\xBF\xBD");  // cut short
  }
  {
    TCodePage cp("NO-SUCH-CODEPAGE");
    EXPECT_THROW(AnsiToUtf8("\xE9"), std::runtime_error);
    EXPECT_EQ(Utf8ToAnsi("ascii"), "ascii");  // never needs the code page
    try {
      Utf8ToAnsi("\xC3\xA9");
    } catch (const std::runtime_error& e) {
      EXPECT_NE(std::string(e.what()).find("\"NO-SUCH-CODEPAGE\""), std::string::npos);
    }
  }
  EXPECT_EQ(AnsiToUtf8("\xE9"), "\xC3\xA9");
}

}  // namespace
}  // namespace bx
