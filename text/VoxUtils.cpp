#include "text/VoxUtils.h"

namespace gridlark {

// ---------------------------------------------------------------------------
// TWideStrings

void TWideStrings::CheckIndex(int Index) const {
  if (Index < 0 || Index >= Count()) throw Exception(msg::WideStringsIndexError);
}

int TWideStrings::Add(WideStringView S) {
  items_.push_back(TWideStringItem{WideString(S), 0});
  return Count() - 1;
}

int TWideStrings::AddObject(WideStringView S, int32_t Obj) {
  const int index = Add(S);
  PutObject(index, Obj);
  return index;
}

const WideString& TWideStrings::Get(int Index) const {
  static const WideString empty;
  return (Index >= 0 && Index < Count()) ? items_[size_t(Index)].Text : empty;
}

int32_t TWideStrings::GetObject(int Index) const {
  return (Index >= 0 && Index < Count()) ? items_[size_t(Index)].Obj : 0;
}

void TWideStrings::PutObject(int Index, int32_t Obj) {
  CheckIndex(Index);
  items_[size_t(Index)].Obj = Obj;
}

void TWideStrings::PutText(int Index, WideStringView S) {
  if (Index == Count()) {
    Add(S);
    return;
  }
  CheckIndex(Index);
  items_[size_t(Index)].Text.assign(S);
}

void TWideStrings::SetItem(int Index, WideStringView S, int32_t Obj) {
  PutText(Index, S);
  PutObject(Index, Obj);
}

void TWideStrings::ReplaceText(int Index, WideStringView S) {
  CheckIndex(Index);
  items_[size_t(Index)].Text.assign(S);
}

void TWideStrings::Delete(int Index) {
  CheckIndex(Index);
  items_.erase(items_.begin() + Index);
}

void TWideStrings::Clear() {
  while (Count() > 0) Delete(Count() - 1);
}

// ---------------------------------------------------------------------------
// UTF-8

uint32_t Utf8BufferToWide(char16_t* Dest, uint32_t MaxDestChars, const char* Source, uint32_t SourceBytes) {
  if (Source == nullptr) return 0;
  if (Dest != nullptr && MaxDestChars == 0) return kUtf8Error;
  // Without a Dest the walk only counts, with no limit.
  const uint64_t limit = Dest != nullptr ? MaxDestChars : UINT64_MAX;
  uint64_t c = 0;
  uint32_t i = 0;
  auto put = [&](char16_t unit) {
    if (Dest != nullptr) Dest[c] = unit;
    ++c;
  };
  // The next byte as a continuation byte; false when absent or not 10xxxxxx.
  auto next = [&](uint32_t& bits) {
    if (i >= SourceBytes) return false;
    const uint8_t t = uint8_t(Source[i++]);
    if ((t & 0xC0) != 0x80) return false;
    bits = (bits << 6) | (t & 0x3F);
    return true;
  };
  while (i < SourceBytes && c < limit) {
    const uint8_t b = uint8_t(Source[i++]);
    if (b < 0x80) {
      put(char16_t(b));
      continue;
    }
    if (i == SourceBytes) return kUtf8Error;
    if (b >= 0xF0) {
      // Four-byte sequence: a code point beyond U+FFFF as a surrogate pair.
      uint32_t cp = b & 0x07;
      if (b >= 0xF8 || !next(cp) || !next(cp) || !next(cp)) return kUtf8Error;
      if (cp < 0x10000 || cp > 0x10FFFF) return kUtf8Error;
      cp -= 0x10000;
      put(char16_t(0xD800 + (cp >> 10)));
      if (c < limit) put(char16_t(0xDC00 + (cp & 0x3FF)));
      continue;
    }
    uint32_t w = b & 0x3F;
    // Bit 5 of the lead asks for two continuation bytes, else one.
    if ((w & 0x20) && !next(w)) return kUtf8Error;
    if (!next(w)) return kUtf8Error;
    put(char16_t(w & 0xFFFF));
  }
  if (Dest != nullptr) {
    if (c >= limit) c = limit - 1;
    Dest[c] = 0;
  }
  return uint32_t(c + 1);
}

WideString Utf8StringToWide(std::string_view S) {
  WideString out;
  Utf8ToWide(S, out);
  return out;
}

// ---------------------------------------------------------------------------
// Entities

const TVoxEntity kVoxEntities[15] = {
    {u"&brvbar", u'|'}, {u"&deg", u'\u00B0'}, {u"&#176", u'\u00B0'}, {u"&plusmn", u'+'}, {u"&para", u'\u00B6'},
    {u"&amp", u'&'},    {u"&lt", u'<'},       {u"&gt", u'>'},        {u"&copy", u'c'},    {u"&quot", u'"'},
    {u"&apos", u'\''},  {u"&trade", u'T'},    {u"&nbsp", 0},         {u"&car", u'\n'},    {u"&ret", u'\r'},
};

namespace {

bool IsDecimalDigit(char16_t c) { return c >= u'0' && c <= u'9'; }
bool IsHexDigit(char16_t c) {
  return IsDecimalDigit(c) || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
}
uint32_t HexValue(char16_t c) {
  if (IsDecimalDigit(c)) return c - u'0';
  return (c | 0x20) - u'a' + 10;
}

// A table reference at S[at] (an '&'): its length with a following ";" and
// its row. No name of the table is the start of another, so the one whose
// second character matches is the only candidate.
bool MatchNamed(const WideString& S, size_t at, size_t& length, const TVoxEntity*& row) {
  const size_t n = S.size();
  if (at + 1 >= n) return false;
  const char16_t second = S[at + 1];
  for (const TVoxEntity& e : kVoxEntities) {
    if (e.Entity[1] != second) continue;
    size_t k = 2;
    while (e.Entity[k] != 0 && at + k < n && S[at + k] == e.Entity[k]) ++k;
    if (e.Entity[k] != 0) continue;
    const size_t end = at + k;
    // "&#176" stands for the number 176 only, not for the start of "&#1760".
    if (IsDecimalDigit(e.Entity[k - 1]) && end < n && IsDecimalDigit(S[end])) continue;
    length = k + (end < n && S[end] == u';' ? 1 : 0);
    row = &e;
    return true;
  }
  return false;
}

// A numeric reference at S[at] ("&#" digits or "&#x" hex digits, an optional
// ";") whose number lies below U+FFFF, or from U+10000 to U+10FFFF.
bool MatchNumeric(const WideString& S, size_t at, size_t& length, uint32_t& code) {
  const size_t n = S.size();
  if (at + 1 >= n || S[at + 1] != u'#') return false;
  size_t j = at + 2;
  const bool hex = j < n && (S[j] == u'x' || S[j] == u'X');
  if (hex) ++j;
  const size_t digits = j;
  uint32_t value = 0;
  while (j < n && (hex ? IsHexDigit(S[j]) : IsDecimalDigit(S[j]))) {
    // Saturate: anything beyond U+10FFFF is refused anyway.
    if (value < 0x110000) value = value * (hex ? 16 : 10) + (hex ? HexValue(S[j]) : uint32_t(S[j] - u'0'));
    ++j;
  }
  if (j == digits || value == 0xFFFF || value > 0x10FFFF) return false;
  if (j < n && S[j] == u';') ++j;
  length = j - at;
  code = value;
  return true;
}

}  // namespace

void DecodeHtmlEntities(WideString& S) {
  size_t i = S.find(u'&');
  if (i == WideString::npos) return;
  // In place: every reference is at least as long as what replaces it (one
  // beyond U+FFFF, written with five digits or more, becomes two units), so
  // the text written never overtakes the text read.
  const size_t n = S.size();
  char16_t* const s = S.data();
  size_t w = i;
  while (i < n) {
    if (s[i] != u'&') {
      // A run of plain text up to the next reference.
      size_t next = i + 1;
      while (next < n && s[next] != u'&') ++next;
      if (w != i) std::char_traits<char16_t>::move(s + w, s + i, next - i);
      w += next - i;
      i = next;
      continue;
    }
    size_t length = 0;
    const TVoxEntity* row = nullptr;
    uint32_t code = 0;
    if (MatchNamed(S, i, length, row)) {
      if (row->Replacement != 0) s[w++] = row->Replacement;
      i += length;
    } else if (MatchNumeric(S, i, length, code)) {
      if (code >= 0x10000) {  // a character beyond the first plane: a surrogate pair
        s[w++] = char16_t(0xD800 + ((code - 0x10000) >> 10));
        s[w++] = char16_t(0xDC00 + ((code - 0x10000) & 0x3FF));
      } else {
        s[w++] = char16_t(code);
      }
      i += length;
    } else {
      s[w++] = s[i++];
    }
  }
  S.resize(w);
}

// ---------------------------------------------------------------------------
// Narrow fill functions

std::string RepeatChar(char Ch, int N) { return N > 0 ? std::string(size_t(N), Ch) : std::string(); }

std::string PadTextLeft(std::string_view S, int Width, char Ch) {
  if (Width <= 0) return std::string();
  const std::string_view kept = S.substr(0, size_t(Width));
  return RepeatChar(Ch, Width - int(kept.size())) + std::string(kept);
}

std::string PadTextRight(std::string_view S, int Width, char Ch) {
  if (Width <= 0) return std::string();
  const std::string_view kept = S.substr(0, size_t(Width));
  return std::string(kept) + RepeatChar(Ch, Width - int(kept.size()));
}

}  // namespace gridlark
