#include "text/VoxPars.h"

#include <gtest/gtest.h>

#include <cmath>

#include "platform/DateTime.h"
#include "platform/Exceptions.h"

namespace gridlark {
namespace {

TDateTime Date(int y, int m, int d) { return EncodeDate(y, m, d); }
TDateTime Time(int h, int n, int s = 0, int z = 0) { return EncodeTime(h, n, s, z); }

TEST(ParseDateTimeText, ReadsFieldsAgainstThePicture) {
  const int cy = CurrentYear();
  // The two-digit window puts 23 into the hundred years starting 50 years back.
  const int y23 = (cy - 50) / 100 * 100 + 23 + (((cy - 50) / 100 * 100 + 23) < cy - 50 ? 100 : 0);
  struct Case {
    const char* text;
    const char* picture;
    char dateSep;
    TDateTime expected;
  } cases[] = {
      {"2023-05-17", "yyyy/mm/dd", '-', Date(2023, 5, 17)},
      {"2023-05-17T10:20:30", "yyyy/mm/dd", '-', Date(2023, 5, 17)},  // text beyond the picture is ignored
      {"17/5/2023", "DD/MM/YYYY", '/', Date(2023, 5, 17)},            // short field lines up at its separator
      {"17-MAY-23", "dd-mmm-yy", '-', Date(y23, 5, 17)},
      {"3-january-2020", "dd-mmmmmmm-yyyy", '-', Date(2020, 1, 3)},
      {"17-FOO-23", "dd-mmm-yy", '-', 0},                              // unknown month name: no date
      {"32/01/2020", "dd/mm/yyyy", '/', 0},                            // day out of range: no date
      {"10:30", "dd/mm/yyyy hh:nn", '/', Time(10, 30)},                // time alone against the time part
      {"01/02/2020 10:30:15", "dd/mm/yyyy hh:nn:ss", '/', Date(2020, 2, 1) + Time(10, 30, 15)},
      {"01/02/2020 24:00", "dd/mm/yyyy hh:nn", '/', Date(2020, 2, 1)}, // hour 24: the time is dropped
      {"10:60", "hh:nn", '/', 0},
      {"10:20:30.250", "hh:nn:ss.zzz", '-', Time(10, 20, 30, 250)},
  };
  for (const Case& c : cases)
    EXPECT_NEAR(ParseDateTimeText(c.text, c.picture, c.dateSep, ':'), c.expected, 1e-9) << c.text;
}

TEST(ParseDateTimeText, AmAndPmDesignators) {
  EXPECT_NEAR(ParseDateTimeText("7:05 PM", "hh:nn", '/', ':'), Time(19, 5), 1e-9);
  EXPECT_NEAR(ParseDateTimeText("12:30 AM", "hh:nn", '/', ':'), Time(0, 30), 1e-9);
  EXPECT_NEAR(ParseDateTimeText("12:30 PM", "hh:nn", '/', ':'), Time(12, 30), 1e-9);
}

TEST(ParseDateTimeText, FieldsThatAreNoNumbersRaise) {
  EXPECT_THROW(ParseDateTimeText("xx/05/2020", "dd/mm/yyyy", '/', ':'), EConvertError);
  EXPECT_THROW(ParseDateTimeText("01/05/20a0", "dd/mm/yyyy", '/', ':'), EConvertError);
  try {
    ParseDateTimeText("31/04/2020", "dd/mm/yyyy", '/', ':');
    FAIL() << "31 April was accepted";
  } catch (const EConvertError& e) {
    EXPECT_STREQ(e.what(), "Invalid argument to date encode");
  }
}

TEST(WideStringReplace, FirstOrEveryOccurrence) {
  struct Case {
    const char16_t *source, *old, *replacement;
    bool ignoreCase, all;
    const char16_t* expected;
  } cases[] = {
      {u"1.5", u".", u",", false, true, u"1,5"},
      {u"1.2.3", u".", u",", false, false, u"1,2.3"},
      {u"abcABC", u"b", u"x", true, true, u"axcAxC"},
      {u"abcABC", u"b", u"x", false, true, u"axcABC"},
      {u"a\nb\nc", u"\n", u"\r\n", true, true, u"a\r\nb\r\nc"},
      {u"", u"a", u"b", false, true, u""},
      {u"abc", u"", u"x", false, true, u"abc"},
      {u"aaa", u"aa", u"b", false, true, u"ba"},
      // Characters beyond the ANSI code page are compared as themselves.
      {u"\u0416\u042F", u"\u042F", u"x", true, true, u"\u0416x"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(WideStringReplace(c.source, c.old, c.replacement, c.ignoreCase, c.all), c.expected);
}

}  // namespace
}  // namespace gridlark
