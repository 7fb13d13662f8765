// The time stamp of dotXSI files and the instant it is taken at.
#include <gtest/gtest.h>

#include <ctime>

#include "w_lib/writers/w_writers.h"

TEST(XsiTimeStamp, IsUtcPlusNine) {
  EXPECT_EQ(XsiTimeStamp(1796689987), "Tue Dec 08 09:33:07 2026");  // 2026-12-08 00:33:07 UTC
  EXPECT_EQ(XsiTimeStamp(0), "Thu Jan 01 09:00:00 1970");
  // The day changes nine hours before UTC midnight.
  EXPECT_EQ(XsiTimeStamp(1796655599), "Mon Dec 07 23:59:59 2026");
  EXPECT_EQ(XsiTimeStamp(1796655600), "Tue Dec 08 00:00:00 2026");
  EXPECT_EQ(XsiTimeStamp(1709132400), "Thu Feb 29 00:00:00 2024");  // leap year
  EXPECT_EQ(XsiTimeStamp(4107510000LL), "Mon Mar 01 00:00:00 2100");  // 2100 is no leap year
  EXPECT_EQ(XsiTimeStamp(-32401), "Wed Dec 31 23:59:59 1969");
}

TEST(XsiStampTime, SourceDateEpochFixesTheStampOnlyWhenValid) {
  const std::time_t now = 1796655600;
  EXPECT_EQ(XsiStampTime(now, nullptr), now);
  EXPECT_EQ(XsiStampTime(now, "0"), 0);
  EXPECT_EQ(XsiStampTime(now, "1700000000"), 1700000000);
  EXPECT_EQ(XsiStampTime(now, "253402300799"), 253402300799LL);
  EXPECT_EQ(XsiTimeStamp(XsiStampTime(now, "253402300799")), "Sat Jan 01 08:59:59 10000");
  for (const char* invalid : {"", "-1", "+5", " 5", "5 ", "12abc", "1.5", "253402300800", "99999999999999999999999"})
    EXPECT_EQ(XsiStampTime(now, invalid), now) << '"' << invalid << '"';
}
