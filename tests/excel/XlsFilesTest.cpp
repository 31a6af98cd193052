// Whole .xls files written by real producers: the committed fixtures (see
// tests/fixtures/xls/make_fixtures.sh) and the shared corpus.
#include <gtest/gtest.h>

#include "TestSupport.h"
#include "excel/VoXLS.h"
#include "platform/Streams.h"

namespace gridlark {
namespace {

using test::CellText;

using Expect = test::ExpectCell;

void CheckFile(const std::string& path, std::initializer_list<const char16_t*> captions,
               std::initializer_list<Expect> cells) {
  TMSExcel x;
  test::CheckWorkbook(x, path, captions, cells);
}

TEST(XlsFiles, ProducersFixtures) {
  // The source workbook in every fixture; BIFF5 and BIFF2 from SheetJS
  // carry "_" where it could not write a character, and BIFF2 no formats.
  const std::initializer_list<Expect> full = {
      {0, 0, 0, "Text"},  {0, 1, 0, "Grüße €"}, {0, 1, 1, "1.5"},       {0, 1, 2, "3/15/2023"}, {0, 1, 3, "True"},
      {0, 1, 4, "25"},    {0, 2, 0, "два\r\nlines"}, {0, 2, 2, "12/31/1999"}, {0, 2, 3, "False"},
      {0, 2, 4, "#DIV/0!"}, {1, 0, 0, "second"}, {1, 0, 1, "2"}};
  CheckFile(test::FixturePath("xls/sheetjs_biff8.xls"), {u"Data", u"Zweite"}, full);
  CheckFile(test::FixturePath("xls/gnumeric_biff8.xls"), {u"Data", u"Zweite"}, full);
  CheckFile(test::FixturePath("xls/gnumeric_biff5.xls"), {u"Data", u"Zweite"}, full);
  CheckFile(test::FixturePath("xls/libreoffice_biff8.xls"), {u"Data", u"Zweite"}, full);
  CheckFile(test::FixturePath("xls/sheetjs_biff5.xls"), {u"Data", u"Zweite"},
            {{0, 1, 0, "Gr__e _"}, {0, 1, 2, "3/15/2023"}, {0, 1, 4, "25"}, {0, 2, 4, "#DIV/0!"}, {1, 0, 1, "2"}});
  CheckFile(test::FixturePath("xls/sheetjs_biff2.xls"), {u"Sheet1"},
            {{0, 1, 1, "1.5"}, {0, 1, 2, "45000"}, {0, 2, 1, "-42"}, {0, 2, 3, "False"}, {0, 2, 4, "#DIV/0!"}});
}

TEST(XlsFiles, CompoundDocumentFromAStream) {
  TMSExcel x;
  TFileStream file(test::FixturePath("xls/sheetjs_biff8.xls"));
  x.LoadFromStream(file);
  EXPECT_EQ(CellText(x.Sheets.GetSheet(1).Cells, 0, 0), "second");
  TFileStream plain(test::FixturePath("xls/sheetjs_biff2.xls"));
  EXPECT_THROW(x.LoadFromStream(plain), EOleSysError);
}

TEST(XlsFiles, Corpus) {
  REQUIRE_CORPUS();
  const auto path = [](const char* name) { return test::CorpusPath(std::string("xls/") + name); };
  CheckFile(path("1904.xls"), {u"Sheet1"}, {{0, 0, 1, "1/2/1904"}, {0, 1, 0, "11"}});
  {
    TMSExcel x;
    x.LoadFromFile(path("1904.xls"));
    EXPECT_EQ(x.SummaryInformation.AppName.substr(0, 25), "Microsoft Macintosh Excel");
    x.ParseItems &= ~ipiSummaryInformation;
    x.LoadFromFile(path("1904.xls"));
    EXPECT_EQ(x.SummaryInformation.AppName, "");
  }
  CheckFile(path("as3xls_BIFF2.xls"), {u"Sheet1"}, {{0, 1, 2, "2/22/2007"}, {0, 4, 2, "33"}, {0, 9, 1, "today?"}});
  CheckFile(path("as3xls_BIFF3.xls"), {u"Sheet1"}, {{0, 2, 2, "1/19/2002"}, {0, 3, 2, "Saturday"}});
  CheckFile(path("as3xls_BIFF4.xls"), {u"Sheet1"}, {{0, 1, 2, "2/22/2007"}, {0, 0, 4, "21.0410757253369"}});
  CheckFile(path("CRLFX5_2.XLS"), {u"Sheet1"}, {{0, 0, 1, "abc\r\ndef"}, {0, 1, 1, "abc\r\ndef"}});
  CheckFile(path("CRLFX5_4.XLS"), {u"Sheet1"}, {{0, 1, 1, "abc\r\ndef"}});
  CheckFile(path("numfmt_1_russian.xls"), {u"Sheet1"}, {{0, 3, 1, "1 234 567,89 р."}});
  CheckFile(path("Test95J.xls"), {u"Sheet1-ASC", u"\u6F22\u5B57\u540D"},
            {{0, 1, 1, "3/23/1964"}, {1, 1, 0, "\u6F22\u5B57\u3082\u5165\u308B"}});
  CheckFile(path("TestUnicodeChars.xls"), {u"Sheet1"}, {{0, 1, 2, "\u0163\u015F"}, {0, 1, 4, "\u0415\u0416\u0417"}});
  CheckFile(path("sushi.xls"), {u"Sheet1"}, {{0, 0, 0, "\U0001F363"}});
  CheckFile(path("testEXCEL-charts.xls"), {u"Sheet1", u"Sheet2"}, {{0, 1, 0, "foo"}});
  CheckFile(path("BlankSheetTypes.xls"), {u"Sheet1", u"Macro1", u"Dialog1"}, {});
  CheckFile(path("sst_continue.xls"), {u"Sheet1"},
            {{0, 1, 0, "This is a long string with a serial number at the end 0002"}});
  CheckFile(path("biff5_rich_text_stress.xls"), {u"Sheet1"}, {{0, 1, 1, "this text is bold, sure enough"}});
  CheckFile(path("write_57.xls"), {u"A"}, {{0, 1, 3, "sheetjs"}});
  for (const char* encrypted : {"password_2002_128_strong.xls", "password_2002_40_xor.xls", "xor-encryption-abc.xls"}) {
    TMSExcel x;
    try {
      x.LoadFromFile(path(encrypted));
      ADD_FAILURE() << encrypted << " loaded";
    } catch (const EVoxUnknownEncryptionException& e) {
      EXPECT_STREQ(e.what(), "Unknown encryption for data file.");
    }
  }
  for (const char* other : {"TestFail_Binary.xls", "type_excelx.xls"}) {
    TMSExcel x;
    EXPECT_THROW(x.LoadFromFile(path(other)), EVoxFileFormatException) << other;
  }
}

}  // namespace
}  // namespace gridlark
