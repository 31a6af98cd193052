// Whole .xlsx files written by real producers: the committed fixtures (see
// tests/fixtures/xlsx/make_fixtures.sh), the shared corpus, and the pages
// the built program makes of them.
#include <gtest/gtest.h>

#include "TestSupport.h"
#include "XlsxPackage.h"

namespace gridlark::test {
namespace {

using Expect = ExpectCell;

void CheckFile(const std::string& path, std::initializer_list<const char16_t*> captions,
               std::initializer_list<Expect> cells) {
  TMSExcelX x;
  CheckWorkbook(x, path, captions, cells);
}

TEST(XlsxFiles, ProducersFixtures) {
  // The same workbook from five producers; openpyxl writes no formula result.
  for (const char* producer : {"sheetjs", "openpyxl", "xlsxwriter", "gnumeric", "libreoffice"}) {
    SCOPED_TRACE(producer);
    CheckFile(FixturePath(std::string("xlsx/") + producer + ".xlsx"), {u"Data", u"Zweite"},
              {{0, 0, 0, "Text"},      {0, 1, 0, "Grüße €"}, {0, 1, 1, "1.5"},          {0, 1, 2, "3/15/2023"},
               {0, 1, 3, "True"},      {0, 1, 4, "25"},      {0, 2, 0, "два\nlines"},   {0, 2, 1, "-42"},
               {0, 2, 2, "12/31/1999"}, {0, 2, 3, "False"},  {0, 2, 4, "#DIV/0!"},      {1, 0, 0, "second"},
               {1, 0, 1, "2"}});
    if (std::string(producer) != "openpyxl") CheckFile(FixturePath(std::string("xlsx/") + producer + ".xlsx"),
                                                       {u"Data", u"Zweite"}, {{0, 1, 5, "3"}});
  }
}

TEST(XlsxFiles, Corpus) {
  REQUIRE_CORPUS();
  const auto path = [](const char* name) { return CorpusPath(name); };
  CheckFile(path("xlsx/1904.xlsx"), {u"Sheet1"}, {{0, 0, 1, "1/2/1904"}, {0, 1, 0, "11"}, {0, 1, 1, "1/12/1904"}});
  CheckFile(path("xlsx/InlineStrings.xlsx"), {u"Sheet1", u"Sheet2", u"Sheet3"},
            {{0, 0, 2, "Inline Strings"}, {0, 1, 2, "1st Inline String"}, {0, 1, 1, "A"}});
  CheckFile(path("xlsx/Test_git_issue_385_backslash.xlsx"), {u"Sheet1"}, {{0, 0, 0, "col1"}, {0, 1, 0, "10x10"}});
  CheckFile(path("xlsx/WithChartSheet.xlsx"),
            {u"Sheet1", u"Sheet6", u"Sheet5", u"Sheet4", u"Sheet3", u"Sheet2", u"Chart2"},
            {{0, 1, 2, "889017"}, {0, 1, 3, "1140362.5"}, {1, 2, 1, "Year"}, {6, 0, 0, "<hole>"}});
  CheckFile(path("xlsx/issues.xlsx"), {u"datatypes", u"Sheet1", u"issue2", u"issue5", u"issue6", u"spc_chrs"},
            {{0, 3, 0, "False"}, {0, 5, 0, "10/20/2016"}, {5, 0, 0, "&"}, {5, 3, 0, "aaa ' aaa"}, {5, 5, 0, "☺"}});
  CheckFile(path("xlsx/reordered_sheets.xlsx"), {u"Sheet4", u"Sheet2", u"Sheet3", u"Sheet1"},
            {{0, 0, 0, "<hole>"}, {1, 0, 0, "sheet2"}, {2, 0, 0, "sheet3"}});
  CheckFile(path("xlsx/rich_text_stress.xlsx"), {u"Sheet1"}, {{0, 1, 1, "this text is bold, sure enough"}});
  CheckFile(path("xlsx/strict_iso_paths.xlsx"), {u"ml_out"}, {{0, 0, 0, "Item"}});
  CheckFile(path("xlsx/unicode_shift_jis.xlsx"), {u"Sheet1"}, {{0, 2, 0, "型番"}});
  CheckFile(path("xlsx/wtf_path.xlsx"), {u"SheetJS", u"Hidden"}, {{0, 1, 0, "True"}, {0, 1, 3, "sheetjs"}});
  CheckFile(path("xlsx/xlsx-stream-d-date-cell.xlsx"), {u"Sheet1"},
            {{0, 0, 2, "&'\";<>"}, {0, 0, 3, "&amp;"}, {0, 4, 1, "2/14/2014 8:27:49 AM"}, {0, 10, 1, "String1"}});
  CheckFile(path("xlsm/macro01.xlsm"), {u"Sheet1"}, {{0, 0, 0, "123"}});
  CheckFile(path("xlsm/number_format_russian.xlsm"),
            {u"Implied", u"ImpliedNegative", u"2011", u"Miscellany", u"SSF"}, {{0, 20, 3, "12\u00A0346 "}});
  CheckFile(path("xlsm/BlankSheetTypes.xlsm"), {u"Sheet1", u"Chart1", u"Macro1", u"Dialog1"}, {});

  for (const char* encrypted : {"xlsx/60320-protected.xlsx", "xlsx/protect.xlsx", "xlsb/protected_passtika.xlsb"}) {
    TMSExcelX x;
    EXPECT_THROW(x.LoadFromFile(path(encrypted)), EVoxUnknownEncryptionException) << encrypted;
  }
  TMSExcelX xls;
  EXPECT_THROW(xls.LoadFromFile(path("xlsx/type_excel.xlsx")), EVoxFileFormatException);
}

std::string Page(const std::string& path, const std::string& body) {
  return "Content-Type: text/html\r\n\r\n<html>\r\n<head>\r\n"
         "<meta name=\"GENERATOR\" content=\"Gridlark 3.0 conversion\">\r\n"
         "<title>Gridlark 3.0 conversion, " + path.substr(0, path.rfind('/') + 1) + "</title>\r\n"
         "</head>\r\n<body>\r\n" + body + "<hr>\r\n</body>\r\n</html>\r\n";
}

TEST(XlsxPage, SheetOfAWorkbook) {
  const std::string path = FixturePath("xlsx/xlsxwriter.xlsx");
  const std::string row = "  <tr>\r\n";
  const std::string end = "  </tr>\r\n";
  EXPECT_EQ(RunCgi("filename=" + path + "&sheet=0&hideabout=1"),
            Page(path, "<h1 align=\"center\">Data</h1>\r\n<table border=\"1\">\r\n" + row +
                           "    <td>Text</td>\r\n    <td>Number</td>\r\n    <td>Date</td>\r\n    <td>Bool</td>\r\n"
                           "    <td>&nbsp</td>\r\n    <td>&nbsp</td>\r\n" + end + row +
                           "    <td>Gr\xFC\xDF" "e \x80</td>\r\n    <td align=\"right\">1.5</td>\r\n"
                           "    <td>3/15/2023</td>\r\n    <td>True</td>\r\n    <td align=\"right\">25</td>\r\n"
                           "    <td align=\"right\">3</td>\r\n" + end + row +
                           "    <td>&#1076;&#1074;&#1072;\nlines</td>\r\n    <td align=\"right\">-42</td>\r\n"
                           "    <td>12/31/1999</td>\r\n    <td>False</td>\r\n    <td>#DIV/0!</td>\r\n"
                           "    <td>&nbsp</td>\r\n" + end + "</table>\r\n"));
}

TEST(XlsxPage, WorkbooksThatCannotBeShown) {
  const std::string xlsb = WriteTempFile("page.xlsb", Package({{"xl/workbook.bin", "x"}}));
  EXPECT_EQ(RunCgi("filename=" + xlsb + "&hideabout=1"),
            Page(xlsb, "<h1>Binary Excel workbooks (.xlsb) cannot be read yet.</h1>\r\n"));
  const std::string junk = WriteTempFile("junk.xlsx", {'n', 'o', ' ', 'z', 'i', 'p'});
  EXPECT_EQ(RunCgi("filename=" + junk + "&hideabout=1"),
            Page(junk, "<h1>Invalid file version or file format.</h1>\r\n"));
}

}  // namespace
}  // namespace gridlark::test
