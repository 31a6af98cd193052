// The built program answering requests for Lotus files: whole pages.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "LotusWriter.h"

namespace gridlark::test {
namespace {

std::string PageHead(const std::string& path) {
  return "Content-Type: text/html\r\n\r\n<html>\r\n<head>\r\n"
         "<meta name=\"GENERATOR\" content=\"Gridlark 3.0 conversion\">\r\n"
         "<title>Gridlark 3.0 conversion, " + path.substr(0, path.rfind('/') + 1) + "</title>\r\n"
         "</head>\r\n<body>\r\n";
}
const std::string kPageFoot = "<hr>\r\n</body>\r\n</html>\r\n";

TEST(LotusPage, SheetShowsLabelsByPrefixAndNumbersRight) {
  const std::string path = WriteTempFile("budget.wk1", LotusWriter()
                                                           .Bof(0x0406)
                                                           .Wk1Label(0, 0, '^', "Budget")
                                                           .Wk1Label(0, 1, '\'', "Item")
                                                           .Wk1Label(1, 1, '"', "Cost")
                                                           .Wk1Label(0, 2, '\'', "Rent & rates")
                                                           .Wk1Integer(1, 2, 950)
                                                           .Wk1Label(0, 3, '\'', "Food")
                                                           .Wk1Number(1, 3, 412.35)
                                                           .Wk1Label(0, 4, '"', "Total")
                                                           .Wk1Formula(1, 4, 1362.35)
                                                           .Eof()
                                                           .Data());
  const std::string expected = PageHead(path) +
                               "<h1 align=\"center\">Sheet1</h1>\r\n"
                               "<table border=\"1\">\r\n"
                               "  <tr>\r\n    <td align=\"center\">Budget</td>\r\n    <td>&nbsp</td>\r\n  </tr>\r\n"
                               "  <tr>\r\n    <td>Item</td>\r\n    <td align=\"right\">Cost</td>\r\n  </tr>\r\n"
                               "  <tr>\r\n    <td>Rent &amp; rates</td>\r\n    <td align=\"right\">950</td>\r\n"
                               "  </tr>\r\n"
                               "  <tr>\r\n    <td>Food</td>\r\n    <td align=\"right\">412.35</td>\r\n  </tr>\r\n"
                               "  <tr>\r\n    <td align=\"right\">Total</td>\r\n"
                               "    <td align=\"right\">1362.35</td>\r\n"
                               "  </tr>\r\n"
                               "</table>\r\n" +
                               kPageFoot;
  EXPECT_EQ(RunCgi("filename=" + path + "&hideabout=1"), expected);
}

TEST(LotusPage, NamedSheetOfAMultiSheetFile) {
  const std::string path = WriteTempFile("book.wk3", LotusWriter()
                                                         .Bof(0x1000)
                                                         .Wk3SheetName(0, "Q1")
                                                         .Wk3SheetName(1, "Q2")
                                                         .Wk3Label(0, 0, 0, '\'', "first")
                                                         .Wk3Number(1, 1, 1, 2.5)
                                                         .Eof()
                                                         .Data());
  const std::string expected = PageHead(path) +
                               "<h1 align=\"center\">Q2</h1>\r\n"
                               "<table border=\"1\">\r\n"
                               "  <tr>\r\n    <td>&nbsp</td>\r\n    <td>&nbsp</td>\r\n  </tr>\r\n"
                               "  <tr>\r\n    <td>&nbsp</td>\r\n    <td align=\"right\">2.5</td>\r\n  </tr>\r\n"
                               "</table>\r\n" +
                               kPageFoot;
  EXPECT_EQ(RunCgi("filename=" + path + "&sheet=1&hideabout=1"), expected);
}

TEST(LotusPage, UnreadableFilesEndWithTheirMessage) {
  const std::pair<const char*, std::vector<uint8_t>> cases[] = {
      {"Password protected file is not supported.",
       LotusWriter().Bof(0x0404).Wk1Integer(0, 0, 1).Record(0x37, Bytes().u32(0)).Data()},
      {"Invalid file version or file format.", LotusWriter().Bof(0x2222).Wk1Integer(0, 0, 1).Data()},
      {"Floating point overflow",
       LotusWriter().Bof(0x1000).Record(0x17, Bytes().u32(0).u64(1ull << 63).u16(0x7FFE)).Data()},
  };
  for (const auto& [message, bytes] : cases) {
    const std::string path = WriteTempFile("bad.wks", bytes);
    EXPECT_EQ(RunCgi("filename=" + path + "&hideabout=1"),
              PageHead(path) + "<h1>" + message + "</h1>\r\n" + kPageFoot);
  }
}

// The bundled sample that scripts/sample.sh shows.
TEST(LotusPage, SampleBudgetShowsItsFigures) {
  const std::string page = RunCgi("filename=" + std::string(GRIDLARK_SOURCE_DIR) + "/samples/budget.wk1&hideabout=1");
  for (const char* line : {"<h1 align=\"center\">Sheet1</h1>\r\n",
                           "    <td align=\"center\">Household budget, first quarter</td>\r\n",
                           "    <td>Groceries</td>\r\n    <td align=\"right\">412.35</td>\r\n",
                           "    <td align=\"right\">Total</td>\r\n    <td align=\"right\">1877.85</td>\r\n",
                           "    <td align=\"right\">2294.68</td>\r\n  </tr>\r\n</table>\r\n"})
    EXPECT_NE(page.find(line), std::string::npos) << line;
}

}  // namespace
}  // namespace gridlark::test
