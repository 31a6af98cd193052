#include <gtest/gtest.h>

#include <functional>

#include "platform/Exceptions.h"
#include "text/VoxUtils.h"

using namespace gridlark;

namespace {

std::vector<WideString> Texts(const TWideStrings& list) {
  std::vector<WideString> out;
  for (int i = 0; i < list.Count(); ++i) out.push_back(list.Get(i));
  return out;
}

void ExpectIndexError(const std::function<void()>& f) {
  try {
    f();
    ADD_FAILURE() << "no error";
  } catch (const EListError&) {
    ADD_FAILURE() << "a list error, not the plain exception";
  } catch (const Exception& e) {
    EXPECT_STREQ(e.what(), "WideStrings index out of bounds");
  }
}

}  // namespace

TEST(WideStrings, EditsKeepTheAttachedIntegers) {
  TWideStrings list;
  EXPECT_EQ(list.Add(u"a"), 0);
  EXPECT_EQ(list.AddObject(u"b", 7), 1);
  list.Add(u"c");
  list.PutObject(0, 42);

  list.Delete(0);
  EXPECT_EQ(Texts(list), (std::vector<WideString>{u"b", u"c"}));
  list.ReplaceText(0, u"x");
  EXPECT_EQ(Texts(list), (std::vector<WideString>{u"x", u"c"}));
  EXPECT_EQ(list.GetObject(0), 7);
  list.PutText(2, u"d");  // index = Count appends
  list.SetItem(1, u"y", 9);
  EXPECT_EQ(Texts(list), (std::vector<WideString>{u"x", u"y", u"d"}));
  EXPECT_EQ(list.GetObject(1), 9);
  EXPECT_EQ(list.GetObject(2), 0);

  // Reads outside the list give defaults; writes raise.
  EXPECT_EQ(list.Get(-1), u"");
  EXPECT_EQ(list.Get(3), u"");
  EXPECT_EQ(list.GetObject(9), 0);
  ExpectIndexError([&] { list.PutText(4, u"z"); });
  ExpectIndexError([&] { list.PutText(-1, u"z"); });
  ExpectIndexError([&] { list.PutObject(3, 1); });
  ExpectIndexError([&] { list.ReplaceText(3, u"z"); });
  ExpectIndexError([&] { list.Delete(-1); });
  ExpectIndexError([&] { list.Delete(3); });
  EXPECT_EQ(list.Count(), 3);

  list.Clear();
  EXPECT_EQ(list.Count(), 0);
}

TEST(Utf8, StringDecodingKeepsTheTextAroundBadSequences) {
  const struct {
    std::string in;
    WideString out;
  } cases[] = {
      {"", u""},
      {"\xC3\xA9", u"\u00E9"},
      {"\xE2\x82\xAC", u"\u20AC"},
      {"a\xF0\x9F\x98\x80" "b", u"a\U0001F600b"},  // beyond U+FFFF: a surrogate pair
      {"x\xC3", u"x\uFFFD"},                       // cut off at the end
      {"\xC3" "A", u"\uFFFDA"},                    // missing continuation byte
      {"a\x80" "b\xFF" "c", u"a\uFFFDb\uFFFDc"},   // stray bytes
  };
  for (const auto& c : cases) EXPECT_EQ(Utf8StringToWide(c.in), c.out) << c.in;
}

TEST(Utf8, BufferDecodingCountsAndFailsOnBadSequences) {
  const struct {
    std::string in;
    uint32_t result;  // without a Dest
    WideString text;
  } cases[] = {
      {"A\xC3\xA9", 3, u"A\u00E9"},
      {"\xE2\x82\xAC", 2, u"\u20AC"},
      {"\xF0\x9F\x98\x80", 3, u"\U0001F600"},
      {"\xC3", kUtf8Error, u""},
      {"\xC3" "A", kUtf8Error, u""},
      {"\xE2\x82", kUtf8Error, u""},
      {"\xF0\x9F\x98", kUtf8Error, u""},
      {"\xF4\x90\x80\x80", kUtf8Error, u""},  // beyond U+10FFFF
      {"\xF8\x88\x80\x80", kUtf8Error, u""},
      // A stray continuation byte acts as a lead byte.
      {"\x81\x81", 2, u"\u0041"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Utf8BufferToWide(nullptr, 0, c.in.data(), uint32_t(c.in.size())), c.result) << c.in;
    char16_t dest[8] = {u'#', u'#', u'#', u'#', u'#', u'#', u'#', u'#'};
    const uint32_t r = Utf8BufferToWide(dest, 8, c.in.data(), uint32_t(c.in.size()));
    EXPECT_EQ(r, c.result) << c.in;
    if (r != kUtf8Error) {
      EXPECT_EQ(WideString(dest, r), c.text + u'\0') << c.in;
    }
  }
  EXPECT_EQ(Utf8BufferToWide(nullptr, 0, nullptr, 5), 0u);
}

