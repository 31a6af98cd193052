#include "platform/CodePage.h"

#include <gtest/gtest.h>

namespace gridlark {
namespace {

TEST(CodePage, DecodesWindowsAndMacPages) {
  struct Case {
    uint32_t page;
    std::string_view bytes;
    const char16_t* expected;
  } cases[] = {
      {1251, "\xCF\xF0\xE8\xE2\xE5\xF2", u"\u041F\u0440\u0438\u0432\u0435\u0442"},
      {1253, "\xC1\xE8\xDE\xED\xE1", u"\u0391\u03B8\u03AE\u03BD\u03B1"},
      {1250, "\x8A\xE8", u"\u0160\u010D"},
      {10000, "caf\x8E", u"caf\u00E9"},
      {32768, "caf\x8E", u"caf\u00E9"},
      {932, "\x93\xFA\x96\x7B" "a", u"\u65E5\u672Ca"},
      {949, "\xC7\xD1", u"\uD55C"},
      // A cut-off double-byte character marks itself and keeps what follows.
      {932, "a\x93", u"a\uFFFD"},
      // Page 1252 and pages unknown here use the lossless ANSI table.
      {1252, "\x80\x81", u"\u20AC\u0081"},
      {4711, "\x80\x81", u"\u20AC\u0081"},
      // A byte the page leaves undefined keeps its number.
      {1251, "\x98", u"\u0098"},
  };
  for (const Case& c : cases) {
    TCodePage page(c.page);
    EXPECT_EQ(page.Decode(c.bytes), c.expected) << c.page;
  }
}

TEST(CodePage, SwitchesBetweenPages) {
  TCodePage page;
  EXPECT_EQ(page.Number(), 1252u);
  page.Select(932);
  EXPECT_TRUE(page.IsMultiByte());
  page.Select(1251);
  EXPECT_FALSE(page.IsMultiByte());
  EXPECT_EQ(page.Decode("\xC0"), u"\u0410");
  page.Select(1);  // unknown: back to ANSI
  EXPECT_EQ(page.Number(), 1252u);
  EXPECT_EQ(page.Decode("\xC0"), u"\u00C0");
}

}  // namespace
}  // namespace gridlark
