#include <gtest/gtest.h>

#include "model/VoCells.h"

using namespace gridlark;

TEST(CellStore, StoringACellCreatesRowsAndHolesAndSetsTheCounts) {
  TSpreadSheetCells cells;
  EXPECT_EQ(cells.RowCount, 0);
  cells.SetCellValue(5, 5, Variant(), taLeftJustify, 0, ictEmpty);
  cells.SetCellValue(5, 5, Variant::Null(), taLeftJustify, 0, ictEmpty);
  EXPECT_EQ(cells.Count(), 0);
  EXPECT_EQ(cells.RowCount, 0);

  cells.SetCellValue(2, 3, Variant(u"x"), taRightJustify, 7, ictString);
  EXPECT_EQ(cells.Count(), 4);
  EXPECT_EQ(cells.RowCount, 4);
  EXPECT_EQ(cells.ColCount, 3);
  for (int r = 0; r < 4; ++r) EXPECT_EQ(cells.Items(r).Index, r);
  EXPECT_EQ(cells.Items(3).Cols.Count(), 3);
  EXPECT_EQ(cells.GetCell(0, 3), nullptr);
  EXPECT_EQ(cells.GetCell(7, 3), nullptr);
  EXPECT_TRUE(cells.GetCellValue(0, 9).IsNull());
  EXPECT_THROW(cells.GetCell(0, -1), EListError);

  // Replacing keeps the same cell object and takes every field.
  TVoxCell* cell = cells.GetCell(2, 3);
  ASSERT_NE(cell, nullptr);
  cells.SetCellValue(2, 3, Variant(int32_t(9)), taCenter, 1, ictInteger);
  EXPECT_EQ(cells.GetCell(2, 3), cell);
  EXPECT_EQ(cell->Value.Integer(), 9);
  EXPECT_EQ(cell->Alignment, taCenter);
  EXPECT_EQ(cell->FormatIndex, 1);
  EXPECT_EQ(cell->CellType, ictInteger);

  // An empty string is a value.
  cells.SetCellValue(4, 6, Variant(u""), taLeftJustify, 0, ictString);
  EXPECT_EQ(cells.RowCount, 7);
  EXPECT_EQ(cells.ColCount, 5);
}

TEST(CellStore, CellsArriveInAnyColumnOrder) {
  TSpreadSheetCols cols;
  for (int c : {5, 1, 9, 3, 1, 0}) cols.Put(c).Value = Variant(int32_t(c));
  EXPECT_EQ(cols.Count(), 10);
  std::vector<int> order;
  for (const auto& e : cols.Entries()) order.push_back(e.Col);
  EXPECT_EQ(order, (std::vector<int>{0, 1, 3, 5, 9}));
  for (int c = 0; c < 12; ++c) {
    const TVoxCell* cell = cols.GetCell(c);
    if (c == 0 || c == 1 || c == 3 || c == 5 || c == 9) {
      ASSERT_NE(cell, nullptr) << c;
      EXPECT_EQ(cell->Value.Integer(), c);
    } else {
      EXPECT_EQ(cell, nullptr) << c;
    }
  }
}

TEST(CellStore, FarPositionsCostNoMemoryBeyondTheStoreLimits) {
  TSpreadSheetCells cells;
  cells.SetCellValue(kMaxStoreCols - 1, 0, Variant(u"far"), taLeftJustify, 0, ictString);
  EXPECT_EQ(cells.ColCount, kMaxStoreCols);
  EXPECT_EQ(cells.Items(0).Cols.Entries().size(), 1u);
  EXPECT_THROW(cells.SetCellValue(kMaxStoreCols, 0, Variant(u"x"), taLeftJustify, 0, ictString), EListError);
  EXPECT_THROW(cells.SetCellValue(0, kMaxStoreRows, Variant(u"x"), taLeftJustify, 0, ictString), EListError);
  EXPECT_THROW(cells.SetCellValue(0, -1, Variant(u"x"), taLeftJustify, 0, ictString), EListError);
  EXPECT_EQ(cells.Count(), 1);
  EXPECT_EQ(cells.EnsureRow(kMaxStoreRows), kMaxStoreRows);
  EXPECT_EQ(cells.Count(), 1);
}

TEST(CellStore, OnlyUsedRowsTakeMemory) {
  TSpreadSheetCells cells;
  cells.SetCellValue(0, 65535, Variant(u"last"), taLeftJustify, 0, ictString);
  cells.SetCellValue(1, 7, Variant(u"early"), taLeftJustify, 0, ictString);
  EXPECT_EQ(cells.Count(), 65536);
  EXPECT_EQ(cells.RowCount, 65536);
  ASSERT_EQ(cells.StoredRows().size(), 2u);
  EXPECT_EQ(cells.StoredPositions()[0], 7);
  EXPECT_EQ(cells.StoredRows()[1].Index, 65535);
  EXPECT_EQ(cells.FindRow(100), nullptr);
  // A row height stores its row without changing the shown counts.
  cells.EnsureRow(70000);
  cells.Items(70000).Height = 300;
  EXPECT_EQ(cells.RowCount, 65536);
  EXPECT_EQ(cells.StoredRows().size(), 3u);
  EXPECT_THROW(cells.Items(70001), EListError);
}

TEST(CellStore, DeleteAndClear) {
  TSpreadSheetCells cells;
  cells.SetCellValue(0, 2, Variant(int32_t(1)), taLeftJustify, 0, ictInteger);
  cells.DeleteRow(0);
  EXPECT_EQ(cells.Count(), 2);
  EXPECT_EQ(cells.GetCellValue(0, 1).Integer(), 1);
  EXPECT_EQ(cells.Items(1).Index, 2);  // moved down, not renumbered
  EXPECT_THROW(cells.DeleteRow(2), EListError);
  cells.AutoDimensions = false;
  cells.Clear();
  EXPECT_EQ(cells.Count(), 0);
  EXPECT_EQ(cells.RowCount, 0);
  EXPECT_FALSE(cells.AutoDimensions);
}

TEST(CellStore, SheetsGetDefaultCaptions) {
  TSpreadSheets sheets;
  EXPECT_EQ(sheets.GetSheet(-4).Caption, u"Sheet1");
  EXPECT_EQ(sheets.GetSheet(2).Caption, u"Sheet3");
  EXPECT_EQ(sheets.Items(1).Caption, u"Sheet2");
  EXPECT_EQ(sheets.Count(), 3);
  sheets.DeleteSheet(0);
  EXPECT_EQ(sheets.Items(0).Caption, u"Sheet2");
  sheets.Clear();
  EXPECT_EQ(sheets.GetSheet(0).Caption, u"Sheet1");
  EXPECT_THROW(sheets.Items(5), EListError);
}

TEST(CellStore, RangeAssignCopiesTheWindow) {
  TVoRange a, b;
  a.LastCol = 5;
  a.FirstRow = 3;
  b.Assign(a);
  EXPECT_EQ(b.LastCol, 5);
  EXPECT_EQ(b.FirstRow, 3);
  EXPECT_EQ(b.LastRow, 2147483647);
  TPersistent other;
  EXPECT_THROW(b.Assign(other), EConvertError);
}
