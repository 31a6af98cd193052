// Text decoding shared by the XML engine's units (not part of its interface).
#pragma once

#include <cstdint>
#include <cstring>
#include <string_view>

#include "platform/AnsiText.h"

namespace gridlark::xmltext {

// How a piece of bytes becomes wide text: UTF-8 where the piece is
// well-formed UTF-8 and the ANSI code page otherwise (documents declared
// UTF-8 or not at all), always the ANSI code page (other declared
// encodings), or always UTF-8 (attribute texts as stored, text converted
// from UTF-16).
enum Mode : uint8_t { kUtf8OrAnsi = 0, kAnsi = 1, kUtf8 = 2 };

inline bool IsAscii(std::string_view bytes) {
  size_t i = 0;
  for (; i + 8 <= bytes.size(); i += 8) {
    uint64_t word;
    std::memcpy(&word, bytes.data() + i, 8);
    if (word & 0x8080808080808080ull) return false;
  }
  for (; i < bytes.size(); ++i)
    if (uint8_t(bytes[i]) >= 0x80) return false;
  return true;
}

// The bytes as wide text, replacing what out held.
void Decode(std::string_view bytes, Mode mode, WideString& out);

// An attribute value as written (with its quotes) as AttributeValue gives
// it: one level of quoting removed, references decoded.
void DecodeAttributeValue(std::string_view raw, Mode mode, WideString& out);

inline WideStringView TrimWide(WideStringView s) {
  size_t b = 0, e = s.size();
  while (b < e && s[b] <= 32) ++b;
  while (e > b && s[e - 1] <= 32) --e;
  return s.substr(b, e - b);
}

}  // namespace gridlark::xmltext
