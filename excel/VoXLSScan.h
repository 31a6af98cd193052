// A one-pass scan of the large XML parts of a package (worksheets, shared
// strings), for the readers in VoXLSWorksheet.cpp and VoXLSPackage.cpp.
//
// These parts are the bulk of a package, often tens of megabytes, so they
// are not built into an XML tree: the bytes arrive in chunks into a window
// (or lie in memory whole) and are scanned once, element by element. A
// handler sees each start tag and says whether to follow the element or to
// pass over it with its subtree, and whether to collect its text; it sees
// the end of every element it followed, with that text. Comments,
// processing instructions and declarations are passed over; CDATA sections
// are text. Element names are not checked against their end tags, and what
// follows the document element is not read.
//
// The handler provides:
//   bool Tag(std::string_view Name, std::string_view Attributes, bool& Collect)
//       true: follow the element (Collect: gather its text for AfterTag)
//   void AfterTag(std::string_view Text)   the end of a followed element
//   void Declaration(std::string_view Attributes)   the XML declaration
//   bool ShortValueAllowed(std::string_view& Open, std::string_view& Close)
//       the element just followed may be taken at once with the child
//       element Open, its text and the end tags Close ("<v>", "</v></c>")
//   void ShortValue(std::string_view Text)   that text, then both ends
//   const char* Elements(const char* At, const char* End, int64_t& Depth)
//       at the '<' At, outside collected text and passed-over elements: may
//       take elements at once (opening or closing some, with Depth counting
//       the elements followed and open, and nothing collected), with the
//       same results as step by step; returns the first byte it did not
//       take (At for none). A zero byte follows End, so that patterns can
//       be matched byte by byte up to the first mismatch without a bounds
//       check. A construct the window cuts off is left to the scan, which
//       reads further and asks again.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

#include "platform/Streams.h"

namespace gridlark {

template <class Handler>
class TPartScanner {
 public:
  // Reads Size bytes from the stream (a ZIP entry's decompression stream).
  TPartScanner(Handler& handler, TStream& source, int64_t size) : h_(handler), source_(&source), left_(size) {}
  // Scans bytes in memory (a string: a zero byte follows them).
  TPartScanner(Handler& handler, const std::string& bytes)
      : h_(handler), view_(bytes.c_str()), end_(bytes.size()), eof_(true) {}

  // Elements nested deeper are passed over, so that no file makes a
  // handler's stack of open elements grow without bound.
  static constexpr int64_t kMaxDepth = 512;

  void Run() {
    Fill();
    for (;;) {
      // Text up to the next tag: usually a few bytes, looked at directly
      // before memchr takes over.
      const char* b = Data();
      const char* p = b + pos_;
      const char* e = b + end_;
      const char* near = std::min(p + 16, e);
      while (p < near && *p != '<') ++p;
      const char* lt = p < near ? p : (p < e ? static_cast<const char*>(std::memchr(p, '<', size_t(e - p))) : nullptr);
      const size_t stop = lt ? size_t(lt - b) : end_;
      if (collect_) text_.append(b + pos_, stop - pos_);
      pos_ = stop;
      if (!lt) {
        if (eof_) return;
        Fill();
        continue;
      }
      if (skip_ == 0 && !collect_) {
        const char* taken = h_.Elements(lt, e, depth_);
        if (taken != lt) {
          pos_ = size_t(taken - b);
          continue;
        }
      }
      if (!Markup()) {
        if (eof_) return;  // a construct cut off by the end of the part
        Fill();
        continue;
      }
      if (done_) return;
    }
  }

  // Bytes of XML names (ASCII letters, digits, ':', '_', '-', '.', and every
  // byte from 0x80).
  static bool IsNameByte(char c) { return kBytes.name[uint8_t(c)]; }

  // The first '<' or zero byte from Q, where a zero byte follows the bytes
  // looked at.
  static const char* SkipText(const char* q) {
    while (!kBytes.textStop[uint8_t(*q)]) ++q;
    return q;
  }

