// Buffered writer of the page: lines end with CR LF, output leaves in large
// writes. Texts are written HTML-escaped in the ANSI code page; characters
// the code page lacks become numeric character references.
#pragma once

#include <string>
#include <string_view>

#include "platform/AnsiText.h"

namespace gridlark {

class TPageWriter {
 public:
  // Writes to a file descriptor, or collects into a string (tests).
  explicit TPageWriter(int fd) : fd_(fd) {}
  explicit TPageWriter(std::string* sink) : sink_(sink) {}
  ~TPageWriter() { Flush(); }
  TPageWriter(const TPageWriter&) = delete;
  TPageWriter& operator=(const TPageWriter&) = delete;

  // Raw markup, unescaped.
  TPageWriter& Raw(std::string_view text) {
    buf_.append(text);
    return *this;
  }
  std::string& Buffer() { return buf_; }
  void EndLine() {
    buf_.append("\r\n", 2);
    if (buf_.size() >= kFlushAt) Flush();
  }
  void Line(std::string_view text) {
    Raw(text);
    EndLine();
  }
  // Escaped text.
  void Text(WideStringView text);
  void AnsiText(std::string_view text);
  // Narrow text from the system (file names, messages): UTF-8 when it is
  // well-formed UTF-8 with non-ASCII bytes, ANSI bytes otherwise.
  void SystemText(std::string_view text);
  void Flush();

 private:
  static constexpr size_t kFlushAt = 1 << 18;
  int fd_ = -1;
  std::string* sink_ = nullptr;
  std::string buf_;
};

}  // namespace gridlark
