// The date area: one 128-byte record holding a single moment in several display and machine
// forms, and the calendar rules it is built from (leap years, month lengths, week labels,
// ordinal day suffixes, day and month names).
//
// Exports is_leap_year, month_length, week_of_year, write_date_area, fill_date_area_at and
// fill_date_area (declared in convert.h).
//
// Invariants of the area:
// - bytes 0-111 are rewritten on every fill, bytes 112-127 are never touched;
// - every field has a fixed offset and width, and no value, however far out of range, writes
//   past its slot: text is cut to its width, the year is shown modulo 10000, and the day
//   number saturates at the limits of its 32-bit field;
// - write_date_area is a pure function of its arguments; only the fill_ routines ask the host
//   for the clock and the local time zone.
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string_view>

#include "convert/convert.h"
#include "host/host.h"

namespace recsift::convert {
namespace {

constexpr int kFilledPrefix = 112;  // bytes 0-111 are ours; 112-127 belong to the caller
constexpr char kFillChar = '+';
constexpr int kNameWidth = 9;  // every day and month name is padded to nine characters

constexpr std::array<std::string_view, 7> kDayNames = {
    "Sunday   ", "Monday   ", "Tuesday  ", "Wednesday", "Thursday ", "Friday   ", "Saturday ",
};
constexpr std::array<std::string_view, 12> kMonthNames = {
    "January  ", "February ", "March    ", "April    ", "May      ", "June     ",
    "July     ", "August   ", "September", "October  ", "November ", "December ",
};
// Days in each month of a common year; February gains one in a leap year (month_length).
constexpr std::array<int, 12> kMonthDays = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};

static_assert(kDayNames.size() == 7 && kMonthNames.size() == 12);
constexpr bool names_have_width(auto const& names) {
  for (std::string_view n : names) {
    if (n.size() != kNameWidth) return false;
  }
  return true;
}
static_assert(names_have_width(kDayNames) && names_have_width(kMonthNames),
              "the ordinal field is laid out for nine-character names");

// Widths of the text fields; each is followed by one blank.
constexpr int kMdyWidth = 8;         // mm/dd/yy
constexpr int kDmyWidth = 8;         // dd/mm/yy
constexpr int kTimestampWidth = 21;  // yyyy/mm/dd hh:mm:ss.0
constexpr int kOrdinalWidth = 24;    // name + blank + dd + suffix + blank + name
constexpr int kYearDayWidth = 8;     // yyyy/ddd
constexpr int kWeekWidth = 5;        // Wk:ww

static_assert(kDateMdy + kMdyWidth + 1 == kDateDmy);
static_assert(kDateDmy + kDmyWidth + 1 == kDateTimestamp);
static_assert(kDateTimestamp + kTimestampWidth + 1 == kDateOrdinal);
static_assert(kDateOrdinal + kOrdinalWidth + 1 == kDateYearDay);
static_assert(kDateYearDay + kYearDayWidth + 1 == kDateWeek);
static_assert(kDateWeek + kWeekWidth + 1 == kDateDayNumber);
static_assert(kDateSecondsOfDay + 4 + 8 == kFilledPrefix);
static_assert(kFilledPrefix <= kDateAreaSize);

constexpr int64_t kSecondsPerDay = 86400;
// Day number of 1 January 1970 when 1 January 1900 is day 1.
constexpr int64_t kEpochDayNumber = 25568;

// Names looked up through these never read outside their tables: a calendar field out of range
// (only possible for a CivilTime not produced by the host) shows as a blank name.
constexpr std::string_view kBlankName = "         ";
std::string_view day_name(int wday) {
  return wday >= 0 && wday < 7 ? kDayNames[wday] : kBlankName;
}
std::string_view month_name(int month) {
  return month >= 1 && month <= 12 ? kMonthNames[month - 1] : kBlankName;
}

// Remainder that is never negative, so that years before 0 still show as four digits.
int floor_mod(int value, int divisor) {
  const int r = value % divisor;
  return r < 0 ? r + divisor : r;
}

// Division rounding toward minus infinity: a moment before 1970 belongs to the day that
// contains it, not to the day after (truncation would make 31 December 1969 12:00 day 0 too).
int64_t floor_div(int64_t value, int64_t divisor) {
  const int64_t q = value / divisor;
  return (value % divisor != 0 && (value < 0) != (divisor < 0)) ? q - 1 : q;
}

// Formats into a scratch buffer and copies exactly `width` characters to the area, padding with
// blanks, then the separating blank where the formatter's terminating zero would have landed.
// The scratch buffer keeps the formatter's zero out of the area and caps the field at its width.
template <typename... Args>
void put_text(uint8_t* area, int offset, int width, const char* format, Args... args) {
  char text[64];
  int n = std::snprintf(text, sizeof text, format, args...);
  if (n < 0) n = 0;
  if (n > width) n = width;
  std::memcpy(area + offset, text, static_cast<size_t>(n));
  std::memset(area + offset + n, ' ', static_cast<size_t>(width - n + 1));
}

// Writes the low `digits` decimal digits of `value` as packed decimal, most significant first,
// followed by `sign` in the last low nibble: (digits + 1) / 2 bytes.
void put_packed(uint8_t* dest, uint32_t value, int digits, uint8_t sign) {
  const int bytes = (digits + 1) / 2;
  uint8_t nibble = sign;
  bool low = true;  // the sign occupies the low nibble of the last byte
  for (int i = bytes * 2 - 1; i >= 0; --i) {
    uint8_t& b = dest[i / 2];
    if (low) {
      b = nibble;
    } else {
      b = static_cast<uint8_t>(b | (nibble << 4));
    }
    low = !low;
    nibble = static_cast<uint8_t>(value % 10);
    value /= 10;
  }
}

// The ordinal field, e.g. "Thursday   3rd December ". The day is first written as two digits
// and "th"; a leading zero turns into a blank and the suffix is corrected for 1, 2 and 3
// outside the teens.
void put_ordinal(uint8_t* area, const host::CivilTime& t) {
  put_text(area, kDateOrdinal, kOrdinalWidth, "%.9s %02dth %.9s", day_name(t.wday).data(),
           floor_mod(t.mday, 100), month_name(t.month).data());
  uint8_t* day = area + kDateOrdinal + kNameWidth + 1;  // the two day digits, then the suffix
  uint8_t* suffix = day + 2;
  if (day[0] == '0') day[0] = ' ';
  if (day[0] == '1') return;  // 11th, 12th, 13th
  switch (day[1]) {
    case '1':
      std::memcpy(suffix, "st", 2);
      break;
    case '2':
      std::memcpy(suffix, "nd", 2);
      break;
    case '3':
      std::memcpy(suffix, "rd", 2);
      break;
    default:
      break;
  }
}

}  // namespace