  // The name at N without the "x:" prefix some producers write.
  static const char* Unprefixed(const char* n) { return n[0] == 'x' && n[1] == ':' && IsNameByte(n[2]) ? n + 2 : n; }

  // Past the end tag whose "</" is at At; nullptr when it does not end
  // before a zero byte.
  static const char* PastEndTag(const char* at) {
    const char* q = at + 2;
    while (*q != '>' && *q != 0) ++q;
    return *q ? q + 1 : nullptr;
  }

  // The '>' that ends a start tag whose attributes begin at From: the first
  // one outside quoted values; nullptr when End comes first.
  static const char* TagEnd(const char* from, const char* end) {
    const char* j = from;
    for (;;) {
      while (j < end && !kBytes.tag[uint8_t(*j)]) ++j;
      if (j >= end) return nullptr;
      if (*j == '>') return j;
      // A quoted value, usually short.
      const char quote = *j++;
      while (j < end && *j != quote) ++j;
      if (j >= end) return nullptr;
      ++j;
    }
  }

 private:
  static constexpr size_t kChunk = size_t(1) << 18;

  struct ByteClasses {
    bool name[256] = {};
    bool tag[256] = {};
    bool textStop[256] = {};
    constexpr ByteClasses() {
      textStop[0] = textStop[int('<')] = true;
      for (int c = 0; c < 256; ++c)
        name[c] = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == ':' ||
                  c == '_' || c == '-' || c == '.' || c >= 0x80;
      tag[int('>')] = tag[int('"')] = tag[int('\'')] = true;
    }
  };
  static constexpr ByteClasses kBytes{};

  const char* Data() const { return view_ ? view_ : buf_.get(); }

  // Keeps the bytes from pos_ on and reads more behind them.
  void Fill() {
    if (eof_) return;
    const size_t kept = end_ - pos_;
    if (kept > 0 && pos_ > 0) std::memmove(buf_.get(), buf_.get() + pos_, kept);
    pos_ = 0;
    end_ = kept;
    const size_t want = size_t(std::min<int64_t>(int64_t(std::max(kChunk, kept)), left_));
    if (end_ + want > cap_ || !buf_) {
      const size_t cap = std::max(end_ + want, cap_ * 2);
      // One more byte for the zero that follows the window.
      auto bigger = std::make_unique_for_overwrite<char[]>(cap + 1);
      if (end_) std::memcpy(bigger.get(), buf_.get(), end_);
      buf_ = std::move(bigger);
      cap_ = cap;
    }
    size_t got = 0;
    while (got < want) {
      const int64_t r = source_->Read(buf_.get() + end_ + got, int64_t(want - got));
      if (r <= 0) break;
      got += size_t(r);
    }
    left_ -= int64_t(got);
    end_ += got;
    buf_[end_] = 0;
    if (got < want || left_ <= 0) eof_ = true;
  }

  const char* Find(size_t from, std::string_view what) const {
    if (from >= end_) return nullptr;
    const size_t at = std::string_view(Data() + from, end_ - from).find(what);
    return at == std::string_view::npos ? nullptr : Data() + from + at;
  }

