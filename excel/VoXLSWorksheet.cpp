// One XML worksheet of an OOXML package: its cells (values, types, styles,
// positions), column widths and formula texts. The worksheet is inflated
// straight into the XML engine; rows and cells leave the tree as soon as
// they close, and elements that hold no cell data are never built.
#include <algorithm>
#include <charconv>
#include <climits>
#include <cmath>

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

bool IsName(std::string_view name, std::string_view plain) {
  return name == plain || (name.size() == plain.size() + 2 && name[0] == 'x' && name[1] == ':' && name.substr(2) == plain);
}

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

// A cell's number text as written in worksheets ("." as the decimal point).
// Text that is no number raises the variant conversion error.
double NumberText(WideStringView text) {
  char buf[64];
  if (text.size() < sizeof buf) {
    bool ascii = true;
    for (size_t i = 0; i < text.size(); ++i) {
      if (text[i] > 0x7F) {
        ascii = false;
        break;
      }
      buf[i] = char(text[i]);
    }
    const char first = text.empty() ? 0 : buf[0];
    if (ascii && ((first >= '0' && first <= '9') || first == '-' || first == '.')) {
      double d;
      const auto r = std::from_chars(buf, buf + text.size(), d);
      if (r.ec == std::errc() && r.ptr == buf + text.size()) return d;
    }
  }
  // The general conversion (leading "+", blanks around the number), which
  // raises for text that is no number.
  WideString local(text);
  const char sep = FormatSettings().DecimalSeparator;
  if (sep != '.') local = WideStringReplace(local, u".", WideString(1, char16_t(sep)), false, false);
  return Variant(local).AsDouble();
}

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

void TMSExcelX::ReadWorksheet(int32_t SheetNo, int EntryIndex) {
  std::unique_ptr<TFixMemoryStream> source;
  std::unique_ptr<TStream> inflater;
  int64_t size = 0;
  zip_->OpenEntryStream(EntryIndex, source, inflater, size);
  CurrentSheet = SheetNo;
  RowCounter = ColCounter = 0;
  rowIndex_ = 0;
  cellRow_ = cellCol_ = cellStyle_ = -1;
  inlineSeen_ = false;
  widthReports_ = 0;
  TVoXMLEngine engine;
  engine.OnTag = [this](TVoXMLEngine&, TVoXMLItem* Parent, const TVoXMLTag& Tag, bool& Accept) {
    CellTag(Parent, Tag, Accept);
  };
  engine.OnAfterTag = [this](TVoXMLEngine&, TVoXMLItem*& Node, bool&) { CellAfterTag(Node); };
  if (size > 0) engine.LoadXML(size, inflater.get());
}

void TMSExcelX::CellTag(TVoXMLItem* ParentNode, const TVoXMLTag& Tag, bool& Accept) {
  const std::string_view name = Tag.Name();
  if (IsName(name, "c")) {
    // A cell: its position, style and type, from its attributes.
    cellRow_ = rowIndex_;
    cellCol_ = ColCounter;
    cellStyle_ = -1;
    cellKind_ = ckNumber;
    inlineSeen_ = false;
    TXMLAttributeReader reader(Tag.RawAttributes());
    std::string_view attr, value;
    while (reader.Next(attr, value)) {
      if (attr.size() != 1) continue;
      value = Unquoted(value);
      switch (attr[0]) {
        case 'r': ParseCellRef(value, cellRow_, cellCol_); break;
        case 's':
          if (!SmallNumber(value, cellStyle_)) cellStyle_ = -1;
          break;
        case 't':
          cellKind_ = value == "s" ? ckShared
                      : value == "str" ? ckString
                      : value == "inlineStr" ? ckInline
                      : value == "e" ? ckError
                      : value == "d" ? ckDate
                      : value == "b" ? ckBoolean
                                     : ckNumber;
          break;
        default: break;
      }
    }
    Accept = true;
    return;
  }
  if (IsName(name, "v")) {
    if (IsName(ParentNode->Name, "c")) ReportValue(Tag.Value());
    Accept = false;
    return;
  }
  if (IsName(name, "t")) {
    // Inline string text, plain or in runs: joined as written.
    const TVoXMLItem* n = ParentNode;
    if (IsName(n->Name, "r")) n = n->Parent;
    if (n && IsName(n->Name, "is") && n->Parent && IsName(n->Parent->Name, "c")) {
      if (!inlineSeen_) inline_.clear();
      inlineSeen_ = true;
      const WideString& text = Tag.Text();
      if (text.find(u'&') == WideString::npos) {
        inline_ += text;
      } else {
        WideString piece = text;
        DecodeHtmlEntities(piece);
        inline_ += piece;
      }
    }
    Accept = false;
    return;
  }
  if (IsName(name, "f")) {
    WideString text = Tag.Value();
    DecodeHtmlEntities(text);
    FormulaTexts.push_back(TXLSXFormula{CurrentSheet, cellRow_, cellCol_, u"=" + text});
    Accept = false;
    return;
  }
  if (IsName(name, "row")) {
    // Rows left out of the file (empty ones) are skipped by their number.
    rowIndex_ = RowCounter;
    ColCounter = 0;
    TXMLAttributeReader reader(Tag.RawAttributes());
    std::string_view attr, value;
    while (reader.Next(attr, value)) {
      if (attr != "r") continue;
      int32_t number;
      if (SmallNumber(Unquoted(value), number)) rowIndex_ = number >= 1 && number <= kLastRow + 1 ? number - 1 : kLastRow + 1;
      break;
    }
    Accept = true;
    return;
  }
  Accept = IsName(name, "worksheet") || IsName(name, "sheetData") || IsName(name, "is") || IsName(name, "r") ||
           (OnColumnWidth && (IsName(name, "cols") || IsName(name, "col")));
}

