// Excel readers. TCustomMSExcel is the common base of the binary-record
// reader (TMSExcel, BIFF2 to BIFF8, plain files and compound documents) and
// the package reader: it holds the format, cell-format, string and name
// tables both fill, and the rules that turn a cell's format into a date or
// percent decision and an error code into text.
//
// Implementation: VoXLSCommon.cpp (the common base), VoXLSBiff.cpp (BIFF
// container, record loops and workbook records), VoXLSCells.cpp (BIFF cell
// and sheet layout records), VoXLSPackage.cpp (the OOXML package: parts,
// sheet list, strings, styles, the sheet loop), VoXLSWorksheet.cpp (OOXML
// worksheet cells) and VoXLSScan.h (the one-pass scan of large XML parts).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "container/Vox_Sum.h"
#include "model/VoCells.h"
#include "platform/Bytes.h"
#include "platform/CodePage.h"
#include "text/VoxUtils.h"

namespace gridlark {

enum TExcelVersion : uint8_t {
  evUnknown, evExcel2, evExcel3, evExcel4, evExcel5, evExcel7, evExcel8, evExcel9, evExcel12, evExcel12Bin
};

class EVoxExcelException : public Exception { using Exception::Exception; };

// One cell format (an XF record) or a format made for a format text.
struct TXLSFormat {
  std::string FormatString;  // the format text it was made for; empty for XF records
  int32_t FormatIndex = -1;  // index into Formats; -1 when the record gave none
  int32_t FontIndex = 0;
  uint8_t HorzAlign = 0;     // horizontal alignment code 0 to 7
};

// A defined name. Its formula tokens are kept, never evaluated.
struct TXLSName {
  std::string Name;
  uint16_t FormulaLength = 0;
  std::vector<uint8_t> Formula;  // at most kMaxNameTokens bytes
  uint32_t Options = 0;
};

// A formula record's cell and tokens. The cell shows the stored result.
struct TXLSSharedFormula {
  uint8_t Own = 1;
  int32_t SheetNo = 0;
  uint16_t FirstRow = 0, LastRow = 0;
  uint8_t FirstCol = 0, LastCol = 0;
  uint16_t TokenLength = 0;
  std::vector<uint8_t> Tokens;  // at most kMaxFormulaTokens bytes
};

inline constexpr size_t kMaxNameTokens = 1026;
inline constexpr size_t kMaxFormulaTokens = 1032;

class TCustomMSExcel : public TSpreadSheetFile {
 public:
  TCustomMSExcel();

  // Document properties of the last load.
  TVoxSummaryInformation SummaryInformation;
  TExcelVersion Version = evUnknown;
  // Number of the sheet being read; after a load, that of the last sheet met.
  int32_t SheetIndex = -1;
  std::string Password;
  TVoxOnPasswordEvent OnPassword;

  std::string VBAProjectText;
  std::string Macros;
  bool Encrypted = false;
  // Added to every date serial: 0 (1900 system) or 1462 (1904 system).
  double DateBase = 0;
  int64_t StreamPos = 0;
  int32_t MaxRow = 0, MaxCol = 0;
  bool DimensionsRead = false;
  int32_t DimLastRow = 0, DimLastCol = 0;
  std::vector<TXLSFormat> XFList;
  // Number format texts by format number; empty text where none is defined.
  std::vector<std::string> Formats;
  // Sheet names in workbook order, each with its BOF offset attached.
  TWideStrings SheetNames;
  TWideStrings SharedStrings;
  std::vector<TXLSName> DefinedNames;
  std::vector<TXLSSharedFormula> Formulas;

  virtual int32_t MaxRows() { return 65536; }
  virtual int32_t MaxColumns() { return 255; }

  // Resets the tables of the last load.
  void Load() override;

