#include "messages/base64.h"

#include <gtest/gtest.h>

#include <string>

namespace bx {
namespace {

TEST(Base64Test, EncodesTheRfcVectorsAndDecodesThemBack) {
  const std::pair<std::string, std::string> vectors[] = {{"", ""},
                                                         {"f", "Zg=="},
                                                         {"fo", "Zm8="},
                                                         {"foo", "Zm9v"},
                                                         {"foob", "Zm9vYg=="},
                                                         {"fooba", "Zm9vYmE="},
                                                         {"foobar", "Zm9vYmFy"}};
  for (const auto& [plain, encoded] : vectors) {
    EXPECT_EQ(EncodeBase64(plain), encoded);
    EXPECT_EQ(DecodeBase64(encoded), plain);
  }
  std::string all;
  for (int i = 0; i < 256; ++i) all += static_cast<char>(i);
  EXPECT_EQ(DecodeBase64(EncodeBase64(all)), all);
  EXPECT_EQ(EncodeBase64("\xFB\xFF").substr(0, 3), "+/8");
}

TEST(Base64Test, DecodingSkipsForeignCharactersAndKeepsShortFinalGroups) {
  EXPECT_EQ(DecodeBase64("Zm9v\r\nYmFy"), "foobar");
  EXPECT_EQ(DecodeBase64("Z=m9=v Y-m_E"), "fooba");  // "=", blanks, "-" and "_" skipped
  EXPECT_EQ(DecodeBase64("Zm8"), "fo");              // three characters: two bytes
  EXPECT_EQ(DecodeBase64("Zg"), "f");                // two characters: one byte
  EXPECT_EQ(DecodeBase64("Zm9vY"), "foo");           // a lone final character: nothing
  EXPECT_EQ(DecodeBase64("!!!\xFF\x80"), "");
}

}  // namespace
}  // namespace bx
