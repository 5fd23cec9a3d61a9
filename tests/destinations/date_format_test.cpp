#include "destinations/date_format.h"

#include <gtest/gtest.h>

namespace bx {
namespace {

TEST(DateFormatTest, PatternsInEitherCase) {
  const TDateTime t{2025, 3, 7, 9, 5, 4, 21};
  EXPECT_EQ(FormatDateTime("yyyymmdd", t), "20250307");
  EXPECT_EQ(FormatDateTime("YYYYMMDD", t), "20250307");
  EXPECT_EQ(FormatDateTime("yy-m-d", t), "25-3-7");
  EXPECT_EQ(FormatDateTime("dd/mm/yyyy", t), "07-03-2025");
  EXPECT_EQ(FormatDateTime("ddd d mmm, dddd mmmm", t), "Fri 7 Mar, Friday March");
  EXPECT_EQ(FormatDateTime("yyyymmdd_hhmm", t), "20250307_0905");  // mm after hh: minutes
  EXPECT_EQ(FormatDateTime("hh:nn:ss.zzz", t), "09:05:04.021");
  EXPECT_EQ(FormatDateTime("'day' d \"of\" m", t), "day 7 of 3");
  EXPECT_EQ(FormatDateTime("yyyy'unclosed", t), "2025unclosed");
}

}  // namespace
}  // namespace bx