  // IsBuiltIn: sets Formats[FormatIndex]. Otherwise adds (or updates the
  // entry made for the same text) a cell format.
  void AddFormat(bool IsBuiltIn, std::string_view FormatStr, int32_t FormatIndex, int32_t FontIndex,
                 int32_t AlignWord, int32_t Color);
  // The first cell format made for exactly this text, or nullptr.
  TXLSFormat* FindFormat(std::string_view FormatStr);
  // The cell format at Index, or nullptr.
  const TXLSFormat* GetXF(int32_t Index) const;
  // Index is a cell's format reference: an XF number, or a format number
  // when it lies beyond the XF list.
  bool IsDateFormat(int32_t Index) const;
  bool IsPercentFormat(int32_t Index) const;
  // "#DIV/0!" and the other error texts; "Unknown error code N" otherwise.
  static std::string ErrorText(int32_t Code);
  // Asks OnPassword until it gives up; no password is ever accepted, since
  // no decryption is built in.
  bool RequestPassword();
  // True when the text contains "dd", "mm" or "yy".
  static bool HasDatePattern(std::string_view Text);
  // The number an RK value stands for.
  static double DecodeRK(uint32_t RK);

 protected:
  // Installs the built-in number formats 0 to 49.
  void AddBuiltInFormats();
  // A number as a cell reports it under the format reference: a date-time
  // (plus DateBase) for a date format, times 100 for a percent format.
  void NumberValue(double Number, int32_t FormatIndex, Variant& Value, TVoxCellType& CellType) const;
  // The same for a format number looked up in Formats directly.
  void NumberValueByFormat(double Number, int32_t FormatNumber, Variant& Value, TVoxCellType& CellType) const;

 private:
  enum : uint8_t { kKnown = 1, kDate = 2, kPercent = 4 };
  // Date and percent flags of Formats[Index], computed once per text.
  uint8_t FormatFlags(int32_t Index) const;
  // The format number a reference resolves to, or -1 for none.
  int32_t ResolveFormat(int32_t Index) const;
  mutable std::vector<uint8_t> formatFlags_;
};

// Reader of Excel binary workbooks: BIFF2 to BIFF8, as plain files, BIFF4
// workbooks, or the "Workbook" or "Book" stream of a compound document.
class TMSExcel : public TCustomMSExcel {
 public:
  TMSExcel();

  // Record size limit chosen from the stream name; 0: by Version.
  int32_t MaxRecordSize = 0;
  uint16_t BOFBuild = 0;
  uint16_t BOFYear = 0;

  bool IsEncrypted() override { return Encrypted; }
  void Load() override;
  void LoadFromFile(const std::string& FileName) override;
  // Reads a compound document from the stream's position to its end.
  void ReadStream(TStream& Stream) override;

  // Reads a plain BIFF file (BIFF2 to BIFF5 records) held in memory.
  void ReadPlainStream(ByteView Data);
  // Reads a workbook stream of a compound document held in memory, as the
  // storage path does after picking the stream. StreamName decides the
  // version assumed until the first BOF ("Book": Excel 5/7).
  void ReadWorkbookStream(ByteView Data, std::u16string_view StreamName);

 private:
  // Container and loops (VoXLSBiff.cpp).
  void ReadCompoundDocument(std::vector<uint8_t> Bytes);
  void RunStorageLoop();
  // Reads the record header at the stream position and moves past it,
  // reporting progress; the record's length.
  size_t ReadRecordHeader();
  bool ReadRecordAt(size_t& Pos);
  bool ProcessRecord();
  void DispatchRecord();
  void CheckBOF(bool First);
  void StorageBOF(size_t RecordStart);
  bool StorageEOF();
  int32_t SheetEntryAt(size_t Offset) const;
  bool IsLastSheet() const;
  void ReadContinue();
  int32_t GetMaxRecordSize() const;
  bool IsKnownBuild() const;
  bool UnicodeStrings() const;
  // 8-bit text of BIFF2 to BIFF7 in the workbook's code page.
  WideString DecodeBytes(std::string_view Bytes) const;
  WideString ReadCodePageString(ByteView Data, size_t Pos, bool EightBit, size_t Count) const;
  WideString ReadRawString(ByteView Data, size_t Pos, int64_t ByteCount, uint8_t Options) const;
  WideString ReadUnicodeString(ByteView Data, size_t CountPos, bool WideCount, size_t* End = nullptr) const;
  void ReadBoundSheet();
  void ReadBundleHeader();
  void ReadFormat();
  void ReadSST();
  void ReadName();

