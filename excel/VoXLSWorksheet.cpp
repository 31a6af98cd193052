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

  // Rows and cells in the forms producers write, taken in one step: <row>
  // start and end tags, <c .../>, and <c ...> with <v> and <f> children
  // holding plain text. Anything else (inline strings, CDATA, comments,
  // other elements, a zero byte) goes the step-by-step way, which gives the
  // same results.
  //
  // Bytes are matched one by one up to the first mismatch: the zero byte
  // after the window is a mismatch for every pattern, so no read goes past
  // it, and a construct it cuts off is left to the step-by-step path.
  const char* Elements(const char* at, const char* end, int64_t& depth) {
    // Before the document element a "c" is no cell but the document itself.
    if (stack_.empty()) return at;
    const char* p = at;
    for (;;) {
      const char* next;
      const char* name = p + 1;
      if (*name == '/') {
        next = CloseRow(p, end, depth);
      } else {
        if (*name == 'x') name = Unprefixed(name);
        if (name[0] == 'c' && !IsName(name[1]))
          next = TakeCell(p, name + 1, end, depth);
        else
          next = OpenRow(p, name, end, depth);
      }
      if (next == p) return p;
      p = SkipText(next);
      // Text between rows and cells is nobody's.
      if (*p == 0 || stack_.back() == kCell) return p;
    }
  }

 private:
  using Scanner = TPartScanner<TWorksheetParser>;
  // Depth kept free for a row's cells and their children.
  static constexpr int64_t kDepthMargin = 8;

  static bool IsName(char c) { return Scanner::IsNameByte(c); }
  static bool IsBlank(char c) { return unsigned(uint8_t(c)) - 1u < 32u; }  // 1 to 32, not the zero byte
  // The value of a digit or a capital letter; 10 or more (26 or more) for
  // any other byte.
  static unsigned Digit(char c) { return unsigned(uint8_t(c)) - '0'; }
  static unsigned Letter(char c) { return unsigned(uint8_t(c)) - 'A'; }
  static const char* SkipText(const char* q) { return Scanner::SkipText(q); }
  static const char* Unprefixed(const char* n) { return Scanner::Unprefixed(n); }
  static const char* PastEndTag(const char* at) { return Scanner::PastEndTag(at); }

  // The end of the open row: any end tag while a row is the innermost
  // element followed.
  const char* CloseRow(const char* at, const char* end, int64_t& depth) {
    if (stack_.size() < 2 || stack_.back() != kRow) return at;
    const char* gt = static_cast<const char*>(std::memchr(at + 2, '>', size_t(end - at - 2)));
    if (!gt) return at;
    stack_.pop_back();
    --depth;
    if (Up(0) == kSheetData) x_.EndRow();
    return gt + 1;
  }

  // A row's start tag, whose name is at N.
  const char* OpenRow(const char* at, const char* n, const char* end, int64_t& depth) {
    if (n[0] != 'r' || n[1] != 'o' || n[2] != 'w' || IsName(n[3])) return at;
    if (depth + kDepthMargin >= Scanner::kMaxDepth) return at;
    const char* attributes = n + 3;
    const char* gt = Scanner::TagEnd(attributes, end);
    if (!gt) return at;
    const bool empty = gt > attributes && gt[-1] == '/';
    // Usually the row number comes first: r="12".
    const char* d = attributes + 4;
    if (attributes[0] == ' ' && attributes[1] == 'r' && attributes[2] == '=' && attributes[3] == '"' && Digit(*d) < 10) {
      int32_t number = 0;
      const char* c = d;
      for (unsigned digit; (digit = Digit(*c)) < 10 && c - d < 9; ++c) number = number * 10 + int32_t(digit);
      if (*c == '"') {
        x_.ColCounter = 0;
        x_.rowIndex_ = number >= 1 && number <= kLastRow + 1 ? number - 1 : kLastRow + 1;
      } else {
        x_.BeginRow(std::string_view(attributes, size_t(gt - attributes) - (empty ? 1 : 0)));
      }
    } else {
      x_.BeginRow(std::string_view(attributes, size_t(gt - attributes) - (empty ? 1 : 0)));
    }
    if (empty) {
      if (Up(0) == kSheetData) x_.EndRow();
    } else {
      stack_.push_back(kRow);
      ++depth;
    }
    return gt + 1;
  }

  // The cell at At, whose attributes start at Q: At when the window ends
  // inside its start tag. Otherwise its children are reported
  // as far as they are in a form taken here and lie in the window; the
  // result is the end of the cell, or where the step-by-step path goes on
  // inside the cell, which is then left open.
  [[gnu::always_inline]] const char* TakeCell(const char* at, const char* q, const char* end, int64_t& depth) {
    if (depth + kDepthMargin >= Scanner::kMaxDepth) return at;
    bool empty = false;
    const char* gt = CellAttributes(q, empty);
    if (!gt) {
      // Attributes in another layout: the tag's end as the scan finds it,
      // and the attributes read one by one.
      gt = Scanner::TagEnd(q, end);
      if (!gt) return at;
      empty = gt > q && gt[-1] == '/';
      x_.BeginCell(std::string_view(q, size_t(gt - q) - (empty ? 1 : 0)));
    }
    q = gt + 1;
    if (!empty) {
      // The children, then the cell's end tag. Text between them is no
      // cell's text and is passed over.
      for (;;) {
        q = SkipText(q);
        if (*q == 0) return LeaveOpen(q, depth);
        if (q[1] == '/') {
          if (q[2] == 'c' && q[3] == '>') {
            q += 4;
          } else {
            const char* past = PastEndTag(q);
            if (!past) return LeaveOpen(q, depth);
            q = past;
          }
          break;
        }
        const char* next = TakeChild(q, end);
        if (next == q) return LeaveOpen(q, depth);
        q = next;
      }
    }
    // What EndCell does for a cell without inline text.
    x_.ColCounter = x_.cellCol_ >= 0 ? x_.cellCol_ + 1 : x_.ColCounter + 1;
    return q;
  }

  // The cell stays open; the step-by-step path goes on inside it at Q.
  const char* LeaveOpen(const char* q, int64_t& depth) {
    stack_.push_back(kCell);
    ++depth;
    return q;
  }

  // A <v> or <f> child of the cell being read, at At, reported; At when
  // it is in another form or the window ends inside it.
  [[gnu::always_inline]] const char* TakeChild(const char* at, const char* end) {
    const char* n = at[1] == 'x' ? Unprefixed(at + 1) : at + 1;
    const char kind = n[0];
    if ((kind != 'v' && kind != 'f') || IsName(n[1])) return at;
    bool preserve = false;
    const char* q = n + 1;
    if (*q != '>') {
      q = Scanner::TagEnd(q, end);
      if (!q) return at;
      const bool empty = q[-1] == '/';
      const std::string_view attributes(n + 1, size_t(q - n - 1) - (empty ? 1 : 0));
      preserve = attributes.find("preserve") != std::string_view::npos &&
                 attributes.find("xml:space") != std::string_view::npos;
      if (empty) {
        // An empty element: an empty text.
        if (kind == 'f') {
          x_.ReportFormula({});
        } else {
          x_.preserveSpace_ = preserve;
          x_.ReportValue({}, {});
        }
        return q + 1;
      }
    }
    const char* text = ++q;
    if (kind == 'v') {
      // A plain number or shared string index, read on the way.
      if (x_.cellKind_ == ckNumber) {
        double number;
        if (QuickNumber(q, number) && q[1] == '/' && q[2] == 'v' && q[3] == '>') {
          x_.ReportNumber(number);
          return q + 4;
        }
      } else if (x_.cellKind_ == ckShared) {
        int32_t index;
        if (QuickIndex(q, index) && q[1] == '/' && q[2] == 'v' && q[3] == '>') {
          x_.ReportShared(index);
          return q + 4;
        }
      }
    }
    // Plain text up to the child's end tag.
    q = SkipText(q);
    if (*q == 0 || q[1] != '/') return at;
    const char* past = PastEndTag(q);
    if (!past) return at;
    const std::string_view raw(text, size_t(q - text));
    if (kind == 'f') {
      x_.ReportFormula(TrimBytes(raw));
    } else {
      x_.preserveSpace_ = preserve;
      x_.ReportValue(TrimBytes(raw), raw);
    }
    return past;
  }

  // A number written as worksheets usually do, "-" and up to 15 digits
  // with at most one ".", right before the '<' that ends the text, read as
  // PlainNumber reads it; Q moves past what was looked at. False for
  // anything else, which the full conversion takes.
  [[gnu::always_inline]] static bool QuickNumber(const char*& q, double& out) {
    static constexpr double kPow10[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                        1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
    const char* p = q;
    const bool negative = *p == '-';
    if (negative) ++p;
    uint64_t mantissa = 0;
    const char* digits = p;
    for (unsigned digit; (digit = Digit(*p)) < 10; ++p) mantissa = mantissa * 10 + digit;
    size_t count = size_t(p - digits), fraction = 0;
    if (*p == '.' && count <= 15) {
      const char* start = ++p;
      for (unsigned digit; (digit = Digit(*p)) < 10; ++p) mantissa = mantissa * 10 + digit;
      fraction = size_t(p - start);
      count += fraction;
    }
    q = p;
    if (*p != '<' || count == 0 || count > 15) return false;
    const double d = double(mantissa) / kPow10[fraction];
    out = negative ? -d : d;
    return true;
  }

  // A shared string index: one to nine digits right before the '<' that
  // ends the text.
  [[gnu::always_inline]] static bool QuickIndex(const char*& q, int32_t& out) {
    const char* p = q;
    int32_t v = 0;
    for (unsigned digit; (digit = Digit(*p)) < 10 && p - q < 9; ++p) v = v * 10 + int32_t(digit);
    const bool ok = *p == '<' && p > q;
    q = p;
    out = v;
    return ok;
  }

  // The attributes of a cell's start tag from Q, in the layout producers
  // write (blanks, then name="value" or name='value', each name of name
  // bytes): the cell they describe becomes the cell being read, and the
  // result is the tag's '>' (Empty: after a '/'). nullptr for any other
  // layout or a tag the window cuts off, with nothing changed.
  [[gnu::always_inline]] const char* CellAttributes(const char* q, bool& empty) {
    int32_t row = x_.rowIndex_, col = x_.ColCounter, style = -1;
    CellKind kind = ckNumber;
    for (;;) {
      const char* v;  // the value
      char name = 0;  // a name of one byte, or 0 for longer ones
      char quote = '"';
      if (q[0] == ' ' && IsName(q[1]) && q[2] == '=' && q[3] == '"') {
        // The usual layout: one blank, a name of one byte, double quotes.
        name = q[1];
        v = q + 4;
      } else {
        if (*q == '>') break;
        if (*q == '/') {
          if (q[1] != '>') return nullptr;
          empty = true;
          ++q;
          break;
        }
        if (!IsBlank(*q)) return nullptr;
        do ++q;
        while (IsBlank(*q));
        if (*q == '>' || *q == '/') continue;
        const char* start = q;
        while (IsName(*q)) ++q;
        if (q == start || q[0] != '=' || (q[1] != '"' && q[1] != '\'')) return nullptr;
        if (q - start == 1) name = *start;
        quote = q[1];
        v = q + 2;
      }
      const char* c = v;
      if (name == 'r') {
        // Letters and digits are read on the way to the closing quote; runs
        // too long to be read exactly here (the sums wrap) go to
        // ParseCellRef.
        uint64_t letters = 0, digits = 0;
        for (unsigned letter; (letter = Letter(*c)) < 26; ++c) letters = letters * 26 + letter + 1;
        const char* d = c;
        for (unsigned digit; (digit = Digit(*c)) < 10; ++c) digits = digits * 10 + digit;
        if (*c == quote && d - v <= 12 && c - d <= 18) {
          row = c > d && digits >= 1 && digits <= uint64_t(kLastRow) + 1 ? int32_t(digits - 1) : -1;
          col = d > v && letters <= uint64_t(kLastCol) + 1 ? int32_t(letters - 1) : -1;
        } else {
          while (*c != quote && *c != 0) ++c;
          if (*c == 0) return nullptr;
          ParseCellRef(std::string_view(v, size_t(c - v)), row, col);
        }
      } else if (name == 's' && Digit(*c) < 10) {
        int32_t number = 0;
        for (unsigned digit; (digit = Digit(*c)) < 10 && c - v < 9; ++c) number = number * 10 + int32_t(digit);
        if (*c == quote) {
          style = number;
        } else {
          while (*c != quote && *c != 0) ++c;
          if (*c == 0) return nullptr;
          style = -1;
        }
      } else {
        while (*c != quote && *c != 0) ++c;
        if (*c == 0) return nullptr;
        const std::string_view value(v, size_t(c - v));
        if (name == 's') {
          if (!SmallNumber(value, style)) style = -1;
        } else if (name == 't') {
          kind = KindOfType(value);
        }
      }
      q = c + 1;
    }
    x_.cellRow_ = row;
    x_.cellCol_ = col;
    x_.cellStyle_ = style;
    x_.cellKind_ = kind;
    x_.inlineSeen_ = false;
    return q;
  }

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
  styleFlags_.assign(XFList.size(), 0);
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

TMSExcelX::CellKind TMSExcelX::KindOfType(std::string_view Type) {
  return Type == "s"           ? ckShared
         : Type == "str"       ? ckString
         : Type == "inlineStr" ? ckInline
         : Type == "e"         ? ckError
         : Type == "d"         ? ckDate
         : Type == "b"         ? ckBoolean
                               : ckNumber;
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
      case 't': cellKind_ = KindOfType(value); break;
      default: break;
    }
  }
}

