#include <gtest/gtest.h>

#include "cgi/gridlark.h"

using namespace gridlark;

namespace {

TRequest Read(const std::string& query) {
  std::string entry = "QUERY_STRING=" + query;
  std::string other = "PATH=/usr/bin";
  char* env[] = {other.data(), entry.data(), nullptr};
  return ReadRequest(env);
}

}  // namespace

TEST(Query, UrlDecode) {
  EXPECT_EQ(UrlDecode("a+b%20c%2fd%2F"), "a b c/d/");
  EXPECT_EQ(UrlDecode("100%%25"), "100%25");  // "%%" is one "%"; the 25 stays
  EXPECT_EQ(UrlDecode("%e2%82%AC"), "\xE2\x82\xAC");
  for (const char* bad : {"%", "a%4", "%zz", "%4g", "x%"}) EXPECT_THROW(UrlDecode(bad), EConvertError) << bad;
}

TEST(Query, KeysAndValues) {
  struct Case {
    const char* query;
    const char* file;
    int32_t sheet;
    bool firstPage, hideAbout;
  } cases[] = {
      {"filename=c%3A%5Cdata%5Cbook.xls&sheet=1", "c:\\data\\book.xls", 1, false, false},
      {"FileName=Book.XLSX", "Book.XLSX", 0, false, false},  // keys in any case, name kept
      {"filename=%22c:\\a.wk1%22", "c:\\a.wk1", 0, false, false},
      {"filename='a.wk1'", "a.wk1", 0, false, false},
      {"filename=a.wk1%26b=2", "a.wk1", 0, false, false},  // an escaped & cuts the name
      {"filename=a%20b.ods&SHEET=$A", "a b.ods", 10, false, false},
      {"sheet=abc&filename=x.xls", "x.xls", 0, false, false},
      {"sheet=&filename=x.xls", "x.xls", 0, false, false},
      {"sheet=-3&filename=x.xls", "x.xls", -3, false, false},
      {"filename=x.xls&firstpage=TRUE&HideAbout=1", "x.xls", 0, true, true},
      {"filename=x.xls&firstpage=0&hideabout=no", "x.xls", 0, false, false},
      {"filename=%zz.xls", "", 0, false, false},  // malformed escape: no file name
      {"filename=a.xls%2", "", 0, false, false},  // cut-short escape
      {"filename=\"", "", 0, false, false},
      {"nothing=here", "", 0, false, false},
  };
  for (const auto& c : cases) {
    const TRequest r = Read(c.query);
    EXPECT_EQ(r.FileName, c.file) << c.query;
    EXPECT_EQ(r.SheetIndex, c.sheet) << c.query;
    EXPECT_EQ(r.FirstPage, c.firstPage) << c.query;
    EXPECT_EQ(r.HideAbout, c.hideAbout) << c.query;
  }
  char* none[] = {nullptr};
  EXPECT_EQ(ReadRequest(none).FileName, "");
}
