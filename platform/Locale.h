// The locale settings the readers and the page use, held in one place.
// Defaults are the en-US forms; nothing reads the host's locale, so output
// does not change with the web server's environment.
#pragma once

#include <array>
#include <string>

namespace gridlark {

struct TFormatSettings {
  char DecimalSeparator = '.';
  char DateSeparator = '/';
  char TimeSeparator = ':';
  std::string TimeAMString = "AM";
  std::string TimePMString = "PM";
  std::array<std::string, 12> ShortMonthNames{"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                              "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  std::array<std::string, 12> LongMonthNames{"January", "February", "March",     "April",
                                             "May",     "June",     "July",      "August",
                                             "September", "October", "November", "December"};
  // Two-digit years fall into the hundred years that start this many years
  // before the current year.
  int TwoDigitYearCenturyWindow = 50;
};

// The process-wide settings. Tests may change them and must restore them.
TFormatSettings& FormatSettings();

}  // namespace gridlark
