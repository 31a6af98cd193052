#include "platform/AnsiText.h"

#include <array>

namespace gridlark {
namespace {

// Characters of the bytes 0x80 to 0x9F; the rest of the code page equals
// Latin-1. Undefined bytes map to the C1 control of the same number.
constexpr std::array<char16_t, 32> kHigh = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

}  // namespace

char16_t AnsiByteToWide(uint8_t byte) {
  return (byte >= 0x80 && byte <= 0x9F) ? kHigh[byte - 0x80] : char16_t(byte);
}

bool WideCharToAnsiByte(char16_t ch, uint8_t& byte) {
  if (ch < 0x80 || (ch >= 0xA0 && ch <= 0xFF)) {
    byte = uint8_t(ch);
    return true;
  }
  for (size_t i = 0; i < kHigh.size(); ++i) {
    if (kHigh[i] == ch) {
      byte = uint8_t(0x80 + i);
      return true;
    }
  }
  return false;
}

void AppendAnsiAsWide(WideString& out, std::string_view text) {
  const size_t base = out.size();
  out.resize(base + text.size());
  for (size_t i = 0; i < text.size(); ++i) out[base + i] = AnsiByteToWide(uint8_t(text[i]));
}

WideString AnsiToWide(std::string_view text) {
  WideString out;
  AppendAnsiAsWide(out, text);
  return out;
}

std::string WideToAnsi(WideStringView text, char replacement) {
  std::string out(text.size(), '\0');
  for (size_t i = 0; i < text.size(); ++i) {
    uint8_t b;
    out[i] = WideCharToAnsiByte(text[i], b) ? char(b) : replacement;
  }
  return out;
}

std::string UpperAscii(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = UpperAsciiChar(c);
  return out;
}

std::string LowerAscii(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = LowerAsciiChar(c);
  return out;
}

WideString UpperAscii(WideStringView text) {
  WideString out(text);
  for (char16_t& c : out) c = UpperAsciiChar(c);
  return out;
}

bool SameTextAscii(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (UpperAsciiChar(a[i]) != UpperAsciiChar(b[i])) return false;
  return true;
}

bool SameTextAscii(WideStringView a, WideStringView b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (UpperAsciiChar(a[i]) != UpperAsciiChar(b[i])) return false;
  return true;
}

std::string Trim(std::string_view text) {
  size_t b = 0, e = text.size();
  while (b < e && uint8_t(text[b]) <= 32) ++b;
  while (e > b && uint8_t(text[e - 1]) <= 32) --e;
  return std::string(text.substr(b, e - b));
}

WideString Trim(WideStringView text) {
  size_t b = 0, e = text.size();
  while (b < e && text[b] <= 32) ++b;
  while (e > b && text[e - 1] <= 32) --e;
  return WideString(text.substr(b, e - b));
}

bool Utf8ToWide(std::string_view text, WideString& out) {
  bool valid = true;
  const size_t n = text.size();
  out.reserve(out.size() + n);
  size_t i = 0;
  while (i < n) {
    const uint8_t b = uint8_t(text[i]);
    if (b < 0x80) {
      out.push_back(char16_t(b));
      ++i;
      continue;
    }
    int need;
    uint32_t cp, min;
    if (b >= 0xC2 && b <= 0xDF) { need = 1; cp = b & 0x1F; min = 0x80; }
    else if (b >= 0xE0 && b <= 0xEF) { need = 2; cp = b & 0x0F; min = 0x800; }
    else if (b >= 0xF0 && b <= 0xF4) { need = 3; cp = b & 0x07; min = 0x10000; }
    else { out.push_back(0xFFFD); valid = false; ++i; continue; }
    size_t j = i + 1;
    int got = 0;
    while (got < need && j < n && (uint8_t(text[j]) & 0xC0) == 0x80) {
      cp = (cp << 6) | (uint8_t(text[j]) & 0x3F);
      ++j;
      ++got;
    }
    if (got < need || cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
      // One replacement for the maximal invalid run this lead started.
      out.push_back(0xFFFD);
      valid = false;
      i = (j > i + 1) ? j : i + 1;
      continue;
    }
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out.push_back(char16_t(0xD800 + (cp >> 10)));
      out.push_back(char16_t(0xDC00 + (cp & 0x3FF)));
    } else {
      out.push_back(char16_t(cp));
    }
    i = j;
  }
  return valid;
}

bool IsValidUtf8(std::string_view text) {
  WideString scratch;
  return Utf8ToWide(text, scratch);
}

std::string WideToUtf8(WideStringView text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    uint32_t cp = text[i];
    if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    } else if (cp >= 0xD800 && cp <= 0xDFFF) {
      cp = 0xFFFD;
    }
    if (cp < 0x80) {
      out.push_back(char(cp));
    } else if (cp < 0x800) {
      out.push_back(char(0xC0 | (cp >> 6)));
      out.push_back(char(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
      out.push_back(char(0xE0 | (cp >> 12)));
      out.push_back(char(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(char(0x80 | (cp & 0x3F)));
    } else {
      out.push_back(char(0xF0 | (cp >> 18)));
      out.push_back(char(0x80 | ((cp >> 12) & 0x3F)));
      out.push_back(char(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(char(0x80 | (cp & 0x3F)));
    }
  }
  return out;
}

WideString W(std::string_view utf8) {
  WideString out;
  Utf8ToWide(utf8, out);
  return out;
}

}  // namespace gridlark