void TMSExcelX::EndCell() {
  if (inlineSeen_) {
    // An inline string is one cell, however many runs it has.
    inlineSeen_ = false;
    if (inlineEscapes_) DecodeXStringEscapes(inline_);
    ReportCell(Variant(WideStringView(inline_)), -1, ictString);
  }
  ColCounter = cellCol_ >= 0 ? cellCol_ + 1 : ColCounter + 1;
}

WideString TMSExcelX::DecodeText(std::string_view Raw) const {
  WideString out;
  AppendText(Raw, out);
  return out;
}

void TMSExcelX::AppendText(std::string_view Raw, WideString& Out) const {
  const size_t base = Out.size();
  Out.resize(base + Raw.size());
  char16_t* to = Out.data() + base;
  size_t i = 0;
  for (; i < Raw.size() && uint8_t(Raw[i]) < 0x80; ++i) to[i] = char16_t(Raw[i]);
  if (i == Raw.size()) return;
  Out.resize(base);
  // UTF-8 where the text is well-formed UTF-8, else the ANSI code page, as
  // the XML engine reads element text.
  if (!ansiText_ && Utf8ToWide(Raw, Out)) return;
  Out.resize(base);
  AppendAnsiAsWide(Out, Raw);
}

bool TMSExcelX::AppendDecodedText(std::string_view Raw, WideString& Out) {
  // An underscore comes from the byte '_' or from a numeric reference (no
  // named one stands for it).
  if (Raw.empty()) return false;
  const bool references = std::memchr(Raw.data(), '&', Raw.size()) != nullptr;
  const bool escapes = std::memchr(Raw.data(), '_', Raw.size()) != nullptr ||
                       (references && Raw.find("&#") != std::string_view::npos);
  if (!references) {
    AppendText(Raw, Out);
    return escapes;
  }
  piece_.clear();
  AppendText(Raw, piece_);
  DecodeHtmlEntities(piece_);
  Out += piece_;
  return escapes;
}

