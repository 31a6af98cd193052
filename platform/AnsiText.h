// Narrow and wide text. Narrow text holds bytes of the ANSI code page, which
// here is Windows-1252 with its five undefined bytes (0x81, 0x8D, 0x8F, 0x90,
// 0x9D) mapped to the C1 control characters of the same number, so every byte
// has a character and every such character has its byte. Wide text is UTF-16.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace gridlark {

using WideString = std::u16string;
using WideStringView = std::u16string_view;

// The character of one ANSI byte.
char16_t AnsiByteToWide(uint8_t byte);
// The ANSI byte of a UTF-16 unit; false when the code page lacks it.
bool WideCharToAnsiByte(char16_t ch, uint8_t& byte);

// Bytes to wide text, one character per byte; lossless.
WideString AnsiToWide(std::string_view text);
void AppendAnsiAsWide(WideString& out, std::string_view text);
// Wide text to bytes; characters the code page lacks become `replacement`
// (the platform's "?"), so only callers that accept the loss use it.
std::string WideToAnsi(WideStringView text, char replacement = '?');

// Case mapping of the ASCII letters only; every other byte or unit is kept.
std::string UpperAscii(std::string_view text);
std::string LowerAscii(std::string_view text);
WideString UpperAscii(WideStringView text);
inline char UpperAsciiChar(char c) { return (c >= 'a' && c <= 'z') ? char(c - 32) : c; }
inline char LowerAsciiChar(char c) { return (c >= 'A' && c <= 'Z') ? char(c + 32) : c; }
inline char16_t UpperAsciiChar(char16_t c) { return (c >= u'a' && c <= u'z') ? char16_t(c - 32) : c; }
bool SameTextAscii(std::string_view a, std::string_view b);
bool SameTextAscii(WideStringView a, WideStringView b);

// Removes leading and trailing blanks and control characters (codes 0 to 32).
std::string Trim(std::string_view text);
WideString Trim(WideStringView text);

// UTF-8 to UTF-16. Sequences of one to four bytes are decoded (four-byte ones
// into surrogate pairs); each malformed, overlong, surrogate or cut-off
// sequence becomes U+FFFD and decoding goes on. Returns true when the whole
// input was well-formed.
bool Utf8ToWide(std::string_view text, WideString& out);
// True when the text is well-formed UTF-8.
bool IsValidUtf8(std::string_view text);
// UTF-16 to UTF-8; a lone surrogate becomes U+FFFD.
std::string WideToUtf8(WideStringView text);

// Wide text from a UTF-8 literal, for tests and tables.
WideString W(std::string_view utf8);

}  // namespace gridlark