  // One construct at the '<' at pos_; false when the window ends inside it.
  bool Markup() {
    const char* b = Data();
    if (pos_ + 1 >= end_) return false;
    const char c1 = b[pos_ + 1];
    if (c1 == '/') {
      // An end tag; the name in it is not looked at.
      size_t gt = pos_ + 2;
      while (gt < end_ && b[gt] != '>') ++gt;
      if (gt >= end_) return false;
      pos_ = gt + 1;
      End();
      return true;
    }
    if (c1 == '?') {
      const char* e = Find(pos_ + 2, "?>");
      if (!e) return false;
      const std::string_view pi(b + pos_ + 2, size_t(e - b) - pos_ - 2);
      if (!started_ && pi.starts_with("xml") && pi.size() > 3 && uint8_t(pi[3]) <= 32) h_.Declaration(pi.substr(3));
      pos_ = size_t(e - b) + 2;
      return true;
    }
    if (c1 == '!') {
      if (pos_ + 9 > end_ && !eof_) return false;
      if (end_ - pos_ >= 4 && std::memcmp(b + pos_, "<!--", 4) == 0) {
        const char* e = Find(pos_ + 4, "-->");
        if (!e) return false;
        pos_ = size_t(e - b) + 3;
      } else if (end_ - pos_ >= 9 && std::memcmp(b + pos_, "<![CDATA[", 9) == 0) {
        const char* e = Find(pos_ + 9, "]]>");
        if (!e) return false;
        if (collect_) text_.append(b + pos_ + 9, size_t(e - b) - pos_ - 9);
        pos_ = size_t(e - b) + 3;
      } else {
        const char* e = Find(pos_ + 2, ">");
        if (!e) return false;
        pos_ = size_t(e - b) + 1;
      }
      return true;
    }
    size_t i = pos_ + 1;
    while (i < end_ && kBytes.name[uint8_t(b[i])]) ++i;
    if (i == pos_ + 1) {
      // A '<' that starts no tag is text.
      if (collect_) text_.push_back('<');
      ++pos_;
      return true;
    }
    const char* gt = TagEnd(b + i, b + end_);
    if (!gt) return false;
    const size_t j = size_t(gt - b);
    const bool empty = j > i && b[j - 1] == '/';
    const std::string_view name(b + pos_ + 1, i - pos_ - 1);
    const std::string_view attributes(b + i, j - i - (empty ? 1 : 0));
    pos_ = j + 1;
    Start(name, attributes, empty);
    return true;
  }

  void Start(std::string_view name, std::string_view attributes, bool empty) {
    if (skip_ > 0) {
      if (!empty) ++skip_;
      return;
    }
    started_ = true;
    bool collect = false;
    if (depth_ >= kMaxDepth || !h_.Tag(name, attributes, collect)) {
      if (!empty) skip_ = 1;
      return;
    }
    ++depth_;
    collect_ = collect;
    if (collect) text_.clear();
    if (empty) {
      End();
      return;
    }
    // Most worksheet cells are written as <c ...><v>text</v></c>: that
    // whole run is taken at once where the handler allows it for the
    // element just opened, with the same results as step by step.
    std::string_view open, close, text;
    if (h_.ShortValueAllowed(open, close) && ShortValue(open, close, text)) {
      h_.ShortValue(text);
      if (--depth_ == 0) done_ = true;
    }
  }

  // The open tag, a text without markup and the closing tags at pos_ (as
  // "<v>", "12.5", "</v></c>"): the text, and pos_ moved past them.
  bool ShortValue(std::string_view open, std::string_view close, std::string_view& text) {
    const char* b = Data();
    if (end_ - pos_ < open.size() + close.size() || std::memcmp(b + pos_, open.data(), open.size()) != 0) return false;
    const char* from = b + pos_ + open.size();
    const char* lt = static_cast<const char*>(std::memchr(from, '<', size_t(b + end_ - from)));
    if (!lt || size_t(b + end_ - lt) < close.size() || std::memcmp(lt, close.data(), close.size()) != 0) return false;
    text = std::string_view(from, size_t(lt - from));
    pos_ = size_t(lt - b) + close.size();
    return true;
  }

  void End() {
    if (skip_ > 0) {
      --skip_;
      return;
    }
    if (depth_ == 0) return;
    --depth_;
    const bool collected = collect_;
    collect_ = false;
    h_.AfterTag(collected ? std::string_view(text_) : std::string_view());
    if (depth_ == 0) done_ = true;
  }

  Handler& h_;
  TStream* source_ = nullptr;
  const char* view_ = nullptr;
  int64_t left_ = 0;
  std::unique_ptr<char[]> buf_;
  size_t cap_ = 0, pos_ = 0, end_ = 0;
  bool eof_ = false, started_ = false, done_ = false;
  bool collect_ = false;  // the open element's text is gathered
  std::string text_;
  int64_t depth_ = 0;  // elements followed and open
  int64_t skip_ = 0;   // depth inside an element that is passed over
};

}  // namespace gridlark