void TMSExcelX::AppendInlineText(std::string_view Raw) {
  if (!inlineSeen_) {
    inline_.clear();
    inlineEscapes_ = false;
  }
  inlineSeen_ = true;
  inlineEscapes_ |= AppendDecodedText(Raw, inline_);
}

void TMSExcelX::ReportFormula(std::string_view Raw) {
  formula_.assign(1, u'=');
  AppendDecodedText(Raw, formula_);
  const size_t size = formula_.size();
  if (size > formulaRoom_ - formulaUsed_) {
    // A new block; a text longer than a block has one of its own.
    constexpr size_t kBlock = 16384;
    formulaRoom_ = std::max(kBlock, size);
    formulaBlocks_.push_back(std::make_unique_for_overwrite<char16_t[]>(formulaRoom_));
    formulaUsed_ = 0;
  }
  char16_t* text = formulaBlocks_.back().get() + formulaUsed_;
  std::char_traits<char16_t>::copy(text, formula_.data(), size);
  formulaUsed_ += size;
  FormulaTexts.push_back({CurrentSheet, cellRow_, cellCol_, WideStringView(text, size)});
}

void TMSExcelX::ReportShared(int32_t Index) {
  static const Variant kNoText{WideStringView()};
  ReportCell(Index >= 0 && size_t(Index) < sharedValues_.size() ? sharedValues_[size_t(Index)] : kNoText, -1,
             ictString);
}

