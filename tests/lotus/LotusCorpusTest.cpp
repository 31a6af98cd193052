// Real Lotus files written by 1-2-3, Quattro Pro, Works and SheetJS, from
// the shared corpus: each loads completely and shows its known cells.
#include <gtest/gtest.h>

#include "TestSupport.h"
#include "lotus/VoWKS.h"

namespace gridlark::test {
namespace {

struct KnownCell {
  int row, col;
  const char* text;
};

struct CorpusFile {
  const char* path;
  TWKSVersion version;
  int rows, cols;
  std::vector<KnownCell> cells;
};

// The test sheet SheetJS writes in every format: numbers, formula values,
// labels, a date serial and a fraction.
const std::vector<KnownCell> kSheetJsCells = {
    {0, 0, "1"}, {0, 2, "3"}, {1, 0, "1"}, {1, 1, "0"}, {1, 3, "sheetjs"},
    {2, 0, "foo"}, {2, 2, "41689"}, {2, 3, "0.3"}, {3, 2, "qux"}, {3, 3, "<hole>"},
};
// 1-2-3 release 9: a label with a line break and a formula whose result is text.
const std::vector<KnownCell> kR9Cells = {
    {0, 0, "Normal"}, {0, 1, "abc\x0F-\x0F*def"}, {1, 0, "Formula"}, {1, 1, "abc\x0F-\x0F*def"}};

TEST(LotusCorpus, RealFilesLoadWithTheirValues) {
  REQUIRE_CORPUS();
  const CorpusFile files[] = {
      {"wk1/CRLFR9.WK1", wvWR1, 2, 2, {{0, 0, "Normal"}, {0, 1, "abcdef"}, {1, 1, "abcdef"}}},
      {"wk1/KSBASE.WK1", wvWR1, 84, 15,
       {{0, 0, "OBSERV"}, {0, 14, "KSAV"}, {2, 0, "4001"}, {2, 2, "683.38"}, {2, 14, "0.251537686599668"},
        {35, 6, "INF"}}},
      {"wk1/PF.WK1", wvWR1, 99, 15, {{0, 0, "OBS"}, {1, 0, "6001"}, {1, 1, "182"}, {1, 2, "5-10"}}},
      {"wk1/PFVALUES.WK1", wvWR1, 99, 19, {{0, 18, "REMARKS"}, {1, 1, "682.45"}, {1, 2, "3135.08"}, {1, 3, "cl"}}},
      {"wks/testLotus123.wks", wvWKS1, 11, 3, {{0, 0, "X"}, {1, 1, "10"}, {3, 2, "24"}}},
      {"wks/crlfw4_2.wks", wvWKS1, 2, 2, {{0, 0, "Normal"}, {0, 1, "abc\r\ndef"}, {1, 0, "Formula"}}},
      {"wks/write_L1.wks", wvWKS1, 4, 4, kSheetJsCells},
      {"wke/write_Led.wke", wvWR1, 4, 4, kSheetJsCells},
      {"wk3/write_L3.wk3", wvWKS3, 4, 4, kSheetJsCells},
      {"wk3/PEYTREND.WK3", wvWKS3, 223, 5,
       {{0, 0, "NO"}, {0, 4, "VMC30_35"}, {1, 0, "5"}, {1, 2, "0.259218436873748"}, {222, 0, "216"}}},
      {"wk3/CRLFR9.WK3", wvWKS3, 2, 2, kR9Cells},
      {"wk4/write_L45.wk4", wvWKS4, 4, 4, kSheetJsCells},
      {"wk4/CRLFR9.WK4", wvWKS4, 2, 2, kR9Cells},
      {"123/write_L9.123", wv123, 4, 4, kSheetJsCells},
      {"123/CRLFR9.123", wv123, 2, 2, kR9Cells},
  };
  for (const CorpusFile& f : files) {
    SCOPED_TRACE(f.path);
    TLotus123 reader;
    ASSERT_NO_THROW(reader.LoadFromFile(CorpusPath(f.path)));
    EXPECT_EQ(reader.Version, f.version);
    // One sheet each: records of the other layout and the data after the
    // end record add no sheets.
    ASSERT_EQ(reader.Sheets.Count(), 1);
    const TSpreadSheet& sheet = reader.Sheets.Items(0);
    EXPECT_EQ(sheet.Caption, u"Sheet1");
    EXPECT_EQ(sheet.Cells.RowCount, f.rows);
    EXPECT_EQ(sheet.Cells.ColCount, f.cols);
    for (const KnownCell& c : f.cells) EXPECT_EQ(CellText(sheet.Cells, c.row, c.col), c.text) << c.row << "," << c.col;
  }
}

TEST(LotusCorpus, WorksFileWithoutLotusBofStillLoads) {
  REQUIRE_CORPUS();
  TLotus123 reader;
  ASSERT_NO_THROW(reader.LoadFromFile(CorpusPath("wks/crlfw4_3.wks")));
  EXPECT_EQ(reader.Version, wvUnknown);
  EXPECT_EQ(CellText(reader.Sheets.Items(0).Cells, 0, 0), "Normal");
}

}  // namespace
}  // namespace gridlark::test
