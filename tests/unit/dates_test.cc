// Tests of the date area and its calendar rules. Expected values come from std::chrono and from
// a plain day counter written here, never from the routines under test.
#include <array>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <limits>
#include <string>

#include <gtest/gtest.h>

#include "convert/convert.h"
#include "host/host.h"

namespace recsift::convert {
namespace {

using namespace std::chrono;
using Area = std::array<uint8_t, kDateAreaSize>;
constexpr uint8_t kSentinel = 0xA5;

Area sentinel_area() {
  Area a;
  a.fill(kSentinel);
  return a;
}

std::string text(const Area& a, int offset, int len) {
  return std::string(reinterpret_cast<const char*>(a.data()) + offset, len);
}

// Day of year by counting month lengths, independent of the library's tables.
int day_of_year(const year_month_day& ymd) {
  constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const int month = static_cast<int>(unsigned{ymd.month()});
  int yday = static_cast<int>(unsigned{ymd.day()});
  for (int m = 1; m < month; ++m) yday += kDays[m - 1] + (m == 2 && ymd.year().is_leap() ? 1 : 0);
  return yday;
}

// The calendar time of a UTC moment, built with std::chrono.
host::CivilTime utc_civil(int64_t seconds) {
  const sys_seconds tp{std::chrono::seconds{seconds}};
  const sys_days day = floor<days>(tp);
  const year_month_day ymd{day};
  const hh_mm_ss hms{tp - day};
  host::CivilTime c;
  c.year = static_cast<int>(ymd.year());
  c.month = static_cast<int>(unsigned{ymd.month()});
  c.mday = static_cast<int>(unsigned{ymd.day()});
  c.yday = day_of_year(ymd);
  c.wday = static_cast<int>(weekday{day}.c_encoding());
  c.hour = static_cast<int>(hms.hours().count());
  c.minute = static_cast<int>(hms.minutes().count());
  c.second = static_cast<int>(hms.seconds().count());
  return c;
}

int64_t utc_seconds(int y, unsigned m, unsigned d, int hh = 12, int mm = 0, int ss = 0) {
  const sys_days day{year{y} / month{m} / d};
  return day.time_since_epoch().count() * int64_t{86400} + hh * 3600 + mm * 60 + ss;
}

Area area_at(int64_t seconds) {
  Area a = sentinel_area();
  write_date_area(a.data(), seconds, utc_civil(seconds));
  return a;
}

// Sets an environment variable for one test and restores it (and the time zone) afterwards.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old, had_ = true;
    setenv(name, value, 1);
    tzset();
  }
  ~ScopedEnv() {
    if (had_) {
      setenv(name_, old_.c_str(), 1);
    } else {
      unsetenv(name_);
    }
    tzset();
  }

 private:
  const char* name_;
  std::string old_;
  bool had_ = false;
};

// ---- The whole layout ------------------------------------------------------------------------

TEST(DateArea, LaysOutEveryFieldOfOneMoment) {
  const Area a = area_at(utc_seconds(2026, 12, 3, 14, 5, 9));
  EXPECT_EQ(text(a, 0, 8), "++++++++");
  EXPECT_EQ((std::array<uint8_t, 4>{a[8], a[9], a[10], a[11]}),
            (std::array<uint8_t, 4>{0x20, 0x26, 0x33, 0x7F}));  // 2026337, sign F
  EXPECT_EQ((std::array<uint8_t, 4>{a[12], a[13], a[14], a[15]}),
            (std::array<uint8_t, 4>{0x01, 0x40, 0x50, 0x90}));  // 0 14 05 09 0
  EXPECT_EQ(text(a, 16, 80),
            "12/03/26 03/12/26 2026/12/03 14:05:09.0 Thursday   3rd December  2026/337 Wk:48 ");
  EXPECT_EQ(load_be32(&a[96]), 46358);
  EXPECT_EQ(load_be32(&a[100]), 14 * 3600 + 5 * 60 + 9);
  EXPECT_EQ(text(a, 104, 8), "++++++++");
  for (int i = 112; i < kDateAreaSize; ++i) EXPECT_EQ(a[i], kSentinel) << "byte " << i;
}

TEST(DateArea, RewritesTheFirst112BytesWhateverTheyHeld) {
  const int64_t s = utc_seconds(2000, 2, 29, 0, 0, 0);
  Area zeros{}, ones;
  ones.fill(0xFF);
  write_date_area(zeros.data(), s, utc_civil(s));
  write_date_area(ones.data(), s, utc_civil(s));
  EXPECT_EQ(text(zeros, 0, 112), text(ones, 0, 112));
  for (int i = 112; i < kDateAreaSize; ++i) {
    EXPECT_EQ(zeros[i], 0x00);
    EXPECT_EQ(ones[i], 0xFF);
  }
}

