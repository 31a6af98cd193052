// The cell store (sheets, rows, cells, the load window) and the base class of
// every reader: its properties, report events, default event handlers that
// fill the store, the load protocol and column naming.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "platform/Classes.h"
#include "platform/Streams.h"
#include "platform/Variant.h"
#include "text/VoxUtils.h"

namespace gridlark {

enum TAlignment : uint8_t { taLeftJustify = 0, taRightJustify = 1, taCenter = 2 };

enum TVoxCellType : uint8_t {
  ictUnknown, ictEmpty, ictString, ictInteger, ictDecimal, ictDateTime, ictBoolean, ictMemo, ictDate, ictTime
};

// Store limits. No format we read addresses more rows or columns; reports
// beyond them are dropped, so a hostile file cannot make the store allocate
// what its size does not justify.
inline constexpr int32_t kMaxStoreRows = 1048576;
inline constexpr int32_t kMaxStoreCols = 65536;
inline constexpr int32_t kMaxStoreSheets = 65536;

// One cell.
struct TVoxCell {
  Variant Value;
  int32_t FormatIndex = 0;
  TAlignment Alignment = taLeftJustify;
  TVoxCellType CellType = ictUnknown;

  void Assign(const TVoxCell& Source) { *this = Source; }
};

// The cells of one row by column. Only stored cells take memory: they are
// kept in column order, so a row with one cell far to the right costs one
// entry, while Count() is one more than the highest column ever set.
class TSpreadSheetCols {
 public:
  struct Entry {
    TVoxCell Cell;
    int32_t Col;
  };

  int Count() const { return count_; }
  // The cell at Index, or nullptr for a hole or an index outside the row.
  TVoxCell* GetCell(int Index);
  const TVoxCell* GetCell(int Index) const;
  // The cell at Col, created when it is a hole. Col must be in 0..kMaxStoreCols-1.
  TVoxCell& Put(int Col);
  // Stored cells in column order.
  std::span<const Entry> Entries() const { return entries_; }
  void Reserve(size_t cells) { entries_.reserve(cells); }

 private:
  std::vector<Entry> entries_;
  int32_t count_ = 0;
};

struct TSpreadSheetRow {
  int32_t Index = 0;
  int32_t Height = 0;
  TSpreadSheetCols Cols;
};

// The rows of one sheet. Logically the list holds every row up to the
// highest one used (Count()); only rows that received a cell or a height are
// stored, in position order, so memory follows what the file holds.
class TSpreadSheetCells {
 public:
  int32_t DeclaredLastCol = 0;
  int32_t DeclaredLastRow = 0;
  int32_t ColCount = 0;
  int32_t RowCount = 0;
  bool AutoDimensions = true;

  // Rows in the list, stored or not.
  int Count() const { return count_; }
  // The row at position Index, stored on first use; EListError outside
  // 0..Count()-1.
  TSpreadSheetRow& Items(int Index);
  // Read-only: the row, or an empty row (Index -1) when it was never used.
  const TSpreadSheetRow& Items(int Index) const;
  // The row at position Index, or nullptr when it was never used.
  const TSpreadSheetRow* FindRow(int Index) const;
  // The stored rows in position order, with their positions.
  std::span<const TSpreadSheetRow> StoredRows() const { return rows_; }
  std::span<const int32_t> StoredPositions() const { return positions_; }

  // Makes the list hold at least Index + 1 rows (not for a negative index or
  // one at or beyond kMaxStoreRows). Returns Index.
  int EnsureRow(int Index);
  // Adds or replaces the cell at (Row, Col). Empty and Null values and
  // negative columns are ignored; a row outside the store raises EListError.
  void SetCellValue(int Col, int Row, const Variant& Value, TAlignment Alignment, int32_t FormatIndex,
                    TVoxCellType CellType);
  // The cell or nullptr; a negative Row raises EListError.
  TVoxCell* GetCell(int Col, int Row);
  // The cell's value or Null.
  Variant GetCellValue(int Col, int Row);
  // Removes the row; later rows move down and keep their Index fields.
  void DeleteRow(int Index);
  // Frees every row and zeroes the counts; AutoDimensions stays.
  void Clear();

 private:
  // Index in rows_ of the row at a position, or where it would go.
  size_t Slot(int Position) const;

