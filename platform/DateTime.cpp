#include "platform/DateTime.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <ctime>

#include "platform/Exceptions.h"
#include "platform/Locale.h"
#include "platform/NumberText.h"

namespace gridlark {
namespace {

constexpr int64_t kSecondsPerDay = 86400;
constexpr int64_t kMSecPerDay = 86400000;
// Days from 0001-01-01 (day 1) to 1899-12-30.
constexpr int64_t kDateDelta = 693594;

// Days since 0001-01-01 counted from 1 for that day.
int64_t DaysFromCivil(int y, int m, int d) {
  static const int kCum[12] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};
  const int64_t yy = y - 1;
  int64_t days = yy * 365 + yy / 4 - yy / 100 + yy / 400 + kCum[m - 1] + d;
  if (m > 2 && IsLeapYear(y)) ++days;
  return days;
}

void CivilFromDays(int64_t days, int& y, int& m, int& d) {
  // days counts from 1 for 0001-01-01.
  int64_t n = days - 1;
  const int64_t n400 = n / 146097;
  n %= 146097;
  int64_t n100 = n / 36524;
  if (n100 == 4) n100 = 3;
  n -= n100 * 36524;
  const int64_t n4 = n / 1461;
  n %= 1461;
  int64_t n1 = n / 365;
  if (n1 == 4) n1 = 3;
  n -= n1 * 365;
  y = int(n400 * 400 + n100 * 100 + n4 * 4 + n1 + 1);
  m = 1;
  while (true) {
    const int dim = DaysInMonth(y, m);
    if (n < dim) break;
    n -= dim;
    ++m;
  }
  d = int(n + 1);
}

}  // namespace

bool IsLeapYear(int year) { return (year % 4 == 0) && (year % 100 != 0 || year % 400 == 0); }

int DaysInMonth(int year, int month) {
  static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month < 1 || month > 12) return 0;
  return kDays[month - 1] + ((month == 2 && IsLeapYear(year)) ? 1 : 0);
}

bool TryEncodeDate(int year, int month, int day, TDateTime& out) {
  if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month))
    return false;
  out = double(DaysFromCivil(year, month, day) - kDateDelta);
  return true;
}

bool TryEncodeTime(int hour, int minute, int second, int msec, TDateTime& out) {
  if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59 || msec < 0 ||
      msec > 999)
    return false;
  out = double(((int64_t(hour) * 60 + minute) * 60 + second) * 1000 + msec) / double(kMSecPerDay);
  return true;
}

TDateTime EncodeDate(int year, int month, int day) {
  TDateTime v;
  if (!TryEncodeDate(year, month, day, v)) throw EConvertError(msg::InvalidDate);
  return v;
}

TDateTime EncodeTime(int hour, int minute, int second, int msec) {
  TDateTime v;
  if (!TryEncodeTime(hour, minute, second, msec, v)) throw EConvertError(msg::InvalidTime);
  return v;
}

namespace {

// Splits into a day number and a time of day in units of 1/perDay, rounding
// the time to the nearest unit. False outside the calendar range.
bool SplitDateTime(TDateTime value, int64_t perDay, int64_t& day, int64_t& units) {
  if (!std::isfinite(value) || value < kMinDateTime - 1 || value > kMaxDateTime + 1) return false;
  day = int64_t(std::trunc(value));
  units = std::llround(std::fabs(value - double(day)) * double(perDay));
  if (units >= perDay) {
    units = 0;
    day += (value < 0) ? -1 : 1;
  }
  const int64_t abs = day + kDateDelta;
  return abs >= 1 && abs <= DaysFromCivil(9999, 12, 31);
}

}  // namespace

bool DecodeDateTime(TDateTime value, TDateTimeParts& parts) {
  int64_t day, ms;
  if (!SplitDateTime(value, kMSecPerDay, day, ms)) return false;
  CivilFromDays(day + kDateDelta, parts.Year, parts.Month, parts.Day);
  parts.Hour = int(ms / 3600000);
  parts.Minute = int(ms / 60000 % 60);
  parts.Second = int(ms / 1000 % 60);
  parts.MSec = int(ms % 1000);
  return true;
}

namespace {

char* TwoDigits(char* out, int v) {
  *out++ = char('0' + v / 10);
  *out++ = char('0' + v % 10);
  return out;
}

char* Number(char* out, int v) { return std::to_chars(out, out + 12, v).ptr; }

}  // namespace

size_t MaxDateTimeText() {
  const TFormatSettings& fs = FormatSettings();
  return 32 + std::max(fs.TimeAMString.size(), fs.TimePMString.size());
}

char* WriteDateTimeText(char* out, TDateTime value) {
  int64_t day, secs;
  if (!SplitDateTime(value, kSecondsPerDay, day, secs)) return WriteFloatText(out, value);
  const TFormatSettings& fs = FormatSettings();
  const char* const start = out;
  if (day != 0) {
    int y, m, d;
    CivilFromDays(day + kDateDelta, y, m, d);
    out = Number(out, m);
    *out++ = fs.DateSeparator;
    out = Number(out, d);
    *out++ = fs.DateSeparator;
    out = Number(out, y);
  }
  if (secs != 0 || day == 0) {
    const int h = int(secs / 3600), mi = int(secs / 60 % 60), s = int(secs % 60);
    if (out != start) *out++ = ' ';
    out = Number(out, (h % 12 == 0) ? 12 : h % 12);
    *out++ = fs.TimeSeparator;
    out = TwoDigits(out, mi);
    *out++ = fs.TimeSeparator;
    out = TwoDigits(out, s);
    const std::string& ampm = h < 12 ? fs.TimeAMString : fs.TimePMString;
    if (!ampm.empty()) {
      *out++ = ' ';
      out = std::copy(ampm.begin(), ampm.end(), out);
    }
  }
  return out;
}

std::string DateTimeToText(TDateTime value) {
  std::string out(MaxDateTimeText(), '\0');
  out.resize(size_t(WriteDateTimeText(out.data(), value) - out.data()));
  return out;
}

int CurrentYear() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  return local.tm_year + 1900;
}

}  // namespace gridlark
