// The Lotus 1-2-3 reader over small files written record by record.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <tuple>

#include "LotusWriter.h"
#include "lotus/VoWKS.h"

namespace gridlark::test {
namespace {

// Loads the bytes as LoadFromFile would, with the default handlers.
void LoadInto(TLotus123& reader, const std::vector<uint8_t>& bytes) {
  reader.Load();
  TSpanStream stream(bytes);
  reader.ReadStream(stream);
}

// The message of the error that ends the load, or "" when it completes.
std::string LoadError(TLotus123& reader, const std::vector<uint8_t>& bytes) {
  try {
    LoadInto(reader, bytes);
  } catch (const std::exception& e) {
    return e.what();
  }
  return "";
}

const TVoxCell* CellAt(TLotus123& reader, int sheet, int row, int col) {
  if (sheet >= reader.Sheets.Count()) return nullptr;
  TSpreadSheetCells& cells = reader.Sheets.Items(sheet).Cells;
  return row < cells.Count() ? cells.GetCell(col, row) : nullptr;
}

TEST(LotusReader, SingleSheetIntegerLandsOnTheFirstSheet) {
  TLotus123 reader;
  LoadInto(reader, LotusWriter().Bof(0x0406).Wk1Integer(1, 2, -5).Record(0x01, Bytes()).Data());
  EXPECT_EQ(reader.Version, wvWR1);
  ASSERT_EQ(reader.Sheets.Count(), 1);
  EXPECT_EQ(reader.Sheets.Items(0).Caption, u"Sheet1");
  const TSpreadSheetCells& cells = reader.Sheets.Items(0).Cells;
  EXPECT_EQ(cells.RowCount, 3);
  EXPECT_EQ(cells.ColCount, 2);
  const TVoxCell* cell = CellAt(reader, 0, 2, 1);
  ASSERT_NE(cell, nullptr);
  EXPECT_EQ(cell->Value, Variant(int32_t(-5)));
  EXPECT_EQ(cell->Alignment, taRightJustify);
  EXPECT_EQ(cell->CellType, ictInteger);
}

TEST(LotusReader, LabelPrefixSetsAlignmentInBothLayouts) {
  const std::tuple<char, const char*, TAlignment> cases[] = {
      {'^', "Total", taCenter}, {'"', "99", taRightJustify}, {'\'', "abc", taLeftJustify}, {'\\', "-", taLeftJustify}};
  for (const auto& [prefix, text, align] : cases) {
    TLotus123 wk1, wk3;
    LoadInto(wk1, LotusWriter().Bof(0x0406).Wk1Label(3, 4, prefix, text).Data());
    LoadInto(wk3, LotusWriter().Bof(0x1000).Wk3Label(0, 4, 3, prefix, text).Data());
    for (TLotus123* reader : {&wk1, &wk3}) {
      const TVoxCell* cell = CellAt(*reader, 0, 4, 3);
      ASSERT_NE(cell, nullptr) << text;
      EXPECT_EQ(cell->Value, Variant(AnsiToWide(text)));
      EXPECT_EQ(cell->Value.Type(), VarType::WideString);
      EXPECT_EQ(cell->Alignment, align) << text;
      EXPECT_EQ(cell->CellType, ictString);
    }
  }
}

TEST(LotusReader, LabelBytesAreAnsiTextEndingAtTheirFirstNul) {
  TLotus123 reader;
  LoadInto(reader, LotusWriter()
                       .Bof(0x0406)
                       .Wk1Label(0, 0, '\'', "\x80 caf\xE9 \x81")
                       .Record(0x0F, LotusWriter::Wk1Cell(0, 1).u8('\'').str("kept").u8(0).str("junk").u8(0))
                       .Data());
  EXPECT_EQ(CellText(reader.Sheets.Items(0).Cells, 0, 0), "\u20AC caf\u00E9 \u0081");
  EXPECT_EQ(CellText(reader.Sheets.Items(0).Cells, 1, 0), "kept");
}

// Every cell record type: where it puts the cell and what it reports.
TEST(LotusReader, CellRecordsDecodeTheirValues) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  struct Case {
    const char* what;
    uint16_t bof, type;
    Bytes data;
    Variant value;
    TVoxCellType cellType;
  };
  const Case cases[] = {
      {"integer", 0x0406, 0x0D, LotusWriter::Wk1Cell(2, 3).u16(0xFFFB), Variant(int32_t(-5)), ictInteger},
      {"number", 0x0406, 0x0E, LotusWriter::Wk1Cell(2, 3).f64(-1234.5), Variant(-1234.5), ictDecimal},
      {"formula value", 0x0404, 0x10, LotusWriter::Wk1Cell(2, 3).f64(7.25).u16(1).u8(3), Variant(7.25), ictDecimal},
      {"formula NaN", 0x0404, 0x10, LotusWriter::Wk1Cell(2, 3).f64(nan).u16(1).u8(3), Variant(int32_t(0)),
       ictDecimal},
      {"formula 1E308", 0x0404, 0x10, LotusWriter::Wk1Cell(2, 3).f64(1e308).u16(1).u8(3), Variant(int32_t(0)),
       ictDecimal},
      {"extended", 0x1000, 0x17, LotusWriter::Wk3Cell(0, 3, 2).raw(Extended80(0.1).data), Variant(0.1), ictDecimal},
      {"extended formula", 0x1002, 0x19, LotusWriter::Wk3Cell(0, 3, 2).raw(Extended80(-2e300).data).u16(0x0003),
       Variant(-2e300), ictDecimal},
      {"small half", 0x1000, 0x18, LotusWriter::Wk3Cell(0, 3, 2).u16(0x000C), Variant(6.0), ictDecimal},
      {"small negative", 0x1000, 0x18, LotusWriter::Wk3Cell(0, 3, 2).u16(0xFFFE), Variant(-1.0), ictDecimal},
      {"small coded", 0x1000, 0x18, LotusWriter::Wk3Cell(0, 3, 2).u16(0x0015), Variant(0.05), ictDecimal},
      {"packed integer", 0x1005, 0x25, LotusWriter::Wk3Cell(0, 3, 2).u32(0x80), Variant(int32_t(2)), ictInteger},
      {"packed times ten", 0x1005, 0x25, LotusWriter::Wk3Cell(0, 3, 2).u32(0xC1), Variant(30.0), ictDecimal},
      {"packed tenth", 0x1005, 0x25, LotusWriter::Wk3Cell(0, 3, 2).u32(0xD1), Variant(0.3), ictDecimal},
      {"double", 0x1005, 0x27, LotusWriter::Wk3Cell(0, 3, 2).f64(2.5), Variant(2.5), ictDecimal},
      {"double inf", 0x1005, 0x27, LotusWriter::Wk3Cell(0, 3, 2).f64(inf), Variant(0.0), ictDecimal},
      {"double formula NaN", 0x1005, 0x28, LotusWriter::Wk3Cell(0, 3, 2).f64(nan).u16(3), Variant(0.0), ictDecimal},
  };
  for (const Case& c : cases) {
    TLotus123 reader;
    LoadInto(reader, LotusWriter().Bof(c.bof).Record(c.type, c.data).Data());
    const TVoxCell* cell = CellAt(reader, 0, 3, 2);
    ASSERT_NE(cell, nullptr) << c.what;
    EXPECT_EQ(cell->Value, c.value) << c.what;
    EXPECT_EQ(cell->Alignment, taRightJustify) << c.what;
    EXPECT_EQ(cell->CellType, c.cellType) << c.what;
    EXPECT_EQ(reader.Sheets.Items(0).Cells.RowCount, 4) << c.what;
  }
}

TEST(LotusReader, SmallNumberCodes) {
  const std::pair<uint16_t, double> cases[] = {
      {0x0000, 0},     {0x7FFE, 16383},  {0x8000, -16384}, {0x0021, 10000}, {0x0023, 1000},
      {0x0025, 0.1},   {0x0027, 0.01},   {0x0029, 0.001},  {0x002B, 0.0001}, {0x002D, 0.125},
      {0xFFFF, 4095 / 64.0}, {0xFFF1, 4095 * 5000.0},
  };
  for (const auto& [raw, expected] : cases) EXPECT_DOUBLE_EQ(SmallNumberValue(raw), expected) << std::hex << raw;
}

TEST(LotusReader, PackedNumbers) {
  EXPECT_EQ(PackedNumberValue(0xFFFFFFC0), Variant(int32_t(0x3FFFFFF)));  // the top bits are no sign
  EXPECT_EQ(PackedNumberValue((123u << 6) | 0x03), Variant(123000.0));
  EXPECT_DOUBLE_EQ(PackedNumberValue((12345u << 6) | 0x10 | 0x04).Double(), 1.2345);
  EXPECT_DOUBLE_EQ(PackedNumberValue((1u << 6) | 0x20 | 0x07).Double(), 1e-7);  // either bit of the pair divides
}

TEST(LotusReader, ExtendedNumbersConvertOrOverflow) {
  const double inf = std::numeric_limits<double>::infinity();
  for (double v : {1.0, -2.5, 0.1, 1e-300, std::numeric_limits<double>::max(), std::numeric_limits<double>::min()}) {
    const Bytes b = Extended80(v);
    EXPECT_EQ(ExtendedToDouble(ByteView(b.data).U64(0), ByteView(b.data).U16(8)), v);
  }
  EXPECT_EQ(ExtendedToDouble(0x8000000000000000ull, 0x7FFF), inf);
  EXPECT_EQ(ExtendedToDouble(0x8000000000000000ull, 0xFFFF), -inf);
  EXPECT_TRUE(std::isnan(ExtendedToDouble(0xC000000000000000ull, 0xFFFF)));  // 1-2-3 writes ERR so
  EXPECT_EQ(ExtendedToDouble(0x8000000000000000ull, 16383 - 1100), 0.0);     // below the doubles
  EXPECT_EQ(ExtendedToDouble(0x1234, 0), 0.0);                                // denormal
  EXPECT_EQ(ExtendedToDouble(0, 0x4000), 0.0);
  // Beyond the doubles, directly or by rounding the 64-bit mantissa up to 2^1024.
  for (const auto& [mantissa, exponent] :
       {std::pair<uint64_t, uint16_t>{0x8000000000000000ull, 16383 + 1024}, {~0ull, 16383 + 1023}, {~0ull, 0xFFFE}}) {
    try {
      ExtendedToDouble(mantissa, exponent);
      ADD_FAILURE() << "no overflow for exponent " << exponent;
    } catch (const EOverflow& e) {
      EXPECT_STREQ(e.what(), "Floating point overflow");
    }
  }
}

TEST(LotusReader, ExtendedOverflowEndsTheLoadButOnlyDropsAFormula) {
  const Bytes huge = Bytes().u64(0x8000000000000000ull).u16(0x7000);
  TLotus123 number;
  EXPECT_EQ(LoadError(number, LotusWriter()
                                  .Bof(0x1000)
                                  .Wk3Number(0, 0, 0, 1)
                                  .Record(0x17, LotusWriter::Wk3Cell(0, 1, 0).raw(huge.data))
                                  .Wk3Number(0, 2, 0, 3)
                                  .Data()),
            "Floating point overflow");
  EXPECT_EQ(CellText(number.Sheets.Items(0).Cells, 0, 0), "1");  // what came before stays
  EXPECT_EQ(CellText(number.Sheets.Items(0).Cells, 2, 0), "<hole>");

  TLotus123 formula;
  EXPECT_EQ(LoadError(formula, LotusWriter()
                                   .Bof(0x1000)
                                   .Record(0x19, LotusWriter::Wk3Cell(0, 1, 0).raw(huge.data).u8(3))
                                   .Wk3Number(0, 2, 0, 3)
                                   .Data()),
            "");
  EXPECT_EQ(CellText(formula.Sheets.Items(0).Cells, 1, 0), "<hole>");
  EXPECT_EQ(CellText(formula.Sheets.Items(0).Cells, 2, 0), "3");
}

TEST(LotusReader, BofVersions) {
  const std::pair<uint16_t, TWKSVersion> known[] = {
      {0x0404, wvWKS1}, {0x0405, wvWKS2}, {0x0406, wvWR1}, {0x1000, wvWKS3}, {0x1002, wvWKS4},
      {0x8007, wvWKS4}, {0x1003, wv123},  {0x1004, wv123}, {0x1005, wv123},
  };
  for (const auto& [bof, version] : known) {
    TLotus123 reader;
    EXPECT_EQ(LoadError(reader, LotusWriter().Bof(bof).Data()), "") << std::hex << bof;
    EXPECT_EQ(reader.Version, version) << std::hex << bof;
  }
  // An unknown first version is no Lotus file; after a known one it is ignored.
  TLotus123 reader;
  EXPECT_EQ(LoadError(reader, LotusWriter().Bof(0x1234).Wk1Integer(0, 0, 1).Data()),
            "Invalid file version or file format.");
  EXPECT_EQ(reader.Sheets.Count(), 0);
  EXPECT_EQ(LoadError(reader, LotusWriter().Bof(0x0404).Bof(0x1234).Wk1Integer(0, 0, 1).Data()), "");
  EXPECT_EQ(reader.Version, wvWKS1);
  EXPECT_EQ(CellText(reader.Sheets.Items(0).Cells, 0, 0), "1");
  // A later known version takes over.
  EXPECT_EQ(LoadError(reader, LotusWriter().Bof(0x0406).Bof(0x1000).Data()), "");
  EXPECT_EQ(reader.Version, wvWKS3);
  // These versions end the walk without error.
  for (uint16_t end : {0x0101, 0xB200, 0xBFFF}) {
    TLotus123 r;
    EXPECT_EQ(LoadError(r, LotusWriter().Bof(0x0406).Wk1Integer(0, 0, 1).Bof(end).Wk1Integer(0, 1, 2).Data()), "");
    EXPECT_EQ(r.Sheets.Items(0).Cells.RowCount, 1) << std::hex << end;
  }
  // An empty file reads as a BOF of version 0.
  EXPECT_EQ(LoadError(reader, {}), "Invalid file version or file format.");
}

// The two layouts give some record numbers different meanings: what is a
// cell in one must not become a cell in the other.
TEST(LotusReader, RecordsOfTheOtherLayoutAreIgnored) {
  // 1-2-3 release 2 files carry print and sort ranges under these numbers.
  LotusWriter wk1;
  wk1.Bof(0x0406);
  for (uint16_t type : {0x18, 0x19, 0x1A, 0x25, 0x27, 0x28})
    wk1.Record(type, Bytes().u16(0).u16(0).u16(0).u16(0).u32(0x12345678).u64(0x4000000000000000ull));
  // Sort range 2 (all bytes 0xFF) is no sheet name.
  wk1.Record(0x23, Bytes().u32(0xFFFFFFFF).u32(0xFFFFFFFF).u8(0xFF));
  TLotus123 reader;
  LoadInto(reader, wk1.Data());
  EXPECT_EQ(reader.Sheets.Count(), 0);

  // Release 3 and later files hold other records under the release 2 cell numbers.
  LotusWriter wk3;
  wk3.Bof(0x1000);
  for (uint16_t type : {0x0C, 0x0D, 0x0E, 0x0F, 0x10, 0x33})
    wk3.Record(type, Bytes().u8(0x27).str("abcdefghijklmn").u8(0));
  reader.LoadNULLs = true;
  LoadInto(reader, wk3.Data());
  EXPECT_EQ(reader.Sheets.Count(), 0);
}

TEST(LotusReader, FormulaTextResultsReplaceTheFormulaValue) {
  TLotus123 wk1;
  LoadInto(wk1, LotusWriter()
                    .Bof(0x0406)
                    .Wk1FormulaBits(1, 1, 0x7FF000000009A000ull)  // a NaN: the value is text
                    .Record(0x33, LotusWriter::Wk1Cell(1, 1).str("abcdef").u8(0))
                    .Data());
  const TVoxCell* cell = CellAt(wk1, 0, 1, 1);
  ASSERT_NE(cell, nullptr);
  EXPECT_EQ(cell->Value, Variant(u"abcdef"));
  EXPECT_EQ(cell->Alignment, taLeftJustify);
  EXPECT_EQ(cell->CellType, ictString);

  TLotus123 wk3;
  LoadInto(wk3, LotusWriter()
                    .Bof(0x1000)
                    .Record(0x19, LotusWriter::Wk3Cell(0, 1, 1).u64(0xFF00580F88030000ull).u16(0xFFFF).u8(3))
                    .Record(0x1A, LotusWriter::Wk3Cell(0, 1, 1).str("abc def").u8(0))
                    .Data());
  cell = CellAt(wk3, 0, 1, 1);
  ASSERT_NE(cell, nullptr);
  EXPECT_EQ(cell->Value, Variant(u"abc def"));  // without the terminating NUL
  EXPECT_EQ(cell->Alignment, taLeftJustify);
  EXPECT_EQ(cell->CellType, ictString);
}

TEST(LotusReader, PasswordRecords) {
  struct Case {
    const char* what;
    uint16_t bof, type;
    Bytes data;
    const char* error;
    bool encrypted;
  };
  const Case cases[] = {
      {"0x37 in 1A", 0x0404, 0x37, Bytes().u32(0x01020304), "Password protected file is not supported.", true},
      {"0x37 in release 2", 0x0406, 0x37, Bytes().u32(0x01020304), "", false},
      {"0x37 in release 3", 0x1000, 0x37, Bytes().u32(0x01020304), "Password protected file is not supported.", true},
      {"0x24 set", 0x0406, 0x24, Bytes().u8(1), "Password protected file is not supported.", true},
      {"0x24 clear", 0x0406, 0x24, Bytes().u8(0), "", false},
      {"0x4B wrong length", 0x0406, 0x4B, Bytes().u8(1).u8(2).u8(3), "Unexpected password field found.", false},
      {"0x4B", 0x0406, 0x4B, Bytes().u16(0x1234), "Password protected file is not supported.", true},
  };
  for (const Case& c : cases) {
    TLotus123 reader;
    EXPECT_EQ(LoadError(reader, LotusWriter().Bof(c.bof).Record(c.type, c.data).Data()), c.error) << c.what;
    EXPECT_EQ(reader.IsEncrypted(), c.encrypted) << c.what;
  }
  // The encrypted kinds are told apart by their classes.
  TLotus123 reader;
  EXPECT_THROW(LoadInto(reader, LotusWriter().Bof(0x0404).Record(0x37, Bytes().u16(0)).Data()), EVoxCryptException);
  EXPECT_THROW(LoadInto(reader, LotusWriter().Bof(0x0406).Record(0x4B, Bytes().u16(0)).Data()),
               EVoxUnknownEncryptionException);
  // A new read starts unencrypted.
  LoadInto(reader, LotusWriter().Bof(0x0406).Data());
  EXPECT_FALSE(reader.IsEncrypted());
}

TEST(LotusReader, PasswordIsAskedUntilTheHandlerGivesUp) {
  TLotus123 reader;
  reader.Password = "first";
  std::vector<std::string> offered;
  reader.OnPassword = [&](TCustomSpreadSheetFile* sender, std::string& password, bool& more) {
    EXPECT_EQ(sender, &reader);
    offered.push_back(password);
    password = "try" + std::to_string(offered.size());
    more = offered.size() < 3;
  };
  const std::string error =
      LoadError(reader, LotusWriter().Bof(0x0406).Wk1Integer(0, 0, 7).Record(0x4B, Bytes().u16(0)).Data());
  EXPECT_EQ(error, "Password protected file is not supported.");
  EXPECT_EQ(offered, (std::vector<std::string>{"first", "try1", "try2"}));
  EXPECT_EQ(reader.Password, "first");
  EXPECT_EQ(CellText(reader.Sheets.Items(0).Cells, 0, 0), "7");  // what came before stays
}

TEST(LotusReader, SheetNames) {
  // Names before the cells caption their sheets.
  TLotus123 reader;
  LoadInto(reader, LotusWriter()
                       .Bof(0x1002)
                       .Wk3SheetName(0, "Income")
                       .Wk3SheetName(1, "Costs")
                       .Wk3Label(1, 0, 0, '\'', "rent")
                       .Data());
  ASSERT_EQ(reader.Sheets.Count(), 2);
  EXPECT_EQ(reader.Sheets.Items(0).Caption, u"Income");
  EXPECT_EQ(reader.Sheets.Items(1).Caption, u"Costs");
  EXPECT_EQ(CellText(reader.Sheets.Items(1).Cells, 0, 0), "rent");

  // A name that comes after its sheet's cells is not taken; record 0x23 names
  // a sheet like the extended record; a short one gives an empty name.
  LoadInto(reader, LotusWriter()
                       .Bof(0x1000)
                       .Wk3Label(0, 0, 0, '\'', "x")
                       .Wk3SheetName(0, "Late")
                       .Record(0x23, Bytes().u16(0).u8(1).u8(0).str("Second").u8(0))
                       .Record(0x23, Bytes().u16(0).u8(2).u8(0))
                       .Data());
  ASSERT_EQ(reader.Sheets.Count(), 3);
  EXPECT_EQ(reader.Sheets.Items(0).Caption, u"Sheet1");
  EXPECT_EQ(reader.Sheets.Items(1).Caption, u"Second");
  EXPECT_EQ(reader.Sheets.Items(2).Caption, u"");

  // A name for a later sheet lands on that sheet, not on the next free one.
  LoadInto(reader, LotusWriter().Bof(0x1000).Wk3SheetName(2, "Third").Wk3Label(2, 0, 0, '\'', "z").Data());
  ASSERT_EQ(reader.Sheets.Count(), 3);
  EXPECT_EQ(reader.Sheets.Items(0).Caption, u"Sheet1");
  EXPECT_EQ(reader.Sheets.Items(1).Caption, u"Sheet2");
  EXPECT_EQ(reader.Sheets.Items(2).Caption, u"Third");
  EXPECT_EQ(CellText(reader.Sheets.Items(2).Cells, 0, 0), "z");
}

TEST(LotusReader, FormatEntriesGiveTheCellsTheirFormatIndex) {
  TLotus123 reader;
  LoadInto(reader, LotusWriter()
                       .Bof(0x1002)
                       // Sheet 0, row 5: a first-column entry, a run of 3 columns, a plain entry.
                       .Record(0x13, Bytes().u8(0).u8(0).u16(5).u8(0x11).u8(0xC0).u8(0xFF).u8(0x7F)  // flags 0x40
                                         .u8(0x22).u8(0x40).u8(0x00).u8(0xC0).u8(3)  // 0xC0, 3 columns
                                         .u8(0x33).u8(0x00).u8(0x00).u8(0x00))  // no flags
                       // Row 5 again: a later run of 2 columns wins for columns 0 and 1.
                       .Record(0x13, Bytes().u8(0).u8(0).u16(5).u8(0x44).u8(0).u8(0).u8(0xC0).u8(2))
                       .Record(0x13, Bytes().u8(1).u8(0).u16(5).u8(0x55).u8(0).u8(0).u8(0x80).u8(9))
                       .Data());
  const std::vector<TWK4Format>& f = reader.Formats();
  ASSERT_EQ(f.size(), 5u);
  EXPECT_EQ(f[0].Sheet, 0);
  EXPECT_EQ(f[0].Row, 5);
  EXPECT_EQ(f[0].Code, 0x11);
  EXPECT_EQ(f[0].FormatBits, 0xFFFF);
  EXPECT_EQ(f[0].Flags, 0x40);
  EXPECT_EQ(f[0].Count, 0);
  EXPECT_EQ(f[1].FormatBits, 1);
  EXPECT_EQ(f[1].Flags, 0xC0);
  EXPECT_EQ(f[1].Count, 3);
  EXPECT_EQ(f[2].Code, 0x33);
  EXPECT_EQ(f[2].Flags, 0);
  EXPECT_EQ(f[4].Sheet, 1);
  EXPECT_EQ(f[4].Flags, 0x80);
  EXPECT_EQ(f[4].Count, 9);

  const std::tuple<int, int, int, int32_t> lookups[] = {
      {0, 5, 0, 3}, {0, 5, 1, 3}, {0, 5, 2, 1}, {0, 5, 3, 0}, {0, 4, 0, 0}, {1, 5, 0, 0},
  };
  for (const auto& [sheet, row, col, index] : lookups)
    EXPECT_EQ(reader.FindFormat(sheet, row, col), index) << sheet << " " << row << " " << col;

  // The cells carry the index; a new load empties the table.
  LoadInto(reader, LotusWriter()
                       .Bof(0x1002)
                       .Record(0x13, Bytes().u8(0).u8(0).u16(2).u8(0).u8(0).u8(0).u8(0x40)  // column 0
                                         .u8(0).u8(0).u8(0).u8(0xC0).u8(4))                 // columns 0 to 3
                       .Wk3Number(0, 2, 0, 1)
                       .Wk3Number(0, 2, 3, 1)
                       .Wk3Number(0, 2, 4, 1)
                       .Data());
  EXPECT_EQ(reader.Formats().size(), 2u);
  EXPECT_EQ(CellAt(reader, 0, 2, 0)->FormatIndex, 1);
  EXPECT_EQ(CellAt(reader, 0, 2, 3)->FormatIndex, 1);
  EXPECT_EQ(CellAt(reader, 0, 2, 4)->FormatIndex, 0);
  reader.Load();
  EXPECT_TRUE(reader.Formats().empty());
}

TEST(LotusReader, ColumnWidthsAndRowHeights) {
  TLotus123 reader;
  std::vector<std::tuple<int, int, int>> heights;
  reader.OnRowHeight = [&](TCustomSpreadSheetFile*, int32_t sheet, int32_t row, int32_t height) {
    heights.emplace_back(sheet, row, height);
  };
  LoadInto(reader, LotusWriter()
                       .Bof(0x1002)
                       .Record(0x24, Bytes().u8(2).u8(4).u8(0).u8(9))
                       .Record(0x24, Bytes().u8(7).u8(6).u8(0).u8(1))  // an empty run
                       .Record(0x1B, Bytes().u8(0xD7).u8(0x07).u8(1).u8(0).u32(0)  // 20 bytes
                                         .u16(0x12).u16(640).u32(0).u16(6).u16(64))
                       .Data());
  EXPECT_EQ(reader.Sheets.Items(0).ColumnWidths, (std::vector<int32_t>{0, 0, 9, 9, 9}));
  // (20 - 4) / 8 = 2: three entries of eight bytes from the record's start.
  EXPECT_EQ(heights, (std::vector<std::tuple<int, int, int>>{{1, 0x07D7, 0}, {1, 0x12, 20}, {1, 6, 2}}));
}

TEST(LotusReader, OnRecordSeesEveryRecordAndHugeOnesAreSkipped) {
  LotusWriter w;
  w.Bof(0x0406).Wk1Integer(0, 0, 1);
  // A number record of 40000 bytes: its stand-in must not become a cell at A1.
  w.Record(0x0E, Bytes().u8(0xFF).u16(0).u16(0).f64(99).zeros(40000 - 13));
  w.Wk1Integer(0, 1, 2).Eof();
  TLotus123 reader;
  std::vector<std::pair<uint16_t, uint16_t>> seen;
  reader.OnRecord = [&](TCustomSpreadSheetFile*, TBIFFRecordHeader header, std::span<const uint8_t> data) {
    seen.emplace_back(header.RecType, header.RecLen);
    if (header.RecLen >= 32768) {
      EXPECT_EQ(data.size(), 32768u);
      for (uint8_t b : data) ASSERT_EQ(b, 0);
    } else {
      EXPECT_EQ(data.size(), header.RecLen);
    }
  };
  LoadInto(reader, w.Data());
  EXPECT_EQ(seen,
            (std::vector<std::pair<uint16_t, uint16_t>>{{0x00, 2}, {0x0D, 7}, {0x0E, 40000}, {0x0D, 7}, {0x01, 0}}));
  EXPECT_EQ(CellText(reader.Sheets.Items(0).Cells, 0, 0), "1");
  EXPECT_EQ(CellText(reader.Sheets.Items(0).Cells, 1, 0), "2");
}

TEST(LotusReader, BlankCellsReachOnlyAUserHandler) {
  const std::vector<uint8_t> file = LotusWriter().Bof(0x0406).Record(0x0C, LotusWriter::Wk1Cell(1, 1)).Data();
  TLotus123 reader;
  reader.LoadNULLs = true;
  LoadInto(reader, file);
  EXPECT_EQ(reader.Sheets.Items(0).Cells.RowCount, 0);  // the store keeps no Null

  int blanks = 0;
  reader.OnCellValue = [&](TCustomSpreadSheetFile*, int32_t sheet, int32_t row, int32_t col, int32_t, const Variant& v,
                           TAlignment, TVoxCellType type) {
    EXPECT_EQ(std::make_tuple(sheet, row, col), std::make_tuple(0, 1, 1));
    EXPECT_TRUE(v.IsNull());
    EXPECT_EQ(type, ictEmpty);
    ++blanks;
  };
  LoadInto(reader, file);
  reader.LoadNULLs = false;
  LoadInto(reader, file);
  EXPECT_EQ(blanks, 1);
}

// Lengths and offsets come from the file: records of every handled type,
// cut to every length up to well past their fields, over a buffer full of an
// earlier record's bytes, and a file that ends inside a record.
TEST(LotusReader, ShortAndTruncatedRecordsStayInsideTheirData) {
  for (uint16_t bof : {0x0404, 0x0406, 0x1000, 0x1005}) {
    for (uint16_t type : {0x0C, 0x0D, 0x0E, 0x0F, 0x10, 0x13, 0x16, 0x17, 0x18, 0x19, 0x1A, 0x1B, 0x23, 0x24, 0x25,
                          0x27, 0x28, 0x33}) {
      for (int len = 0; len <= 24; ++len) {
        Bytes data;
        if (type == 0x1B && len >= 2) data.u16(len % 2 ? 0x36B0 : 0x07D7);  // sheet name or row heights
        while (int(data.size()) < len) data.u8(0x02);  // small rows and sheets keep the store small
        LotusWriter w;
        w.Bof(bof).Record(0x0F, Bytes().u8(0xFF).u16(0).u16(0).u8('\'').str(std::string(64, '\x01')).u8(0));
        w.Record(type, data);
        TLotus123 reader;
        reader.LoadNULLs = true;
        LoadError(reader, w.Data());
        for (size_t cut : {size_t(len / 2), size_t(len + 2)}) {
          std::vector<uint8_t> part = w.Data();
          part.resize(part.size() - cut);
          LoadError(reader, part);
        }
      }
    }
  }
  // A label too short for its prefix and terminator is an empty label.
  TLotus123 reader;
  LoadInto(reader, LotusWriter().Bof(0x0406).Record(0x0F, LotusWriter::Wk1Cell(0, 0)).Data());
  const TVoxCell* cell = CellAt(reader, 0, 0, 0);
  ASSERT_NE(cell, nullptr);
  EXPECT_EQ(cell->Value, Variant(u""));
}

}  // namespace
}  // namespace gridlark::test
