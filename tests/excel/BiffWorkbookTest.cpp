// Workbook streams of compound documents: BIFF5 and BIFF8 globals, sheet
// boundaries, shared strings, formula results and the error messages.
#include <gtest/gtest.h>

#include <memory>

#include "BiffWriter.h"
#include "excel/VoXLS.h"

namespace gridlark {
namespace {

using test::Biff8Text;
using test::BiffWriter;
using test::Bytes;
using test::CellText;

std::unique_ptr<TMSExcel> LoadBook(const std::vector<uint8_t>& bytes, std::u16string_view name = u"Workbook",
                                   int32_t selected = -1) {
  auto x = std::make_unique<TMSExcel>();
  x->SelectedSheet = selected;
  x->Load();
  x->ReadWorkbookStream(ByteView(bytes), name);
  return x;
}

Bytes Cell(uint16_t row, uint16_t col, uint16_t xf = 0) { return Bytes().u16(row).u16(col).u16(xf); }

// A BIFF8 workbook: a worksheet, a chart sheet and a second worksheet.
struct Biff8Book {
  BiffWriter w;
  size_t sheetOffsets[3];

  explicit Biff8Book(bool excel9 = false) {
    w.Bof(0x0809, 0x0600, 0x0005);
    if (excel9) w.Rec(0x01C0, Bytes());
    w.Rec(0x0042, Bytes().u16(1200));
    Bytes fmt;
    fmt.u16(164);
    w.Rec(0x041E, Biff8Text(fmt, u"0.0%"));
    w.Rec(0x00E0, Bytes().u16(0).u16(0).u16(0).u16(0).zeros(12));    // XF 0: General
    w.Rec(0x00E0, Bytes().u16(0).u16(14).u16(0).u16(3).zeros(12));   // XF 1: date, right
    w.Rec(0x00E0, Bytes().u16(0).u16(164).u16(0).u16(6).zeros(12));  // XF 2: percent, centre across
    const char16_t* names[3] = {u"\u0414\u0430\u043D\u043D\u044B\u0435", u"Chart1", u"Second"};
    const uint8_t kinds[3] = {0, 2, 0};
    for (int i = 0; i < 3; ++i) {
      sheetOffsets[i] = w.Pos() + 4;
      Bytes b;
      b.u32(0).u8(0).u8(kinds[i]);
      w.Rec(0x0085, Biff8Text(b, names[i], false));
    }
    // Shared strings; the second one starts 16-bit and goes on 8-bit in a CONTINUE.
    Bytes sst;
    sst.u32(2).u32(2);
    Biff8Text(sst, u"one\nline");
    sst.u16(5).u8(1).u16(0x20AC).u16('x');
    w.Rec(0x00FC, sst);
    w.Rec(0x003C, Bytes().u8(0).str("yzw"));
    w.Eof();

    w.PatchU32(sheetOffsets[0], uint32_t(w.Pos()));
    w.Bof(0x0809, 0x0600, 0x0010);
    w.Rec(0x0200, Bytes().u32(0).u32(4).u16(0).u16(6).u16(0));
    w.Rec(0x00FD, Cell(0, 0).u32(0));
    w.Rec(0x00FD, Cell(0, 1).u32(1));
    w.Rec(0x00FD, Cell(0, 2).u32(7));  // beyond the table: empty text
    w.Rec(0x00BD, Bytes().u16(1).u16(3).u16(0).u32(0x3FF00000).u16(0).u32(0x00000006).u16(2).u32(0x3FD00000).u16(5));
    w.Rec(0x0203, Cell(2, 0, 2).f64(0.25));
    w.Rec(0x0203, Cell(2, 1, 1).f64(0.25));
    w.Rec(0x027E, Cell(2, 2, 0).u32(0x0000000F));
    w.Rec(0x0205, Cell(2, 3).u8(7).u8(1));
    const auto formula = [&](uint16_t col, uint8_t kind, uint8_t value) {
      w.Rec(0x0006, Cell(3, col).u8(kind).u8(0).u8(value).u8(0).u16(0).u16(0xFFFF).u16(0).u32(0).u16(0));
    };
    Bytes str;
    formula(0, 0, 0);
    w.Rec(0x0207, Biff8Text(str, u"\u00FC\u20AC"));
    formula(1, 0, 0);
    w.Rec(0x04BC, Bytes().zeros(10));
    str = Bytes();
    w.Rec(0x0207, Biff8Text(str, u"shared"));
    formula(2, 0, 0);
    w.Rec(0x0221, Bytes().zeros(12));
    str = Bytes();
    w.Rec(0x0207, Biff8Text(str, u"array"));
    formula(3, 1, 1);
    formula(4, 2, 0x0F);
    formula(5, 3, 0);  // empty text: nothing shown
    w.Rec(0x0006, Cell(3, 6, 1).f64(45000.25).u16(0).u32(0).u16(0));
    Bytes label = Cell(4, 0);
    w.Rec(0x0204, Biff8Text(label, u"\u0416 wide"));
    w.Eof();

    w.PatchU32(sheetOffsets[1], uint32_t(w.Pos()));
    w.Bof(0x0809, 0x0600, 0x0020);
    w.Rec(0x0203, Cell(9, 9).f64(99));  // chart records are not cells
    w.Eof();

    w.PatchU32(sheetOffsets[2], uint32_t(w.Pos()));
    w.Bof(0x0809, 0x0600, 0x0010);
    w.Rec(0x0203, Cell(0, 0).f64(42));
    // An embedded chart: the sheet goes on after it.
    w.Bof(0x0809, 0x0600, 0x0020);
    w.Eof();
    w.Rec(0x0203, Cell(1, 0).f64(43));
    w.Eof();
  }
};

TEST(BiffWorkbook, Biff8CellsStringsAndFormulaResults) {
  const Biff8Book book;
  const auto x = LoadBook(book.w.data);
  EXPECT_EQ(x->Version, evExcel7);
  ASSERT_EQ(x->Sheets.Count(), 2);
  EXPECT_EQ(x->Sheets.Items(0).Caption, u"\u0414\u0430\u043D\u043D\u044B\u0435");
  EXPECT_EQ(x->Sheets.Items(1).Caption, u"Second");  // not the chart's name
  const TSpreadSheetCells& c = x->Sheets.Items(0).Cells;
  struct {
    int row, col;
    const char* text;
  } expected[] = {
      {0, 0, "one\r\nline"}, {0, 1, "\u20ACxyzw"}, {0, 2, ""}, {1, 3, "1"}, {1, 4, "1"}, {1, 5, "25"},
      {2, 0, "25"}, {2, 1, "6:00:00 AM"}, {2, 2, "0.03"}, {2, 3, "#DIV/0!"},
      {3, 0, "\u00FC\u20AC"}, {3, 1, "shared"}, {3, 2, "array"}, {3, 3, "True"}, {3, 4, "#VALUE!"},
      {3, 5, "<hole>"}, {3, 6, "3/15/2023 6:00:00 AM"}, {4, 0, "\u0416 wide"},
  };
  for (const auto& e : expected) EXPECT_EQ(CellText(c, e.row, e.col), e.text) << e.row << "," << e.col;
  EXPECT_EQ(c.Items(2).Cols.GetCell(0)->Alignment, taCenter);
  EXPECT_EQ(c.Items(2).Cols.GetCell(1)->Alignment, taRightJustify);
  EXPECT_EQ(c.Items(2).Cols.GetCell(1)->CellType, ictDateTime);
  EXPECT_EQ(c.RowCount, 5);
  const TSpreadSheetCells& second = x->Sheets.Items(1).Cells;
  EXPECT_EQ(CellText(second, 0, 0), "42");
  EXPECT_EQ(CellText(second, 1, 0), "43");
  EXPECT_EQ(CellText(second, 9, 9), "<hole>");
}

TEST(BiffWorkbook, Excel9FileAndDateMode) {
  Biff8Book book(true);
  EXPECT_EQ(LoadBook(book.w.data)->Version, evExcel9);
  BiffWriter w;
  w.Bof(0x0809, 0x0500, 0x0005).Rec(0x0022, Bytes().u16(1)).Rec(0x00E0, Bytes().u16(0).u16(14).zeros(12)).Eof();
  w.Bof(0x0809, 0x0500, 0x0010).Rec(0x0203, Cell(0, 0, 0).f64(0)).Eof();
  const auto x = LoadBook(w.data, u"Book");
  EXPECT_EQ(x->Version, evExcel5);
  EXPECT_EQ(CellText(x->Sheets.GetSheet(0).Cells, 0, 0), "1/1/1904");
}

TEST(BiffWorkbook, SelectedSheetSkipsTheOthers) {
  const Biff8Book book;
  for (const int32_t selected : {0, 1}) {
    int records = 0;
    auto x = std::make_unique<TMSExcel>();
    x->SelectedSheet = selected;
    x->OnRecord = [&](TCustomSpreadSheetFile*, TBIFFRecordHeader h, std::span<const uint8_t>) { records++; };
    x->Load();
    x->ReadWorkbookStream(ByteView(book.w.data), u"Workbook");
    ASSERT_EQ(x->Sheets.Count(), 2) << selected;
    EXPECT_EQ(x->Sheets.Items(1).Caption, u"Second");
    EXPECT_EQ(CellText(x->Sheets.Items(0).Cells, 4, 0), selected == 0 ? "\u0416 wide" : "<hole>");
    EXPECT_EQ(CellText(x->Sheets.Items(1).Cells, 1, 0), selected == 1 ? "43" : "<hole>");
    EXPECT_GT(records, 0);
  }
}

TEST(BiffWorkbook, StopsAfterTheLastSheet) {
  Biff8Book book;
  book.w.Bof(0x0809, 0x0600, 0x0010).Rec(0x0203, Cell(0, 0).f64(1)).Eof();
  const auto x = LoadBook(book.w.data);
  EXPECT_EQ(x->Sheets.Count(), 2);
  EXPECT_EQ(x->SheetIndex, 1);
}

TEST(BiffWorkbook, Biff5TextInTheWorkbookCodePage) {
  BiffWriter w;
  w.Bof(0x0809, 0x0500, 0x0005);
  w.Rec(0x0042, Bytes().u16(1253));
  const size_t at = w.Pos() + 4;
  w.Rec(0x0085, Bytes().u32(0).u8(0).u8(0).u8(2).str("\xC1\xE2"));
  w.Rec(0x041E, Bytes().u16(164).u8(6).str("0.00%;"));
  w.Rec(0x00E0, Bytes().u16(0).u16(164).zeros(12));
  w.Eof();
  w.PatchU32(at, uint32_t(w.Pos()));
  w.Bof(0x0809, 0x0500, 0x0010);
  w.Rec(0x0204, Cell(0, 0).u16(3).str("\xE1\xE5\xE3"));
  w.Rec(0x0006, Cell(0, 1).u8(0).u8(0).u8(0).u8(0).u16(0).u16(0xFFFF).u16(0).u32(0).u16(0));
  w.Rec(0x0207, Bytes().u16(2).str("\xF9\xF3"));
  w.Rec(0x0203, Cell(0, 2, 0).f64(0.5));
  w.Eof();
  const auto x = LoadBook(w.data, u"Book");
  EXPECT_EQ(x->Sheets.GetSheet(0).Caption, u"\u0391\u03B2");
  const TSpreadSheetCells& c = x->Sheets.GetSheet(0).Cells;
  EXPECT_EQ(CellText(c, 0, 0), "\u03B1\u03B5\u03B3");
  EXPECT_EQ(CellText(c, 0, 1), "\u03C9\u03C3");
  EXPECT_EQ(CellText(c, 0, 2), "50");  // the format's first character is kept
}

TEST(BiffWorkbook, ErrorsEndTheLoadWithTheirMessages) {
  struct Case {
    const char* name;
    uint16_t type;
    Bytes body;
    const char* message;
  } cases[] = {
      {"encrypted", 0x002F, Bytes().u16(1).zeros(52), "Unknown encryption for data file."},
      {"sst options", 0x00FC, Bytes().u32(1).u32(1).u16(1).u8(0x02).str("a"),
       "String in SST (Options byte is 0x02) can not be processed."},
      {"sst without continue", 0x00FC, Bytes().u32(3).u32(3).u16(1).u8(0).str("a"),
       "CONTINUE record is not found in the stream"},
      {"note object", 0x005D, Bytes().u16(0x15).u16(0x12).u16(0x15).zeros(16), "CMO object type is not supported."},
  };
  for (const Case& c : cases) {
    BiffWriter w;
    w.Bof(0x0809, 0x0600, 0x0005).Rec(c.type, c.body).Eof();
    w.Bof(0x0809, 0x0600, 0x0010).Rec(0x0203, Cell(0, 0).f64(1)).Eof();
    try {
      LoadBook(w.data);
      ADD_FAILURE() << c.name << " loaded";
    } catch (const std::exception& e) {
      EXPECT_STREQ(e.what(), c.message) << c.name;
    }
    // A handler that clears Abort lets the load go on with the next record.
    TMSExcel x;
    int errors = 0;
    x.OnErrorProcess = [&](TCustomSpreadSheetFile*, const std::exception&, bool& abort) {
      ++errors;
      abort = false;
    };
    x.Load();
    x.ReadWorkbookStream(ByteView(w.data), u"Workbook");
    EXPECT_EQ(errors, 1) << c.name;
    EXPECT_EQ(CellText(x.Sheets.GetSheet(0).Cells, 0, 0), "1") << c.name;
    EXPECT_EQ(x.IsEncrypted(), c.type == 0x002F);
  }
}

TEST(BiffWorkbook, HostileRecordsStayInsideTheirBytes) {
  BiffWriter w;
  w.Bof(0x0809, 0x0600, 0x0005);
  w.Rec(0x0085, Bytes().u32(0xFFFFFFF0).u8(0).u8(0).u8(200).u8(1).u16('a'));  // offset and name beyond the data
  w.Rec(0x0085, Bytes().u32(4).u8(0).u8(0).u8(1).u8(0).u8('b'));              // offset pointing backwards
  w.Rec(0x00FC, Bytes().u32(0xFFFFFFFF).u32(0xFFFFFFFF));                    // counts beyond the data
  w.Eof();
  w.Bof(0x0809, 0x0600, 0x0010);
  w.Rec(0x00BD, Bytes().u16(0).u16(0).u16(0).u8(1));   // MULRK too short for one cell
  w.Rec(0x00BE, Bytes().u16(0).u16(0));                // MULBLANK shorter than its header
  w.Rec(0x007D, Bytes().u16(0).u16(0xFFFF).u16(512));  // COLINFO over every column
  w.Rec(0x0006, Cell(0, 1).u8(0).zeros(5).u16(0xFFFF));  // text result at the very end
  for (const int32_t selected : {-1, 0, 1, 5}) {
    TMSExcel x;
    x.SelectedSheet = selected;
    x.LoadNULLs = true;
    x.OnErrorProcess = [](TCustomSpreadSheetFile*, const std::exception&, bool& abort) { abort = false; };
    x.Load();
    x.ReadWorkbookStream(ByteView(w.data), u"Workbook");
    EXPECT_LE(x.Sheets.Count(), 2);
    EXPECT_EQ(x.Sheets.GetSheet(0).ColumnWidths.size(), selected <= 0 ? 256u : 0u) << selected;
  }
}

}  // namespace
}  // namespace gridlark
