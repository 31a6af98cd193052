// Worksheet cells of .xlsx packages: values by type, styles, positions,
// limits, column widths and formula texts.
#include <gtest/gtest.h>

#include <cstdlib>

#include "TestSupport.h"
#include "XlsxPackage.h"

namespace gridlark::test {
namespace {

// Shared strings: a plain item, runs split inside a word, runs with the
// blank in the first one and a phonetic run, an item without text, one after
// it, references that must be decoded once only, and escaped characters.
const char* const kStrings =
    "<si><t>plain</t></si>"
    "<si><r><t>ab</t></r><r><rPr><b/></rPr><t>cd</t></r></si>"
    "<si><r><t xml:space=\"preserve\">Hello </t></r><r><t>World</t></r><rPh sb=\"0\" eb=\"1\"><t>HW</t></rPh></si>"
    "<si/>"
    "<si><t>after empty</t></si>"
    "<si><t>A &amp;#38; B &amp;amp; C</t></si>"
    "<si><t>a_x000D_\nb_x005F_x0041_ _x12_</t></si>";

// Cell formats: 0 General, 1 a built-in date, 2 a built-in percent, 3 a
// custom date and time, 4 a custom number format.
const char* const kNumFmts = "<numFmt numFmtId=\"164\" formatCode=\"yyyy\\-mm\\-dd hh:mm\"/>"
                             "<numFmt numFmtId=\"165\" formatCode=\"#,##0.000\"/>";
const char* const kCellXfs = "<xf numFmtId=\"0\" fontId=\"0\"/><xf numFmtId=\"14\" fontId=\"0\"/>"
                             "<xf numFmtId=\"10\"/><xf numFmtId=\"164\"/><xf numFmtId=\"165\"/>";

std::unique_ptr<TMSExcelX> LoadRows(const std::string& rows) {
  return LoadPackage(Book({rows}, kStrings, kNumFmts, kCellXfs).Bytes());
}

TEST(XlsxCells, ValuesByTypeAndStyle) {
  struct Case {
    const char* cell;  // the <c> element, at column A of its own row
    const char* text;
    TVoxCellType type;
    int32_t format;
  };
  const Case cases[] = {
      {"<c r='A1'><v>1.5</v></c>", "1.5", ictDecimal, -1},
      {"<c r='A1' s='2'><v>0.25</v></c>", "25", ictDecimal, 2},
      {"<c r='A1' s='1'><v>45000</v></c>", "3/15/2023", ictDateTime, 1},
      {"<c r='A1' s='3'><v>45000.5</v></c>", "3/15/2023 12:00:00 PM", ictDateTime, 3},
      {"<c r='A1' s='4'><v>1234.5</v></c>", "1234.5", ictDecimal, 4},
      {"<c r='A1' s='99'><v>7</v></c>", "7", ictDecimal, 99},
      {"<c r='A1' t='n'><v> -1E3 </v></c>", "-1000", ictDecimal, -1},
      {"<c r='A1' t='s'><v>0</v></c>", "plain", ictString, -1},
      {"<c r='A1' t='s' s='1'><v>1</v></c>", "abcd", ictString, -1},
      {"<c r='A1' t='s'><v>2</v></c>", "Hello World", ictString, -1},
      {"<c r='A1' t='s'><v>3</v></c>", "", ictString, -1},
      {"<c r='A1' t='s'><v>4</v></c>", "after empty", ictString, -1},
      {"<c r='A1' t='s'><v>5</v></c>", "A &#38; B &amp; C", ictString, -1},
      {"<c r='A1' t='s'><v>99</v></c>", "", ictString, -1},
      {"<c r='A1' t='str'><f>B1&amp;\"x\"</f><v>R&amp;D &amp;#65;</v></c>", "R&D &#65;", ictString, -1},
      {"<c r='A1' t='str'><v><![CDATA[a<b]]></v></c>", "a<b", ictString, -1},
      {"<c r='A1' t='inlineStr'><is><t>Tom &amp; Jerry &#x41;</t></is></c>", "Tom & Jerry A", ictString, -1},
      {"<c r='A1' t='inlineStr'><is><r><t>ab</t></r><r><rPr/><t xml:space='preserve'>cd </t></r>"
       "<rPh><t>x</t></rPh></is></c>",
       "abcd ", ictString, -1},
      {"<c r='A1' t='e'><v>#N/A</v></c>", "#N/A", ictString, -1},
      {"<c r='A1' t='s'><v>6</v></c>", "a\r\nb_x0041_ _x12_", ictString, -1},
      {"<c r='A1' t='str'><v>x_x0009_y</v></c>", "x\ty", ictString, -1},
      {"<c r='A1' t='d'><v>2023-03-15T13:45:30.25Z</v></c>", "3/15/2023 1:45:30 PM", ictDateTime, -1},
      {"<c r='A1' t='d'><v>2023-03-15T23:59:59.999+02:00</v></c>", "3/16/2023", ictDateTime, -1},
      {"<c r='A1' t='d'><v>2023-03-15</v></c>", "3/15/2023", ictDateTime, -1},
      {"<c r='A1' t='d'><v>1899-12-29T06:00:00</v></c>", "12/29/1899 6:00:00 AM", ictDateTime, -1},
      {"<c r='A1' t='b'><v>1</v></c>", "True", ictBoolean, -1},
      {"<c r='A1' t='b'><v>0</v></c>", "False", ictBoolean, -1},
      {"<c r='A1' t='b'><v>true</v></c>", "False", ictBoolean, -1},
      {"<c r='A1'><f>1+1</f><v>2</v></c>", "2", ictDecimal, -1},
      {"<c r='A1' s='3'><v></v></c>", "", ictEmpty, -1},
      {"<c r='A1'><extLst><v>9</v></extLst><!-- <v>8</v> --><v>1</v></c>", "1", ictDecimal, -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.cell);
    const auto x = LoadRows(std::string("<row r='1'>") + c.cell + "</row>");
    ASSERT_EQ(Cell(*x, 0, 0), c.text);
    const TVoxCell* cell = x->Sheets.Items(0).Cells.GetCell(0, 0);
    EXPECT_EQ(cell->CellType, c.type);
    EXPECT_EQ(cell->FormatIndex, c.format);
    EXPECT_EQ(cell->Alignment, c.type == ictDecimal ? taRightJustify : taLeftJustify);
  }
}

TEST(XlsxCells, NumbersReadToTheNearestDouble) {
  const char* const texts[] = {"0.1", "0.3", "1e-7", "-0", "2.5E+3", "1.23456789e+22", "123456789012345",
                               "1234567890123456", "12345.678900000001", "-98765.432109876543", "9007199254740993",
                               "4.9406564584124654E-324", "1.7976931348623157E308", ".5", "5.", "1E22", "1E23",
                               "0.000000000000000000001", "00012.50", "+7"};
  std::string rows;
  for (size_t i = 0; i < std::size(texts); ++i)
    rows += "<row><c r='A" + std::to_string(i + 1) + "'><v>" + texts[i] + "</v></c></row>";
  const auto x = LoadRows(rows);
  for (size_t i = 0; i < std::size(texts); ++i) {
    const TVoxCell* cell = x->Sheets.Items(0).Cells.GetCell(0, int(i));
    ASSERT_NE(cell, nullptr) << texts[i];
    EXPECT_EQ(cell->Value.Double(), std::strtod(texts[i], nullptr)) << texts[i];
  }
}

TEST(XlsxCells, CellsWithoutValueAreHoles) {
  const auto x =
      LoadRows("<row r='1'><c r='A1' s='1'/><c r='B1' t='s'/><c r='C1'><f>A1</f></c><c r='D1'><v>1</v></c></row>");
  EXPECT_EQ(Cell(*x, 0, 0), "<hole>");
  EXPECT_EQ(Cell(*x, 0, 1), "<hole>");
  EXPECT_EQ(Cell(*x, 0, 2), "<hole>");
  EXPECT_EQ(Cell(*x, 0, 3), "1");
}

TEST(XlsxCells, ValuesThatAreNoNumberEndTheLoad) {
  for (const char* cell : {"<c r='A1'><v>abc</v></c>", "<c r='A1' t='s'><v>x</v></c>"}) {
    try {
      LoadRows(std::string("<row>") + cell + "</row>");
      ADD_FAILURE() << cell << " loaded";
    } catch (const EVariantError& e) {
      EXPECT_STREQ(e.what(), "Invalid variant type conversion");
    }
  }
  EXPECT_THROW(LoadRows("<row><c r='A1' t='d'><v>2023-02-30</v></c></row>"), EConvertError);
  EXPECT_THROW(LoadRows("<row><c r='A1' t='d'><v>2023-0x-01</v></c></row>"), EConvertError);
}

TEST(XlsxCells, AFailingReportIsOfferedToTheErrorHandler) {
  TMSExcelX x;
  std::vector<std::string> seen;
  int errors = 0;
  x.OnCellValue = [&](TCustomSpreadSheetFile*, int32_t, int32_t row, int32_t col, int32_t, const Variant& v, TAlignment,
                      TVoxCellType) {
    if (col == 1) throw EConvertError("refused");
    seen.push_back(std::to_string(row) + "," + std::to_string(col) + "=" + v.AsString());
  };
  x.OnErrorProcess = [&](TCustomSpreadSheetFile*, const std::exception& e, bool& abort) {
    EXPECT_STREQ(e.what(), "refused");
    ++errors;
    abort = false;
  };
  const auto bytes = Book({"<row><c r='A1'><v>1</v></c><c r='B1'><v>2</v></c><c r='C1'><v>3</v></c></row>"}).Bytes();
  TMemoryStream stream(bytes);
  x.LoadFromStream(stream);
  EXPECT_EQ(seen, (std::vector<std::string>{"0,0=1", "0,2=3"}));
  EXPECT_EQ(errors, 1);

  // Without a handler the error ends the load.
  TMSExcelX y;
  y.OnCellValue = x.OnCellValue;
  TMemoryStream again(bytes);
  EXPECT_THROW(y.LoadFromStream(again), EConvertError);
}

TEST(XlsxCells, PositionsWithoutReferencesFollowRowsAndCells) {
  const auto x = LoadRows(
      "<row><c><v>1</v></c><c><v>2</v></c><c><v>3</v></c></row>"
      "<row><c/><c/><c t='s'><v>0</v></c></row>"
      "<row r='5'><c><v>5</v></c></row>"
      "<row><c r='D6'><v>6</v></c><c><v>7</v></c></row>");
  EXPECT_EQ(Cell(*x, 0, 2), "3");
  EXPECT_EQ(Cell(*x, 1, 2), "plain");  // third cell of the second row
  EXPECT_EQ(Cell(*x, 4, 0), "5");      // row numbers skip the rows left out
  EXPECT_EQ(Cell(*x, 5, 3), "6");
  EXPECT_EQ(Cell(*x, 5, 4), "7");      // after a referenced cell, the next column
  EXPECT_EQ(x->Sheets.Items(0).Cells.RowCount, 6);
}

TEST(XlsxCells, CellsBeyondTheFormatsLimitsAreDropped) {
  const auto x = LoadRows(
      "<row r='1'><c r='XFE1'><v>1</v></c><c r='A1048577'><v>2</v></c><c r='B99999999999999'><v>3</v></c>"
      "<c r='C1'><v>4</v></c></row>"
      "<row r='99999999999'><c><v>5</v></c></row><row r='2000000'><c><v>6</v></c></row>"
      "<row r='3'><c r='XFD3'><v>7</v></c></row>");
  const TSpreadSheetCells& cells = x->Sheets.Items(0).Cells;
  EXPECT_EQ(cells.RowCount, 3);
  EXPECT_EQ(cells.ColCount, 16384);
  EXPECT_EQ(Cell(*x, 0, 2), "4");
  EXPECT_EQ(Cell(*x, 2, 16383), "7");
}

TEST(XlsxCells, LastRowOfTheFormatIsKept) {
  const auto x = LoadRows("<row r='1048576'><c r='XFD1048576'><v>1</v></c></row>");
  EXPECT_EQ(Cell(*x, 1048575, 16383), "1");
}

TEST(XlsxCells, PrefixedPartsReadLikeUnprefixedOnes) {
  Book book({""});
  book.extra = {{"xl/worksheets/sheet1.xml",
                 "<x:worksheet xmlns:x='http://schemas.openxmlformats.org/spreadsheetml/2006/main'><x:sheetData>"
                 "<x:row r='2'><x:c r='B2' t='s'><x:v>0</x:v></x:c><x:c t='inlineStr'><x:is><x:r><x:t>in</x:t></x:r>"
                 "<x:r><x:t>line</x:t></x:r></x:is></x:c><x:c s='1'><x:v>45000</x:v></x:c></x:row></x:sheetData>"
                 "</x:worksheet>"},
                {"xl/sharedStrings.xml", "<x:sst xmlns:x='m'><x:si><x:t>plain</x:t></x:si></x:sst>"},
                {"xl/styles.xml", "<x:styleSheet xmlns:x='m'><x:cellXfs><x:xf numFmtId='0'/><x:xf numFmtId='14'/>"
                                  "</x:cellXfs></x:styleSheet>"}};
  const auto x = LoadPackage(book.Bytes());
  EXPECT_EQ(Cell(*x, 1, 1), "plain");
  EXPECT_EQ(Cell(*x, 1, 2), "inline");
  EXPECT_EQ(Cell(*x, 1, 3), "3/15/2023");
}

TEST(XlsxCells, TextInTheDeclaredEncoding) {
  // UTF-8 by default, a byte that is no UTF-8 read in the ANSI code page,
  // and a worksheet that declares a code page.
  const std::string row = "<row><c t='inlineStr'><is><t>Caf\xC3\xA9</t></is></c><c t='inlineStr'><is><t>Caf\xE9</t>"
                          "</is></c></row>";
  Book utf8({row});
  EXPECT_EQ(Cell(*LoadPackage(utf8.Bytes()), 0, 0), "Café");
  EXPECT_EQ(Cell(*LoadPackage(utf8.Bytes()), 0, 1), "Café");
  Book ansi;
  ansi.extra = {{"xl/worksheets/sheet1.xml", "<?xml version='1.0' encoding='windows-1252'?><worksheet><sheetData>" +
                                                 row + "</sheetData></worksheet>"}};
  EXPECT_EQ(Cell(*LoadPackage(ansi.Bytes()), 0, 0), "CafÃ©");
  EXPECT_EQ(Cell(*LoadPackage(ansi.Bytes()), 0, 1), "Café");
}

TEST(XlsxCells, ACutWorksheetKeepsTheCellsBeforeTheCut) {
  const std::string sheet = Worksheet("<row><c r='A1'><v>1</v></c><c r='B1'><v>2</v></c></row>");
  for (size_t cut : {size_t(0), size_t(60), sheet.find("<c r='B1'") + 4, sheet.size() - 10}) {
    Book book;
    book.extra = {{"xl/worksheets/sheet1.xml", sheet.substr(0, cut)}};
    const auto x = LoadPackage(book.Bytes());
    EXPECT_EQ(Cell(*x, 0, 0), cut > sheet.find("</v>") ? "1" : "<hole>") << cut;
  }
}

TEST(XlsxCells, ColumnWidthsAndFormulaTexts) {
  Book book;
  book.extra = {{"xl/worksheets/sheet1.xml",
                 Worksheet("<row r='1'><c r='A1'><f>SUM(B1:B3)&gt;0</f><v>1</v></c><c r='B1'><f t='shared' si='0'/>"
                           "<v>2</v></c></row>",
                           "<cols><col min='2' max='4' width='12.5'/><col min='6' max='99999999' width='1e308'/>"
                           "<col min='7' width='3'/><col min='10' max='9' width='3'/></cols>")}};
  const auto x = LoadPackage(book.Bytes());
  EXPECT_EQ(x->Sheets.Items(0).ColumnWidths, (std::vector<int32_t>{0, 3200, 3200, 3200}));
  ASSERT_EQ(x->FormulaTexts.size(), 2u);
  EXPECT_EQ(x->FormulaTexts[0].FormulaText, u"=SUM(B1:B3)>0");
  EXPECT_EQ(x->FormulaTexts[0].Row, 0);
  EXPECT_EQ(x->FormulaTexts[1].FormulaText, u"=");
  EXPECT_EQ(x->FormulaTexts[1].Col, 1);

  // A width entry as wide as the sheet reports every column once, no more.
  Book wide;
  wide.extra = {{"xl/worksheets/sheet1.xml", Worksheet("", "<cols><col min='0' max='2147483647' width='2'/></cols>")}};
  EXPECT_EQ(LoadPackage(wide.Bytes())->Sheets.Items(0).ColumnWidths.size(), 16384u);
}

TEST(XlsxCells, ParseCellRef) {
  const struct {
    const char* ref;
    int32_t row, col;
  } cases[] = {
      {"A1", 0, 0},       {"$B$7", 6, 1},     {"'C'3", 2, 2},           {"\"AB\"12", 11, 27},
      {"XFD1048576", 1048575, 16383},        {"XFE1", 0, -1},          {"A1048577", -1, 0},
      {"A0", -1, 0},      {"a1", -1, -1},     {"", -1, -1},             {"B", -1, 1},
      {"12", 11, -1},     {"ZZZZZZZZZZZZ1", 0, -1},                     {"B99999999999999999999", -1, 1},
  };
  for (const auto& c : cases) {
    int32_t row = 99, col = 99;
    ParseCellRef(c.ref, row, col);
    EXPECT_EQ(row, c.row) << c.ref;
    EXPECT_EQ(col, c.col) << c.ref;
  }
}

}  // namespace
}  // namespace gridlark::test
