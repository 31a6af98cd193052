// Reading and parsing XML documents in one pass.
//
// The document is read through a window: bytes arrive from the stream in
// chunks, and only the construct being scanned is kept when the window is
// refilled. Each step first scans a whole construct (a start tag with its
// text, an end tag with the text after it) without side effects; when a scan
// reaches the end of the window before its terminator, the window is
// refilled and the step scanned again. Refills at least double what is kept,
// so a long construct costs amortised linear time. Skipping a refused
// element needs no lookbehind and keeps almost nothing.
#include <algorithm>
#include <cstring>

#include "container/VoxXML.h"
#include "container/VoxXMLText.h"
#include "platform/Exceptions.h"

namespace gridlark {
namespace {

using xmltext::IsAscii;
using xmltext::TrimWide;
constexpr xmltext::Mode tmUtf8OrAnsi = xmltext::kUtf8OrAnsi, tmAnsi = xmltext::kAnsi, tmUtf8 = xmltext::kUtf8;

void DecodeText(std::string_view bytes, uint8_t mode, WideString& out) {
  xmltext::Decode(bytes, xmltext::Mode(mode), out);
}

// Elements nested deeper are skipped like refused ones, so that no walk over
// a tree, recursive or not, meets an unbounded depth.
constexpr int32_t kMaxDepth = 512;
constexpr size_t kNone = SIZE_MAX;

struct NameChars {
  bool is[256] = {};
  constexpr NameChars() {
    for (int c = '0'; c <= '9'; ++c) is[c] = true;
    for (int c = 'A'; c <= 'Z'; ++c) is[c] = true;
    for (int c = 'a'; c <= 'z'; ++c) is[c] = true;
    is[int('!')] = is[int('-')] = is[int(':')] = is[int('?')] = is[int('_')] = true;
  }
};
constexpr NameChars kNameChars;

// Bytes that stop or change the attribute scan.
struct AttrStops {
  bool is[256] = {};
  constexpr AttrStops() { is[int('>')] = is[int('/')] = is[int('"')] = is[int('\'')] = true; }
};
constexpr AttrStops kAttrStops;

// Position of the first byte c in [from, n), or n. Markup is dense, so the
// next delimiter is usually a few bytes away: those are looked at directly,
// and memchr takes over for longer runs.
inline size_t FindByte(const char* b, size_t from, size_t n, char c) {
  const size_t near = from + 8 < n ? from + 8 : n;
  for (size_t i = from; i < near; ++i)
    if (b[i] == c) return i;
  if (near == n) return n;
  const void* p = std::memchr(b + near, c, n - near);
  return p ? size_t(static_cast<const char*>(p) - b) : n;
}

bool SameUpper(const char* p, const char* upper, size_t n) {
  for (size_t i = 0; i < n; ++i)
    if (UpperAsciiChar(p[i]) != upper[i]) return false;
  return true;
}

// The bytes of the document, whole or arriving from a stream.
class XmlWindow {
 public:
  explicit XmlWindow(std::string_view data) : b(data.data()), n(data.size()), eof(true) {
    if (const void* z = n ? std::memchr(b, 0, n) : nullptr) {
      n = size_t(static_cast<const char*>(z) - b);
      nulStop = true;
    }
  }

  XmlWindow(TStream& stream, int64_t count, std::string_view prefix, size_t chunk, size_t maxKept)
      : stream_(&stream), remaining_(count - int64_t(prefix.size())), chunk_(std::max<size_t>(chunk, 1)),
        maxKept_(maxKept) {
    Reserve(prefix.size());
    if (!prefix.empty()) std::memcpy(buf_.get(), prefix.data(), prefix.size());
    b = buf_.get();
    Arrived(prefix.size(), remaining_ <= 0);
  }

  // Discards the bytes before keep and reads more; returns how far the kept
  // bytes moved. Only called before the end is known.
  size_t Fill(size_t keep) {
    if (eof) return 0;
    if (keep > 0) {
      std::memmove(buf_.get(), buf_.get() + keep, n - keep);
      n -= keep;
    }
    if (n >= maxKept_) {
      // One construct this long is no spreadsheet's: the document is taken
      // to end here rather than held whole.
      eof = true;
      return keep;
    }
    const size_t want = size_t(std::min<int64_t>(int64_t(std::max(chunk_, n)), remaining_));
    Reserve(n + want);
    size_t got = 0;
    bool exhausted = false;
    while (got < want) {
      const int64_t r = stream_->Read(buf_.get() + n + got, int64_t(want - got));
      if (r <= 0) {
        exhausted = true;
        break;
      }
      got += size_t(r);
    }
    remaining_ -= int64_t(got);
    b = buf_.get();
    Arrived(got, exhausted || remaining_ <= 0);
    return keep;
  }

