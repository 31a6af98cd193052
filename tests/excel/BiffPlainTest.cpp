// Plain BIFF2 to BIFF4 files and BIFF4 workbooks.
#include <gtest/gtest.h>

#include <memory>

#include "BiffWriter.h"
#include "excel/VoXLS.h"

namespace gridlark {
namespace {

using test::BiffWriter;
using test::Bytes;
using test::CellText;

std::unique_ptr<TMSExcel> LoadPlain(const std::vector<uint8_t>& bytes) {
  auto x = std::make_unique<TMSExcel>();
  x->Load();
  x->ReadPlainStream(ByteView(bytes));
  return x;
}

// BIFF2 cell header: row, column, three attribute bytes (XF, format and
// font, alignment).
Bytes Cell2(uint16_t row, uint16_t col, uint8_t format = 0, uint8_t align = 0) {
  return Bytes().u16(row).u16(col).u8(0).u8(format).u8(align);
}

TEST(BiffPlain, Biff2CellsWithTheirFormatsAndAlignment) {
  BiffWriter w;
  w.Bof(0x0009, 2, 0x0010);
  w.Rec(0x0022, Bytes().u16(0));
  // Formats are numbered by the order of their records.
  w.Rec(0x001E, Bytes().u8(7).str("General"));
  w.Rec(0x001E, Bytes().u8(2).str("0%"));
  w.Rec(0x001E, Bytes().u8(6).str("m/d/yy"));
  w.Rec(0x0002, Cell2(0, 0).u16(7));
  w.Rec(0x0002, Cell2(0, 1, 2).u16(45000));
  w.Rec(0x0003, Cell2(1, 0, 1, 3).f64(0.25));
  w.Rec(0x0003, Cell2(1, 1, 0, 2).f64(1.5));
  w.Rec(0x0004, Cell2(1, 2).u8(3).str("a\nb"));
  w.Rec(0x0005, Cell2(2, 0).u8(1).u8(0));
  w.Rec(0x0005, Cell2(2, 1).u8(7).u8(1));
  // Formula with a text result (kind 0, 0xFFFF in the last result bytes), then its STRING.
  w.Rec(0x0006, Cell2(3, 0).u8(0).u32(0).u8(0).u16(0xFFFF).u8(0).u8(0));
  w.Rec(0x0007, Bytes().u8(3).str("txt"));
  w.Rec(0x0006, Cell2(3, 1, 2).f64(45000.5).u8(0).u8(0));
  w.Rec(0x0006, Cell2(3, 2).u8(2).u8(0).u8(42).u8(0).u16(0).u16(0xFFFF).u8(0).u8(0));
  w.Rec(0x0001, Cell2(4, 0));
  w.Eof();
  const auto x = LoadPlain(w.data);
  EXPECT_EQ(x->Version, evExcel2);
  const TSpreadSheetCells& c = x->Sheets.GetSheet(0).Cells;
  EXPECT_EQ(CellText(c, 0, 0), "7");
  EXPECT_EQ(c.Items(0).Cols.GetCell(0)->CellType, ictInteger);
  EXPECT_EQ(CellText(c, 0, 1), "3/15/2023");
  EXPECT_EQ(CellText(c, 1, 0), "25");
  EXPECT_EQ(c.Items(1).Cols.GetCell(0)->Alignment, taRightJustify);
  EXPECT_EQ(c.Items(1).Cols.GetCell(1)->Alignment, taCenter);
  EXPECT_EQ(CellText(c, 1, 2), "a\r\nb");
  EXPECT_EQ(CellText(c, 2, 0), "True");
  EXPECT_EQ(CellText(c, 2, 1), "#DIV/0!");
  EXPECT_EQ(c.Items(2).Cols.GetCell(1)->CellType, ictUnknown);
  EXPECT_EQ(CellText(c, 3, 0), "txt");
  EXPECT_EQ(CellText(c, 3, 1), "3/15/2023 12:00:00 PM");
  EXPECT_EQ(CellText(c, 3, 2), "#N/A");
  EXPECT_EQ(c.RowCount, 4);  // the blank reports nothing
  EXPECT_EQ(c.ColCount, 3);
}

TEST(BiffPlain, BlanksAreReportedAsNullWhenAsked) {
  BiffWriter w;
  w.Bof(0x0009, 2, 0x0010).Rec(0x0001, Cell2(4, 2)).Eof();
  TMSExcel x;
  int nulls = 0;
  x.LoadNULLs = true;
  x.OnCellValue = [&](TCustomSpreadSheetFile*, int32_t, int32_t row, int32_t col, int32_t, const Variant& v,
                      TAlignment, TVoxCellType type) { nulls += v.IsNull() && row == 4 && col == 2 && type == ictEmpty; };
  x.Load();
  x.ReadPlainStream(ByteView(w.data));
  EXPECT_EQ(nulls, 1);
}

TEST(BiffPlain, VersionFromTheFirstRecord) {
  struct Case {
    uint16_t type;
    TExcelVersion version;  // evUnknown: the file is refused
  } cases[] = {{0x0009, evExcel2}, {0x0209, evExcel3}, {0x0409, evExcel4}, {0x0809, evExcel5},
               {0x0609, evUnknown}, {0x0042, evUnknown}};
  for (const Case& c : cases) {
    BiffWriter w;
    w.Bof(c.type, 0, 0x0010).Eof();
    if (c.version == evUnknown) {
      try {
        LoadPlain(w.data);
        ADD_FAILURE() << std::hex << c.type << " was accepted";
      } catch (const EVoxFileFormatException& e) {
        EXPECT_STREQ(e.what(), "Invalid file version or file format.");
      }
    } else {
      EXPECT_EQ(LoadPlain(w.data)->Version, c.version) << std::hex << c.type;
    }
  }
  EXPECT_THROW(LoadPlain({}), EVoxFileFormatException);
}

TEST(BiffPlain, Biff3And4FormatsAndXFs) {
  for (const uint16_t bof : {0x0209, 0x0409}) {
    const uint16_t xf = bof == 0x0209 ? 0x0243 : 0x0443;
    BiffWriter w;
    w.Bof(bof, 0, 0x0010);
    // BIFF4 FORMAT records leave their number word unused.
    const auto format = [&](std::string_view text) {
      if (bof == 0x0209)
        w.Rec(0x001E, Bytes().u8(uint8_t(text.size())).str(text));
      else
        w.Rec(0x041E, Bytes().u16(0).u8(uint8_t(text.size())).str(text));
    };
    format("General");
    format("0.0%");
    format("yyyy-mm-dd");
    for (uint8_t f = 0; f < 3; ++f) w.Rec(xf, Bytes().u8(0).u8(f).zeros(10));
    for (uint16_t col = 0; col < 3; ++col) w.Rec(0x0203, Bytes().u16(0).u16(col).u16(col).f64(0.5));
    w.Eof();
    const auto x = LoadPlain(w.data);
    const TSpreadSheetCells& c = x->Sheets.GetSheet(0).Cells;
    EXPECT_EQ(CellText(c, 0, 0), "0.5") << bof;
    EXPECT_EQ(CellText(c, 0, 1), "50") << bof;
    EXPECT_EQ(CellText(c, 0, 2), "12:00:00 PM") << bof;
  }
}

TEST(BiffPlain, Biff4WorkbookSheetsInTheirCodePage) {
  BiffWriter w;
  w.Bof(0x0409, 0, 0x0100);
  w.Rec(0x0042, Bytes().u16(1251));
  w.Rec(0x008F, Bytes().u32(0).u8(4).str("\xCB\xE8\xF1\xF2"));  // "Лист"
  w.Bof(0x0409, 0, 0x0010);
  w.Rec(0x0204, Bytes().u16(0).u16(0).u16(0).u16(3).str("\xC0\xC1\xC2"));
  w.Eof();
  w.Rec(0x008F, Bytes().u32(0).u8(3).str("Two"));
  w.Bof(0x0409, 0, 0x0010);
  w.Rec(0x0203, Bytes().u16(1).u16(1).u16(0).f64(2));
  w.Eof();
  w.Eof();
  const auto x = LoadPlain(w.data);
  EXPECT_EQ(x->Version, evExcel4);
  ASSERT_EQ(x->Sheets.Count(), 2);
  EXPECT_EQ(x->Sheets.Items(0).Caption, u"\u041B\u0438\u0441\u0442");
  EXPECT_EQ(x->Sheets.Items(1).Caption, u"Two");
  EXPECT_EQ(CellText(x->Sheets.Items(0).Cells, 0, 0), "\u0410\u0411\u0412");
  EXPECT_EQ(CellText(x->Sheets.Items(1).Cells, 1, 1), "2");
  EXPECT_EQ(x->Sheets.Items(0).Cells.RowCount, 1);
}

TEST(BiffPlain, OversizedAndCutRecordsAreSafe) {
  BiffWriter w;
  w.Bof(0x0209, 0, 0x0010);
  w.Rec(0x0203, Bytes().u16(0).u16(0).u16(0).f64(1).zeros(2100));  // beyond 2080 bytes: passed over
  w.Rec(0x0203, Bytes().u16(1).u16(0).u16(0).f64(2));
  w.Rec(0x0204, Bytes().u16(2).u16(0).u16(0).u16(60000).str("cut"));  // count beyond the record
  w.data.insert(w.data.end(), {0x00, 0x02, 0x40, 0x00, 0x01});        // header promising more than is left
  const auto x = LoadPlain(w.data);
  const TSpreadSheetCells& c = x->Sheets.GetSheet(0).Cells;
  EXPECT_EQ(CellText(c, 0, 0), "<hole>");
  EXPECT_EQ(CellText(c, 1, 0), "2");
  EXPECT_EQ(CellText(c, 2, 0), "cut");
}

TEST(BiffPlain, LoadFromFileReadsAPlainFile) {
  BiffWriter w;
  w.Bof(0x0009, 2, 0x0010).Rec(0x0004, Cell2(0, 0).u8(2).str("hi")).Eof();
  TMSExcel x;
  x.LoadFromFile(test::WriteTempFile("plain.xls", w.data));
  EXPECT_EQ(CellText(x.Sheets.GetSheet(0).Cells, 0, 0), "hi");
  EXPECT_EQ(x.Sheets.GetSheet(0).Cells.DeclaredLastRow, 1);  // no DIMENSIONS: the cells' extent
}

}  // namespace
}  // namespace gridlark
