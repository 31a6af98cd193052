#include "model/VoCells.h"

#include <algorithm>
#include <bit>

#include "platform/AnsiText.h"
#include "platform/Bytes.h"

namespace gridlark {
namespace {

[[noreturn]] void ListIndexError(int index) { throw EListError(Format(msg::ListIndexError, index)); }

bool ByCol(const TSpreadSheetCols::Entry& e, int col) { return e.Col < col; }

}  // namespace

// ---- TSpreadSheetCols ----

TVoxCell* TSpreadSheetCols::GetCell(int Index) {
  return const_cast<TVoxCell*>(static_cast<const TSpreadSheetCols*>(this)->GetCell(Index));
}

const TVoxCell* TSpreadSheetCols::GetCell(int Index) const {
  if (Index < 0 || Index >= count_) return nullptr;
  // Rows filled from the left hold column i at entry i.
  if (size_t(Index) < entries_.size() && entries_[size_t(Index)].Col == Index) return &entries_[size_t(Index)].Cell;
  const auto it = std::lower_bound(entries_.begin(), entries_.end(), Index, ByCol);
  return (it != entries_.end() && it->Col == Index) ? &it->Cell : nullptr;
}

TVoxCell& TSpreadSheetCols::Put(int Col) {
  if (Col >= count_) count_ = Col + 1;
  if (entries_.empty() || entries_.back().Col < Col) return entries_.emplace_back(Entry{TVoxCell{}, Col}).Cell;
  auto it = std::lower_bound(entries_.begin(), entries_.end(), Col, ByCol);
  if (it->Col != Col) it = entries_.insert(it, Entry{TVoxCell{}, Col});
  return it->Cell;
}

// ---- TSpreadSheetCells ----

size_t TSpreadSheetCells::Slot(int Position) const {
  // Rows mostly arrive in order: the last one is the first guess.
  if (positions_.empty() || positions_.back() < Position) return positions_.size();
  if (positions_.back() == Position) return positions_.size() - 1;
  return size_t(std::lower_bound(positions_.begin(), positions_.end(), Position) - positions_.begin());
}

TSpreadSheetRow& TSpreadSheetCells::Items(int Index) {
  if (Index < 0 || Index >= count_) ListIndexError(Index);
  const size_t slot = Slot(Index);
  if (slot < positions_.size() && positions_[slot] == Index) return rows_[slot];
  positions_.insert(positions_.begin() + std::ptrdiff_t(slot), Index);
  TSpreadSheetRow& row = *rows_.insert(rows_.begin() + std::ptrdiff_t(slot), TSpreadSheetRow{});
  row.Index = Index;
  return row;
}

const TSpreadSheetRow& TSpreadSheetCells::Items(int Index) const {
  static const TSpreadSheetRow kUnusedRow{-1, 0, {}};
  if (Index < 0 || Index >= count_) ListIndexError(Index);
  const TSpreadSheetRow* row = FindRow(Index);
  return row ? *row : kUnusedRow;
}

const TSpreadSheetRow* TSpreadSheetCells::FindRow(int Index) const {
  const size_t slot = Slot(Index);
  return (slot < positions_.size() && positions_[slot] == Index) ? &rows_[slot] : nullptr;
}

int TSpreadSheetCells::EnsureRow(int Index) {
  if (Index >= count_ && Index < kMaxStoreRows) count_ = Index + 1;
  return Index;
}

void TSpreadSheetCells::SetCellValue(int Col, int Row, const Variant& Value, TAlignment Alignment,
                                     int32_t FormatIndex, TVoxCellType CellType) {
  if (Col < 0 || Value.IsEmptyOrNull()) return;
  EnsureRow(Row);
  if (Col >= kMaxStoreCols) ListIndexError(Col);
  TSpreadSheetRow& row = Items(Row);
  if (Row != lastRow_) {
    if (row.Cols.Entries().empty())
      if (const TSpreadSheetRow* last = FindRow(lastRow_)) row.Cols.Reserve(last->Cols.Entries().size());
    lastRow_ = Row;
  }
  TVoxCell& cell = row.Cols.Put(Col);
  cell.Value = Value;
  cell.Alignment = Alignment;
  cell.FormatIndex = FormatIndex;
  cell.CellType = CellType;
  if (AutoDimensions) {
    if (Col >= ColCount) ColCount = Col + 1;
    if (Row >= RowCount) RowCount = Row + 1;
  }
}

TVoxCell* TSpreadSheetCells::GetCell(int Col, int Row) {
  if (Row < 0) ListIndexError(Row);
  const TSpreadSheetRow* row = FindRow(Row);
  return row ? const_cast<TSpreadSheetRow*>(row)->Cols.GetCell(Col) : nullptr;
}

Variant TSpreadSheetCells::GetCellValue(int Col, int Row) {
  const TVoxCell* cell = GetCell(Col, Row);
  return cell ? cell->Value : Variant::Null();
}

void TSpreadSheetCells::DeleteRow(int Index) {
  if (Index < 0 || Index >= count_) ListIndexError(Index);
  size_t slot = Slot(Index);
  if (slot < positions_.size() && positions_[slot] == Index) {
    rows_.erase(rows_.begin() + std::ptrdiff_t(slot));
    positions_.erase(positions_.begin() + std::ptrdiff_t(slot));
  }
  for (; slot < positions_.size(); ++slot) --positions_[slot];
  --count_;
  lastRow_ = -1;
}

void TSpreadSheetCells::Clear() {
  while (!rows_.empty()) rows_.pop_back();
  rows_.shrink_to_fit();
  positions_.clear();
  positions_.shrink_to_fit();
  count_ = 0;
  lastRow_ = -1;
  DeclaredLastCol = DeclaredLastRow = ColCount = RowCount = 0;
}

// ---- TSpreadSheets ----

TSpreadSheet& TSpreadSheets::Items(int Index) const {
  if (Index < 0 || Index >= int(sheets_.size())) ListIndexError(Index);
  return *sheets_[size_t(Index)];
}

int TSpreadSheets::AddSheet() {
  auto sheet = std::make_unique<TSpreadSheet>();
  const int index = int(sheets_.size());
  sheet->Caption = kSheetCaptionPrefix + AnsiToWide(std::to_string(index + 1));
  sheets_.push_back(std::move(sheet));
  return index;
}

TSpreadSheet& TSpreadSheets::GetSheet(int Index) {
  if (Index < 0) Index = 0;
  while (Index >= int(sheets_.size())) AddSheet();
  return *sheets_[size_t(Index)];
}

void TSpreadSheets::DeleteSheet(int Index) {
  GetSheet(Index);
  sheets_.erase(sheets_.begin() + std::max(Index, 0));
}

// ---- TVoRange ----

void TVoRange::Assign(const TPersistent& Source) {
  if (const auto* r = dynamic_cast<const TVoRange*>(&Source)) {
    FirstRow = r->FirstRow;
    LastRow = r->LastRow;
    FirstCol = r->FirstCol;
    LastCol = r->LastCol;
    return;
  }
  TPersistent::Assign(Source);
}

// ---- column naming ----

std::string ColumnName(int Number) {
  std::string out;
  while (Number > 0) {
    const int d = (Number - 1) % 26;
    out.insert(out.begin(), char('A' + d));
    Number = (Number - 1) / 26;
  }
  return out;
}

int ColumnIndex(std::string_view Name, int Count) {
  if (Name.empty()) return -1;
  int64_t sum = 0;
  bool tooBig = false;
  for (char c : Name) {
    c = UpperAsciiChar(c);
    if (c < 'A' || c > 'Z') return -1;
    if (!tooBig) {
      sum = sum * 26 + (c - 'A' + 1);
      tooBig = sum > Count;
    }
  }
  return tooBig ? -1 : int(sum - 1);
}

void FillColumnNames(int Count, std::string_view Names, TStringList& Strings) {
  Strings.Clear();
  if (Names.empty()) {
    for (int i = 1; i <= Count; ++i) Strings.AddObject(ColumnName(i), i);
    return;
  }
  size_t start = 0;
  while (true) {
    const size_t p = Names.find(';', start);
    if (p == std::string_view::npos) {
      if (start < Names.size()) Strings.AddObject(Names.substr(start), ColumnIndex(Names.substr(start), Count));
      break;
    }
    const std::string_view piece = Names.substr(start, p - start);
    Strings.AddObject(piece, ColumnIndex(piece, Count));
    start = p + 1;
  }
}

bool IsNanBits(double Value) {
  const uint32_t high = uint32_t(std::bit_cast<uint64_t>(Value) >> 32);
  return (high & 0x7F800000u) == 0x7F800000u && (high & 0x007FFFFFu) != 0;
}

// ---- reader base ----

void TSpreadSheetFile::Load() {
  Sheets.Clear();
  if (!OnDimensions)
    OnDimensions = [this](TCustomSpreadSheetFile*, int32_t s, int32_t fr, int32_t lr, int32_t fc, int32_t lc) {
      DefaultOnDimensions(s, fr, lr, fc, lc);
    };
  if (!OnCellValue)
    OnCellValue = [this](TCustomSpreadSheetFile*, int32_t s, int32_t r, int32_t c, int32_t f, const Variant& v,
                         TAlignment a, TVoxCellType t) { DefaultOnCellValue(s, r, c, f, v, a, t); };
  if (!OnGetCellValue)
    OnGetCellValue = [this](TCustomSpreadSheetFile*, int32_t s, int32_t r, int32_t c, Variant& v) {
      DefaultOnGetCellValue(s, r, c, v);
    };
  if (!OnSheet)
    OnSheet = [this](TCustomSpreadSheetFile*, const WideString& caption, int32_t index, bool& skip) {
      DefaultOnSheet(caption, index, skip);
    };
  if (!OnSheetName)
    OnSheetName = [this](TCustomSpreadSheetFile*, const WideString& caption, int32_t index) {
      DefaultOnSheetName(caption, index);
    };
  if (!OnColumnWidth)
    OnColumnWidth = [this](TCustomSpreadSheetFile*, int32_t s, int32_t c, int32_t w) { DefaultOnColumnWidth(s, c, w); };
  if (!OnRowHeight)
    OnRowHeight = [this](TCustomSpreadSheetFile*, int32_t s, int32_t r, int32_t h) { DefaultOnRowHeight(s, r, h); };
}

void TSpreadSheetFile::LoadFromStream(TStream& Stream) { ReadStream(Stream); }

void TSpreadSheetFile::LoadFromFile(const std::string& Name) {
  if (CheckFileName) {
    if (Trim(Name).empty()) throw EVoxFileException(msg::FileNotDefined);
    if (!FileExists(Name)) throw EVoxFileException(Format(msg::FileNotExists, Name.c_str()));
  }
  FileName = Name;
  Load();
}

void TSpreadSheetFile::ReadStream(TStream&) { Load(); }

void TSpreadSheetFile::LoadFromMarkedStream(TStream& Stream) {
  uint8_t mark[12];
  Stream.ReadBuffer(mark, sizeof mark);
  if (ByteView(mark, sizeof mark).U32(0) != 0x434F4442u) Stream.Seek(-12, SeekOrigin::Current);
  LoadFromStream(Stream);
}

int32_t TSpreadSheetFile::ColumnIndexByName(std::string_view Name) {
  if (NameKind != nkAlphabet) return -1;
  return ColumnIndex(Name, Sheets.GetSheet(SelectedSheet).Cells.ColCount);
}

void TSpreadSheetFile::GetColumnNames(TStringList& Strings, std::string_view Names) {
  Strings.Clear();
  if (NameKind == nkAlphabet) FillColumnNames(Sheets.GetSheet(SelectedSheet).Cells.ColCount, Names, Strings);
}

TSpreadSheet* TSpreadSheetFile::ReportSheet(int32_t SheetNo) {
  if (SheetNo >= kMaxStoreSheets) return nullptr;
  return &Sheets.GetSheet(SheetNo);
}

void TSpreadSheetFile::DefaultOnSheet(const WideString& Caption, int32_t Index, bool& Skip) {
  if (SelectedSheet > -1) Skip = SelectedSheet != Index;
  Sheets.Items(Sheets.AddSheet()).Caption = Caption;
}

void TSpreadSheetFile::DefaultOnSheetName(const WideString& Caption, int32_t Index) {
  if (Index >= 0 && Index < Sheets.Count()) Sheets.Items(Index).Caption = Caption;
}

void TSpreadSheetFile::DefaultOnCellValue(int32_t SheetNo, int32_t Row, int32_t Column, int32_t FormatIndex,
                                          const Variant& Value, TAlignment Alignment, TVoxCellType CellType) {
  if (Column > Range.LastCol || Row > Range.LastRow) return;
  TSpreadSheet* sheet = ReportSheet(SheetNo);
  if (!sheet) return;
  try {
    sheet->Cells.SetCellValue(Column, Row, Value, Alignment, FormatIndex, CellType);
  } catch (const std::exception&) {
    // A bad position loses this one cell only.
  }
}

void TSpreadSheetFile::DefaultOnDimensions(int32_t SheetNo, int32_t, int32_t LastRow, int32_t, int32_t LastColumn) {
  TSpreadSheet* sheet = ReportSheet(SheetNo);
  if (!sheet) return;
  TSpreadSheetCells& cells = sheet->Cells;
  cells.DeclaredLastRow = LastRow;
  cells.DeclaredLastCol = std::min(LastColumn, Range.LastCol);
  if (!cells.AutoDimensions) {
    cells.RowCount = cells.DeclaredLastRow;
    cells.ColCount = cells.DeclaredLastCol;
  }
}

void TSpreadSheetFile::DefaultOnColumnWidth(int32_t SheetNo, int32_t ColumnNo, int32_t Width) {
  TSpreadSheet* sheet = ReportSheet(SheetNo);
  if (!sheet || ColumnNo >= kMaxStoreCols) return;
  if (ColumnNo < 0) ListIndexError(ColumnNo);
  auto& widths = sheet->ColumnWidths;
  if (int(widths.size()) <= ColumnNo) widths.resize(size_t(ColumnNo) + 1, 0);
  widths[size_t(ColumnNo)] = Width;
}

void TSpreadSheetFile::DefaultOnRowHeight(int32_t SheetNo, int32_t RowNo, int32_t Height) {
  TSpreadSheet* sheet = ReportSheet(SheetNo);
  if (!sheet || RowNo >= kMaxStoreRows) return;
  sheet->Cells.EnsureRow(RowNo);
  sheet->Cells.Items(RowNo).Height = Height;
}

void TSpreadSheetFile::DefaultOnGetCellValue(int32_t SheetNo, int32_t Row, int32_t Column, Variant& Value) {
  TSpreadSheet* sheet = ReportSheet(SheetNo);
  Value = sheet ? sheet->Cells.GetCellValue(Column, Row) : Variant::Null();
}

bool TSpreadSheetFile::ErrorHandled(const std::exception& e) {
  bool Abort = true;
  if (OnErrorProcess) OnErrorProcess(this, e, Abort);
  return !Abort;
}

}  // namespace gridlark