TEST(DateArea, NamedDays) {
  struct Case {
    int y;
    unsigned m, d;
    const char* ordinal;
    const char* year_day;
    std::array<uint8_t, 4> packed;
  };
  const Case cases[] = {
      {2026, 12, 3, "Thursday   3rd December ", "2026/337", {0x20, 0x26, 0x33, 0x7F}},
      {2026, 12, 11, "Friday    11th December ", "2026/345", {0x20, 0x26, 0x34, 0x5F}},
      {2026, 12, 6, "Sunday     6th December ", "2026/340", {0x20, 0x26, 0x34, 0x0F}},
      {2000, 2, 29, "Tuesday   29th February ", "2000/060", {0x20, 0x00, 0x06, 0x0F}},
      {1900, 3, 1, "Thursday   1st March    ", "1900/060", {0x19, 0x00, 0x06, 0x0F}},
      {2024, 12, 31, "Tuesday   31st December ", "2024/366", {0x20, 0x24, 0x36, 0x6F}},
      {2023, 9, 22, "Friday    22nd September", "2023/265", {0x20, 0x23, 0x26, 0x5F}},
      {1970, 1, 1, "Thursday   1st January  ", "1970/001", {0x19, 0x70, 0x00, 0x1F}},
  };
  for (const Case& c : cases) {
    const Area a = area_at(utc_seconds(c.y, c.m, c.d));
    SCOPED_TRACE(c.ordinal);
    EXPECT_EQ(text(a, kDateOrdinal, 24), c.ordinal);
    EXPECT_EQ(text(a, kDateYearDay, 8), c.year_day);
    EXPECT_EQ((std::array<uint8_t, 4>{a[8], a[9], a[10], a[11]}), c.packed);
  }
}

TEST(DateArea, PackedTimeHasDigitsZeroHhMmSsAndSignZero) {
  struct Case {
    int hh, mm, ss;
    std::array<uint8_t, 4> packed;
    int32_t seconds_of_day;
  };
  const Case cases[] = {
      {0, 0, 0, {0x00, 0x00, 0x00, 0x00}, 0},
      {23, 59, 59, {0x02, 0x35, 0x95, 0x90}, 86399},
      {9, 8, 7, {0x00, 0x90, 0x80, 0x70}, 9 * 3600 + 8 * 60 + 7},
      {12, 34, 56, {0x01, 0x23, 0x45, 0x60}, 45296},
  };
  for (const Case& c : cases) {
    const Area a = area_at(utc_seconds(2026, 7, 4, c.hh, c.mm, c.ss));
    SCOPED_TRACE(c.seconds_of_day);
    EXPECT_EQ((std::array<uint8_t, 4>{a[12], a[13], a[14], a[15]}), c.packed);
    EXPECT_EQ(load_be32(&a[kDateSecondsOfDay]), c.seconds_of_day);
  }
}

// ---- Day number -------------------------------------------------------------------------------

TEST(DateArea, DayNumberCountsFrom1900AndFloorsBefore1970) {
  struct Case {
    int64_t seconds;
    int32_t day_number;
  };
  const Case cases[] = {
      {0, 25568},                                // 1 January 1970
      {86399, 25568},                            // its last second
      {-1, 25567},                               // 31 December 1969 23:59:59
      {-43200, 25567},                           // 31 December 1969 noon; truncation says 25568
      {utc_seconds(1900, 1, 1, 0, 0, 0), 1},     // day 1
      {utc_seconds(1899, 12, 31, 12, 0, 0), 0},  // the day before
      {utc_seconds(2026, 12, 3, 23, 59, 59), 46358},
      {std::numeric_limits<int64_t>::max(), std::numeric_limits<int32_t>::max()},
      {std::numeric_limits<int64_t>::min(), std::numeric_limits<int32_t>::min()},
  };
  for (const Case& c : cases) {
    Area a = sentinel_area();
    write_date_area(a.data(), c.seconds, utc_civil(0));  // the calendar fields do not matter
    EXPECT_EQ(load_be32(&a[kDateDayNumber]), c.day_number) << c.seconds;
  }
}

// ---- Calendar rules ---------------------------------------------------------------------------

