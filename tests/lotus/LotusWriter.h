// Writes small Lotus 1-2-3 files record by record for the tests.
#pragma once

#include <cmath>
#include <cstdint>
#include <string_view>
#include <vector>

#include "TestSupport.h"

namespace gridlark::test {

// The 10 bytes of an 80-bit extended number equal to a finite double.
inline Bytes Extended80(double v) {
  Bytes b;
  if (v == 0) return b.u64(0).u16(0);
  int e = 0;
  const double m = std::frexp(std::fabs(v), &e);  // 0.5 <= m < 1
  const uint64_t mantissa = uint64_t(std::ldexp(m, 64));
  return b.u64(mantissa).u16(uint16_t((v < 0 ? 0x8000 : 0) | (e + 16382)));
}

class LotusWriter {
 public:
  LotusWriter& Record(uint16_t type, const Bytes& data) {
    out_.u16(type).u16(uint16_t(data.size())).raw(data.data);
    return *this;
  }
  LotusWriter& Bof(uint16_t version) { return Record(0x00, Bytes().u16(version)); }
  LotusWriter& Eof() { return Record(0x01, Bytes()); }

  // Single-sheet layout (1-2-3 release 1A and 2): format byte, column, row.
  static Bytes Wk1Cell(int col, int row) { return Bytes().u8(0xFF).u16(uint16_t(col)).u16(uint16_t(row)); }
  LotusWriter& Wk1Integer(int col, int row, int16_t v) { return Record(0x0D, Wk1Cell(col, row).u16(uint16_t(v))); }
  LotusWriter& Wk1Number(int col, int row, double v) { return Record(0x0E, Wk1Cell(col, row).f64(v)); }
  LotusWriter& Wk1Label(int col, int row, char prefix, std::string_view text) {
    return Record(0x0F, Wk1Cell(col, row).u8(uint8_t(prefix)).str(text).u8(0));
  }
  // A formula with its stored value; the formula is the constant 0 then "return".
  LotusWriter& Wk1Formula(int col, int row, double v) {
    return Record(0x10, Wk1Cell(col, row).f64(v).u16(10).u8(0x00).f64(0).u8(0x03));
  }
  LotusWriter& Wk1FormulaBits(int col, int row, uint64_t bits) {
    return Record(0x10, Wk1Cell(col, row).u64(bits).u16(1).u8(0x03));
  }

  // Multi-sheet layout (release 3 and later): row, sheet, column.
  static Bytes Wk3Cell(int sheet, int row, int col) {
    return Bytes().u16(uint16_t(row)).u8(uint8_t(sheet)).u8(uint8_t(col));
  }
  LotusWriter& Wk3Label(int sheet, int row, int col, char prefix, std::string_view text) {
    return Record(0x16, Wk3Cell(sheet, row, col).u8(uint8_t(prefix)).str(text).u8(0));
  }
  LotusWriter& Wk3Number(int sheet, int row, int col, double v) {
    return Record(0x17, Wk3Cell(sheet, row, col).raw(Extended80(v).data));
  }
  // Extended record 0x1B naming a sheet.
  LotusWriter& Wk3SheetName(int sheet, std::string_view name) {
    return Record(0x1B, Bytes().u8(0xB0).u8(0x36).u16(uint16_t(sheet)).str(name).u8(0));
  }

  const std::vector<uint8_t>& Data() const { return out_.data; }

 private:
  Bytes out_;
};

}  // namespace gridlark::test
