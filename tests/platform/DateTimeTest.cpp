#include <gtest/gtest.h>

#include "platform/DateTime.h"
#include "platform/Exceptions.h"

using namespace gridlark;

TEST(DateTime, EncodeAndDecodeAgreeOverTheCalendar) {
  EXPECT_DOUBLE_EQ(EncodeDate(1899, 12, 30), 0);
  EXPECT_DOUBLE_EQ(EncodeDate(1900, 1, 1), 2);
  EXPECT_DOUBLE_EQ(EncodeDate(1904, 1, 1), 1462);
  EXPECT_DOUBLE_EQ(EncodeDate(2023, 5, 17), 45063);
  for (double day : {-693593.0, -1.0, 0.0, 59.0, 60.0, 1462.0, 45063.0, 2958465.0}) {
    TDateTimeParts p;
    ASSERT_TRUE(DecodeDateTime(day, p)) << day;
    EXPECT_DOUBLE_EQ(EncodeDate(p.Year, p.Month, p.Day), day);
  }
  TDateTimeParts p;
  EXPECT_FALSE(DecodeDateTime(3e6, p));
  EXPECT_FALSE(DecodeDateTime(std::numeric_limits<double>::quiet_NaN(), p));
}

TEST(DateTime, InvalidDatesAndTimesRaiseThePlatformMessages) {
  try {
    EncodeDate(2023, 4, 31);
    ADD_FAILURE();
  } catch (const EConvertError& e) {
    EXPECT_STREQ(e.what(), "Invalid argument to date encode");
  }
  EXPECT_THROW(EncodeDate(2023, 2, 29), EConvertError);
  EXPECT_NO_THROW(EncodeDate(2024, 2, 29));
  EXPECT_THROW(EncodeTime(24, 0, 0, 0), EConvertError);
  EXPECT_DOUBLE_EQ(EncodeTime(18, 0, 0, 0), 0.75);
}

TEST(DateTime, TextLeavesOutMidnightAndTheZeroDay) {
  struct Case {
    double v;
    const char* text;
  } cases[] = {
      {45063, "5/17/2023"},
      {45063.75, "5/17/2023 6:00:00 PM"},
      {45063 + 1.0 / 86400, "5/17/2023 12:00:01 AM"},
      {0.5, "12:00:00 PM"},
      {0, "12:00:00 AM"},
      {0.99999999999, "12/31/1899"},     // rounds up to the next midnight
      {-1.25, "12/29/1899 6:00:00 AM"},
      {1e7, "10000000"},                 // beyond year 9999: the number
  };
  for (const auto& c : cases) EXPECT_EQ(DateTimeToText(c.v), c.text) << c.v;
}
