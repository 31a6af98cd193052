// One XML worksheet of an OOXML package: its cells (values, types, styles,
// positions), column widths and formula texts.
//
// Worksheets are the bulk of a package, often tens of megabytes of XML, so
// they are not built into an XML tree: the part is inflated in chunks and
// scanned once (VoXLSScan.h). Only the path to the cell data is followed
// (worksheet, sheetData, row, c with v, f and inline strings, cols and col);
// every other element is passed over with its subtree, and nothing is kept
// of a cell once it is reported. Names are compared exactly, with or
// without the "x:" prefix some producers write.
#include <algorithm>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstring>
#include <memory>

#include "container/VoxZipFile.h"
#include "excel/VoXLS.h"
#include "excel/VoXLSScan.h"
#include "platform/Locale.h"
#include "platform/NumberText.h"
#include "text/VoxPars.h"

namespace gridlark {
namespace {

// The last row and column of the format, 0-based.
constexpr int32_t kLastRow = 1048575;
constexpr int32_t kLastCol = 16383;
// Column-width reports per sheet: a sheet has 16,384 columns; overlapping
// entries may report some twice, and no file makes us loop beyond this.
constexpr int64_t kMaxWidthReports = 65536;

bool IsRefChrome(char c) { return c == '"' || c == '$' || c == '\''; }

// Plain decimal digits (at most nine) as a number; false for anything else.
template <class Ch>
bool SmallNumber(std::basic_string_view<Ch> s, int32_t& out) {
  if (s.empty() || s.size() > 9) return false;
  int32_t v = 0;
  for (const Ch c : s) {
    if (c < '0' || c > '9') return false;
    v = v * 10 + int32_t(c - '0');
  }
  out = v;
  return true;
}

bool SlowNumber(std::string_view text, double& out) {
  const char first = text.empty() ? 0 : text[0];
  if (!((first >= '0' && first <= '9') || first == '-' || first == '.')) return false;
  const auto r = std::from_chars(text.data(), text.data() + text.size(), out);
  return r.ec == std::errc() && r.ptr == text.data() + text.size();
}

// A number as worksheets write it ("." as the decimal point); false for
// anything else. Numbers of at most 15 digits and a small exponent are
// exact in a double and take the quick way; the rest go to from_chars.
bool PlainNumber(std::string_view text, double& out) {
  static constexpr double kPow10[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                                      1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
  // Longer texts hold more digits than the quick way takes.
  if (text.size() > 17) return SlowNumber(text, out);
  const char* p = text.data();
  const char* const e = p + text.size();
  const bool negative = p < e && *p == '-';
  if (negative) ++p;
  uint64_t mantissa = 0;
  int digits = 0, exponent = 0;
  bool any = false, quick = true;
  for (; p < e && *p >= '0' && *p <= '9'; ++p, any = true) {
    if (digits >= 15) {
      quick = false;
      break;
    }
    mantissa = mantissa * 10 + uint64_t(*p - '0');
    if (mantissa) ++digits;
  }
  if (quick && p < e && *p == '.') {
    for (++p; p < e && *p >= '0' && *p <= '9'; ++p, any = true) {
      if (digits >= 15) {
        quick = false;
        break;
      }
      mantissa = mantissa * 10 + uint64_t(*p - '0');
      if (mantissa) ++digits;
      --exponent;
    }
  }
  if (quick && any && p < e && (*p == 'e' || *p == 'E')) {
    ++p;
    const bool minus = p < e && *p == '-';
    if (p < e && (*p == '-' || *p == '+')) ++p;
    int value = 0, count = 0;
    for (; p < e && *p >= '0' && *p <= '9' && count < 4; ++p, ++count) value = value * 10 + (*p - '0');
    quick = count > 0;
    exponent += minus ? -value : value;
  }
  if (quick && any && p == e && exponent >= -22 && exponent <= 22) {
    double d = double(mantissa);
    d = exponent < 0 ? d / kPow10[-exponent] : d * kPow10[exponent];
    out = negative ? -d : d;
    return true;
  }
  return SlowNumber(text, out);
}

// Trimmed of the characters 0 to 32, as element values are.
std::string_view TrimBytes(std::string_view s) {
  while (!s.empty() && uint8_t(s.front()) <= 32) s.remove_prefix(1);
  while (!s.empty() && uint8_t(s.back()) <= 32) s.remove_suffix(1);
  return s;
}

// The attributes of a tag one by one: name and value without quotes. Faster
// than the general reader for the few short attributes of rows and cells.
class FastAttributes {
 public:
  explicit FastAttributes(std::string_view text) : p_(text.data()), e_(text.data() + text.size()) {}
  bool Next(std::string_view& name, std::string_view& value) {
    for (;;) {
      while (p_ < e_ && uint8_t(*p_) <= 32) ++p_;
      const char* n = p_;
      while (p_ < e_ && *p_ != '=' && uint8_t(*p_) > 32) ++p_;
      name = std::string_view(n, size_t(p_ - n));
      while (p_ < e_ && uint8_t(*p_) <= 32) ++p_;
      if (p_ >= e_) return false;
      if (*p_ != '=') continue;  // a name without a value
      ++p_;
      while (p_ < e_ && uint8_t(*p_) <= 32) ++p_;
      if (p_ >= e_) return false;
      if (*p_ == '"' || *p_ == '\'') {
        const char* q = static_cast<const char*>(std::memchr(p_ + 1, *p_, size_t(e_ - p_ - 1)));
        const char* close = q ? q : e_;
        value = std::string_view(p_ + 1, size_t(close - p_ - 1));
        p_ = q ? q + 1 : e_;
      } else {
        const char* v = p_;
        while (p_ < e_ && uint8_t(*p_) > 32) ++p_;
        value = std::string_view(v, size_t(p_ - v));
      }
      if (!name.empty()) return true;
    }
  }

 private:
  const char* p_;
  const char* e_;
};

// Fields of an ISO 8601 date-time, from position i: Count digits.
int DigitsField(WideStringView text, size_t& i, size_t count) {
  int v = 0;
  for (size_t k = 0; k < count; ++k, ++i) {
    if (i >= text.size() || text[i] < u'0' || text[i] > u'9')
      throw EConvertError(Format(msg::InvalidInteger, WideToUtf8(text).c_str()));
    v = v * 10 + (text[i] - u'0');
  }
  return v;
}

// "YYYY-MM-DD", "YYYY-MM-DDThh:mm[:ss[.fff]]" or "hh:mm[:ss[.fff]]", with an
// optional zone ("Z", "+hh:mm"), which is ignored. A malformed text or a
// date the calendar lacks raises EConvertError.
TDateTime IsoDateTime(WideStringView text) {
  size_t i = 0;
  TDateTime date = 0;
  bool haveDate = false;
  if (text.size() >= 3 && text[2] != u':') {
    const int year = DigitsField(text, i, 4);
    if (i >= text.size() || text[i] != u'-') throw EConvertError(Format(msg::InvalidInteger, WideToUtf8(text).c_str()));
    ++i;
    const int month = DigitsField(text, i, 2);
    if (i >= text.size() || text[i] != u'-') throw EConvertError(Format(msg::InvalidInteger, WideToUtf8(text).c_str()));
    ++i;
    const int day = DigitsField(text, i, 2);
    date = EncodeDate(year, month, day);
    haveDate = true;
    if (i < text.size() && (text[i] == u'T' || text[i] == u't' || text[i] == u' ')) ++i;
  }
  TDateTime time = 0;
  if (i < text.size() && !(haveDate && (text[i] == u'Z' || text[i] == u'+' || text[i] == u'-'))) {
    const int hour = DigitsField(text, i, 2);
    if (i >= text.size() || text[i] != u':') throw EConvertError(Format(msg::InvalidInteger, WideToUtf8(text).c_str()));
    ++i;
    const int minute = DigitsField(text, i, 2);
    int second = 0;
    double fraction = 0;
    if (i < text.size() && text[i] == u':') {
      ++i;
      second = DigitsField(text, i, 2);
      if (i < text.size() && (text[i] == u'.' || text[i] == u',')) {
        double scale = 0.1;
        for (++i; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i, scale /= 10)
          fraction += (text[i] - u'0') * scale;
      }
    }
    time = EncodeTime(hour, minute, second, 0) + fraction / 86400.0;
  }
  // What follows is a zone designator, which is ignored; anything else is no
  // date-time.
  if (i < text.size() && text[i] != u'Z' && text[i] != u'z' && text[i] != u'+' && text[i] != u'-')
    throw EConvertError(Format(msg::InvalidInteger, WideToUtf8(text).c_str()));
  // Before 1899-12-30 the day counts down and the time of day up.
  return date < 0 ? date - time : date + time;
}

}  // namespace

void ParseCellRef(std::string_view Ref, int32_t& Row, int32_t& Column) {
  size_t i = 0;
  const size_t n = Ref.size();
  while (i < n && IsRefChrome(Ref[i])) ++i;
  int64_t col = 0;
  bool letters = false;
  for (; i < n && Ref[i] >= 'A' && Ref[i] <= 'Z'; ++i) {
    letters = true;
    if (col <= kLastCol + 1) col = col * 26 + (Ref[i] - 'A' + 1);
  }
  while (i < n && IsRefChrome(Ref[i])) ++i;
  int64_t row = 0;
  bool digits = false;
  for (; i < n && Ref[i] >= '0' && Ref[i] <= '9'; ++i) {
    digits = true;
    if (row <= kLastRow + 1) row = row * 10 + (Ref[i] - '0');
  }
  Row = digits && row >= 1 && row <= kLastRow + 1 ? int32_t(row - 1) : -1;
  Column = letters && col <= kLastCol + 1 ? int32_t(col - 1) : -1;
}

// ---------------------------------------------------------------------------
// The scan

// Follows the path to the cell data and hands each element to the reader.
class TMSExcelX::TWorksheetParser {
 public:
  explicit TWorksheetParser(TMSExcelX& reader) : x_(reader) {}

