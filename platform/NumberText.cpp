#include "platform/NumberText.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "platform/AnsiText.h"
#include "platform/Exceptions.h"
#include "platform/Locale.h"

namespace gridlark {

namespace {

constexpr uint64_t kPow10[] = {1ull,
                               10ull,
                               100ull,
                               1000ull,
                               10000ull,
                               100000ull,
                               1000000ull,
                               10000000ull,
                               100000000ull,
                               1000000000ull,
                               10000000000ull,
                               100000000000ull,
                               1000000000000ull,
                               10000000000000ull,
                               100000000000000ull,
                               1000000000000000ull,
                               10000000000000000ull,
                               100000000000000000ull,
                               1000000000000000000ull,
                               10000000000000000000ull};

// The 15 significant digits of |value|, rounded half to even as the C
// library does, and the decimal exponent of the first, for
// 1E-5 <= |value| < 1E15. Exact: value is m * 2^q, and m * 10^k fits 128 bits.
bool FastDigits(double value, uint64_t& digits, int& exp10) {
  const double a = std::fabs(value);
  if (!(a >= 1e-5 && a < 1e15)) return false;
  const uint64_t bits = std::bit_cast<uint64_t>(a);
  const uint64_t m = (bits & ((uint64_t(1) << 52) - 1)) | (uint64_t(1) << 52);
  const int shift = 1075 - int(bits >> 52);  // a = m / 2^shift, shift in 1..70 here
  // 2^(52 - shift) <= a < 2^(53 - shift): the estimate is the exponent or one below.
  int e = ((52 - shift) * 78913) >> 18;  // floor((52 - shift) * log10(2)) for this range
  for (int attempt = 0; attempt < 2; ++attempt, ++e) {
    const int k = 14 - e;
    if (k < 0 || k > 19) return false;
    const unsigned __int128 x = static_cast<unsigned __int128>(m) * kPow10[k];
    const uint64_t whole = uint64_t(x >> shift);
    if (whole >= kPow10[15]) continue;
    const unsigned __int128 rest = x & ((static_cast<unsigned __int128>(1) << shift) - 1);
    const unsigned __int128 half = static_cast<unsigned __int128>(1) << (shift - 1);
    uint64_t n = whole + ((rest > half || (rest == half && (whole & 1))) ? 1 : 0);
    if (n == kPow10[15]) {  // rounded up to the next power of ten
      n = kPow10[14];
      ++e;
    }
    digits = n;
    exp10 = e;
    return true;
  }
  return false;
}

// The same through the standard library, for every other value.
void ExactDigits(double value, uint64_t& digits, int& exp10) {
  char sci[40];
  const auto res = std::to_chars(sci, sci + sizeof sci, std::fabs(value), std::chars_format::scientific, 14);
  const char* e = std::find(sci, res.ptr, 'e');
  digits = 0;
  for (const char* p = sci; p < e; ++p)
    if (*p != '.') digits = digits * 10 + uint64_t(*p - '0');
  exp10 = 0;
  std::from_chars(e + (e[1] == '+' ? 2 : 1), res.ptr, exp10);
}

}  // namespace

namespace {

constexpr char kDigitPairs[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

// Writes the count decimal digits of n (leading zeros included) at out.
inline void PutDigits(char* out, uint64_t n, int count) {
  char* p = out + count;
  for (; count >= 2; count -= 2) {
    const uint64_t q = n / 100;
    p -= 2;
    std::memcpy(p, kDigitPairs + 2 * (n - q * 100), 2);
    n = q;
  }
  if (count) *--p = char('0' + n);
}

}  // namespace

char* WriteFloatText(char* out, double value) {
  if (std::isnan(value)) return std::copy_n("NAN", 3, out);
  if (std::isinf(value)) return value < 0 ? std::copy_n("-INF", 4, out) : std::copy_n("INF", 3, out);
  if (value == 0) {  // also -0
    *out = '0';
    return out + 1;
  }
  uint64_t n;
  int exp10;
  if (!FastDigits(value, n, exp10)) ExactDigits(value, n, exp10);
  // n holds 15 digits; drop the trailing zeros.
  int count = 15;
  if (n % 100000000 == 0) { n /= 100000000; count -= 8; }
  if (n % 10000 == 0) { n /= 10000; count -= 4; }
  if (n % 100 == 0) { n /= 100; count -= 2; }
  if (n % 10 == 0) { n /= 10; count -= 1; }
  char digits[16];
  PutDigits(digits, n, count);

  if (value < 0) *out++ = '-';
  const char sep = FormatSettings().DecimalSeparator;
  if (exp10 < -4 || exp10 >= 15) {
    // 1.5E-7, 1E20
    *out++ = digits[0];
    if (count > 1) {
      *out++ = sep;
      out = std::copy_n(digits + 1, count - 1, out);
    }
    *out++ = 'E';
    return std::to_chars(out, out + 8, exp10).ptr;
  }
  if (exp10 < 0) {
    *out++ = '0';
    *out++ = sep;
    out = std::fill_n(out, -exp10 - 1, '0');
    return std::copy_n(digits, count, out);
  }
  const int whole = exp10 + 1;
  if (count <= whole) {
    out = std::copy_n(digits, count, out);
    return std::fill_n(out, whole - count, '0');
  }
  out = std::copy_n(digits, whole, out);
  *out++ = sep;
  return std::copy_n(digits + whole, count - whole, out);
}

char* WriteIntText(char* out, int64_t value) { return std::to_chars(out, out + 24, value).ptr; }

void AppendFloatText(std::string& out, double value) {
  char buf[kMaxNumberText];
  out.append(buf, WriteFloatText(buf, value));
}

std::string FloatToText(double value) {
  std::string out;
  AppendFloatText(out, value);
  return out;
}

void AppendIntText(std::string& out, int64_t value) {
  char buf[kMaxNumberText];
  out.append(buf, WriteIntText(buf, value));
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