TEST(DateCalendar, LeapYearsAndMonthLengthsAgreeWithChrono) {
  EXPECT_EQ(is_leap_year(1900), 0);
  EXPECT_EQ(is_leap_year(2000), 1);
  for (int y = -1200; y <= 3200; ++y) {
    ASSERT_EQ(is_leap_year(y), year{y}.is_leap() ? 1 : 0) << y;
    for (unsigned m = 1; m <= 12; ++m) {
      const unsigned days_in = unsigned{(year{y} / month{m} / std::chrono::last).day()};
      ASSERT_EQ(month_length(y, static_cast<int>(m)), static_cast<int>(days_in)) << y << "/" << m;
    }
  }
  // February does not keep the length of the last year asked about.
  EXPECT_EQ(is_leap_year(2024), 1);
  EXPECT_EQ(month_length(2023, 2), 28);
  EXPECT_EQ(month_length(2023, 0), 0);
  EXPECT_EQ(month_length(2023, 13), 0);
}

TEST(DateCalendar, FirstJanuaryIsWeekOneOnlyFromSundayToWednesday) {
  struct Case {
    int year;
    unsigned weekday;  // of 1 January, 0 = Sunday
    const char* label;
  };
  const Case cases[] = {
      {2023, 0, "Wk:01"}, {2024, 1, "Wk:01"}, {2019, 2, "Wk:01"}, {2025, 3, "Wk:01"},
      {2026, 4, "Wk:00"}, {2021, 5, "Wk:00"}, {2022, 6, "Wk:00"},
  };
  for (const Case& c : cases) {
    ASSERT_EQ(weekday{sys_days{year{c.year} / 1 / 1}}.c_encoding(), c.weekday) << c.year;
    EXPECT_EQ(text(area_at(utc_seconds(c.year, 1, 1)), kDateWeek, 5), c.label) << c.year;
  }
}

TEST(DateCalendar, OrdinalSuffixForEveryDayOfTheMonth) {
  constexpr std::array<const char*, 31> kDays = {
      " 1st", " 2nd", " 3rd", " 4th", " 5th", " 6th", " 7th", " 8th", " 9th", "10th", "11th",
      "12th", "13th", "14th", "15th", "16th", "17th", "18th", "19th", "20th", "21st", "22nd",
      "23rd", "24th", "25th", "26th", "27th", "28th", "29th", "30th", "31st"};
  for (unsigned d = 1; d <= 31; ++d) {
    const Area a = area_at(utc_seconds(2026, 10, d));
    EXPECT_EQ(text(a, kDateOrdinal + 10, 4), kDays[d - 1]) << d;
    EXPECT_EQ(text(a, kDateOrdinal + 14, 11), " October   ") << d;
  }
}

// Every day of several whole years: the display fields against chrono and a week counter that
// starts at 1 when 1 January falls Sunday to Wednesday and steps on every later Sunday.
TEST(DateCalendar, WholeYearsMatchAnIndependentCalendar) {
  constexpr const char* kDayNames[] = {"Sunday   ", "Monday   ", "Tuesday  ", "Wednesday",
                                       "Thursday ", "Friday   ", "Saturday "};
  char expect[64];
  for (int y : {1899, 1900, 1969, 1970, 1999, 2000, 2001, 2020, 2021, 2022, 2023, 2024, 2025, 2026,
                2027, 2028, 2100, 2400}) {
    SCOPED_TRACE(y);
    int yday = 0;
    int week = -1;
    for (sys_days day{year{y} / 1 / 1}; year_month_day{day}.year() == year{y}; day += days{1}) {
      const year_month_day ymd{day};
      const unsigned wd = weekday{day}.c_encoding();
      ++yday;
      if (yday == 1) {
        week = wd <= 3 ? 1 : 0;
      } else if (wd == 0) {
        ++week;
      }
      const int64_t s = day.time_since_epoch().count() * int64_t{86400} + 3600;
      Area a = sentinel_area();
      write_date_area(a.data(), s, utc_civil(s));
      const unsigned m = unsigned{ymd.month()}, d = unsigned{ymd.day()};
      std::snprintf(expect, sizeof expect, "%02u/%02u/%02d %02u/%02u/%02d %04d/%02u/%02u", m, d,
                    y % 100, d, m, y % 100, y, m, d);
      ASSERT_EQ(text(a, kDateMdy, 28), expect) << yday;
      std::snprintf(expect, sizeof expect, "%04d/%03d Wk:%02d ", y, yday, week);
      ASSERT_EQ(text(a, kDateYearDay, 15), expect) << yday;
      ASSERT_EQ(text(a, kDateOrdinal, 9), kDayNames[wd]) << yday;
      ASSERT_EQ(week_of_year(yday, static_cast<int>(wd)), week) << yday;
      ASSERT_EQ(load_be32(&a[kDateDayNumber]), day.time_since_epoch().count() + 25568) << yday;
      const int32_t packed = a[8] << 24 | a[9] << 16 | a[10] << 8 | a[11];
      std::snprintf(expect, sizeof expect, "%07d", y * 1000 + yday);
      char digits[9];
      std::snprintf(digits, sizeof digits, "%08X", static_cast<uint32_t>(packed));
      ASSERT_EQ(std::string(digits), std::string(expect) + "F") << yday;
    }
    EXPECT_EQ(yday, year{y}.is_leap() ? 366 : 365);
  }
}