  const char* b = nullptr;
  size_t n = 0;
  bool eof = false;
  bool nulStop = false;  // the data end at a NUL byte, before their real end

 private:
  void Reserve(size_t size) {
    if (size <= cap_) return;
    const size_t cap = std::max(size, cap_ * 2);
    auto bigger = std::make_unique_for_overwrite<char[]>(cap);
    if (n) std::memcpy(bigger.get(), buf_.get(), n);
    buf_ = std::move(bigger);
    cap_ = cap;
  }

  // Takes in `got` bytes just read at the end of the window. A NUL byte ends
  // the document; an ESC as the very last byte is dropped.
  void Arrived(size_t got, bool last) {
    if (const void* z = got ? std::memchr(buf_.get() + n, 0, got) : nullptr) {
      n = size_t(static_cast<const char*>(z) - buf_.get());
      eof = nulStop = true;
      return;
    }
    n += got;
    if (last) {
      eof = true;
      if (got > 0 && buf_[n - 1] == 0x1B) --n;
    }
  }

  TStream* stream_ = nullptr;
  int64_t remaining_ = 0;
  size_t chunk_ = 1;
  size_t maxKept_ = SIZE_MAX;
  std::unique_ptr<char[]> buf_;
  size_t cap_ = 0;
};

}  // namespace

// ---------------------------------------------------------------------------
// The tag view handed to OnTag

const WideString& TVoXMLTag::Text() const {
  if (!FHaveText) {
    DecodeText(FRawText, FMode, FText);
    FHaveText = true;
  }
  return FText;
}

const WideString& TVoXMLTag::Value() const {
  const WideString& text = Text();
  if (FKind != xkTag) return text;
  const WideStringView trimmed = TrimWide(text);
  if (trimmed.size() == text.size()) return text;
  if (!FHaveValue) {
    FValue.assign(trimmed);
    FHaveValue = true;
  }
  return FValue;
}

const WideString& TVoXMLTag::Attributes() const {
  if (!FHaveAttributes) {
    DecodeText(FRawAttributes, FMode, FAttributes);
    FHaveAttributes = true;
  }
  return FAttributes;
}

bool TVoXMLTag::FindAttribute(std::string_view AttrName, WideString& Value) const {
  TXMLAttributeReader reader(FRawAttributes);
  std::string_view name, value;
  while (reader.Next(name, value)) {
    if (name == AttrName) {
      xmltext::DecodeAttributeValue(value, xmltext::Mode(FMode), Value);
      return true;
    }
  }
  return false;
}

// ---------------------------------------------------------------------------
// The parser

class TVoXMLParser {
 public:
  TVoXMLParser(TVoXMLEngine& engine, XmlWindow& window)
      : engine_(engine), w_(window), mode_(engine.FUnicode ? tmUtf8 : tmUtf8OrAnsi) {}

  void Run() {
    // Whatever precedes the first tag (a byte-order mark, white space) is
    // dropped.
    size_t tb, te;
    for (;;) {
      size_t next;
      if (TextScan(pos_, tb, te, next)) {
        pos_ = next;
        break;
      }
      pos_ -= w_.Fill(pos_);
    }
    while (!stop_ && BeforeLastByte()) {
      Scanned s;
      while (!Scan(pos_, s)) pos_ -= w_.Fill(Keep());
      Act(s);
      if (!stop_) CloseElements();
    }
  }

 private:
  struct Scanned {
    enum Kind : uint8_t { Tag, Comment, CData, Nameless } kind = Tag;
    size_t nameB = 0, nameE = 0;  // the name token
    size_t attrB = 0, attrE = 0;  // attribute text; attrE is where its scan stopped
    size_t textB = 0, textE = 0;  // untrimmed text after the tag; comment value; CDATA content
    size_t tailB = 0, tailE = 0;  // text after a comment
    size_t next = 0;
    bool emptyElement = false;  // the scan stopped at "/>"
  };