void TMSExcelX::ReportNumber(double Number) {
  // The date and percent decisions of each cell format, taken once.
  uint8_t flags;
  if (cellStyle_ >= 0 && size_t(cellStyle_) < styleFlags_.size()) {
    uint8_t& known = styleFlags_[size_t(cellStyle_)];
    if (!known) known = StyleFlags(cellStyle_);
    flags = known;
  } else {
    flags = StyleFlags(cellStyle_);
  }
  if (flags & kStyleDate)
    ReportCell(Variant::FromDate(Number + DateBase), cellStyle_, ictDateTime);
  else
    ReportCell(Variant((flags & kStylePercent) ? Number * 100 : Number), cellStyle_, ictDecimal);
}

uint8_t TMSExcelX::StyleFlags(int32_t Style) const {
  return kStyleKnown | (IsDateFormat(Style) ? kStyleDate : 0) | (IsPercentFormat(Style) ? kStylePercent : 0);
}

void TMSExcelX::ReportValue(std::string_view Raw, std::string_view Untrimmed) {
  switch (cellKind_) {
    case ckShared: {
      int32_t index;
      if (!SmallNumber(Raw, index)) index = Variant(DecodeText(Raw)).AsInteger();
      ReportShared(index);
      return;
    }
    case ckString:
    case ckInline:
    case ckError: {
      WideString text;
      if (AppendDecodedText(preserveSpace_ ? Untrimmed : Raw, text)) DecodeXStringEscapes(text);
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
  ReportNumber(number);
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
