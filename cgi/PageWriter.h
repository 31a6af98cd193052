// Buffered writer of the page: lines end with CR LF, output leaves in large
// writes. Texts are written HTML-escaped in the ANSI code page; characters
// the code page lacks become numeric character references.
#pragma once

#include <cstring>
#include <memory>
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
    if (text.size() <= kCapacity - len_) {
      std::memcpy(buf_.get() + len_, text.data(), text.size());
      len_ += text.size();
    } else {
      Spill(text);
    }
    return *this;
  }
  void EndLine() { Raw("\r\n"); }
  void Line(std::string_view text) { Raw(text).EndLine(); }

  // Room for n bytes (n at most kMaxRoom) written straight into the buffer;
  // Commit takes the end of what was written.
  static constexpr size_t kMaxRoom = 1 << 14;
  char* Room(size_t n) {
    if (n > kCapacity - len_) Flush();
    return buf_.get() + len_;
  }
  void Commit(char* end) { len_ = size_t(end - buf_.get()); }

  // Escaped text.
  void Text(WideStringView text);
  void AnsiText(std::string_view text);
  // Narrow text from the system (file names, messages): UTF-8 when it is
  // well-formed UTF-8 with non-ASCII bytes, ANSI bytes otherwise.
  void SystemText(std::string_view text);
  void Flush();

 private:
  static constexpr size_t kCapacity = 1 << 18;
  void Spill(std::string_view text);
  void Write(const char* data, size_t size);

  int fd_ = -1;
  std::string* sink_ = nullptr;
  std::unique_ptr<char[]> buf_{new char[kCapacity]};
  size_t len_ = 0;
};

}  // namespace gridlark
