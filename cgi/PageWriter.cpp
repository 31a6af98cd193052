#include "cgi/PageWriter.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "platform/NumberText.h"

namespace gridlark {
namespace {

// Longest output of one UTF-16 unit or surrogate pair: "&#1114111;".
constexpr size_t kMaxCharOut = 10;

inline char* CharRef(char* out, uint32_t cp) {
  *out++ = '&';
  *out++ = '#';
  out = WriteIntText(out, cp);
  *out++ = ';';
  return out;
}

// Writes one byte of ASCII or ANSI text, escaped.
inline char* PutByte(char* out, uint8_t b) {
  switch (b) {
    case '&': return std::copy_n("&amp;", 5, out);
    case '<': return std::copy_n("&lt;", 4, out);
    case '>': return std::copy_n("&gt;", 4, out);
    case '"': return std::copy_n("&quot;", 6, out);
    case 0: return CharRef(out, 0xFFFD);
    default: *out = char(b); return out + 1;
  }
}

}  // namespace

void TPageWriter::Text(WideStringView text) {
  size_t i = 0;
  while (i < text.size()) {
    // A chunk at a time, with room for its worst case.
    const size_t chunk = std::min(text.size() - i, kMaxRoom / kMaxCharOut);
    char* out = Room(chunk * kMaxCharOut);
    const size_t end = i + chunk;
    for (; i < end; ++i) {
      const char16_t c = text[i];
      uint8_t b;
      if (c < 0x80) {
        out = PutByte(out, uint8_t(c));
      } else if (WideCharToAnsiByte(c, b)) {
        *out++ = char(b);
      } else if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
                 text[i + 1] <= 0xDFFF) {
        out = CharRef(out, 0x10000 + ((uint32_t(c) - 0xD800) << 10) + (uint32_t(text[i + 1]) - 0xDC00));
        ++i;  // may step past this chunk's end; the outer loop follows i
      } else if (c >= 0xD800 && c <= 0xDFFF) {
        out = CharRef(out, 0xFFFD);
      } else {
        out = CharRef(out, c);
      }
    }
    Commit(out);
  }
}

void TPageWriter::AnsiText(std::string_view text) {
  size_t i = 0;
  while (i < text.size()) {
    const size_t chunk = std::min(text.size() - i, kMaxRoom / kMaxCharOut);
    char* out = Room(chunk * kMaxCharOut);
    for (const size_t end = i + chunk; i < end; ++i) out = PutByte(out, uint8_t(text[i]));
    Commit(out);
  }
}

void TPageWriter::SystemText(std::string_view text) {
  const bool ascii = std::all_of(text.begin(), text.end(), [](char c) { return uint8_t(c) < 0x80; });
  WideString wide;
  if (!ascii && Utf8ToWide(text, wide)) Text(wide);
  else AnsiText(text);
}

void TPageWriter::Spill(std::string_view text) {
  Flush();
  if (text.size() <= kCapacity) {
    std::memcpy(buf_.get(), text.data(), text.size());
    len_ = text.size();
  } else {
    Write(text.data(), text.size());
  }
}

void TPageWriter::Flush() {
  Write(buf_.get(), len_);
  len_ = 0;
}

void TPageWriter::Write(const char* data, size_t size) {
  if (sink_) {
    sink_->append(data, size);
    return;
  }
  size_t done = 0;
  while (done < size) {
    const ssize_t n = ::write(fd_, data + done, size - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;  // the reader of the page went away; nothing to tell
    done += size_t(n);
  }
}

}  // namespace gridlark