  void Declaration(std::string_view attributes) {
    FastAttributes reader(attributes);
    std::string_view name, value;
    while (reader.Next(name, value))
      if (name == "encoding") x_.ansiText_ = !value.empty() && !SameTextAscii(value, "utf-8");
  }

  bool Tag(std::string_view name, std::string_view attributes, bool& collect) {
    return CellTag(name, attributes, collect);
  }
  void AfterTag(std::string_view text) { CellAfterTag(text); }
  bool ShortValueAllowed(std::string_view& open, std::string_view& close) const {
    open = "<v>";
    close = "</v></c>";
    return !stack_.empty() && stack_.back() == kCell;
  }
  void ShortValue(std::string_view text) {
    // What CellTag and CellAfterTag do for a value element without
    // attributes, and then for the end of its cell.
    x_.preserveSpace_ = false;
    x_.ReportValue(TrimBytes(text), text);
    stack_.pop_back();
    x_.EndCell();
  }

 private:
  // A start tag: followed when it lies on the path to the cell data.
  bool CellTag(std::string_view name, std::string_view attributes, bool& collect) {
    if (name.size() > 2 && name[0] == 'x' && name[1] == ':') name.remove_prefix(2);
    const Kind kind = KindOf(name);
    if (!started_) {
      started_ = true;  // the document element, whatever its name
    } else {
      switch (kind) {
        case kValue:
        case kFormula:
          if (Up(0) != kCell) return false;
          break;
        case kText:
          if (!((Up(0) == kInline && Up(1) == kCell) || (Up(0) == kRun && Up(1) == kInline && Up(2) == kCell)))
            return false;
          break;
        case kCols:
        case kCol:
          if (!x_.OnColumnWidth) return false;
          break;
        case kOther: return false;
        default: break;
      }
    }
    switch (kind) {
      case kRow: x_.BeginRow(attributes); break;
      case kCell: x_.BeginCell(attributes); break;
      case kCol:
        if (Up(0) == kCols) x_.ReportColumnWidths(attributes);
        break;
      case kValue:
        // String values keep their blanks where the producer asks for it.
        x_.preserveSpace_ = attributes.find("preserve") != std::string_view::npos &&
                            attributes.find("xml:space") != std::string_view::npos;
        collect = true;
        break;
      case kFormula:
      case kText: collect = true; break;
      default: break;
    }
    stack_.push_back(kind);
    return true;
  }

