#include "text/VoxPars.h"

#include <string>

#include "platform/Locale.h"
#include "platform/NumberText.h"

namespace gridlark {

bool IsSeparator(char Ch, char DateSeparator, char TimeSeparator) {
  return Ch == ' ' || Ch == '.' || Ch == '/' || Ch == ':' || Ch == DateSeparator || Ch == TimeSeparator;
}

namespace {

bool Contains(std::string_view s, std::string_view what) { return s.find(what) != std::string_view::npos; }

// 1 to 12 for a month name (English or the locale's, short or long, any
// case), 0 for none.
int MonthByName(std::string_view text) {
  static constexpr const char* kEnglish[12][2] = {
      {"JAN", "JANUARY"}, {"FEB", "FEBRUARY"}, {"MAR", "MARCH"},     {"APR", "APRIL"},
      {"MAY", "MAY"},     {"JUN", "JUNE"},     {"JUL", "JULY"},      {"AUG", "AUGUST"},
      {"SEP", "SEPTEMBER"}, {"OCT", "OCTOBER"}, {"NOV", "NOVEMBER"}, {"DEC", "DECEMBER"}};
  const std::string upper = UpperAscii(text);
  const TFormatSettings& fs = FormatSettings();
  for (int m = 0; m < 12; ++m) {
    if (upper == kEnglish[m][0] || upper == kEnglish[m][1] || upper == UpperAscii(fs.ShortMonthNames[m]) ||
        upper == UpperAscii(fs.LongMonthNames[m]))
      return m + 1;
  }
  return 0;
}

}  // namespace

TDateTime ParseDateTimeText(std::string_view Text, std::string_view Picture, char DateSeparator,
                            char TimeSeparator) {
  TDateTime result = 0;
  std::string text(Text);
  std::string picture = UpperAscii(Picture);
  const auto sep = [&](char c) { return IsSeparator(c, DateSeparator, TimeSeparator); };

  // A time alone is read against the time part of a date-and-time picture.
  if (text.find(DateSeparator) == std::string::npos) {
    const size_t blank = picture.find(' ');
    if (blank != std::string::npos && blank >= 1) picture.erase(0, blank + 1);
  }

  const TFormatSettings& fs = FormatSettings();
  const std::string upperText = UpperAscii(text);
  const bool pm = fs.TimePMString.empty() ? (Contains(text, "PM") || Contains(text, "pm"))
                                          : Contains(upperText, UpperAscii(fs.TimePMString));
  const bool am = Contains(upperText, fs.TimeAMString.empty() ? std::string("AM") : UpperAscii(fs.TimeAMString));

  // Line the picture up with the text where a field was written shorter
  // than the picture allows, and the text with the picture the other way.
  for (size_t i = 0, n = text.size(); i < n; ++i)
    if (sep(text[i]) && i < picture.size() && !sep(picture[i])) picture.erase(i, 1);
  for (size_t i = 0, n = picture.size(); i < n; ++i)
    if (sep(picture[i]) && i < text.size() && !sep(text[i])) text.erase(i, 1);

  std::string day, month, year, hour, minute, second, msec;
  for (size_t i = 0; i < text.size() && i < picture.size(); ++i) {
    const char c = text[i];
    if (sep(c)) continue;
    switch (picture[i]) {
      case 'D': day += c; break;
      case 'M': month += c; break;
      case 'Y': year += c; break;
      case 'H': hour += c; break;
      case 'N': minute += c; break;
      case 'S': second += c; break;
      case 'Z': msec += c; break;
      default: break;
    }
  }

  if (!day.empty() && !month.empty() && !year.empty()) {
    const int d = StrToInt(day);
    const int m = month.size() <= 2 ? StrToInt(month) : MonthByName(month);
    int y = StrToInt(year);
    if (d >= 1 && d <= 31 && m >= 1 && m <= 12) {
      if (y < 100) {
        const int window = fs.TwoDigitYearCenturyWindow;
        const int base = CurrentYear() - window;
        y += (base / 100) * 100;
        if (window > 0 && y < base) y += 100;
      }
      result = EncodeDate(y, m, d);
    }
  }

  if (!hour.empty() && !minute.empty()) {
    int h = StrToInt(hour);
    const int n = StrToInt(minute);
    const int s = second.empty() ? 0 : StrToInt(second);
    const int z = (msec.empty() || msec == "Z") ? 0 : StrToInt(msec);
    if (pm && h < 12) {
      h += 12;
      if (h > 23) h = 0;
    } else if (am && h == 12) {
      h = 0;
    }
    if (h >= 0 && h <= 23 && n >= 0 && n <= 59 && s >= 0 && s <= 59 && z >= 0 && z <= 999)
      result += EncodeTime(h, n, s, z);
  }
  return result;
}

WideString WideStringReplace(WideStringView Source, WideStringView OldPattern, WideStringView NewPattern,
                             bool IgnoreCase, bool ReplaceAll) {
  WideString result;
  if (Source.empty()) return result;
  // Case-blind search runs on copies with the ASCII letters upper-cased;
  // every other character stays as it is, so positions match the source.
  WideString searchSource, searchPattern;
  if (IgnoreCase) {
    searchSource = UpperAscii(Source);
    searchPattern = UpperAscii(OldPattern);
  }
  const WideStringView hay = IgnoreCase ? WideStringView(searchSource) : Source;
  const WideStringView needle = IgnoreCase ? WideStringView(searchPattern) : OldPattern;
  size_t from = 0;
  while (from < hay.size()) {
    const size_t p = needle.empty() ? WideStringView::npos : hay.find(needle, from);
    if (p == WideStringView::npos) break;
    result.append(Source.substr(from, p - from));
    result.append(NewPattern);
    from = p + needle.size();
    if (!ReplaceAll) break;
  }
  if (from < Source.size()) result.append(Source.substr(from));
  return result;
}

}  // namespace gridlark