// ---- Out-of-range input ------------------------------------------------------------------------

// A year that needs more than four digits shows modulo 10000; every field keeps its width, the
// separating blanks stay in place and the caller's tail is untouched.
TEST(DateArea, YearsOutsideFourDigitsWrapAndStayInTheirFields) {
  struct Case {
    int year;
    const char* mdy;
    const char* year_day;
    std::array<uint8_t, 4> packed;
  };
  const Case cases[] = {
      {12345, "03/04/45", "2345/063", {0x23, 0x45, 0x06, 0x3F}},
      {10000, "03/04/00", "0000/063", {0x00, 0x00, 0x06, 0x3F}},
      {-1, "03/04/99", "9999/063", {0x99, 0x99, 0x06, 0x3F}},
      {-123456, "03/04/44", "6544/063", {0x65, 0x44, 0x06, 0x3F}},
  };
  for (const Case& c : cases) {
    host::CivilTime t;
    t = {c.year, 3, 4, 63, 2, 10, 11, 12};
    Area a = sentinel_area();
    write_date_area(a.data(), 0, t);
    SCOPED_TRACE(c.year);
    EXPECT_EQ(text(a, kDateMdy, 8), c.mdy);
    EXPECT_EQ(text(a, kDateYearDay, 8), c.year_day);
    EXPECT_EQ(text(a, kDateTimestamp, 4), std::string(c.year_day, 4));
    EXPECT_EQ((std::array<uint8_t, 4>{a[8], a[9], a[10], a[11]}), c.packed);
    for (int blank : {24, 33, 55, 80, 89, 95}) EXPECT_EQ(a[blank], ' ') << blank;
    EXPECT_EQ(text(a, kDateOrdinal, 24), "Tuesday    4th March    ");
    EXPECT_EQ(text(a, 104, 8), "++++++++");
    for (int i = 112; i < kDateAreaSize; ++i) EXPECT_EQ(a[i], kSentinel) << i;
  }
}

// A calendar time the host never produces still cannot reach outside the area or the name
// tables: unknown names show blank and numbers are cut to their field width.
TEST(DateArea, NonsenseCalendarFieldsStayInsideTheArea) {
  host::CivilTime t;
  t = {2026, 13, 140, 999, 9, 25, 61, 99};
  Area a = sentinel_area();
  write_date_area(a.data(), 0, t);
  EXPECT_EQ(text(a, kDateOrdinal, 9), "         ");
  EXPECT_EQ(text(a, kDateOrdinal + 15, 9), "         ");
  for (int blank : {24, 33, 55, 80, 89, 95}) EXPECT_EQ(a[blank], ' ') << blank;
  EXPECT_EQ(text(a, 104, 8), "++++++++");
  for (int i = 112; i < kDateAreaSize; ++i) EXPECT_EQ(a[i], kSentinel) << i;
}

// ---- Filling from the host clock --------------------------------------------------------------

TEST(DateFill, UsesTheLocalTimeOfTheMoment) {
  ScopedEnv tz("TZ", "UTC");
  const int64_t s = utc_seconds(2026, 12, 3, 14, 5, 9);
  Area a = sentinel_area();
  EXPECT_EQ(fill_date_area_at(a.data(), s), 2026);
  EXPECT_EQ(a, area_at(s));
}

// West of Greenwich the local date is still the old day while the day number has moved on.
TEST(DateFill, DayNumberFollowsUniversalTimeAndTheRestLocalTime) {
  ScopedEnv tz("TZ", "EST5");
  Area a = sentinel_area();
  EXPECT_EQ(fill_date_area_at(a.data(), 2 * 3600), 1969);
  EXPECT_EQ(text(a, kDateTimestamp, 21), "1969/12/31 21:00:00.0");
  EXPECT_EQ(load_be32(&a[kDateDayNumber]), 25568);
  EXPECT_EQ(load_be32(&a[kDateSecondsOfDay]), 21 * 3600);
}

TEST(DateFill, TakesTheMomentFromTheRunClock) {
  ScopedEnv tz("TZ", "UTC");
  ScopedEnv clock("SOURCE_DATE_EPOCH", "1796306709");
  Area a = sentinel_area();
  EXPECT_EQ(fill_date_area(a.data()), 2026);
  EXPECT_EQ(a, area_at(1796306709));
}

}  // namespace
}  // namespace recsift::convert
