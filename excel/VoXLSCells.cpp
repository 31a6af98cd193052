// BIFF records that carry cell values and sheet layout: numbers, RK numbers,
// text, shared-string references, booleans and errors, formula results,
// blanks, dimensions, row heights and column widths.
#include <algorithm>

#include "excel/VoXLS.h"
#include "text/VoxPars.h"

namespace gridlark {
namespace {

TAlignment AlignmentOf(uint8_t code) {
  if ((code & 3) == 3) return taRightJustify;
  if (code & 2) return taCenter;
  return taLeftJustify;
}

// Records between a formula and its STRING record.
bool IsFormulaCompanion(uint16_t type) {
  return type == 0x00BC || type == 0x04BC ||  // SHRFMLA
         type == 0x0221 || type == 0x0021 ||  // ARRAY
         type == 0x0236 || type == 0x0036;    // TABLE
}

}  // namespace

void TMSExcel::ReportCell(int32_t ColOffset, int32_t FormatIndex, size_t AttrOffset, const Variant& Value,
                          TVoxCellType CellType) {
  if (!OnCellValue) return;
  const int32_t row = rec_.U16(0);
  const int32_t col = int32_t(rec_.U16(2)) + ColOffset;
  uint8_t code = 0;
  if (AttrOffset != 0) {
    code = rec_.U8(AttrOffset);
  } else if (const TXLSFormat* xf = GetXF(FormatIndex)) {
    code = xf->HorzAlign;
  }
  const TAlignment alignment = AlignmentOf(code);
  if (CellType == ictString && Value.Type() == VarType::WideString) {
    // A line feed alone becomes a carriage return and line feed.
    const WideString& text = Value.WideText();
    if (text.find(u'\n') != WideString::npos && text.find(u"\r\n") == WideString::npos) {
      OnCellValue(this, SheetIndex, row, col, FormatIndex, Variant(WideStringReplace(text, u"\n", u"\r\n", true, true)),
                  alignment, CellType);
    } else {
      OnCellValue(this, SheetIndex, row, col, FormatIndex, Value, alignment, CellType);
    }
  } else {
    OnCellValue(this, SheetIndex, row, col, FormatIndex, Value, alignment, CellType);
  }
  MaxRow = std::max(MaxRow, row);
  MaxCol = std::max(MaxCol, col);
}

void TMSExcel::ReportNumber(int32_t ColOffset, double Number, int32_t FormatIndex) {
  if (!OnCellValue) return;
  Variant value;
  TVoxCellType type;
  NumberValue(Number, FormatIndex, value, type);
  ReportCell(ColOffset, FormatIndex, 0, value, type);
}

// BIFF2 cells carry their own format number (byte 5, low six bits) and
// alignment (byte 6).
void TMSExcel::ReportBiff2Number(double Number) {
  if (!OnCellValue) return;
  Variant value;
  TVoxCellType type;
  NumberValueByFormat(Number, rec_.U8(5) & 0x3F, value, type);
  ReportCell(0, rec_.U8(5), 6, value, type);
}

void TMSExcel::ReadBlank() {
  if (OnCellValue && LoadNULLs) ReportCell(0, rec_.U16(4), 6, Variant::Null(), ictEmpty);
}

void TMSExcel::ReadMulBlank() {
  if (!OnCellValue || !LoadNULLs || rec_.size() < 6) return;
  const int32_t cells = int32_t((rec_.size() - 6) / 2);
  for (int32_t i = 0; i < cells; ++i) ReportCell(i, rec_.U16(4 + 2 * size_t(i)), 0, Variant::Null(), ictEmpty);
}

void TMSExcel::ReadMulRK() {
  if (!OnCellValue || rec_.size() < 6) return;
  const int32_t cells = int32_t((rec_.size() - 6) / 6);
  for (int32_t i = 0; i < cells; ++i) {
    const size_t at = 4 + 6 * size_t(i);
    ReportNumber(i, DecodeRK(rec_.U32(at + 2)), rec_.U16(at));
  }
}

void TMSExcel::ReadLabel() {
  if (!OnCellValue) return;
  const ByteView& r = rec_;
  if (RecordHeader.RecType == 0x0004) {  // BIFF2
    ReportCell(0, r.U8(5) >> 6, 6, Variant(DecodeBytes(r.Chars(8, r.U8(7)))), ictString);
    return;
  }
  WideString text;
  if (UnicodeStrings()) {
    text = ReadUnicodeString(r, 6, true);
  } else {
    const bool eightBit = !((r.U8(8) & 1) && Version >= evExcel8);
    text = ReadCodePageString(r, 8, eightBit, r.U16(6));
  }
  ReportCell(0, r.U16(4), 0, Variant(std::move(text)), ictString);
}

void TMSExcel::ReadBoolErr(size_t ValueOffset, size_t AttrOffset) {
  if (!OnCellValue) return;
  const uint8_t value = rec_.U8(ValueOffset);
  const int32_t format = rec_.U16(4);
  if (rec_.U8(ValueOffset + 1) == 0)
    ReportCell(0, format, AttrOffset, Variant(value != 0), ictBoolean);
  else
    ReportCell(0, format, AttrOffset, Variant(AnsiToWide(ErrorText(value))), ictUnknown);
}

void TMSExcel::KeepFormula(size_t LengthOffset, bool WordLength, size_t TokenOffset, int32_t SheetNo) {
  TXLSSharedFormula f;
  f.SheetNo = SheetNo;
  f.FirstRow = f.LastRow = rec_.U16(0);
  f.FirstCol = f.LastCol = uint8_t(rec_.U16(2));
  f.TokenLength = WordLength ? rec_.U16(LengthOffset) : rec_.U8(LengthOffset);
  const ByteView tokens = rec_.Sub(TokenOffset, std::min<size_t>(f.TokenLength, kMaxFormulaTokens));
  f.Tokens.assign(tokens.data(), tokens.data() + tokens.size());
  Formulas.push_back(std::move(f));
}

void TMSExcel::ReadFormula() {
  const ByteView& r = rec_;
  const bool biff2 = RecordHeader.RecType == 0x0006 && Version <= evExcel2;
  // The 8 result bytes: a number, or a kind byte and 0xFFFF in the last two.
  const size_t result = biff2 ? 7 : 6;
  const int32_t format = biff2 ? -1 : int32_t(r.U16(4));
  const size_t attr = biff2 ? 6 : 0;
  if (biff2)
    KeepFormula(16, false, 17, 0);
  else if (RecordHeader.RecType == 0x0006)
    KeepFormula(20, true, 22, SheetIndex);
  else
    KeepFormula(16, true, 18, SheetIndex);
  if (!OnCellValue) return;
  if (r.U8(result + 6) == 0xFF && r.U8(result + 7) == 0xFF) {
    switch (r.U8(result)) {
      case 0: ReadFormulaString(format, attr); break;
      case 1: ReportCell(0, format, attr, Variant(r.U8(result + 2) == 1), ictBoolean); break;
      case 2: ReportCell(0, format, attr, Variant(AnsiToWide(ErrorText(r.U8(result + 2)))), ictUnknown); break;
      default: break;  // an empty text result shows nothing
    }
  } else if (biff2) {
    Variant value;
    TVoxCellType type;
    NumberValueByFormat(r.F64(result), r.U8(5) & 0x3F, value, type);
    ReportCell(0, format, attr, value, type);
  } else {
    ReportNumber(0, r.F64(result), format);
  }
}

// A text result follows its formula in a STRING record, after a SHRFMLA,
// ARRAY or TABLE record when the formula is shared, an array or a table.
void TMSExcel::ReadFormulaString(int32_t FormatIndex, size_t AttrOffset) {
  size_t p = pos_;
  if (!data_.Has(p, 4)) return;
  uint16_t type = data_.U16(p);
  bool reread = false;
  if (IsFormulaCompanion(type)) {
    p += 4 + size_t(data_.U16(p + 2));
    if (!data_.Has(p, 4)) return;
    type = data_.U16(p);
    reread = true;
  }
  if (type != 0x0207 && type != 0x0007) return;  // the loop reads that record next
  const size_t len = data_.U16(p + 2);
  WideString text;
  if (int32_t(len) <= GetMaxRecordSize()) {
    const ByteView s = data_.Sub(p + 4, len);
    if (type == 0x0007)
      text = ReadCodePageString(s, 1, false, s.U8(0));
    else if (biff8_)
      text = ReadUnicodeString(s, 0, true);
    else
      text = ReadCodePageString(s, 2, !((s.U8(2) & 1) && Version >= evExcel8), s.U16(0));
  }
  // The record was looked at out of turn: the cell reported is the formula's.
  ReportCell(0, type == 0x0207 ? FormatIndex : 0, AttrOffset, Variant(std::move(text)), ictString);
  // A STRING right after its formula is consumed; after a companion record
  // both are read again by the loop, where neither has an effect.
  if (!reread) pos_ = std::min(p + 4 + len, data_.size());
}

void TMSExcel::ReadDimensions() {
  const ByteView& r = rec_;
  DimensionsRead = true;
  int32_t firstRow, lastRow, firstCol, lastCol;
  if (Version >= evExcel8) {
    firstRow = r.I32(0);
    lastRow = r.I32(4);
    firstCol = r.U16(8);
    lastCol = r.U16(10);
  } else {
    firstRow = firstCol = 0;
    lastRow = r.U16(2);
    lastCol = r.U16(6);
    if (lastRow != 0) ++lastRow;
    if (lastCol != 0) ++lastCol;
  }
  DimLastRow = lastRow;
  DimLastCol = lastCol;
  if (OnDimensions) OnDimensions(this, SheetIndex, firstRow, lastRow, firstCol, lastCol);
}

void TMSExcel::ReadColumnWidths(bool Biff2) {
  if (!OnColumnWidth) return;
  const ByteView& r = rec_;
  // A sheet has at most 256 columns; wider ranges are cut there.
  const int32_t first = Biff2 ? r.U8(0) : r.U16(0);
  const int32_t last = std::min<int32_t>(Biff2 ? r.U8(1) : r.U16(2), MaxColumns());
  const int32_t width = Biff2 ? r.U8(3) : r.U16(4);
  for (int32_t c = first; c <= last; ++c) OnColumnWidth(this, SheetIndex, c, width);
}

}  // namespace gridlark
