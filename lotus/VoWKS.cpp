#include "lotus/VoWKS.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <new>

namespace gridlark {
namespace {

// Record types.
enum : uint16_t {
  rtBOF = 0x00,
  rtBlank = 0x0C,
  rtInteger = 0x0D,
  rtNumber = 0x0E,
  rtLabel = 0x0F,
  rtFormula = 0x10,
  rtFormats = 0x13,
  rtLabel16 = 0x16,
  rtNumber17 = 0x17,
  rtSmallNumber = 0x18,
  rtFormula19 = 0x19,
  rtFormulaText = 0x1A,
  rtExtended = 0x1B,
  rtSheetName = 0x23,
  rtProtection = 0x24,
  rtPackedNumber = 0x25,
  rtNumber27 = 0x27,
  rtFormula28 = 0x28,
  rtString = 0x33,
  rtPassword37 = 0x37,
  rtPassword4B = 0x4B,
};

// Sequential reading of a stream in large chunks, so that a file of many
// small records costs few system calls.
class TChunkedInput {
 public:
  // The chunk is no larger than what the stream holds, so a small file
  // costs a small buffer.
  TChunkedInput(TStream& stream, int64_t size) : stream_(stream), streamPos_(stream.Position()) {
    const int64_t left = size - streamPos_;
    chunk_.resize(size_t(std::clamp<int64_t>(left, 16, kChunkSize)));
  }

  int64_t Position() const { return streamPos_ - int64_t(len_ - pos_); }

  // Copies up to n bytes; returns how many there were.
  size_t Read(uint8_t* dst, size_t n) {
    size_t done = 0;
    while (done < n) {
      if (pos_ == len_ && !Fill()) break;
      const size_t take = std::min(n - done, len_ - pos_);
      std::memcpy(dst + done, chunk_.data() + pos_, take);
      pos_ += take;
      done += take;
    }
    return done;
  }

  void Skip(int64_t n) {
    const size_t buffered = len_ - pos_;
    if (n <= int64_t(buffered)) {
      pos_ += size_t(n);
      return;
    }
    streamPos_ = stream_.Seek(n - int64_t(buffered), SeekOrigin::Current);
    pos_ = len_ = 0;
  }

 private:
  static constexpr int64_t kChunkSize = 1 << 16;

  bool Fill() {
    const int64_t got = stream_.Read(chunk_.data(), int64_t(chunk_.size()));
    pos_ = 0;
    len_ = got > 0 ? size_t(got) : 0;
    streamPos_ += int64_t(len_);
    return len_ > 0;
  }

