#include "platform/NumberText.h"

#include <charconv>
#include <cmath>
#include <cstdlib>

#include "platform/AnsiText.h"
#include "platform/Exceptions.h"
#include "platform/Locale.h"

namespace gridlark {

void AppendFloatText(std::string& out, double value) {
  if (std::isnan(value)) { out += "NAN"; return; }
  if (std::isinf(value)) { out += value < 0 ? "-INF" : "INF"; return; }
  if (value == 0) { out += '0'; return; }  // also -0
  char buf[40];
  const auto res = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::general, 15);
  const char sep = FormatSettings().DecimalSeparator;
  // to_chars writes 1.5e-07 / 1e+20; the locale form is 1.5E-7 / 1E20.
  for (char* p = buf; p < res.ptr; ++p) {
    if (*p == '.') {
      out += sep;
    } else if (*p == 'e') {
      out += 'E';
      ++p;
      if (*p == '-') out += '-';
      if (*p == '-' || *p == '+') ++p;
      while (p + 1 < res.ptr && *p == '0') ++p;
      out.append(p, res.ptr);
      break;
    } else {
      out += *p;
    }
  }
}

std::string FloatToText(double value) {
  std::string out;
  AppendFloatText(out, value);
  return out;
}

void AppendIntText(std::string& out, int64_t value) {
  char buf[24];
  const auto res = std::to_chars(buf, buf + sizeof buf, value);
  out.append(buf, res.ptr);
}

namespace {

template <class Ch>
bool ParseInt(std::basic_string_view<Ch> s, int32_t& out) {
  size_t i = 0;
  while (i < s.size() && s[i] == ' ') ++i;
  bool neg = false;
  if (i < s.size() && (s[i] == '-' || s[i] == '+')) neg = (s[i++] == '-');
  bool hex = false;
  if (i < s.size() && s[i] == '$') {
    hex = true;
    ++i;
  } else if (i + 1 < s.size() && s[i] == '0' && (s[i + 1] == 'x' || s[i + 1] == 'X')) {
    hex = true;
    i += 2;
  }
  if (i >= s.size()) return false;
  uint64_t v = 0;
  for (; i < s.size(); ++i) {
    const auto c = s[i];
    int d;
    if (c >= '0' && c <= '9') d = int(c - '0');
    else if (hex && c >= 'a' && c <= 'f') d = int(c - 'a' + 10);
    else if (hex && c >= 'A' && c <= 'F') d = int(c - 'A' + 10);
    else return false;
    v = v * (hex ? 16 : 10) + uint64_t(d);
    if (v > 0xFFFFFFFFull) return false;
  }
  if (hex) {
    const uint32_t bits = uint32_t(v);
    out = int32_t(neg ? 0u - bits : bits);
    return true;
  }
  const int64_t r = neg ? -int64_t(v) : int64_t(v);
  if (r < INT32_MIN || r > INT32_MAX) return false;
  out = int32_t(r);
  return true;
}

template <class Ch>
bool ParseFloat(std::basic_string_view<Ch> s, double& out) {
  const char sep = FormatSettings().DecimalSeparator;
  size_t b = 0, e = s.size();
  while (b < e && s[b] == ' ') ++b;
  while (e > b && s[e - 1] == ' ') --e;
  if (b == e || e - b > 400) return false;
  // Normalise to the C form: the locale separator becomes ".", any "." that
  // is not the separator makes the text invalid.
  std::string buf;
  buf.reserve(e - b);
  bool digits = false;
  for (size_t i = b; i < e; ++i) {
    const auto c = s[i];
    if (c == Ch(sep)) buf += '.';
    else if ((c >= '0' && c <= '9')) { buf += char(c); digits = true; }
    else if (c == '+' || c == '-' || c == 'e' || c == 'E') buf += char(c);
    else return false;
  }
  if (!digits) return false;
  const char* first = buf.data();
  if (*first == '+') ++first;
  double v;
  const auto res = std::from_chars(first, buf.data() + buf.size(), v);
  if (res.ec == std::errc::result_out_of_range) {
    // Underflow gives 0; overflow is not a number we can hold.
    v = std::strtod(first, nullptr);
    if (std::isinf(v)) return false;
  } else if (res.ec != std::errc()) {
    return false;
  }
  if (res.ptr != buf.data() + buf.size()) return false;
  out = v;
  return true;
}

}  // namespace

bool TryStrToInt(std::string_view text, int32_t& out) { return ParseInt(text, out); }
bool TryStrToInt(std::u16string_view text, int32_t& out) { return ParseInt(text, out); }

int32_t StrToInt(std::string_view text) {
  int32_t v;
  if (!ParseInt(text, v)) throw EConvertError(Format(msg::InvalidInteger, std::string(text).c_str()));
  return v;
}

int32_t StrToInt(std::u16string_view text) {
  int32_t v;
  if (!ParseInt(text, v)) throw EConvertError(Format(msg::InvalidInteger, WideToAnsi(text).c_str()));
  return v;
}

bool TryStrToFloat(std::string_view text, double& out) { return ParseFloat(text, out); }
bool TryStrToFloat(std::u16string_view text, double& out) { return ParseFloat(text, out); }

double StrToFloat(std::string_view text) {
  double v;
  if (!ParseFloat(text, v)) throw EConvertError(Format(msg::InvalidFloat, std::string(text).c_str()));
  return v;
}

}  // namespace gridlark