  std::vector<TSpreadSheetRow> rows_;
  std::vector<int32_t> positions_;  // position of rows_[i], ascending
  int32_t count_ = 0;
  // The row that last received a cell: a new row reserves room for as many
  // cells as it holds, since rows of a sheet tend to be alike.
  int32_t lastRow_ = -1;
};

class TSpreadSheet : public TComponent {
 public:
  TSpreadSheetCells Cells;
  WideString Caption;
  std::vector<int32_t> ColumnWidths;
};

class TSpreadSheets {
 public:
  int Count() const { return int(sheets_.size()); }
  // Raises EListError outside 0..Count()-1.
  TSpreadSheet& Items(int Index) const;
  // Appends a sheet captioned "Sheet" N (N = its index + 1); returns the index.
  int AddSheet();
  // The sheet at Index (negative means 0), appending default sheets as needed.
  TSpreadSheet& GetSheet(int Index);
  void DeleteSheet(int Index);
  void Clear() { while (!sheets_.empty()) sheets_.pop_back(); }

 private:
  std::vector<std::unique_ptr<TSpreadSheet>> sheets_;
};

// The load window. Only LastRow and LastCol are consulted, as 0-based limits.
class TVoRange : public TPersistent {
 public:
  int32_t FirstRow = 1;
  int32_t LastRow = 2147483647;
  int32_t FirstCol = 1;
  int32_t LastCol = 2147483647;

  void Assign(const TPersistent& Source) override;
  const char* ClassName() const override { return "TVoRange"; }
};

// Column names: 1 is A, 26 Z, 27 AA; 0 and below give empty text.
std::string ColumnName(int Number);
// 0-based index of a column name (any letter case), or -1 when it holds a
// non-letter, is empty, or lies beyond Count columns.
int ColumnIndex(std::string_view Name, int Count);
// Names "A".."" for 1..Count (1-based numbers attached) when Names is empty;
// otherwise the ";"-separated Names with their 0-based ColumnIndex attached.
void FillColumnNames(int Count, std::string_view Names, TStringList& Strings);
// True for NaNs, infinities and finite values of 2^1017 and more except
// those whose high word is exactly 0x7F800000; readers replace them by 0.
bool IsNanBits(double Value);

enum TVoxColumnNameKind : uint8_t { nkAlphabet, nkFieldName };
enum TVoxRowStatus : uint8_t { rsNormal, rsDeleted, rsError };
using TVoxRowStatuses = uint8_t;  // bit 1 << TVoxRowStatus
enum TVoxParseItem : uint32_t {
  ipiText = 1, ipiBLOB = 2, ipiVBA = 4, ipiPictures = 8, ipiSummaryInformation = 16, ipiComments = 32
};
using TVoxParseItems = uint32_t;  // bits of TVoxParseItem
inline constexpr TVoxParseItems kDefaultParseItems = ipiText | ipiBLOB | ipiSummaryInformation;

// Header of the record a record-based reader is processing.
struct TBIFFRecordHeader {
  uint16_t RecType = 0;
  uint16_t RecLen = 0;
};

class TCustomSpreadSheetFile;
using TOnColumnWidth = std::function<void(TCustomSpreadSheetFile* Sender, int32_t SheetNo, int32_t ColumnNo, int32_t Width)>;
using TOnRowHeight = std::function<void(TCustomSpreadSheetFile* Sender, int32_t SheetNo, int32_t RowNo, int32_t Height)>;
using TOnDimensions = std::function<void(TCustomSpreadSheetFile* Sender, int32_t SheetNo, int32_t FirstRow,
                                         int32_t LastRow, int32_t FirstColumn, int32_t LastColumn)>;
using TOnCellValue =
    std::function<void(TCustomSpreadSheetFile* Sender, int32_t SheetNo, int32_t Row, int32_t Column,
                       int32_t FormatIndex, const Variant& Value, TAlignment Alignment, TVoxCellType CellType)>;
using TOnGetCellValue =
    std::function<void(TCustomSpreadSheetFile* Sender, int32_t SheetNo, int32_t Row, int32_t Column, Variant& Value)>;
using TOnSheet = std::function<void(TCustomSpreadSheetFile* Sender, const WideString& Caption, int32_t Index, bool& Skip)>;
using TOnSheetName = std::function<void(TCustomSpreadSheetFile* Sender, const WideString& Caption, int32_t Index)>;
using TOnRecord =
    std::function<void(TCustomSpreadSheetFile* Sender, TBIFFRecordHeader Header, std::span<const uint8_t> Data)>;
using TOnRecordStatusChanged =
    std::function<void(TCustomSpreadSheetFile* Sender, int32_t SheetNo, int32_t ARow, TVoxRowStatus AStatus)>;
using TErrorParseRecord = std::function<void(TCustomSpreadSheetFile* Sender, const std::exception& Error, bool& Abort)>;
using TOnLoadProgress = std::function<void(TCustomSpreadSheetFile* Sender, int64_t Position, int64_t TotalSize)>;
// Asked for a password when a reader meets an encrypted file; the handler may
// change the password and clears Continue to stop being asked.
using TVoxOnPasswordEvent = std::function<void(TCustomSpreadSheetFile* Sender, std::string& APassword, bool& Continue)>;

class TCustomSpreadSheetFile : public TComponent {
 public:
  std::string FileName;
  TErrorParseRecord OnErrorProcess;
  bool LoadNULLs = false;
  int32_t SelectedSheet = -1;
  TVoRange Range;
  TOnColumnWidth OnColumnWidth;
  TOnRowHeight OnRowHeight;
  TOnDimensions OnDimensions;
  TOnCellValue OnCellValue;
  TOnGetCellValue OnGetCellValue;
  TOnSheet OnSheet;
  TOnSheetName OnSheetName;
  TOnRecord OnRecord;
  TOnRecordStatusChanged OnRecordStatusChanged;