  // Cell and layout records (VoXLSCells.cpp).
  void ReportCell(int32_t ColOffset, int32_t FormatIndex, size_t AttrOffset, const Variant& Value,
                  TVoxCellType CellType);
  void ReportNumber(int32_t ColOffset, double Number, int32_t FormatIndex);
  void ReportBiff2Number(double Number);
  void ReadBlank();
  void ReadMulBlank();
  void ReadMulRK();
  void ReadLabel();
  void ReadBoolErr(size_t ValueOffset, size_t AttrOffset);
  void ReadFormula();
  void ReadFormulaString(int32_t FormatIndex, size_t AttrOffset);
  void KeepFormula(size_t LengthOffset, bool WordLength, size_t TokenOffset, int32_t SheetNo);
  void ReadDimensions();
  void ReadColumnWidths(bool Biff2);

  // The bytes of the stream being read and the current record.
  ByteView data_;
  size_t pos_ = 0;
  ByteView rec_;
  bool storage_ = false;  // reading a compound document's workbook stream
  // Set by a BOF of BIFF version 0x0600: strings use the BIFF8 layout.
  bool biff8_ = false;
  TCodePage codePage_;
  bool utf16Page_ = false;  // CODEPAGE 1200
  // BIFF2 to BIFF4 number their formats by the order of the FORMAT records.
  int32_t formatCount_ = 0;

  // Sheet boundaries of the storage loop.
  bool skipSheet_ = false;
  bool inSheet_ = false;     // inside a worksheet or macro sheet
  int32_t nested_ = 0;       // depth of chart substreams embedded in that sheet
  bool savedSkip_ = false;   // skip state of the sheet around them
  int32_t curEntry_ = -1;    // SheetNames entry of the current substream
  bool stop_ = false;
  std::unordered_map<uint32_t, int32_t> entryByOffset_;
};


// ---------------------------------------------------------------------------
// OOXML packages (.xlsx and its sisters; .xlsb holds binary parts)

class TVoXMLEngine;
class TVoXMLItem;
class TVoXMLTag;
class TZipArchive;
class IStorage;

namespace msg {
inline constexpr const char* BinaryPartsNotSupported = "Binary Excel workbooks (.xlsb) cannot be read yet.";
}  // namespace msg

// A cell formula as written in a worksheet part ("=" and the formula text).
// Kept, never evaluated: the cell shows its cached result.
struct TXLSXFormula {
  int32_t SheetNo = 0;
  int32_t Row = -1, Col = -1;  // -1 when the cell had no usable reference
  // Held by the reader until its next load.
  WideStringView FormulaText;
};

// A font of the styles part.
struct TXLSXFont {
  WideString Name;
  int32_t Size = 0;
  bool Bold = false, Italic = false, Underline = false, StrikeOut = false;
  int32_t ColorIndex = -1;  // palette index; -1 when none is given
};

// Decodes the escapes with which package parts write characters XML cannot
// hold: "_x000D_" is a carriage return, "_x005F_" an underscore.
void DecodeXStringEscapes(WideString& Text);

// Reads a cell reference such as "B7" or "$B$7": Row and Column 0-based, -1
// where the letters or digits are missing or lie beyond the format's last
// row (1,048,576) or column (XFD).
void ParseCellRef(std::string_view Ref, int32_t& Row, int32_t& Column);

// Reader of Excel OOXML packages: a ZIP archive of XML parts.
class TMSExcelX : public TCustomMSExcel {
 public:
  TMSExcelX();
  ~TMSExcelX() override;

  // Index in SheetNames of the sheet being read.
  int32_t CurrentSheet = 0;
  // Rows closed so far in the sheet data, and the column after the last
  // cell of the open row: the position of cells without a reference.
  int32_t RowCounter = 0;
  int32_t ColCounter = 0;
  // Formula texts of the cells read (a sheet of formulas has a great many,
  // so their characters lie in a few large blocks).
  std::vector<TXLSXFormula> FormulaTexts;
  // The formula text of each entry of DefinedNames.
  std::vector<WideString> DefinedNameFormulas;
  // Fonts of the styles part, in order (kept, not used for output).
  std::vector<TXLSXFont> Fonts;

