// Items of the XML tree: ownership, values, attributes and lookups.
#include "container/VoxXML.h"
#include "container/VoxXMLText.h"

#include <algorithm>

#include "platform/Exceptions.h"
#include "text/VoxUtils.h"

namespace gridlark {
namespace {

// Byte classes of attribute texts: white space, and what ends a name.
struct AttrChars {
  bool white[256] = {};
  bool nameEnd[256] = {};
  constexpr AttrChars() {
    for (char c : {' ', '\t', '\n', '\r'}) white[uint8_t(c)] = nameEnd[uint8_t(c)] = true;
    nameEnd[uint8_t('=')] = true;
  }
};
constexpr AttrChars kAttrChars;

template <class Match>
TVoXMLItem* FindPreOrder(TVoXMLItem* start, const Match& match) {
  if (!start) return nullptr;
  // An explicit stack, since a tree built by a caller may be deeper than
  // recursion allows; kept between calls, as lookups run once per cell.
  thread_local std::vector<TVoXMLItem*> pending;
  pending.clear();
  pending.push_back(start);
  while (!pending.empty()) {
    TVoXMLItem* item = pending.back();
    pending.pop_back();
    if (match(item->Name)) return item;
    for (auto it = item->Items.end(); it != item->Items.begin();) pending.push_back((--it)->get());
  }
  return nullptr;
}

}  // namespace

// ---------------------------------------------------------------------------
// Item lists

TVoXMLItems::~TVoXMLItems() { Clear(); }

TVoXMLItem* TVoXMLItems::AddItem(TVoXMLItem* Parent) {
  if (FSpare) {
    FSpare->Parent = Parent;
    FSpare->Level = Parent ? Parent->Level + 1 : 0;
    FItems.push_back(std::move(FSpare));
  } else {
    FItems.push_back(std::make_unique<TVoXMLItem>(Parent));
  }
  return FItems.back().get();
}

void TVoXMLItems::Clear() {
  if (FItems.empty() && !FSpare) return;
  // Freed last first, and without recursion: each subtree is taken apart
  // into a work list, so a deep tree cannot exhaust the stack.
  List pending;
  pending.swap(FItems);
  if (FSpare) pending.insert(pending.begin(), std::move(FSpare));
  while (!pending.empty()) {
    std::unique_ptr<TVoXMLItem> item = std::move(pending.back());
    pending.pop_back();
    for (auto& child : item->Items.FItems) pending.push_back(std::move(child));
    item->Items.FItems.clear();
    if (item->Items.FSpare) pending.push_back(std::move(item->Items.FSpare));
  }
}

TVoXMLItem* TVoXMLItems::Items(int Index) const {
  if (Index < 0 || Index >= Count()) throw EListError(Format(msg::ListIndexError, Index));
  return FItems[size_t(Index)].get();
}

// ---------------------------------------------------------------------------
// Items

TVoXMLItem::TVoXMLItem(TVoXMLItem* AParent) : Parent(AParent) {
  if (Parent) Level = Parent->Level + 1;
}

TVoXMLItem::~TVoXMLItem() = default;

TVoXMLItem::TextData& TVoXMLItem::Data() {
  if (!FText) FText = std::make_unique<TextData>();
  return *FText;
}

void TVoXMLItem::Recycle() {
  if (!Items.FItems.empty()) {
    std::unique_ptr<TVoXMLItem> spare = std::move(Items.FSpare);
    Items.Clear();
    Items.FSpare = std::move(spare);
  }
  Kind = xkTag;
  Name.clear();
  AttributesText.clear();
  Level = 0;
  Parent = nullptr;
  if (FText) {
    FText->Buf.clear();
    FText->TextLen = FText->TailLen = 0;
    FText->HasValue = FText->ValueIsText = false;
  }
}

void TVoXMLItem::Reset() {
  Items.Clear();
  Kind = xkTag;
  Name.clear();
  AttributesText.clear();
  FText.reset();
}

bool TVoXMLItem::HasValue() const { return FText && FText->HasValue; }

Variant TVoXMLItem::Value() const { return HasValue() ? Variant(ValueText()) : Variant(); }

WideStringView TVoXMLItem::ValueText() const {
  if (!HasValue()) return {};
  const WideStringView buf = FText->Buf;
  return FText->ValueIsText ? buf.substr(0, FText->TextLen) : buf.substr(FText->TextLen + FText->TailLen);
}

WideStringView TVoXMLItem::Text() const {
  return FText ? WideStringView(FText->Buf).substr(0, FText->TextLen) : WideStringView();
}

WideStringView TVoXMLItem::Tail() const {
  return FText ? WideStringView(FText->Buf).substr(FText->TextLen, FText->TailLen) : WideStringView();
}

void TVoXMLItem::SeparateValue() {
  TextData& d = *FText;
  if (!d.ValueIsText) return;
  const WideString text = d.Buf.substr(0, d.TextLen);
  d.Buf.append(text);
  d.ValueIsText = false;
}

void TVoXMLItem::SetValue(WideStringView Text) {
  TextData& d = Data();
  d.Buf.resize(d.TextLen + d.TailLen);
  d.Buf.append(Text);
  d.HasValue = true;
  d.ValueIsText = false;
}

void TVoXMLItem::AppendValue(WideStringView Text) {
  if (Text.empty()) return;
  TextData& d = Data();
  if (!d.HasValue) {
    SetValue(Text);
    return;
  }
  SeparateValue();
  d.Buf.append(Text);
}

void TVoXMLItem::AppendText(WideStringView Piece) {
  if (Piece.empty()) return;
  TextData& d = Data();
  SeparateValue();
  d.Buf.insert(d.TextLen, Piece);
  d.TextLen += Piece.size();
}

void TVoXMLItem::AppendTail(WideStringView Piece) {
  if (Piece.empty()) return;
  TextData& d = Data();
  d.Buf.insert(d.TextLen + d.TailLen, Piece);
  d.TailLen += Piece.size();
}

void TVoXMLItem::StartText(WideStringView Piece, WideStringView Trimmed) {
  if (Piece.empty()) return;
  if (FText && (FText->TextLen || FText->TailLen || FText->HasValue)) {
    AppendText(Piece);
    AppendValue(Trimmed);
    return;
  }
  TextData& d = Data();
  d.Buf.assign(Piece);
  d.TextLen = Piece.size();
  if (Trimmed.empty()) return;
  d.HasValue = true;
  d.ValueIsText = Trimmed.size() == Piece.size();
  if (!d.ValueIsText) d.Buf.append(Trimmed);
}

void TVoXMLItem::ProcessAttributes() {
  if (AttributesText.empty()) return;
  SplitAttributes(AttributesText);
  AttributesText.clear();
  AttributesText.shrink_to_fit();
}

void TVoXMLItem::SplitAttributes(std::string_view Utf8Text) {
  // Room for every pair at once: there are at most as many as '=' signs.
  Items.FItems.reserve(Items.FItems.size() + size_t(std::count(Utf8Text.begin(), Utf8Text.end(), '=')));
  TXMLAttributeReader reader(Utf8Text);
  std::string_view name, value;
  WideString scratch;
  while (reader.Next(name, value)) {
    TVoXMLItem* item = Items.AddItem(this);
    item->Kind = xkAttribute;
    item->Name.assign(name);
    xmltext::Decode(value, xmltext::kUtf8, scratch);
    item->SetValue(scratch);
  }
}

WideString TVoXMLItem::AttributeValue() const { return UnquoteAttributeValue(ValueText()); }

bool TVoXMLItem::FindAttribute(std::string_view AttrName, WideString& Value) const {
  for (const auto& child : Items) {
    if (child->Kind == xkAttribute && child->Name == AttrName) {
      Value = child->AttributeValue();
      return true;
    }
  }
  TXMLAttributeReader reader(AttributesText);
  std::string_view name, value;
  while (reader.Next(name, value)) {
    if (name == AttrName) {
      xmltext::DecodeAttributeValue(value, xmltext::kUtf8, Value);
      return true;
    }
  }
  return false;
}

TVoXMLItem* TVoXMLItem::FindExact(std::string_view ItemName) {
  return FindPreOrder(this, [&](const std::string& n) { return n == ItemName; });
}

TVoXMLItem* TVoXMLItem::FindItem(std::string_view ItemName) {
  return FindPreOrder(this, [&](const std::string& n) { return SameTextAscii(n, ItemName); });
}

void TVoXMLItem::Free(TVoXMLItem*& Item) {
  TVoXMLItem* item = Item;
  Item = nullptr;
  if (!item || !item->Parent) return;
  TVoXMLItems& list = item->Parent->Items;
  TVoXMLItems::List& siblings = list.FItems;
  // A finished item is nearly always the last child.
  for (auto it = siblings.end(); it != siblings.begin();) {
    if ((--it)->get() == item) {
      std::unique_ptr<TVoXMLItem> owned = std::move(*it);
      siblings.erase(it);
      owned->Recycle();
      list.FSpare = std::move(owned);
      return;
    }
  }
}

// ---------------------------------------------------------------------------
// Attribute texts

bool TXMLAttributeReader::Next(std::string_view& Name, std::string_view& Value) {
  // Raw pointers and a local position: this runs once per attribute of every
  // cell.
  const char* const t = FText.data();
  const size_t n = FText.size();
  size_t i = FPos;
  while (i < n) {
    while (i < n && kAttrChars.white[uint8_t(t[i])]) ++i;
    const size_t nameStart = i;
    while (i < n && !kAttrChars.nameEnd[uint8_t(t[i])]) ++i;
    const size_t nameEnd = i;
    while (i < n && kAttrChars.white[uint8_t(t[i])]) ++i;
    if (i >= n || t[i] != '=') continue;  // a name without a value
    ++i;
    while (i < n && kAttrChars.white[uint8_t(t[i])]) ++i;
    const size_t valueStart = i;
    if (i < n && (t[i] == '"' || t[i] == '\'')) {
      const char quote = t[i++];
      while (i < n && t[i] != quote) ++i;
      if (i < n) ++i;
    } else {
      while (i < n && !kAttrChars.white[uint8_t(t[i])]) ++i;
    }
    if (nameEnd > nameStart && i > valueStart) {
      Name = std::string_view(t + nameStart, nameEnd - nameStart);
      Value = std::string_view(t + valueStart, i - valueStart);
      FPos = i;
      return true;
    }
  }
  FPos = i;
  return false;
}

void TXMLAttributeReader::ValueText(std::string_view Raw, WideString& Out) {
  xmltext::DecodeAttributeValue(Raw, xmltext::kUtf8, Out);
}

WideString UnquoteAttributeValue(WideStringView Value) {
  WideString v(Value);
  if (!v.empty() && (v[0] == u'"' || v[0] == u'\'')) {
    const char16_t quote = v[0];
    if (v.size() >= 2 && v.back() == quote) {
      v.pop_back();
    } else {
      // A value cut short or followed by the separator or the "?" of a
      // declaration: trailing blanks, "?" and quotes go.
      while (v.size() > 1 && (v.back() == u' ' || v.back() == u'?' || v.back() == u'\r' || v.back() == u'\n' ||
                              v.back() == u'\t' || v.back() == quote))
        v.pop_back();
    }
    v.erase(0, 1);
  }
  if (!v.empty()) DecodeHtmlEntities(v);
  return v;
}

// ---------------------------------------------------------------------------
// Decoding

namespace xmltext {

void Decode(std::string_view bytes, Mode mode, WideString& out) {
  const size_t n = bytes.size();
  out.resize(n);
  size_t i = 0;
  for (; i < n; ++i) {
    const uint8_t c = uint8_t(bytes[i]);
    if (c >= 0x80) break;
    out[i] = char16_t(c);
  }
  if (i == n) return;
  out.resize(i);
  const std::string_view rest = bytes.substr(i);
  if (mode != kAnsi) {
    if (Utf8ToWide(rest, out) || mode == kUtf8) return;
    out.resize(i);
  }
  AppendAnsiAsWide(out, rest);
}

void DecodeAttributeValue(std::string_view raw, Mode mode, WideString& out) {
  if (raw.size() >= 2 && (raw[0] == '"' || raw[0] == '\'') && raw.back() == raw[0]) {
    Decode(raw.substr(1, raw.size() - 2), mode, out);
    if (out.find(u'&') != WideString::npos) DecodeHtmlEntities(out);
    return;
  }
  Decode(raw, mode, out);
  out = UnquoteAttributeValue(out);
}

}  // namespace xmltext

// ---------------------------------------------------------------------------
// Engine

TVoXMLEngine::TVoXMLEngine() : FRootItem(std::make_unique<TVoXMLItem>()) {}

TVoXMLEngine::~TVoXMLEngine() = default;

TVoXMLItem* TVoXMLEngine::FindItem(TVoXMLItem* Start, std::string_view Name) const {
  return (Start ? Start : FRootItem.get())->FindItem(Name);
}

}  // namespace gridlark