int is_leap_year(int year) {
  return (year % 4 == 0 && (year % 100 != 0 || year % 400 == 0)) ? 1 : 0;
}

// The table stays constant; February's extra day is added here rather than by patching a
// shared table on every leap-year test, so the answer never depends on the last year asked.
int month_length(int year, int month) {
  if (month < 1 || month > 12) return 0;
  return kMonthDays[month - 1] + (month == 2 ? is_leap_year(year) : 0);
}

// Weeks run Sunday to Saturday. The week holding 1 January is week 1 when at least four of its
// days fall in the new year (1 January on Sunday to Wednesday), else week 0.
int week_of_year(int yday, int wday) {
  const int days = yday - wday + 7;
  return days / 7 + (days % 7 > 4 ? 1 : 0);
}

void write_date_area(uint8_t* area, int64_t seconds, const host::CivilTime& local) {
  std::memset(area, kFillChar, kFilledPrefix);

  // The fields hold four year digits; a year outside 0-9999 shows modulo 10000, the same way
  // the two short forms already show it modulo 100.
  const int year = floor_mod(local.year, 10000);
  const int yy = year % 100;

  put_packed(
      area + kDatePackedYearDay,
      static_cast<uint32_t>(year) * 1000u + static_cast<uint32_t>(floor_mod(local.yday, 1000)), 7,
      0xF);
  // Seven digits 0hhmmss and a zero sign nibble, so the four bytes read 0h hm ms s0.
  const uint32_t hhmmss =
      static_cast<uint32_t>(floor_mod(local.hour, 100) * 10000 +
                            floor_mod(local.minute, 100) * 100 + floor_mod(local.second, 100));
  put_packed(area + kDatePackedTime, hhmmss, 7, 0x0);

  put_text(area, kDateMdy, kMdyWidth, "%02d/%02d/%02d", floor_mod(local.month, 100),
           floor_mod(local.mday, 100), yy);
  put_text(area, kDateDmy, kDmyWidth, "%02d/%02d/%02d", floor_mod(local.mday, 100),
           floor_mod(local.month, 100), yy);
  put_text(area, kDateTimestamp, kTimestampWidth, "%04d/%02d/%02d %02d:%02d:%02d.0", year,
           floor_mod(local.month, 100), floor_mod(local.mday, 100), floor_mod(local.hour, 100),
           floor_mod(local.minute, 100), floor_mod(local.second, 100));
  put_ordinal(area, local);
  put_text(area, kDateYearDay, kYearDayWidth, "%04d/%03d", year, floor_mod(local.yday, 1000));
  put_text(area, kDateWeek, kWeekWidth, "Wk:%02d",
           floor_mod(week_of_year(local.yday, local.wday), 100));

  // The day number counts universal-time days, so near midnight it may differ by one from the
  // local date above. It saturates rather than wraps for moments beyond its 32-bit range.
  const int64_t day_number = floor_div(seconds, kSecondsPerDay) + kEpochDayNumber;
  constexpr int64_t kMin = std::numeric_limits<int32_t>::min();
  constexpr int64_t kMax = std::numeric_limits<int32_t>::max();
  store_be32(area + kDateDayNumber, static_cast<int32_t>(day_number < kMin   ? kMin
                                                         : day_number > kMax ? kMax
                                                                             : day_number));
  store_be32(area + kDateSecondsOfDay,
             static_cast<int32_t>(int64_t{local.hour} * 3600 + local.minute * 60 + local.second));
}

int fill_date_area_at(uint8_t* area, int64_t seconds) {
  const host::CivilTime local = host::local_time(seconds);
  write_date_area(area, seconds, local);
  return local.year;
}

int fill_date_area(uint8_t* area) {
  return fill_date_area_at(area, host::clock_now());
}

}  // namespace recsift::convert
