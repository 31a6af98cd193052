// Lotus 1-2-3 worksheets (.WK1, .WKS, .WR1, .WK3, .WK4, .123 and their
// sisters): a flat list of records without container. The reader walks the
// records once and reports sheets, cells, column widths and row heights
// through the events of the reader base. Formulas are not computed: a
// formula cell shows the value stored with it.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "model/VoCells.h"
#include "platform/Bytes.h"

namespace gridlark {

// Versions named by a BOF record. wvWKS1 and wvWR1 use the single-sheet
// layout (1-2-3 release 1A and 2, Symphony 1.1); the others address cells
// by sheet, row and column.
enum TWKSVersion : uint8_t { wvUnknown, wvWKS1, wvWKS2, wvWR1, wv123, wvWKS3, wvWKS4 };

// One entry of a format record (type 0x13). Only FindFormat reads the table.
struct TWK4Format {
  int32_t Sheet = 0;
  int32_t Row = 0;
  uint8_t Code = 0;
  int32_t FormatBits = 0;  // bits 6 to 21 of the entry's bytes 1 to 3
  uint8_t Flags = 0;       // top two bits of the entry's byte 3
  uint8_t Count = 0;       // the entry's byte 4 when Flags is 0x80 or 0xC0
};

// An 80-bit number that does not fit a double.
class EOverflow : public Exception { using Exception::Exception; };

namespace msg {
inline constexpr const char* FloatOverflow = "Floating point overflow";
}

// The alignment a label prefix asks for: "^" centres, a double quote aligns
// right, anything else (the apostrophe too) aligns left.
TAlignment PrefixAlignment(uint8_t Prefix);
// An 80-bit extended-precision number (64-bit mantissa with explicit integer
// bit, then sign and 15-bit exponent) as a double. Infinities and NaNs carry
// over, values too small become 0; values too large raise EOverflow.
double ExtendedToDouble(uint64_t Mantissa, uint16_t SignExponent);
// The 16-bit "small number" of record 0x18.
double SmallNumberValue(uint16_t Value);
// The 32-bit packed number of record 0x25: an integer when it carries no
// decimal shift, a double otherwise.
Variant PackedNumberValue(uint32_t Value);

class TLotus123 : public TSpreadSheetFile {
 public:
  // Records of this size or more are skipped, never read.
  static constexpr size_t kRecordBufferSize = 32768;

  TWKSVersion Version = wvUnknown;
  std::string Password;
  TVoxOnPasswordEvent OnPassword;

  bool IsEncrypted() override { return encrypted_; }
  // The base Load, then an empty format table.
  void Load() override;
  // The base checks, then the file is read from its start.
  void LoadFromFile(const std::string& FileName) override;
  // The record walk over the stream from its position; does not call Load.
  void ReadStream(TStream& Stream) override;

  const std::vector<TWK4Format>& Formats() const { return formats_; }
  void ClearFormats();
  // List index of the last format entry for (Sheet, Row) that covers
  // Column, or 0 when none does.
  int32_t FindFormat(int32_t Sheet, int32_t Row, int32_t Column) const;
  // Offers Password to OnPassword until the handler clears Continue. No
  // password is accepted: the reader has no decryption.
  void AskPassword();

 private:
  // True when the walk must end.
  bool HandleRecord(uint16_t Type, size_t Length);
  bool SingleSheet() const { return Version == wvWKS1 || Version == wvWR1; }
  bool MultiSheet() const { return Version == wv123 || Version == wvWKS3 || Version == wvWKS4; }
  ByteView Data() const { return ByteView(buffer_.data(), buffer_.size()); }
  // Length bytes of the buffer from At as wide text, up to the first NUL;
  // empty when Length is not positive.
  WideString TextAt(size_t At, int64_t Length) const;
  void ReportCell(const Variant& Value, TAlignment Alignment, TVoxCellType CellType);
  void ReadFormats(size_t Length);
  void ReadSheetName(size_t Length);
  void ReadRowHeights(size_t Length);
  [[noreturn]] void PasswordProtected();

  bool encrypted_ = false;
  std::vector<uint8_t> buffer_;  // kRecordBufferSize bytes, kept between records
  std::vector<TWK4Format> formats_;
  // Entries of formats_ by (sheet, row), in list order.
  std::unordered_map<uint64_t, std::vector<int32_t>> formatsByRow_;
};

}  // namespace gridlark