TEST(Utf8, BufferDecodingStopsAtTheDestinationSize) {
  char16_t dest[3] = {u'#', u'#', u'#'};
  // Room for two units and the zero.
  EXPECT_EQ(Utf8BufferToWide(dest, 3, "abcd", 4), 3u);
  EXPECT_EQ(WideString(dest, 3), WideString(u"ab\0", 3));
  // A surrogate pair that does not fit is cut, never written past the end.
  char16_t pair[3] = {u'#', u'#', u'#'};
  EXPECT_EQ(Utf8BufferToWide(pair, 3, "a\xF0\x9F\x98\x80", 5), 3u);
  EXPECT_EQ(pair[0], u'a');
  EXPECT_EQ(pair[2], u'\0');
  char16_t one[1] = {u'#'};
  EXPECT_EQ(Utf8BufferToWide(one, 1, "abc", 3), 1u);
  EXPECT_EQ(one[0], u'\0');
}

TEST(Entities, DecodesTableNamesAndNumbersOnce) {
  const struct {
    WideString in;
    WideString out;
  } cases[] = {
      {u"a&lt;b", u"a<b"},
      {u"&ltx", u"<x"},
      {u"x&nbsp;y", u"xy"},
      {u"&brvbar;&deg;&#176;&plusmn;&para;", u"|\u00B0\u00B0+\u00B6"},
      {u"&amp;&gt;&copy;&quot;&apos;&trade;&car;&ret;", u"&>c\"'T\n\r"},
      {u"&#65;&#66", u"AB"},
      {u"&#x41;", u"A"},
      {u"&#X42", u"B"},
      {u"&#0;", WideString(1, u'\0')},
      {u"&Amp;", u"&Amp;"},              // names are case-sensitive
      {u"&unknown; & &", u"&unknown; & &"},
      // Text produced by a replacement is not decoded again.
      {u"&amp;lt;", u"&lt;"},
      {u"&amp;copy;", u"&copy;"},
      {u"&#38;#65;", u"&#65;"},
      {u"&lt;;", u"<;"},
      // Malformed or too large numbers stay, later references still decode.
      {u"&#;&#65;", u"&#;A"},
      {u"&#65536;&lt;", u"\U00010000<"},            // beyond U+FFFF: a surrogate pair
      {u"&#x1F363;&#1114112;", u"\U0001F363&#1114112;"},  // beyond U+10FFFF stays
      {u"&#xFFFF;&#x;&gt", u"&#xFFFF;&#x;>"},
      {u"&#99999999999999999999;x", u"&#99999999999999999999;x"},
      // The degree row stands for the number 176, not a prefix of another.
      {u"&#1760;", u"\u06E0"},
      {u"&#", u"&#"},
      {u"&", u"&"},
  };
  for (const auto& c : cases) {
    WideString s = c.in;
    DecodeHtmlEntities(s);
    EXPECT_EQ(s, c.out) << WideToUtf8(c.in);
  }
}

TEST(FillText, PadsAndCuts) {
  EXPECT_EQ(RepeatChar('*', 3), "***");
  EXPECT_EQ(RepeatChar('*', 0), "");
  EXPECT_EQ(RepeatChar('*', -2), "");
  EXPECT_EQ(PadTextLeft("ab", 5, '.'), "...ab");
  EXPECT_EQ(PadTextRight("ab", 5, '.'), "ab...");
  EXPECT_EQ(PadTextLeft("abcdef", 3, '.'), "abc");
  EXPECT_EQ(PadTextRight("abcdef", 3, '.'), "abc");
  EXPECT_EQ(PadTextLeft("ab", -1, '.'), "");
}
