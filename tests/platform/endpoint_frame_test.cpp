#include "platform/endpoint_frame.h"

#include <gtest/gtest.h>

namespace bx {
namespace {

TEST(EndpointFrame, LayoutAndRoundTripInAnyChunking) {
  const std::string a = EncodeFrame(74, kFrameFlagSent, 0x0102030405060708, 0x7F000001, "data");
  ASSERT_EQ(a.size(), kFrameHeaderSize + 4);
  EXPECT_EQ(a.substr(0, 8), std::string("\x4A\0\0\0\x01\0\0\0", 8));  // little-endian
  EXPECT_EQ(a.substr(kFrameWParamOffset, 8), std::string("\x08\x07\x06\x05\x04\x03\x02\x01", 8));
  EXPECT_EQ(a.substr(kFrameLengthOffset, 4), std::string("\x04\0\0\0", 4));
  const std::string stream = a + EncodeFrame(1106, 0, 0, 0, "") + a;
  for (size_t chunk : {size_t{1}, size_t{5}, stream.size()}) {
    TEndpointFrameParser parser;
    std::vector<TEndpointFrame> frames;
    for (size_t pos = 0; pos < stream.size(); pos += chunk) {
      ASSERT_TRUE(parser.Feed(stream.data() + pos, std::min(chunk, stream.size() - pos)));
      while (auto frame = parser.Next()) frames.push_back(*frame);
    }
    ASSERT_EQ(frames.size(), 3u);
    EXPECT_EQ(frames[0].Message, 74u);
    EXPECT_TRUE(frames[0].Sent());
    EXPECT_EQ(frames[0].WParam, 0x0102030405060708u);
    EXPECT_EQ(frames[0].LParam, 0x7F000001u);
    EXPECT_EQ(frames[0].Data, "data");
    EXPECT_EQ(frames[1].Message, 1106u);
    EXPECT_FALSE(frames[1].Sent());
    EXPECT_EQ(parser.Buffered(), 0u);
  }
  EXPECT_EQ(DecodeReply(EncodeReply(-1).data()), -1);
}

TEST(EndpointFrame, LengthOverTheLimitBreaksTheStream) {
  TEndpointFrameParser parser(16);
  const std::string fits = EncodeFrame(1, 0, 0, 0, std::string(16, 'x'));
  ASSERT_TRUE(parser.Feed(fits.data(), fits.size()));
  ASSERT_TRUE(parser.Next().has_value());
  std::string over = EncodeFrame(1, 0, 0, 0, std::string(17, 'x')).substr(0, kFrameHeaderSize);
  EXPECT_FALSE(parser.Feed(over.data(), over.size()));  // refused on the header alone
  EXPECT_EQ(parser.Error(), "frame data of 17 bytes exceeds the limit of 16 bytes");
  EXPECT_FALSE(parser.Next().has_value());
  EXPECT_FALSE(parser.Feed(fits.data(), fits.size()));
  // The real limit: 16 MiB, announced by a header whose length field says 0xFFFFFFFF.
  TEndpointFrameParser real;
  std::string lying = fits.substr(0, kFrameHeaderSize);
  lying.replace(kFrameLengthOffset, 4, "\xFF\xFF\xFF\xFF");
  EXPECT_FALSE(real.Feed(lying.data(), lying.size()));
}

}  // namespace
}  // namespace bx