  // The end of a followed element: a value, formula or inline text is
  // complete, a cell or row closes.
  void CellAfterTag(std::string_view text) {
    if (stack_.empty()) return;
    const Kind kind = stack_.back();
    stack_.pop_back();
    switch (kind) {
      case kValue: x_.ReportValue(TrimBytes(text), text); break;
      case kFormula: x_.ReportFormula(TrimBytes(text)); break;
      case kText: x_.AppendInlineText(text); break;
      case kCell: x_.EndCell(); break;
      case kRow:
        if (Up(0) == kSheetData) x_.EndRow();
        break;
      default: break;
    }
  }

  enum Kind : uint8_t { kOther, kWorksheet, kSheetData, kRow, kCell, kValue, kFormula, kInline, kRun, kText, kCols,
                        kCol };

  static Kind KindOf(std::string_view n) {
    switch (n.size()) {
      case 1:
        switch (n[0]) {
          case 'c': return kCell;
          case 'v': return kValue;
          case 'f': return kFormula;
          case 'r': return kRun;
          case 't': return kText;
          default: return kOther;
        }
      case 2: return n == "is" ? kInline : kOther;
      case 3: return n == "row" ? kRow : n == "col" ? kCol : kOther;
      case 4: return n == "cols" ? kCols : kOther;
      case 9: return n == "sheetData" ? kSheetData : n == "worksheet" ? kWorksheet : kOther;
      default: return kOther;
    }
  }

