#include "datetime.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

namespace ralvek::vbscript::datetime {
namespace {

TEST(DateTime, SerialNumbersMatchVBScriptsEpoch) {
  EXPECT_EQ(from_date(1899, 12, 30), 0);
  EXPECT_EQ(from_date(1900, 1, 1), 2);
  EXPECT_EQ(from_date(2006, 12, 6), 39057);
  EXPECT_EQ(from_date(1899, 12, 29), -1);
  EXPECT_EQ(from_date(2000, 2, 29) + 1, from_date(2000, 3, 1));
  EXPECT_EQ(from_date(1900, 2, 29), from_date(1900, 3, 1));  // 1900 was no leap year
}

TEST(DateTime, OutOfRangeMonthsAndDaysCarryOver) {
  EXPECT_EQ(from_date(2006, 13, 1), from_date(2007, 1, 1));
  EXPECT_EQ(from_date(2006, 0, 1), from_date(2005, 12, 1));
  EXPECT_EQ(from_date(2006, -11, 1), from_date(2005, 1, 1));
  EXPECT_EQ(from_date(2006, 3, 0), from_date(2006, 2, 28));
  EXPECT_EQ(from_date(2006, 1, 32), from_date(2006, 2, 1));
}

TEST(DateTime, SplitRoundsToTheSecondAndCarriesMidnight) {
  Parts p = split(from_date(2006, 12, 6) + from_time(5, 31, 7));
  EXPECT_EQ(p.year, 2006);
  EXPECT_EQ(p.month, 12);
  EXPECT_EQ(p.day, 6);
  EXPECT_EQ(p.hour, 5);
  EXPECT_EQ(p.minute, 31);
  EXPECT_EQ(p.second, 7);
  Parts q = split(from_date(2006, 12, 31) + 0.9999999);
  EXPECT_EQ(q.year, 2007);
  EXPECT_EQ(q.hour, 0);
  Parts before_epoch = split(-1.25);  // 29 Dec 1899, 06:00 (the time part counts forward)
  EXPECT_EQ(before_epoch.day, 29);
  EXPECT_EQ(before_epoch.hour, 6);
}

TEST(DateTime, Weekdays) {
  EXPECT_EQ(weekday(from_date(2006, 12, 6)), 4);  // Wednesday
  EXPECT_EQ(weekday(0), 7);                       // Saturday
  EXPECT_EQ(weekday(-1), 6);
}

TEST(DateTime, ParsesCommonForms) {
  struct Case {
    const char* text;
    double expected;
  };
  const Case cases[] = {
      {"12/6/2006", from_date(2006, 12, 6)},
      {"2006-12-06", from_date(2006, 12, 6)},
      {"2006/12/06 17:31", from_date(2006, 12, 6) + from_time(17, 31, 0)},
      {"12/6/2006 5:31:07 PM", from_date(2006, 12, 6) + from_time(17, 31, 7)},
      {"12/6/2006 12:00:00 AM", from_date(2006, 12, 6)},
      {"December 6, 2006", from_date(2006, 12, 6)},
      {"6 Dec 2006", from_date(2006, 12, 6)},
      {"Wednesday, December 06, 2006", from_date(2006, 12, 6)},
      {"1/2/06", from_date(2006, 1, 2)},
      {"5:31", from_time(5, 31, 0)},
  };
  for (const Case& c : cases) {
    double serial = -999;
    EXPECT_TRUE(parse(c.text, serial)) << c.text;
    EXPECT_DOUBLE_EQ(serial, c.expected) << c.text;
  }
}

TEST(DateTime, RejectsWhatIsNoDate) {
  double serial;
  for (const char* text : {"", "tomorrow", "2/30/2006", "13/1/2006", "12/6", "25:00", "1:2:3:4",
                           "12/6/2006 13:00 PM", "abc 2006"})
    EXPECT_FALSE(parse(text, serial)) << text;
}

TEST(DateTime, Texts) {
  double d = from_date(2006, 12, 6) + from_time(5, 31, 0);
  EXPECT_EQ(general(d), "12/6/2006 5:31:00 AM");
  EXPECT_EQ(general(from_date(2006, 12, 6)), "12/6/2006");
  EXPECT_EQ(general(from_time(0, 0, 1)), "12:00:01 AM");
  EXPECT_EQ(long_time(from_time(12, 5, 0)), "12:05:00 PM");
  EXPECT_EQ(short_time(from_time(17, 5, 0)), "17:05");
  EXPECT_EQ(long_date(d), "Wednesday, December 06, 2006");
}

TEST(DateTime, NowFollowsTheTimeZone) {
  const char* old = std::getenv("TZ");
  std::string saved = old ? old : "";
  setenv("TZ", "UTC", 1);
  tzset();
  double utc = now();
  setenv("TZ", "UTC-3", 1);  // three hours east
  tzset();
  double east = now();
  if (old) setenv("TZ", saved.c_str(), 1);
  else unsetenv("TZ");
  tzset();
  EXPECT_NEAR((east - utc) * 24, 3.0, 0.01);
}

}  // namespace
}  // namespace ralvek::vbscript::datetime
