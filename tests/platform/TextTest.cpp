#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "platform/AnsiText.h"
#include "platform/Exceptions.h"
#include "platform/Locale.h"
#include "platform/NumberText.h"

using namespace gridlark;

TEST(AnsiText, EveryByteRoundTripsThroughWideText) {
  for (int b = 0; b < 256; ++b) {
    const std::string narrow(1, char(b));
    const WideString wide = AnsiToWide(narrow);
    ASSERT_EQ(wide.size(), 1u);
    EXPECT_EQ(WideToAnsi(wide), narrow) << b;
  }
  EXPECT_EQ(AnsiToWide("\x80\x81\x9F\xE9"), u"\u20AC\u0081\u0178\u00E9");
  EXPECT_EQ(WideToAnsi(u"a\u4E2Db", '?'), "a?b");
}

TEST(AnsiText, Utf8DecodingKeepsEveryCharacterAndReplacesOnlyBadSequences) {
  struct Case {
    std::string in;
    WideString out;
    bool valid;
  } cases[] = {
      {"\xC3\xA9", u"\u00E9", true},
      {"\xE2\x82\xAC", u"\u20AC", true},
      {"\xF0\x9F\x98\x80", u"\U0001F600", true},
      {"a\xC3", u"a\uFFFD", false},                // cut off
      {"\xC3" "A", u"\uFFFDA", false},             // missing continuation
      {"\xC0\xAF", u"\uFFFD\uFFFD", false},        // overlong: bad lead, stray byte
      {"\xED\xA0\x80x", u"\uFFFDx", false},        // encoded surrogate
      {"\x80x", u"\uFFFDx", false},                // stray continuation
  };
  for (const auto& c : cases) {
    WideString out;
    EXPECT_EQ(Utf8ToWide(c.in, out), c.valid) << c.in;
    EXPECT_EQ(out, c.out) << c.in;
  }
  EXPECT_EQ(WideToUtf8(u"\u00E9\U0001F600"), "\xC3\xA9\xF0\x9F\x98\x80");
}

TEST(AnsiText, CaseAndTrim) {
  EXPECT_EQ(UpperAscii("ab\xE9z"), "AB\xE9Z");
  EXPECT_EQ(LowerAscii("FileName=Book.XLSX"), "filename=book.xlsx");
  EXPECT_TRUE(SameTextAscii("xl/Workbook.xml", "XL/WORKBOOK.XML"));
  EXPECT_FALSE(SameTextAscii("\xE9", "\xC9"));
  EXPECT_EQ(Trim(std::string_view("\t a b \r\n")), "a b");
}

TEST(NumberText, FloatTextHasFifteenDigitsInShortestForm) {
  struct Case {
    double v;
    const char* text;
  } cases[] = {
      {0, "0"},          {-0.0, "0"},          {1, "1"},
      {-2.5, "-2.5"},    {0.1, "0.1"},         {1.0 / 3, "0.333333333333333"},
      {1e20, "1E20"},    {1.5e-7, "1.5E-7"},   {123456789012345, "123456789012345"},
      {1e15, "1E15"},    {0.0001, "0.0001"},   {0.00001, "1E-5"},
      {12345.678, "12345.678"},                {-1.25e100, "-1.25E100"},
  };
  for (const auto& c : cases) EXPECT_EQ(FloatToText(c.v), c.text) << c.v;
}

TEST(NumberText, FloatTextFollowsTheLocaleSeparator) {
  FormatSettings().DecimalSeparator = ',';
  EXPECT_EQ(FloatToText(1.5), "1,5");
  double v = 0;
  EXPECT_TRUE(TryStrToFloat(std::string_view("2,25"), v));
  EXPECT_DOUBLE_EQ(v, 2.25);
  EXPECT_FALSE(TryStrToFloat(std::string_view("2.25"), v));
  FormatSettings().DecimalSeparator = '.';
}

TEST(NumberText, IntegerText) {
  struct Case {
    const char* text;
    bool ok;
    int32_t value;
  } cases[] = {
      {"12", true, 12},       {"-3", true, -3},          {"+4", true, 4},
      {" 5", true, 5},        {"$1F", true, 31},         {"0x10", true, 16},
      {"$FFFFFFFF", true, -1}, {"2147483647", true, INT32_MAX}, {"2147483648", false, 0},
      {"", false, 0},         {"abc", false, 0},         {"1.5", false, 0},
      {"12 ", false, 0},      {"-", false, 0},
  };
  for (const auto& c : cases) {
    int32_t v = 0;
    EXPECT_EQ(TryStrToInt(std::string_view(c.text), v), c.ok) << c.text;
    if (c.ok) { EXPECT_EQ(v, c.value) << c.text; }
  }
  try {
    StrToInt(std::string_view("x1"));
    ADD_FAILURE();
  } catch (const EConvertError& e) {
    EXPECT_STREQ(e.what(), "'x1' is not a valid integer value");
  }
}

TEST(NumberText, FloatTextAgreesWithTheLibraryOnManyValues) {
  // Every double written with 15 significant digits, as the C library rounds
  // them, across magnitudes and with values near rounding ties.
  uint64_t state = 0x9E3779B97F4A7C15ull;
  auto next = [&] {
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    return state;
  };
  for (int i = 0; i < 200000; ++i) {
    double v;
    switch (i % 4) {
      case 0: {
        const uint64_t bits = next() & 0x7FEFFFFFFFFFFFFFull;  // any finite double
        std::memcpy(&v, &bits, sizeof v);
        break;
      }
      case 1: v = double(next() % 100000000) / 1000.0; break;                    // prices and counts
      case 2: v = (double(next() % 2000000) - 1e6) * std::pow(10.0, int(next() % 30) - 15); break;
      default: v = double(next() % 1000000000000000ull) + 0.5; break;           // ties at the 15th digit
    }
    char ref[64];
    std::snprintf(ref, sizeof ref, "%.15G", v);
    // %G writes E+20 / E-07; our form is E20 / E-7.
    std::string expected(ref);
    if (const size_t e = expected.find('E'); e != std::string::npos) {
      std::string exp = expected.substr(e + 1);
      const bool neg = exp[0] == '-';
      exp = exp.substr(1);
      exp.erase(0, std::min(exp.find_first_not_of('0'), exp.size() - 1));
      expected = expected.substr(0, e + 1) + (neg ? "-" : "") + exp;
    }
    ASSERT_EQ(FloatToText(v), expected) << std::hexfloat << v;
  }
}
