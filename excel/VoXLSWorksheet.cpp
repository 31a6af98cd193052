// One XML worksheet of an OOXML package: its cells (values, types, styles,
// positions), column widths and formula texts.
//
// Worksheets are the bulk of a package, often tens of megabytes of XML, so
// they are not built into an XML tree: the part is inflated in chunks into a
// window and scanned once, element by element. Only the path to the cell
// data is followed (worksheet, sheetData, row, c with v, f and inline
// strings, cols and col); every other element is passed over with its
// subtree, and nothing is kept of a cell once it is reported. Names are
// compared exactly, with or without the "x:" prefix some producers write.
#include <algorithm>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstring>
#include <memory>

#include "container/VoxXML.h"
#include "container/VoxZipFile.h"
#include "excel/VoXLS.h"
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

// An attribute value as written, without its quotes.
std::string_view Unquoted(std::string_view v) {
  if (!v.empty() && (v[0] == '"' || v[0] == '\'')) {
    v.remove_prefix(1);
    if (!v.empty() && (v.back() == '"' || v.back() == '\'')) v.remove_suffix(1);
  }
  return v;
}

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

// A number as worksheets write it ("." as the decimal point); false for
// anything else.
bool PlainNumber(std::string_view text, double& out) {
  const char first = text.empty() ? 0 : text[0];
  if (!((first >= '0' && first <= '9') || first == '-' || first == '.')) return false;
  const auto r = std::from_chars(text.data(), text.data() + text.size(), out);
  return r.ec == std::errc() && r.ptr == text.data() + text.size();
}

// Trimmed of the characters 0 to 32, as element values are.
std::string_view TrimBytes(std::string_view s) {
  while (!s.empty() && uint8_t(s.front()) <= 32) s.remove_prefix(1);
  while (!s.empty() && uint8_t(s.back()) <= 32) s.remove_suffix(1);
  return s;
}

// Byte classes of the scan: name characters, and the bytes that end or
// quote inside a tag.
struct ByteClasses {
  bool name[256] = {};
  bool tag[256] = {};
  constexpr ByteClasses() {
    for (int c = 0; c < 256; ++c)
      name[c] = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == ':' || c == '_' ||
                c == '-' || c == '.' || c >= 0x80;
    tag[int('>')] = tag[int('"')] = tag[int('\'')] = true;
  }
};
constexpr ByteClasses kBytes;

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
        for (++i; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i, scale /= 10) fraction += (text[i] - u'0') * scale;
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

class TMSExcelX::TWorksheetParser {
 public:
  TWorksheetParser(TMSExcelX& reader, TStream& source, int64_t size) : x_(reader), source_(source), left_(size) {}

  void Run() {
    Fill();
    for (;;) {
      // Text up to the next tag: usually a few bytes, looked at directly
      // before memchr takes over.
      const char* lt = nullptr;
      {
        const char* p = buf_.get() + pos_;
        const char* e = buf_.get() + end_;
        const char* near = p + 16 < e ? p + 16 : e;
        while (p < near && *p != '<') ++p;
        if (p < near) lt = p;
        else if (p < e) lt = static_cast<const char*>(std::memchr(p, '<', size_t(e - p)));
      }
      const size_t stop = lt ? size_t(lt - buf_.get()) : end_;
      if (capture_) text_.append(buf_.get() + pos_, stop - pos_);
      pos_ = stop;
      if (!lt) {
        if (eof_) return;
        Fill();
        continue;
      }
      if (!Markup()) {
        if (eof_) return;  // a construct cut off by the end of the part
        Fill();
        continue;
      }
      if (done_) return;
    }
  }

 private:
  enum Kind : uint8_t { kOther, kWorksheet, kSheetData, kRow, kCell, kValue, kFormula, kInline, kRun, kText, kCols,
                        kCol };
  // Elements nested deeper are passed over, so that no file can make the
  // element stack grow without bound.
  static constexpr size_t kMaxDepth = 512;
  static constexpr size_t kChunk = size_t(1) << 18;

  // Keeps the bytes from pos_ on and reads more behind them.
  void Fill() {
    if (eof_) return;
    const size_t kept = end_ - pos_;
    if (kept > 0 && pos_ > 0) std::memmove(buf_.get(), buf_.get() + pos_, kept);
    pos_ = 0;
    end_ = kept;
    const size_t want = size_t(std::min<int64_t>(int64_t(std::max(kChunk, kept)), left_));
    if (end_ + want > cap_) {
      const size_t cap = std::max(end_ + want, cap_ * 2);
      auto bigger = std::make_unique_for_overwrite<char[]>(cap);
      if (end_) std::memcpy(bigger.get(), buf_.get(), end_);
      buf_ = std::move(bigger);
      cap_ = cap;
    }
    size_t got = 0;
    while (got < want) {
      const int64_t r = source_.Read(buf_.get() + end_ + got, int64_t(want - got));
      if (r <= 0) break;
      got += size_t(r);
    }
    left_ -= int64_t(got);
    end_ += got;
    if (got < want || left_ <= 0) eof_ = true;
  }

  const char* Find(size_t from, std::string_view what) const {
    if (from >= end_) return nullptr;
    const size_t at = std::string_view(buf_.get() + from, end_ - from).find(what);
    return at == std::string_view::npos ? nullptr : buf_.get() + from + at;
  }