  std::string_view Bytes(size_t b, size_t e) const { return std::string_view(w_.b + b, e - b); }

  size_t FindFrom(size_t from, std::string_view what) const {
    if (from >= w_.n) return kNone;
    const size_t at = std::string_view(w_.b + from, w_.n - from).find(what);
    return at == std::string_view::npos ? kNone : from + at;
  }

  // Where a refill may discard up to: the byte before the position stays, as
  // an end tag looks back at it.
  size_t Keep() const { return pos_ > 0 ? pos_ - 1 : 0; }

  // True while the position is before the last byte of the data.
  bool BeforeLastByte() {
    while (pos_ + 1 >= w_.n && !w_.eof) pos_ -= w_.Fill(Keep());
    return pos_ < w_.n && (pos_ + 1 < w_.n || w_.nulStop);
  }

  // Text scan: '>' characters skipped, then the text up to the next '<'
  // (stepped over) or up to a "/>" (left in place). False: more data needed.
  bool TextScan(size_t i, size_t& tb, size_t& te, size_t& next) const {
    const char* b = w_.b;
    const size_t n = w_.n;
    while (i < n && b[i] == '>') ++i;
    if (i >= n && !w_.eof) return false;
    const size_t end = FindByte(b, i, n, '<');
    const bool lt = end < n;
    for (size_t s = i; s < end;) {
      const size_t k = FindByte(b, s, end, '/');
      if (k == end) break;
      if (k + 1 == n && !w_.eof) return false;
      if (k + 1 < n && b[k + 1] == '>') {
        tb = i;
        te = next = k;
        return true;
      }
      s = k + 1;
    }
    if (!lt && !w_.eof) return false;
    tb = i;
    te = end;
    next = lt ? end + 1 : n;
    return true;
  }

  // Text up to the next '<', which is stepped over.
  bool TailScan(size_t i, size_t& tb, size_t& te, size_t& next) const {
    const size_t lt = i < w_.n ? FindByte(w_.b, i, w_.n, '<') : w_.n;
    if (lt == w_.n && !w_.eof) return false;
    tb = i;
    te = std::max(i, lt);
    next = lt < w_.n ? te + 1 : te;
    return true;
  }

  // End tag at a '/': when it follows a '<' or precedes a '>', past the next
  // '>'; then the text after it. The name in it is never looked at.
  bool EndTagScan(size_t i, size_t& tb, size_t& te, size_t& next) const {
    const char* b = w_.b;
    const size_t n = w_.n;
    if (i + 1 >= n && !w_.eof) return false;
    size_t j = i;
    if ((i > 0 && b[i - 1] == '<') || (i + 1 < n && b[i + 1] == '>')) {
      const size_t gt = FindByte(b, i, n, '>');
      if (gt == n && !w_.eof) return false;
      j = gt < n ? gt + 1 : n;
    }
    return TailScan(j, tb, te, next);
  }

  // One construct from position i (just after a '<', or at the '>' left
  // after a CDATA section). False: more data needed.
  bool Scan(size_t i, Scanned& s) const {
    const char* b = w_.b;
    const size_t n = w_.n;
    s = Scanned();
    if (i + 9 >= n && !w_.eof) return false;
    if (i + 9 < n && b[i] == '!' && SameUpper(b + i, "![CDATA[", 8)) {
      s.kind = Scanned::CData;
      s.textB = i + 8;
      const size_t k = FindFrom(s.textB, "]]");
      if (k == kNone && !w_.eof) return false;
      s.textE = k == kNone ? n : k;
      s.next = k == kNone ? n : k + 2;  // the '>' is left for the next step
      return true;
    }
    size_t e = i;
    while (e < n && kNameChars.is[uint8_t(b[e])]) ++e;
    if (e == n && !w_.eof) return false;
    s.nameB = i;
    s.nameE = e;
    if (e - i >= 3 && b[i] == '!' && b[i + 1] == '-' && b[i + 2] == '-') {
      // A comment ends at the first "-->" after its "<!--", also inside the
      // name token; its value runs from the '!' to the final "--".
      s.kind = Scanned::Comment;
      const size_t k = FindFrom(i + 3, "-->");
      if (k == kNone && !w_.eof) return false;
      s.textB = i;
      s.textE = k == kNone ? n : k + 2;
      return TailScan(k == kNone ? n : k + 3, s.tailB, s.tailE, s.next);
    }
    s.kind = e == i ? Scanned::Nameless : Scanned::Tag;
    // Attribute text: up to the first '>', or a '/' outside quotes.
    size_t a = e;
    // Attribute texts run longer than the usual gap between delimiters.
    const void* gt = e < n ? std::memchr(b + e, '>', n - e) : nullptr;
    const size_t limit = gt ? size_t(static_cast<const char*>(gt) - b) : n;
    if (limit == e || !std::memchr(b + e, '/', limit - e)) {
      a = limit;  // no '/' before the '>': quotes cannot matter
    } else {
      for (;;) {
        while (a < n && !kAttrStops.is[uint8_t(b[a])]) ++a;
        if (a >= n || b[a] == '>' || b[a] == '/') break;
        const char quote = b[a++];
        while (a < n && b[a] != quote && b[a] != '>') ++a;
        if (a >= n || b[a] == '>') break;
        ++a;
      }
    }
    if (a == n && !w_.eof) return false;
    s.attrB = e;
    s.attrE = a;
    if (!TextScan(a, s.textB, s.textE, s.next)) return false;
    s.emptyElement = s.next == s.textE && s.next < n && b[s.next] == '/';  // stopped at "/>", not after a '<'
    return true;
  }