  Kind Up(size_t n) const { return stack_.size() > n ? stack_[stack_.size() - 1 - n] : kOther; }

  TMSExcelX& x_;
  bool started_ = false;
  std::vector<Kind> stack_;
};

void TMSExcelX::ReadWorksheet(int32_t SheetNo, int EntryIndex) {
  // The entry is inflated straight from the archive's bytes (raw deflate:
  // no copy of the compressed data, no checksum).
  const TLocalFile& entry = zip_->Files()[EntryIndex];
  const std::string_view data = entry.CompressedData;
  TSpanStream stored(std::span(reinterpret_cast<const uint8_t*>(data.data()), data.size()));
  int64_t size = int64_t(std::min<uint64_t>(entry.UncompressedSize(), INT64_MAX));
  std::unique_ptr<TZDecompressionStream> inflater;
  if (entry.IsStored())
    size = std::min<int64_t>(size, int64_t(data.size()));
  else
    inflater = std::make_unique<TZDecompressionStream>(stored, TZDecompressionStream::Format::RawDeflate, size);
  CurrentSheet = SheetNo;
  RowCounter = ColCounter = 0;
  rowIndex_ = 0;
  cellRow_ = cellCol_ = cellStyle_ = -1;
  inlineSeen_ = false;
  ansiText_ = false;
  widthReports_ = 0;
  if (size <= 0) return;
  TWorksheetParser parser(*this);
  TPartScanner<TWorksheetParser>(parser, inflater ? static_cast<TStream&>(*inflater) : stored, size).Run();
}

void TMSExcelX::BeginRow(std::string_view Attributes) {
  // Rows left out of the file (empty ones) are skipped by their number.
  rowIndex_ = RowCounter;
  ColCounter = 0;
  FastAttributes reader(Attributes);
  std::string_view attr, value;
  while (reader.Next(attr, value)) {
    if (attr != "r") continue;
    int32_t number;
    if (SmallNumber(value, number)) rowIndex_ = number >= 1 && number <= kLastRow + 1 ? number - 1 : kLastRow + 1;
    break;
  }
}

void TMSExcelX::EndRow() {
  RowCounter = rowIndex_ + 1;
  ColCounter = 0;
}

void TMSExcelX::BeginCell(std::string_view Attributes) {
  // Without a reference a cell follows the one before it in its row.
  cellRow_ = rowIndex_;
  cellCol_ = ColCounter;
  cellStyle_ = -1;
  cellKind_ = ckNumber;
  inlineSeen_ = false;
  FastAttributes reader(Attributes);
  std::string_view attr, value;
  while (reader.Next(attr, value)) {
    if (attr.size() != 1) continue;
    switch (attr[0]) {
      case 'r': ParseCellRef(value, cellRow_, cellCol_); break;
      case 's':
        if (!SmallNumber(value, cellStyle_)) cellStyle_ = -1;
        break;
      case 't':
        cellKind_ = value == "s"           ? ckShared
                    : value == "str"       ? ckString
                    : value == "inlineStr" ? ckInline
                    : value == "e"         ? ckError
                    : value == "d"         ? ckDate
                    : value == "b"         ? ckBoolean
                                           : ckNumber;
        break;
      default: break;
    }
  }
}

void TMSExcelX::EndCell() {
  if (inlineSeen_) {
    // An inline string is one cell, however many runs it has.
    inlineSeen_ = false;
    DecodeXStringEscapes(inline_);
    ReportCell(Variant(WideStringView(inline_)), -1, ictString);
  }
  ColCounter = cellCol_ >= 0 ? cellCol_ + 1 : ColCounter + 1;
}

WideString TMSExcelX::DecodeText(std::string_view Raw) const {
  WideString out(Raw.size(), u'\0');
  size_t i = 0;
  for (; i < Raw.size() && uint8_t(Raw[i]) < 0x80; ++i) out[i] = char16_t(Raw[i]);
  if (i == Raw.size()) return out;
  out.clear();
  // UTF-8 where the text is well-formed UTF-8, else the ANSI code page, as
  // the XML engine reads element text.
  if (ansiText_ || !Utf8ToWide(Raw, out)) out = AnsiToWide(Raw);
  return out;
}

void TMSExcelX::AppendInlineText(std::string_view Raw) {
  if (!inlineSeen_) inline_.clear();
  inlineSeen_ = true;
  WideString text = DecodeText(Raw);
  DecodeHtmlEntities(text);
  inline_ += text;
}

void TMSExcelX::ReportFormula(std::string_view Raw) {
  TXLSXFormula& formula = FormulaTexts.emplace_back();
  formula.SheetNo = CurrentSheet;
  formula.Row = cellRow_;
  formula.Col = cellCol_;
  WideString& text = formula.FormulaText;
  text.reserve(Raw.size() + 1);
  text.push_back(u'=');
  size_t i = 0;
  while (i < Raw.size() && uint8_t(Raw[i]) < 0x80 && Raw[i] != '&') text.push_back(char16_t(Raw[i++]));
  if (i == Raw.size()) return;
  WideString rest = DecodeText(Raw.substr(i));
  DecodeHtmlEntities(rest);
  text += rest;
}

void TMSExcelX::ReportValue(std::string_view Raw, std::string_view Untrimmed) {
  switch (cellKind_) {
    case ckShared: {
      int32_t index;
      if (!SmallNumber(Raw, index)) index = Variant(DecodeText(Raw)).AsInteger();
      static const Variant kNoText{WideStringView()};
      ReportCell(index >= 0 && size_t(index) < sharedValues_.size() ? sharedValues_[size_t(index)] : kNoText, -1,
                 ictString);
      return;
    }
    case ckString:
    case ckInline:
    case ckError: {
      WideString text = DecodeText(preserveSpace_ ? Untrimmed : Raw);
      DecodeHtmlEntities(text);
      DecodeXStringEscapes(text);
      ReportCell(Variant(std::move(text)), -1, ictString);
      return;
    }
    case ckDate:
      if (Raw.empty()) return;
      ReportCell(Variant::FromDate(IsoDateTime(DecodeText(Raw))), -1, ictDateTime);
      return;
    case ckBoolean: ReportCell(Variant(Raw == "1"), -1, ictBoolean); return;
    case ckNumber: break;
  }
  if (Raw.empty()) {
    ReportCell(Variant(WideStringView()), -1, ictEmpty);
    return;
  }
  double number;
  if (!PlainNumber(Raw, number)) {
    // The general conversion (a leading "+", the locale's separator), which
    // raises "Invalid variant type conversion" for text that is no number.
    WideString text = DecodeText(Raw);
    const char sep = FormatSettings().DecimalSeparator;
    if (sep != '.') text = WideStringReplace(text, u".", WideString(1, char16_t(sep)), false, false);
    number = Variant(text).AsDouble();
  }
  Variant value;
  TVoxCellType type;
  NumberValue(number, cellStyle_, value, type);
  ReportCell(value, cellStyle_, type);
}

void TMSExcelX::ReportCell(const Variant& Value, int32_t FormatIndex, TVoxCellType CellType) {
  // Cells beyond the format's last row or column, or without a usable
  // reference, are dropped.
  if (cellRow_ < 0 || cellCol_ < 0 || cellRow_ > kLastRow || cellCol_ > kLastCol) return;
  if (!OnCellValue) return;
  const TAlignment alignment = (CellType == ictInteger || CellType == ictDecimal) ? taRightJustify : taLeftJustify;
  GuardRecord([&] { OnCellValue(this, CurrentSheet, cellRow_, cellCol_, FormatIndex, Value, alignment, CellType); });
}

void TMSExcelX::ReportColumnWidths(std::string_view Attributes) {
  std::string_view width, min, max;
  FastAttributes reader(Attributes);
  std::string_view attr, value;
  while (reader.Next(attr, value)) {
    if (attr == "width") width = value;
    else if (attr == "min") min = value;
    else if (attr == "max") max = value;
  }
  if (width.empty() || min.empty() || max.empty()) return;
  int32_t first, last;
  double w;
  const char sep = FormatSettings().DecimalSeparator;
  std::string widthText(width);
  std::replace(widthText.begin(), widthText.end(), '.', sep);
  if (!TryStrToInt(min, first) || !TryStrToInt(max, last) || !TryStrToFloat(widthText, w)) return;
  const double units = std::trunc(w * 256);
  if (!(units >= INT32_MIN && units <= INT32_MAX)) return;
  const int64_t from = std::max<int64_t>(int64_t(first) - 1, 0);
  const int64_t to = std::min<int64_t>(int64_t(last) - 1, kLastCol);
  for (int64_t c = from; c <= to && widthReports_ < kMaxWidthReports; ++c, ++widthReports_)
    OnColumnWidth(this, CurrentSheet, int32_t(c), int32_t(units));
}

}  // namespace gridlark