void TMSExcelX::CellAfterTag(TVoXMLItem*& Node) {
  const std::string_view name = Node->Name;
  if (IsName(name, "c")) {
    if (inlineSeen_) {
      inlineSeen_ = false;
      ReportCell(Variant(WideStringView(inline_)), -1, ictString);
    }
    ColCounter = cellCol_ >= 0 ? cellCol_ + 1 : ColCounter + 1;
    TVoXMLItem::Free(Node);
    return;
  }
  if (IsName(name, "row")) {
    if (Node->Parent && IsName(Node->Parent->Name, "sheetData")) {
      RowCounter = rowIndex_ + 1;
      ColCounter = 0;
    }
    TVoXMLItem::Free(Node);
    return;
  }
  if (IsName(name, "col") && Node->Parent && IsName(Node->Parent->Name, "cols") && OnColumnWidth) {
    ReportColumnWidths(*Node);
    TVoXMLItem::Free(Node);
  }
}

void TMSExcelX::ReportValue(WideStringView Text) {
  switch (cellKind_) {
    case ckShared: {
      int32_t index;
      if (!SmallNumber(Text, index)) index = Variant(Text).AsInteger();
      static const Variant kNoText{WideStringView()};
      ReportCell(index >= 0 && size_t(index) < sharedValues_.size() ? sharedValues_[size_t(index)] : kNoText, -1,
                 ictString);
      return;
    }
    case ckString:
    case ckInline:
    case ckError: {
      WideString text(Text);
      DecodeHtmlEntities(text);
      ReportCell(Variant(std::move(text)), -1, ictString);
      return;
    }
    case ckDate:
      if (Text.empty()) return;
      ReportCell(Variant::FromDate(IsoDateTime(Text)), -1, ictDateTime);
      return;
    case ckBoolean: ReportCell(Variant(Text == u"1"), -1, ictBoolean); return;
    case ckNumber: break;
  }
  if (Text.empty()) {
    ReportCell(Variant(WideStringView()), -1, ictEmpty);
    return;
  }
  Variant value;
  TVoxCellType type;
  NumberValue(NumberText(Text), cellStyle_, value, type);
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

void TMSExcelX::ReportColumnWidths(const TVoXMLItem& Col) {
  WideString width, min, max;
  if (!Col.FindAttribute("width", width) || !Col.FindAttribute("min", min) || !Col.FindAttribute("max", max)) return;
  int32_t first, last;
  double w;
  const char sep = FormatSettings().DecimalSeparator;
  if (!TryStrToInt(min, first) || !TryStrToInt(max, last) ||
      !TryStrToFloat(WideStringReplace(width, u".", WideString(1, char16_t(sep)), false, true), w))
    return;
  const double units = std::trunc(w * 256);
  if (!(units >= INT32_MIN && units <= INT32_MAX)) return;
  const int64_t from = std::max<int64_t>(int64_t(first) - 1, 0);
  const int64_t to = std::min<int64_t>(int64_t(last) - 1, kLastCol);
  for (int64_t c = from; c <= to && widthReports_ < kMaxWidthReports; ++c, ++widthReports_)
    OnColumnWidth(this, CurrentSheet, int32_t(c), int32_t(units));
}

}  // namespace gridlark
