// Date-times between days since 1899-12-30 and ISO-8601 text.
#include "platform/db/DateText.h"

#include <gtest/gtest.h>

namespace platform::db {
namespace {

TEST(DateTextTest, KnownDays) {
  EXPECT_EQ(DaysFromDate(1899, 12, 30), 0.0);
  EXPECT_EQ(DaysFromDate(1900, 1, 1), 2.0);
  EXPECT_EQ(DaysFromDate(2024, 3, 5), 45356.0);
  EXPECT_EQ(DaysFromDate(1899, 12, 29), -1.0);
  EXPECT_FALSE(DaysFromDate(2023, 2, 29));
  EXPECT_FALSE(DaysFromDate(0, 1, 1));
}

TEST(DateTextTest, IsoTextsBothWays) {
  EXPECT_EQ(ParseIsoDateTime("2024-03-05"), 45356.0);
  EXPECT_DOUBLE_EQ(*ParseIsoDateTime("2024-03-05 18:00"), 45356.75);
  EXPECT_DOUBLE_EQ(*ParseIsoDateTime("2024-03-05T06:00:00.5Z"), 45356.25 + 0.5 / 86400);
  EXPECT_EQ(FormatIsoDateTime(45356.0), "2024-03-05");
  EXPECT_EQ(FormatIsoDateTime(45356.75), "2024-03-05 18:00:00");
  EXPECT_EQ(FormatIsoDateTime(45356.999999999), "2024-03-06");  // rounds to the second
  // Before the epoch the day counts down and the time still counts up.
  EXPECT_DOUBLE_EQ(*ParseIsoDateTime("1899-12-29 06:00"), -1.25);
  EXPECT_EQ(FormatIsoDateTime(-1.25), "1899-12-29 06:00:00");
  for (const char* bad : {"", "2024-3-5", "2024-03-05 24:00", "2024-13-01", "2024-03-05 10",
                          "2024-03-05x", "05.03.2024"}) {
    EXPECT_FALSE(ParseIsoDateTime(bad)) << bad;
  }
  EXPECT_EQ(FormatIsoDateTime(1e9), "");
}

}  // namespace
}  // namespace platform::db