  virtual bool IsEncrypted() { return false; }
};

class TSpreadSheetFile : public TCustomSpreadSheetFile {
 public:
  TSpreadSheetFile() = default;
  TSpreadSheetFile(const TSpreadSheetFile&) = delete;
  TSpreadSheetFile& operator=(const TSpreadSheetFile&) = delete;

  TOnLoadProgress OnLoadProgress;
  TVoxColumnNameKind NameKind = nkAlphabet;
  TVoxRowStatuses LoadRowStatutes = 1 << rsNormal;
  TVoxParseItems ParseItems = kDefaultParseItems;
  TBIFFRecordHeader RecordHeader;
  bool CheckFileName = true;
  TSpreadSheets Sheets;
  int32_t RecordIndex = 0;

  // Empties the store and installs a default handler for every store event
  // left unassigned. Readers call this first, then reset their own tables.
  virtual void Load();
  virtual std::string GetText(int32_t, int32_t) { return {}; }
  virtual WideString GetWideText(int32_t, int32_t) { return {}; }
  // Calls ReadStream.
  virtual void LoadFromStream(TStream& Stream);
  // Checks the name (with CheckFileName), sets FileName and calls Load.
  // Readers call this first, then open and parse the file. The name is the
  // file system's byte string.
  virtual void LoadFromFile(const std::string& FileName);
  // The reader's parser over an open stream; the base calls Load.
  virtual void ReadStream(TStream& Stream);
  // Skips a 12-byte "BDOC" mark when the stream starts with one.
  virtual void LoadFromMarkedStream(TStream& Stream);
  virtual void ResetRecordIndex() { RecordIndex = -1; }
  virtual void EndRecordRead() {}
  virtual bool CanReadRecord() { return true; }
  virtual bool SetRecordIndex(int32_t Index) {
    RecordIndex = Index;
    return true;
  }
  virtual int32_t ColumnIndexByName(std::string_view Name);
  virtual void GetColumnNames(TStringList& Strings, std::string_view Names);

  bool HasParseItem(TVoxParseItem item) const { return (ParseItems & item) != 0; }

  // The default handlers that Load installs.
  void DefaultOnSheet(const WideString& Caption, int32_t Index, bool& Skip);
  void DefaultOnSheetName(const WideString& Caption, int32_t Index);
  void DefaultOnCellValue(int32_t SheetNo, int32_t Row, int32_t Column, int32_t FormatIndex, const Variant& Value,
                          TAlignment Alignment, TVoxCellType CellType);
  void DefaultOnDimensions(int32_t SheetNo, int32_t FirstRow, int32_t LastRow, int32_t FirstColumn,
                           int32_t LastColumn);
  void DefaultOnColumnWidth(int32_t SheetNo, int32_t ColumnNo, int32_t Width);
  void DefaultOnRowHeight(int32_t SheetNo, int32_t RowNo, int32_t Height);
  void DefaultOnGetCellValue(int32_t SheetNo, int32_t Row, int32_t Column, Variant& Value);

 protected:
  void DoLoadProgress(int64_t Position, int64_t TotalSize) {
    if (OnLoadProgress) OnLoadProgress(this, Position, TotalSize);
  }
  // Record-based readers run each record through this guard: an exception
  // is offered to OnErrorProcess with Abort set, and raised again unless
  // the handler cleared Abort (then the record is abandoned).
  template <class F>
  void GuardRecord(F&& work) {
    try {
      work();
    } catch (const std::exception& e) {
      if (!ErrorHandled(e)) throw;
    }
  }
  bool ErrorHandled(const std::exception& e);

 private:
  // The sheet a report addresses, or nullptr beyond kMaxStoreSheets.
  TSpreadSheet* ReportSheet(int32_t SheetNo);
};

}  // namespace gridlark