  int32_t MaxRows() override { return 1048575; }
  int32_t MaxColumns() override { return 16384; }
  bool IsEncrypted() override { return Encrypted; }

  void Load() override;
  void LoadFromFile(const std::string& FileName) override;
  // Reads the package: a ZIP archive from position 0 of the stream.
  void ReadStream(TStream& Stream) override;

  // A compound document under a package's name: an encrypted package ends
  // the load with EVoxUnknownEncryptionException; anything else is no
  // package at all.
  void CheckEncryptedPackage(const IStorage& Root);

 private:
  // The package (VoXLSPackage.cpp).
  void ReadSummary(std::string_view PartName);
  void ReadSheetList();
  void ReadSharedStrings();
  void ReadDefinedNames();
  void ReadStyles();
  void ReadSheets();
  void ReadBinaryPart(std::string_view PartName);
  void FindWorkbookPart();
  void ParsePart(std::string_view PartName, TVoXMLEngine& Engine);
  std::string ResolveSheetTarget(const WideString& Id);
  void SheetListTag(TVoXMLItem* ParentNode, const TVoXMLTag& Tag, bool& Accept);

  // One worksheet (VoXLSWorksheet.cpp): a streamed scan of the part whose
  // element handlers below keep the cell being read.
  class TWorksheetParser;
  friend class TWorksheetParser;
  void ReadWorksheet(int32_t SheetNo, int EntryIndex);
  void BeginRow(std::string_view Attributes);
  void EndRow();
  void BeginCell(std::string_view Attributes);
  void EndCell();
  // Texts as they stand in the part (UTF-8, or the code page it declares).
  WideString DecodeText(std::string_view Raw) const;
  void AppendText(std::string_view Raw, WideString& Out) const;
  // The text with its references decoded (DecodeHtmlEntities); false when
  // what it adds holds no "_x" escape for DecodeXStringEscapes.
  bool AppendDecodedText(std::string_view Raw, WideString& Out);
  void ReportValue(std::string_view Raw, std::string_view Untrimmed);
  // A number under the cell's format; the shared string of an index.
  void ReportNumber(double Number);
  void ReportShared(int32_t Index);
  enum : uint8_t { kStyleKnown = 1, kStyleDate = 2, kStylePercent = 4 };
  uint8_t StyleFlags(int32_t Style) const;
  void ReportFormula(std::string_view Raw);
  void AppendInlineText(std::string_view Raw);
  void ReportCell(const Variant& Value, int32_t FormatIndex, TVoxCellType CellType);
  void ReportColumnWidths(std::string_view Attributes);

  std::unique_ptr<TZipArchive> zip_;
  // Folder of the workbook part ("xl/" in every ordinary package).
  std::string base_;
  std::string workbookPart_;
  // Relationship id to target, read once per load.
  bool relsRead_ = false;
  std::unordered_map<WideString, std::string> rels_;
  // SharedStrings as cell values, each sharing its text with every cell
  // showing it.
  std::vector<Variant> sharedValues_;

  // The cell being read.
  enum CellKind : uint8_t { ckNumber, ckShared, ckString, ckInline, ckError, ckDate, ckBoolean };
  // The kind a cell's "t" attribute gives.
  static CellKind KindOfType(std::string_view Type);
  int32_t cellRow_ = -1, cellCol_ = -1, cellStyle_ = -1;
  CellKind cellKind_ = ckNumber;
  bool inlineSeen_ = false;
  bool inlineEscapes_ = false;  // the inline text may hold "_x" escapes
  WideString inline_;
  WideString scratch_;
  WideString piece_;  // a text being decoded
  WideString formula_;
  // Blocks of formula text; the last one is filled up to formulaUsed_.
  std::vector<std::unique_ptr<char16_t[]>> formulaBlocks_;
  size_t formulaUsed_ = 0, formulaRoom_ = 0;
  bool ansiText_ = false;  // the worksheet declares an encoding other than UTF-8
  bool preserveSpace_ = false;  // the value element asks for its blanks to be kept
  int32_t rowIndex_ = 0;
  // StyleFlags of each cell format, 0 until first needed.
  std::vector<uint8_t> styleFlags_;
  int64_t widthReports_ = 0;
};

}  // namespace gridlark
