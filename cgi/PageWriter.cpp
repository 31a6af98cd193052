#include "cgi/PageWriter.h"

#include <unistd.h>

#include <cerrno>

#include "platform/NumberText.h"

namespace gridlark {
namespace {

// The escape of an ASCII character, or nullptr when it stands for itself.
inline const char* Escape(char16_t c) {
  switch (c) {
    case u'&': return "&amp;";
    case u'<': return "&lt;";
    case u'>': return "&gt;";
    case u'"': return "&quot;";
    default: return nullptr;
  }
}

inline void CharRef(std::string& out, uint32_t cp) {
  out += "&#";
  AppendIntText(out, cp);
  out += ';';
}

}  // namespace

void TPageWriter::Text(WideStringView text) {
  std::string& out = buf_;
  for (size_t i = 0; i < text.size(); ++i) {
    const char16_t c = text[i];
    if (c < 0x80) {
      if (const char* e = Escape(c)) out += e;
      else if (c == 0) CharRef(out, 0xFFFD);
      else out += char(c);
      continue;
    }
    uint8_t b;
    if (WideCharToAnsiByte(c, b)) {
      out += char(b);
    } else if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
      CharRef(out, 0x10000 + ((uint32_t(c) - 0xD800) << 10) + (uint32_t(text[i + 1]) - 0xDC00));
      ++i;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      CharRef(out, 0xFFFD);
    } else {
      CharRef(out, c);
    }
  }
}

void TPageWriter::AnsiText(std::string_view text) {
  for (char c : text) {
    if (const char* e = Escape(char16_t(uint8_t(c)))) buf_ += e;
    else if (c == 0) CharRef(buf_, 0xFFFD);
    else buf_ += c;
  }
}

void TPageWriter::SystemText(std::string_view text) {
  bool ascii = true;
  for (char c : text) ascii = ascii && uint8_t(c) < 0x80;
  WideString wide;
  if (!ascii && Utf8ToWide(text, wide)) Text(wide);
  else AnsiText(text);
}

void TPageWriter::Flush() {
  if (sink_) {
    sink_->append(buf_);
  } else {
    size_t done = 0;
    while (done < buf_.size()) {
      const ssize_t n = ::write(fd_, buf_.data() + done, buf_.size() - done);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;  // the reader of the page went away; nothing to tell
      done += size_t(n);
    }
  }
  buf_.clear();
}

}  // namespace gridlark