  void Act(const Scanned& s) {
    TVoXMLItem* current = current_;
    tag_.FMode = mode_;
    tag_.FHaveText = tag_.FHaveValue = tag_.FHaveAttributes = false;
    tag_.FRawText = Bytes(s.textB, s.textE);
    tag_.FRawAttributes = Bytes(s.attrB, s.attrE);
    if (s.kind == Scanned::Nameless) {
      if (s.next == pos_) {
        // A "/>" with no element open: passed over like an end tag (reading
        // on from the same place would never end).
        size_t tb, te, next;
        while (!EndTagScan(pos_, tb, te, next)) pos_ -= w_.Fill(Keep());
        pos_ = next;
        return;
      }
      // A '<' followed by no name, or the '>' after a CDATA section: the text
      // belongs to the open element, and attribute text replaces its own.
      pos_ = s.next;
      if (!current) return;
      AppendTextAfterChild(current, tag_.FRawText);
      if (s.attrE > s.attrB) SetAttributes(current, tag_.FRawAttributes);
      return;
    }
    const TVoXMLItemKind kind = s.kind == Scanned::Comment ? xkComment : s.kind == Scanned::CData ? xkCData : xkTag;
    tag_.FKind = kind;
    tag_.FName = kind == xkCData ? std::string_view("![CDATA[") : Bytes(s.nameB, s.nameE);
    TVoXMLItem* item = nullptr;
    bool accept = true;
    if (!current) {
      // Only an element (or a declaration) becomes RootItem; a comment or
      // CDATA section before it is dropped.
      if (kind != xkTag) {
        pos_ = s.next;
        return;
      }
      item = engine_.RootItem();
    } else if (kind == xkTag && current->Level >= kMaxDepth) {
      accept = false;
    } else if (engine_.OnTag) {
      engine_.OnTag(engine_, current, tag_, accept);
    }
    if (!accept) {
      if (kind == xkTag) {
        SkipRefused(s);
      } else {
        pos_ = s.next;
        if (kind == xkComment) AppendTextAfterChild(current, Bytes(s.tailB, s.tailE));
      }
      return;
    }
    if (!item) item = current->Items.AddItem(current);
    item->Name.assign(tag_.FName);
    item->Kind = kind;
    const WideString& text = tag_.Text();
    pos_ = s.next;
    if (kind == xkTag) {
      item->StartText(text, TrimWide(text));
      if (s.attrE > s.attrB) SetAttributes(item, tag_.FRawAttributes);
      current_ = item;
      return;
    }
    item->StartText(text, text);
    if (kind == xkComment) AppendTextAfterChild(current, Bytes(s.tailB, s.tailE));
  }

  // Text that follows a child (or a dropped construct): trimmed into the
  // element's value, untrimmed into the tail of its last child, or into its
  // own text when it has none.
  void AppendTextAfterChild(TVoXMLItem* element, std::string_view raw) {
    if (raw.empty()) return;
    DecodeText(raw, mode_, scratch_);
    element->AppendValue(TrimWide(scratch_));
    TVoXMLItems::List::const_iterator it = element->Items.end();
    while (it != element->Items.begin()) {
      if ((*--it)->Kind != xkAttribute) {
        (*it)->AppendTail(scratch_);
        return;
      }
    }
    element->AppendText(scratch_);
  }

