// Decoding of 8-bit text written in a Windows code page (as named by the
// code page numbers that files record), into wide text. Single-byte pages
// decode through a 256-entry table, double-byte pages (Japanese, Chinese,
// Korean) through the C library's iconv. Page 1252, pages we do not know and
// pages the system cannot convert use the lossless ANSI table.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string_view>

#include "platform/AnsiText.h"

namespace gridlark {

class TCodePage {
 public:
  // The ANSI code page.
  TCodePage() = default;
  explicit TCodePage(uint32_t number) { Select(number); }
  ~TCodePage();
  TCodePage(const TCodePage&) = delete;
  TCodePage& operator=(const TCodePage&) = delete;

  // Switches to the given page; the ANSI page when it is unknown here.
  void Select(uint32_t number);
  // The page selected, or 1252 when the ANSI table stands in.
  uint32_t Number() const { return number_; }
  // True when the page uses more than one byte for some characters.
  bool IsMultiByte() const { return iconv_ != nullptr; }

  // Bytes that the page lacks become U+FFFD (double-byte pages) or the
  // character of the same number (single-byte pages).
  WideString Decode(std::string_view bytes) const {
    WideString out;
    Append(out, bytes);
    return out;
  }
  void Append(WideString& out, std::string_view bytes) const;

 private:
  void Reset();
  uint32_t number_ = 1252;
  std::unique_ptr<std::array<char16_t, 256>> table_;  // single-byte pages other than ANSI
  void* iconv_ = nullptr;                              // iconv_t of a double-byte page
};

}  // namespace gridlark