  TStream& stream_;
  std::vector<uint8_t> chunk_;
  size_t pos_ = 0;
  size_t len_ = 0;
  int64_t streamPos_;
};

WideString DefaultCaption(int32_t Index) { return kSheetCaptionPrefix + AnsiToWide(std::to_string(Index + 1)); }

}  // namespace

TAlignment PrefixAlignment(uint8_t Prefix) {
  if (Prefix == '^') return taCenter;
  if (Prefix == '"') return taRightJustify;
  return taLeftJustify;
}

double ExtendedToDouble(uint64_t Mantissa, uint16_t SignExponent) {
  const bool negative = (SignExponent & 0x8000) != 0;
  const int exponent = SignExponent & 0x7FFF;
  double value;
  if (exponent == 0x7FFF) {
    value = (Mantissa << 1) == 0 ? std::numeric_limits<double>::infinity() : std::numeric_limits<double>::quiet_NaN();
  } else if (exponent == 0 || Mantissa == 0) {
    value = 0;  // below the smallest double
  } else {
    // Mantissa * 2^(exponent - bias - 63): one rounding to 53 bits, then an
    // exact scaling unless the result leaves the range of doubles.
    value = std::ldexp(double(Mantissa), exponent - 16383 - 63);
    if (std::isinf(value)) throw EOverflow(msg::FloatOverflow);
  }
  return negative ? -value : value;
}

double SmallNumberValue(uint16_t Value) {
  if ((Value & 1) == 0) return int16_t(Value) / 2.0;
  const double m = Value >> 4;
  switch (Value & 0x0F) {
    case 1: return m * 5000;
    case 3: return m * 500;
    case 5: return m / 20;
    case 7: return m / 200;
    case 9: return m / 2000;
    case 11: return m / 20000;
    case 13: return m / 16;
    default: return m / 64;  // 15
  }
}

Variant PackedNumberValue(uint32_t Value) {
  const unsigned shifts = Value & 7;
  const bool divide = (Value & 0x30) != 0;
  const uint32_t m = Value >> 6;
  if (shifts == 0) return Variant(int32_t(m));
  double v = m;
  for (unsigned i = 0; i < shifts; ++i) v = divide ? v / 10 : v * 10;
  return Variant(v);
}

void TLotus123::Load() {
  TSpreadSheetFile::Load();
  ClearFormats();
}

void TLotus123::LoadFromFile(const std::string& Name) {
  TSpreadSheetFile::LoadFromFile(Name);
  TFileStream stream(FileName);
  stream.SetPosition(0);
  ReadStream(stream);
}

void TLotus123::ClearFormats() {
  formats_.clear();
  formatsByRow_.clear();
}

int32_t TLotus123::FindFormat(int32_t Sheet, int32_t Row, int32_t Column) const {
  if (formats_.empty()) return 0;
  const auto it = formatsByRow_.find((uint64_t(uint32_t(Sheet)) << 32) | uint32_t(Row));
  if (it == formatsByRow_.end()) return 0;
  const std::vector<int32_t>& entries = it->second;
  for (auto e = entries.rbegin(); e != entries.rend(); ++e) {
    const TWK4Format& f = formats_[size_t(*e)];
    if ((f.Flags == 0x40 && Column == 0) || (f.Flags == 0xC0 && f.Count > Column)) return *e;
  }
  return 0;
}

void TLotus123::AskPassword() {
  bool Continue = true;
  std::string password = Password;
  while (Continue) {
    if (OnPassword) OnPassword(this, password, Continue);
    else Continue = false;
  }
}

void TLotus123::ReadStream(TStream& Stream) {
  Version = wvUnknown;
  encrypted_ = false;
  buffer_.assign(kRecordBufferSize, 0);
  RecordHeader = {};
  const int64_t size = Stream.Size();
  TChunkedInput in(Stream, size);
  uint8_t header[4] = {};
  do {
    // A short read leaves the rest of the header and of the buffer as they
    // were; the walk then ends because the end of the stream is reached.
    in.Read(header, sizeof header);
    RecordHeader.RecType = uint16_t(header[0] | (header[1] << 8));
    RecordHeader.RecLen = uint16_t(header[2] | (header[3] << 8));
    const size_t n = RecordHeader.RecLen;
    const bool tooLong = n >= kRecordBufferSize;
    if (tooLong) {
      in.Skip(int64_t(n));
      std::fill(buffer_.begin(), buffer_.end(), 0);
    } else if (n > 0) {
      in.Read(buffer_.data(), n);
    }
    if (OnRecord)
      OnRecord(this, RecordHeader, std::span<const uint8_t>(buffer_.data(), tooLong ? kRecordBufferSize : n));
    // A record too long for the buffer holds nothing we could read: handling
    // its zero-filled stand-in would only invent a cell at A1.
    if (!tooLong && HandleRecord(RecordHeader.RecType, n)) return;
  } while (in.Position() < size);
}

bool TLotus123::HandleRecord(uint16_t Type, size_t n) {
  const ByteView d = Data();
  switch (Type) {
    case rtBOF: {
      const uint16_t v = d.U16(0);
      switch (v) {
        case 0x0404: Version = wvWKS1; break;
        case 0x0405: Version = wvWKS2; break;
        case 0x0406: Version = wvWR1; break;
        case 0x1000: Version = wvWKS3; break;
        case 0x1002:
        case 0x8007: Version = wvWKS4; break;
        case 0x1003:
        case 0x1004:
        case 0x1005: Version = wv123; break;
        case 0x0101:
        case 0xB200:
        case 0xBFFF: return true;
        default:
          if (Version == wvUnknown) throw EVoxFileFormatException(msg::InvalidFileFormat);
      }
      break;
    }
    // Types 0x0C to 0x10 and 0x33 are cells only in the 1-2-3 release 1 and 2
    // layout; files of release 3 and later use these numbers for other records.
    case rtBlank:
      if (LoadNULLs && !MultiSheet()) ReportCell(Variant::Null(), taLeftJustify, ictEmpty);
      break;
    case rtInteger:
      if (!MultiSheet()) ReportCell(Variant(int32_t(d.I16(5))), taRightJustify, ictInteger);
      break;
    case rtNumber:
      if (!MultiSheet()) ReportCell(Variant(d.F64(5)), taRightJustify, ictDecimal);
      break;
    case rtLabel:
      if (!MultiSheet()) ReportCell(Variant(TextAt(6, int64_t(n) - 7)), PrefixAlignment(d.U8(5)), ictString);
      break;
    case rtFormula:
      if (!MultiSheet()) {
        const double v = d.F64(5);
        ReportCell(IsNanBits(v) ? Variant(int32_t(0)) : Variant(v), taRightJustify, ictDecimal);
      }
      break;
    case rtString:  // the text result of the formula just before it
      if (SingleSheet()) ReportCell(Variant(TextAt(5, int64_t(n) - 6)), taLeftJustify, ictString);
      break;
    case rtFormats: ReadFormats(n); break;
    case rtLabel16: ReportCell(Variant(TextAt(5, int64_t(n) - 6)), PrefixAlignment(d.U8(4)), ictString); break;
    case rtNumber17:
      ReportCell(Variant(ExtendedToDouble(d.U64(4), d.U16(12))), taRightJustify, ictDecimal);
      break;
    case rtSmallNumber:
      if (!SingleSheet()) ReportCell(Variant(SmallNumberValue(d.U16(4))), taRightJustify, ictDecimal);
      break;
    case rtFormula19:
      if (!SingleSheet()) {
        try {
          ReportCell(Variant(ExtendedToDouble(d.U64(4), d.U16(12))), taRightJustify, ictDecimal);
        } catch (const std::bad_alloc&) {
          throw;
        } catch (const std::exception&) {
          // an unusable formula value loses this cell only
        }
      }
      break;
    case rtFormulaText:
      if (!SingleSheet()) ReportCell(Variant(TextAt(4, int64_t(n) - 4)), taLeftJustify, ictString);
      break;
    case rtExtended:
      if (OnCellValue) {
        if (d.U8(0) == 0xB0 && d.U8(1) == 0x36) ReadSheetName(n);
        else if (d.U8(0) == 0xD7 && d.U8(1) == 0x07) ReadRowHeights(n);
      }
      break;
    case rtSheetName:
      // In the single-sheet layout this type holds a sort range, not a name.
      if (!SingleSheet()) ReadSheetName(n);
      break;
    case rtProtection:
      if (n == 1) {
        if (d.U8(0) == 1) PasswordProtected();
      } else if (OnColumnWidth) {
        for (int32_t c = d.U8(0); c <= d.U8(1); ++c) OnColumnWidth(this, 0, c, d.U8(3));
      }
      break;
    case rtPackedNumber:
      if (!SingleSheet()) {
        const Variant v = PackedNumberValue(d.U32(4));
        ReportCell(v, taRightJustify, v.Type() == VarType::Integer ? ictInteger : ictDecimal);
      }
      break;
    case rtNumber27:
    case rtFormula28:
      if (!SingleSheet()) {
        const double v = d.F64(4);
        ReportCell(Variant(IsNanBits(v) ? 0.0 : v), taRightJustify, ictDecimal);
      }
      break;
    case rtPassword37:
      if (Version != wvWR1) PasswordProtected();
      break;
    case rtPassword4B:
      if (n != 2) throw EVoxCryptException(msg::UnexpectedPassword);
      encrypted_ = true;
      AskPassword();
      throw EVoxUnknownEncryptionException(msg::PasswordProtected);
    default: break;
  }
  return false;
}

void TLotus123::PasswordProtected() {
  encrypted_ = true;
  throw EVoxCryptException(msg::PasswordProtected);
}

WideString TLotus123::TextAt(size_t At, int64_t Length) const {
  if (Length <= 0) return {};
  std::string_view bytes = Data().Chars(At, size_t(Length));
  // Texts are NUL-terminated: nothing after a NUL belongs to them.
  bytes = bytes.substr(0, bytes.find('\0'));
  return AnsiToWide(bytes);
}

void TLotus123::ReportCell(const Variant& Value, TAlignment Alignment, TVoxCellType CellType) {
  if (!OnCellValue) return;
  const ByteView d = Data();
  int32_t sheet, row, col;
  if (SingleSheet()) {
    sheet = 0;
    col = d.U16(1);
    row = d.U16(3);
  } else {
    row = d.U16(0);
    sheet = d.U8(2);
    col = d.U8(3);
  }
  OnCellValue(this, sheet, row, col, FindFormat(sheet, row, col), Value, Alignment, CellType);
}

void TLotus123::ReadFormats(size_t n) {
  const ByteView d = Data();
  const int32_t sheet = d.U8(0);
  const int32_t row = d.U16(2);
  std::vector<int32_t>* byRow = nullptr;
  for (size_t p = 4; p < n; p += 4) {
    TWK4Format f;
    f.Sheet = sheet;
    f.Row = row;
    f.Code = d.U8(p);
    const uint32_t bits = d.U8(p + 1) | (d.U8(p + 2) << 8) | ((d.U8(p + 3) & 0x3Fu) << 16);
    f.FormatBits = int32_t((bits >> 6) & 0xFFFF);
    f.Flags = d.U8(p + 3) & 0xC0;
    if (f.Flags == 0x80 || f.Flags == 0xC0) {
      f.Count = d.U8(p + 4);
      ++p;  // five-byte entry
    }
    if (!byRow) byRow = &formatsByRow_[(uint64_t(uint32_t(sheet)) << 32) | uint32_t(row)];
    byRow->push_back(int32_t(formats_.size()));
    formats_.push_back(f);
  }
}

void TLotus123::ReadSheetName(size_t n) {
  const int32_t index = Data().U8(2);
  if (!OnSheet || index < Sheets.Count()) return;
  // Sheets the file has not named so far get their default captions first,
  // so that the name lands on its own sheet.
  while (Sheets.Count() < index) {
    const int32_t before = Sheets.Count();
    bool skip = false;
    OnSheet(this, DefaultCaption(before), before, skip);
    if (Sheets.Count() == before) break;  // a handler that keeps no list
  }
  bool skip = false;
  OnSheet(this, TextAt(4, int64_t(n) - 5), index, skip);
}

void TLotus123::ReadRowHeights(size_t n) {
  if (!OnRowHeight) return;
  const ByteView d = Data();
  const int32_t sheet = d.U8(2);
  const int64_t k = (int64_t(n) - 4) / 8;
  if (k < 0) return;
  for (int64_t i = 0; i <= k; ++i) OnRowHeight(this, sheet, d.U16(size_t(8 * i)), d.U16(size_t(8 * i + 2)) / 32);
}

}  // namespace gridlark
