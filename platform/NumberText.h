// Number text in the locale's form: doubles with at most 15 significant
// digits in their shortest form, an exponent (1E20, 1.5E-7) only where the
// plain form cannot show the digits; integers in decimal.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace gridlark {

std::string FloatToText(double value);
void AppendFloatText(std::string& out, double value);
void AppendIntText(std::string& out, int64_t value);
// The same texts written at out, which must have room for kMaxNumberText
// bytes; return the end of what was written.
inline constexpr size_t kMaxNumberText = 32;
char* WriteFloatText(char* out, double value);
char* WriteIntText(char* out, int64_t value);

// Integer text: optional blanks, a sign, then decimal digits or hexadecimal
// digits after "$" or "0x". The whole text must be used and fit 32 bits
// (hexadecimal up to 8 digits, read as the bit pattern).
bool TryStrToInt(std::string_view text, int32_t& out);
bool TryStrToInt(std::u16string_view text, int32_t& out);
// Raises EConvertError "'%s' is not a valid integer value".
int32_t StrToInt(std::string_view text);
int32_t StrToInt(std::u16string_view text);

// Floating-point text with the locale's decimal separator, optional blanks
// around it, an optional exponent. Raises EConvertError when it fails.
bool TryStrToFloat(std::string_view text, double& out);
bool TryStrToFloat(std::u16string_view text, double& out);
double StrToFloat(std::string_view text);

}  // namespace gridlark
