// The common base of the Excel readers: format tables, date and percent
// rules, error texts, RK numbers and the password request.
#include <cstring>

#include "excel/VoXLS.h"

namespace gridlark {
namespace {

// Built-in number formats by format number; 23 to 36 have none.
constexpr struct {
  int index;
  const char* text;
} kBuiltInFormats[] = {
    {0, "General"},
    {1, "0"},
    {2, "0.00"},
    {3, "#,##0"},
    {4, "#,##0.00"},
    {5, "($#,##0_);($#,##0)"},
    {6, "($#,##0_);[Red]($#,##0)"},
    {7, "($#,##0.00_);($#,##0.00)"},
    {8, "($#,##0.00_);[Red]($#,##0.00)"},
    {9, "0%"},
    {10, "0.00%"},
    {11, "0.00E+00"},
    {12, "# ?/?"},
    {13, "# ?\?/?\?"},
    {14, "m/d/yy"},
    {15, "d-mmm-yy"},
    {16, "d-mmm"},
    {17, "mmm-yy"},
    {18, "h:mm AM/PM"},
    {19, "h:mm:ss AM/PM"},
    {20, "h:mm"},
    {21, "h:mm:ss"},
    {22, "m/d/yy h:mm"},
    {37, "(#,##0_);(#,##0)"},
    {38, "(#,##0_);[Red](#,##0)"},
    {39, "(#,##0.00_);(#,##0.00)"},
    {40, "(#,##0.00_);[Red](#,##0.00)"},
    {41, "_(* #,##0_);_(* (#,##0);_(* \"-\"_);_(@_)"},
    {42, "_($* #,##0_);_($* (#,##0);_($* \"-\"_);_(@_)"},
    {43, "_(* #,##0.00_);_(* (#,##0.00);_(* \"-\"??_);_(@_)"},
    {44, "_($* #,##0.00_);_($* (#,##0.00);_($* \"-\"??_);_(@_)"},
    {45, "mm:ss"},
    {46, "[h]:mm:ss"},
    {47, "mm:ss.0"},
    {48, "##0.0E+0"},
    {49, "@"},
};

}  // namespace

TCustomMSExcel::TCustomMSExcel() = default;

void TCustomMSExcel::Load() {
  TSpreadSheetFile::Load();
  DimensionsRead = false;
  DimLastRow = DimLastCol = MaxRow = MaxCol = 0;
  SharedStrings.Clear();
  SummaryInformation.Clear();
  XFList.clear();
  Formats.clear();
  formatFlags_.clear();
  VBAProjectText.clear();
  Macros.clear();
  SheetIndex = -1;
  SheetNames.Clear();
  DefinedNames.clear();
  Formulas.clear();
}

void TCustomMSExcel::AddBuiltInFormats() {
  for (const auto& f : kBuiltInFormats) AddFormat(true, f.text, f.index, 0, -1, 0);
}

void TCustomMSExcel::AddFormat(bool IsBuiltIn, std::string_view FormatStr, int32_t FormatIndex, int32_t FontIndex,
                               int32_t AlignWord, int32_t Color) {
  if (IsBuiltIn) {
    if (FormatIndex < 0 || FormatIndex > 0xFFFF) return;  // format numbers are 16-bit
    if (size_t(FormatIndex) >= Formats.size()) Formats.resize(size_t(FormatIndex) + 1);
    Formats[size_t(FormatIndex)] = std::string(FormatStr);
    if (size_t(FormatIndex) < formatFlags_.size()) formatFlags_[size_t(FormatIndex)] = 0;
    return;
  }
  TXLSFormat* entry = FormatStr.empty() ? nullptr : FindFormat(FormatStr);
  const bool isNew = entry == nullptr;
  TXLSFormat fresh;
  if (isNew) {
    fresh.FormatString = std::string(FormatStr);
    entry = &fresh;
  }
  if (!FormatStr.empty()) {
    int32_t found = -1;
    for (size_t i = 0; i < Formats.size() && found < 0; ++i)
      if (SameTextAscii(Formats[i], FormatStr)) found = int32_t(i);
    if (found < 0) {
      found = int32_t(Formats.size());
      Formats.emplace_back(FormatStr);
    }
    entry->FormatIndex = found;
  } else {
    entry->FormatIndex = FormatIndex;
  }
  entry->FontIndex = FontIndex;
  if (AlignWord != -1) entry->HorzAlign = uint8_t(AlignWord & 7);
  if (isNew) XFList.push_back(std::move(fresh));
}

TXLSFormat* TCustomMSExcel::FindFormat(std::string_view FormatStr) {
  for (TXLSFormat& f : XFList)
    if (f.FormatString == FormatStr) return &f;
  return nullptr;
}

const TXLSFormat* TCustomMSExcel::GetXF(int32_t Index) const {
  return (Index >= 0 && size_t(Index) < XFList.size()) ? &XFList[size_t(Index)] : nullptr;
}

bool TCustomMSExcel::HasDatePattern(std::string_view Text) {
  return Text.find("dd") != std::string_view::npos || Text.find("mm") != std::string_view::npos ||
         Text.find("yy") != std::string_view::npos;
}

int32_t TCustomMSExcel::ResolveFormat(int32_t Index) const {
  if (Index < 0) return -1;
  if (size_t(Index) < XFList.size()) {
    const int32_t f = XFList[size_t(Index)].FormatIndex;
    return f <= 0 ? -1 : f;  // General or no format
  }
  return Index;
}

uint8_t TCustomMSExcel::FormatFlags(int32_t Index) const {
  if (Index < 0 || size_t(Index) >= Formats.size()) return 0;
  if (formatFlags_.size() < Formats.size()) formatFlags_.resize(Formats.size(), 0);
  uint8_t& flags = formatFlags_[size_t(Index)];
  if (!(flags & kKnown)) {
    const std::string& text = Formats[size_t(Index)];
    flags = kKnown;
    if (HasDatePattern(LowerAscii(text))) flags |= kDate;
    const size_t p = text.find('%');
    if (p != std::string::npos && (p == 0 || (text[p - 1] != '"' && text[p - 1] != '\''))) flags |= kPercent;
  }
  return flags;
}

bool TCustomMSExcel::IsDateFormat(int32_t Index) const { return FormatFlags(ResolveFormat(Index)) & kDate; }

bool TCustomMSExcel::IsPercentFormat(int32_t Index) const { return FormatFlags(ResolveFormat(Index)) & kPercent; }

void TCustomMSExcel::NumberValue(double Number, int32_t FormatIndex, Variant& Value, TVoxCellType& CellType) const {
  NumberValueByFormat(Number, ResolveFormat(FormatIndex), Value, CellType);
}

void TCustomMSExcel::NumberValueByFormat(double Number, int32_t FormatNumber, Variant& Value,
                                         TVoxCellType& CellType) const {
  const uint8_t flags = FormatFlags(FormatNumber);
  if (flags & kDate) {
    Value = Variant::FromDate(Number + DateBase);
    CellType = ictDateTime;
  } else {
    Value = (flags & kPercent) ? Number * 100 : Number;
    CellType = ictDecimal;
  }
}

std::string TCustomMSExcel::ErrorText(int32_t Code) {
  switch (Code) {
    case 0: return "#NULL!";
    case 7: return "#DIV/0!";
    case 15: return "#VALUE!";
    case 23: return "#REF!";
    case 29: return "#NAME?";
    case 36: return "#NUM!";
    case 42: return "#N/A";
    default: return "Unknown error code " + std::to_string(Code);
  }
}

double TCustomMSExcel::DecodeRK(uint32_t RK) {
  double value;
  if (RK & 2) {
    value = double(int32_t(RK & ~3u) / 4);
  } else {
    const uint64_t bits = uint64_t(RK & ~3u) << 32;
    std::memcpy(&value, &bits, sizeof value);
  }
  if (RK & 1) value /= 100;
  return value;
}

bool TCustomMSExcel::RequestPassword() {
  bool result = false;
  bool cont = true;
  std::string password = Password;
  while (!result && cont) {
    if (OnPassword)
      OnPassword(this, password, cont);
    else
      cont = false;
  }
  if (result) Password = password;
  return result;
}

}  // namespace gridlark
