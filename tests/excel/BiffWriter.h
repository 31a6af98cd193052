// Writes BIFF record streams for the Excel reader's tests: a record is its
// type, its length and its body, all little-endian.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "TestSupport.h"

namespace gridlark::test {

class BiffWriter {
 public:
  BiffWriter& Rec(uint16_t type, const Bytes& body) {
    Bytes header;
    header.u16(type).u16(uint16_t(body.size()));
    data.insert(data.end(), header.data.begin(), header.data.end());
    data.insert(data.end(), body.data.begin(), body.data.end());
    return *this;
  }
  // A BOF of the given record type (0x0009, 0x0209, 0x0409 or 0x0809).
  BiffWriter& Bof(uint16_t type, uint16_t version, uint16_t kind, uint16_t build = 0) {
    return Rec(type, Bytes().u16(version).u16(kind).u16(build).u16(0));
  }
  BiffWriter& Eof() { return Rec(0x000A, Bytes()); }
  size_t Pos() const { return data.size(); }
  void PatchU32(size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) data[at + i] = uint8_t(v >> (8 * i));
  }

  std::vector<uint8_t> data;
};

// A string in the BIFF8 layout: count, option byte, 8- or 16-bit characters.
inline Bytes& Biff8Text(Bytes& b, std::u16string_view text, bool wideCount = true) {
  bool wide = false;
  for (char16_t c : text) wide |= c > 0xFF;
  if (wideCount) b.u16(uint16_t(text.size())); else b.u8(uint8_t(text.size()));
  b.u8(wide ? 1 : 0);
  for (char16_t c : text) wide ? b.u16(c) : b.u8(uint8_t(c));
  return b;
}

}  // namespace gridlark::test