  void SetAttributes(TVoXMLItem* item, std::string_view raw) {
    // Stored as UTF-8 whatever the document's encoding.
    std::string_view utf8 = raw;
    if (!IsAscii(raw)) {
      DecodeText(raw, mode_, scratch_);
      utf8Scratch_ = WideToUtf8(scratch_);
      utf8 = utf8Scratch_;
    }
    if (engine_.AttributesAutoProcess) {
      // Split at once, without keeping the text.
      item->AttributesText.clear();
      item->SplitAttributes(utf8);
    } else {
      item->AttributesText.assign(utf8);
    }
    if (item->Name.size() == 4 && item->Name[0] == '?' && SameTextAscii(item->Name, "?xml")) {
      item->ProcessAttributes();
      if (TVoXMLItem* encoding = item->FindItem("encoding")) {
        WideString declared = encoding->AttributeValue();
        if (declared.size() >= 2 && declared.compare(declared.size() - 2, 2, u"\"?") == 0) declared.resize(declared.size() - 2);
        if (mode_ != tmUtf8) mode_ = declared.empty() || SameTextAscii(declared, u"utf-8") ? tmUtf8OrAnsi : tmAnsi;
      }
    }
  }

  // Passes over a refused element: its content, nested elements, comments,
  // CDATA sections and processing instructions, up to its end tag. The text
  // after that end tag still belongs to the open element.
  void SkipRefused(const Scanned& s) {
    size_t j;
    int depth = 1;
    if (s.emptyElement) {
      j = s.next + 2;
      depth = 0;
    } else if (s.attrE < w_.n && w_.b[s.attrE] == '>') {
      // The text after the start tag holds no markup: go on from the '<'
      // that ended it.
      j = s.next == s.textE + 1 ? s.textE : s.attrE + 1;
    } else {
      // The attribute scan stopped at a '/' inside the start tag.
      j = s.attrE;
      size_t gt;
      while ((gt = FindFrom(j, ">")) == kNone && !w_.eof) j -= w_.Fill(j);
      if (gt == kNone) {
        pos_ = w_.n;
        return;
      }
      if (gt > j && w_.b[gt - 1] == '/') depth = 0;
      j = gt + 1;
    }
    while (depth > 0) {
      const char* b = w_.b;
      const size_t n = w_.n;
      const size_t lt = j < n ? FindByte(b, j, n, '<') : n;
      if (lt == n) {
        if (w_.eof) {
          pos_ = n;
          return;
        }
        j = n;
        j -= w_.Fill(j);
        continue;
      }
      if (lt + 9 > n && !w_.eof) {
        j = lt - w_.Fill(lt);
        continue;
      }
      const char c1 = lt + 1 < n ? b[lt + 1] : 0;
      size_t end;
      int delta = 0;
      if (c1 == '/') {
        end = After(lt + 2, ">");
        delta = -1;
      } else if (c1 == '!' && lt + 4 <= n && std::memcmp(b + lt, "<!--", 4) == 0) {
        end = After(lt + 4, "-->");
      } else if (c1 == '!' && lt + 9 <= n && SameUpper(b + lt, "<![CDATA[", 9)) {
        end = After(lt + 9, "]]>");
      } else if (c1 == '?') {
        end = After(lt + 2, "?>");
      } else if (c1 == '!') {
        end = After(lt + 2, ">");
      } else {
        end = After(lt + 1, ">");
        if (end != kNone && !(end >= lt + 3 && b[end - 2] == '/')) delta = 1;
      }
      if (end == kNone) {
        if (w_.eof) {
          pos_ = n;
          return;
        }
        j = lt - w_.Fill(lt);
        continue;
      }
      depth += delta;
      j = end;
    }
    size_t tb, te, next;
    while (!TailScan(j, tb, te, next)) j -= w_.Fill(j);
    pos_ = next;
    AppendTextAfterChild(current_, Bytes(tb, te));
  }

