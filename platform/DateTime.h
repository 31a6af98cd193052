// Date-time values: a double counting days since 1899-12-30, the fraction
// being the time of day. For negative values the integer part is the day and
// the absolute fraction the time (-1.25 is 1899-12-29 06:00).
#pragma once

#include <cstdint>
#include <cstddef>
#include <string>

namespace gridlark {

using TDateTime = double;

// Serial numbers of 0001-01-01 and 9999-12-31.
inline constexpr double kMinDateTime = -693593.0;
inline constexpr double kMaxDateTime = 2958465.99999999;

bool IsLeapYear(int year);
int DaysInMonth(int year, int month);

bool TryEncodeDate(int year, int month, int day, TDateTime& out);
bool TryEncodeTime(int hour, int minute, int second, int msec, TDateTime& out);
// Raise EConvertError "Invalid argument to date encode" / "... time encode".
TDateTime EncodeDate(int year, int month, int day);
TDateTime EncodeTime(int hour, int minute, int second, int msec);

struct TDateTimeParts {
  int Year = 0, Month = 0, Day = 0, Hour = 0, Minute = 0, Second = 0, MSec = 0;
};
// Splits a value into calendar parts; false when it lies outside 0001 to 9999.
// The time is taken to the millisecond.
bool DecodeDateTime(TDateTime value, TDateTimeParts& parts);

// Text of a date-time in the locale's short form, M/D/YYYY h:mm:ss AM, rounded
// to the second: the time is left out at midnight, the date when the day part
// is 0 (so 0 itself reads 12:00:00 AM). A value outside the calendar range is
// written as a number.
std::string DateTimeToText(TDateTime value);
// The same text written at out, which must have room for MaxDateTimeText()
// bytes; returns the end of what was written.
char* WriteDateTimeText(char* out, TDateTime value);
size_t MaxDateTimeText();

// Local calendar year of the system clock.
int CurrentYear();

}  // namespace gridlark