  // One construct at the '<' at pos_; false when the window ends inside it.
  bool Markup() {
    const char* b = buf_.get();
    if (pos_ + 1 >= end_) return false;
    const char c1 = b[pos_ + 1];
    if (c1 == '/') {
      // An end tag; the name in it is not looked at.
      size_t gt = pos_ + 2;
      while (gt < end_ && b[gt] != '>') ++gt;
      if (gt >= end_) return false;
      pos_ = gt + 1;
      End();
      return true;
    }
    if (c1 == '?') {
      const char* e = Find(pos_ + 2, "?>");
      if (!e) return false;
      const std::string_view pi(b + pos_ + 2, size_t(e - b) - pos_ - 2);
      if (!started_ && pi.starts_with("xml") && pi.size() > 3 && uint8_t(pi[3]) <= 32) Declaration(pi.substr(3));
      pos_ = size_t(e - b) + 2;
      return true;
    }
    if (c1 == '!') {
      if (pos_ + 9 > end_) return false;
      if (std::memcmp(b + pos_, "<!--", 4) == 0) {
        const char* e = Find(pos_ + 4, "-->");
        if (!e) return false;
        pos_ = size_t(e - b) + 3;
      } else if (std::memcmp(b + pos_, "<![CDATA[", 9) == 0) {
        const char* e = Find(pos_ + 9, "]]>");
        if (!e) return false;
        if (capture_) text_.append(b + pos_ + 9, size_t(e - b) - pos_ - 9);
        pos_ = size_t(e - b) + 3;
      } else {
        const char* e = Find(pos_ + 2, ">");
        if (!e) return false;
        pos_ = size_t(e - b) + 1;
      }
      return true;
    }
    size_t i = pos_ + 1;
    while (i < end_ && kBytes.name[uint8_t(b[i])]) ++i;
    if (i == pos_ + 1) {
      // A '<' that starts no tag is text.
      if (capture_) text_.push_back('<');
      ++pos_;
      return true;
    }
    if (i >= end_) return false;
    // The tag ends at the first '>' outside quotes.
    size_t j = i;
    for (;;) {
      while (j < end_ && !kBytes.tag[uint8_t(b[j])]) ++j;
      if (j >= end_) return false;
      if (b[j] == '>') break;
      const void* q = std::memchr(b + j + 1, b[j], end_ - j - 1);
      if (!q) return false;
      j = size_t(static_cast<const char*>(q) - b) + 1;
    }
    const bool empty = j > i && b[j - 1] == '/';
    const std::string_view name(b + pos_ + 1, i - pos_ - 1);
    const std::string_view attributes(b + i, j - i - (empty ? 1 : 0));
    pos_ = j + 1;
    Start(name, attributes, empty);
    return true;
  }

  void Declaration(std::string_view attributes) {
    TXMLAttributeReader reader(attributes);
    std::string_view name, value;
    while (reader.Next(name, value)) {
      if (name != "encoding") continue;
      value = Unquoted(value);
      x_.ansiText_ = !value.empty() && !SameTextAscii(value, "utf-8");
    }
  }

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

  void Start(std::string_view name, std::string_view attributes, bool empty) {
    if (skip_ > 0) {
      if (!empty) ++skip_;
      return;
    }
    if (name.size() > 2 && name[0] == 'x' && name[1] == ':') name.remove_prefix(2);
    const Kind kind = KindOf(name);
    bool accept = true;
    if (!started_) {
      started_ = true;  // the document element, whatever its name
    } else {
      switch (kind) {
        case kValue:
        case kFormula: accept = Up(0) == kCell; break;
        case kText:
          accept = (Up(0) == kInline && Up(1) == kCell) || (Up(0) == kRun && Up(1) == kInline && Up(2) == kCell);
          break;
        case kCols:
        case kCol: accept = bool(x_.OnColumnWidth); break;
        case kOther: accept = false; break;
        default: break;
      }
    }
    if (!accept || stack_.size() >= kMaxDepth) {
      if (!empty) skip_ = 1;
      return;
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
        text_.clear();
        capture_ = true;
        break;
      case kFormula:
      case kText:
        text_.clear();
        capture_ = true;
        break;
      default: break;
    }
    stack_.push_back(kind);
    if (empty) End();
  }

  void End() {
    if (skip_ > 0) {
      --skip_;
      return;
    }
    if (stack_.empty()) return;
    const Kind kind = stack_.back();
    stack_.pop_back();
    capture_ = false;
    switch (kind) {
      case kValue: x_.ReportValue(TrimBytes(text_), text_); break;
      case kFormula: x_.ReportFormula(TrimBytes(text_)); break;
      case kText: x_.AppendInlineText(text_); break;
      case kCell: x_.EndCell(); break;
      case kRow:
        if (Up(0) == kSheetData) x_.EndRow();
        break;
      default: break;
    }
    // What follows the document element is not read.
    if (stack_.empty()) done_ = true;
  }

  TMSExcelX& x_;
  TStream& source_;
  int64_t left_;
  std::unique_ptr<char[]> buf_;
  size_t cap_ = 0, pos_ = 0, end_ = 0;
  bool eof_ = false, started_ = false, done_ = false;
  bool capture_ = false;  // the open element's text is a value, formula or inline text
  std::string text_;
  std::vector<Kind> stack_;
  int64_t skip_ = 0;  // depth inside an element that is passed over
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
  if (size > 0) TWorksheetParser(*this, inflater ? static_cast<TStream&>(*inflater) : stored, size).Run();
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
    ReportCell(Variant(WideStringView(inline_)), -1, ictString);
  }
  ColCounter = cellCol_ >= 0 ? cellCol_ + 1 : ColCounter + 1;
}

WideString TMSExcelX::DecodeText(std::string_view Raw) const {
  WideString out;
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
  WideString text = DecodeText(Raw);
  DecodeHtmlEntities(text);
  FormulaTexts.push_back(TXLSXFormula{CurrentSheet, cellRow_, cellCol_, u"=" + text});
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