  size_t After(size_t from, std::string_view what) const {
    if (what.size() == 1) {
      const size_t at = from < w_.n ? FindByte(w_.b, from, w_.n, what[0]) : w_.n;
      return at < w_.n ? at + 1 : kNone;
    }
    const size_t at = FindFrom(from, what);
    return at == kNone ? kNone : at + what.size();
  }

  // Closes elements while end tags follow; raises OnAfterTag for each.
  void CloseElements() {
    for (;;) {
      if (!BeforeLastByte() || w_.b[pos_] != '/' || !current_) return;
      if (pos_ + 1 < w_.n && w_.b[pos_ + 1] == '>') {
        // "/>" as the last two bytes of the data: the element stays open.
        while (pos_ + 2 >= w_.n && !w_.eof) pos_ -= w_.Fill(Keep());
        if (!w_.nulStop && pos_ + 2 == w_.n) {
          ++pos_;
          return;
        }
      }
      size_t tb, te, next;
      while (!EndTagScan(pos_, tb, te, next)) pos_ -= w_.Fill(Keep());
      TVoXMLItem* closed = current_;
      current_ = closed->Parent;
      if (te > tb) {
        DecodeText(Bytes(tb, te), mode_, scratch_);
        closed->AppendTail(scratch_);
        if (current_) current_->AppendValue(TrimWide(scratch_));
      }
      pos_ = next;
      if (engine_.OnAfterTag) {
        bool cancel = false;
        TVoXMLItem* node = closed;
        engine_.OnAfterTag(engine_, node, cancel);
        if (cancel) {
          stop_ = true;
          return;
        }
      }
      if (!current_) {
        // The document element is closed; what follows it is not read.
        stop_ = true;
        return;
      }
    }
  }

  TVoXMLEngine& engine_;
  XmlWindow& w_;
  uint8_t mode_;
  size_t pos_ = 0;
  TVoXMLItem* current_ = nullptr;
  bool stop_ = false;
  TVoXMLTag tag_;
  WideString scratch_;
  std::string utf8Scratch_;
};

// ---------------------------------------------------------------------------
// Loading

namespace {

// Up to count bytes of the stream, fewer when it ends sooner.
std::string ReadUpTo(TStream& stream, int64_t count) {
  std::string out;
  size_t chunk = size_t(1) << 16;
  while (count > int64_t(out.size())) {
    const size_t want = size_t(std::min<int64_t>(int64_t(chunk), count - int64_t(out.size())));
    const size_t old = out.size();
    out.resize(old + want);
    const int64_t got = stream.Read(out.data() + old, int64_t(want));
    out.resize(old + size_t(std::max<int64_t>(got, 0)));
    if (got <= 0) break;
    chunk = std::min(chunk * 2, size_t(1) << 24);
  }
  return out;
}

}  // namespace

void TVoXMLEngine::LoadXML(int64_t Size, TStream* Stream) {
  FRootItem->Reset();
  if (!Stream) return;
  const int64_t position = Stream->Position();
  const int64_t count = (Size == 0 ? Stream->Size() : Size) - position;
  FUnicode = false;
  if (count <= 0) return;
  std::string prefix;
  if (Size == 0) {
    char mark[2];
    prefix.assign(mark, size_t(std::max<int64_t>(Stream->Read(mark, std::min<int64_t>(count, 2)), 0)));
    const bool little = prefix == "\xFF\xFE", big = prefix == "\xFE\xFF";
    if (little || big) {
      // UTF-16: the units become UTF-8, read without loss whatever the
      // document declares.
      FUnicode = true;
      const std::string bytes = ReadUpTo(*Stream, count - 2);
      WideString units(bytes.size() / 2, u'\0');
      for (size_t i = 0; i < units.size(); ++i) {
        const uint8_t lo = uint8_t(bytes[2 * i + (big ? 1 : 0)]), hi = uint8_t(bytes[2 * i + (big ? 0 : 1)]);
        units[i] = char16_t(lo | (hi << 8));
      }
      if (!units.empty() && units.back() == 0x1B) units.pop_back();
      const std::string text = WideToUtf8(units);
      ParseXML(text);
      return;
    }
  }
  XmlWindow window(*Stream, count, prefix, ReadChunk, MaxConstruct);
  TVoXMLParser(*this, window).Run();
}

void TVoXMLEngine::ParseXML(std::string_view Data) {
  XmlWindow window(Data);
  TVoXMLParser(*this, window).Run();
}

}  // namespace gridlark
