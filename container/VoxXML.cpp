// Items of the XML tree: ownership, values, attributes and lookups.
#include "container/VoxXML.h"

#include <algorithm>

#include "platform/Exceptions.h"
#include "text/VoxUtils.h"

namespace gridlark {
namespace {

const WideString kNoText;

bool IsWhite(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

// Attribute texts are stored in UTF-8, so their values decode as UTF-8.
WideString Utf8Value(std::string_view bytes) {
  WideString out;
  Utf8ToWide(bytes, out);
  return out;
}

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
  FItems.push_back(std::make_unique<TVoXMLItem>(Parent));
  return FItems.back().get();
}

void TVoXMLItems::Clear() {
  // Freed last first, and without recursion: each subtree is taken apart
  // into a work list, so a deep tree cannot exhaust the stack.
  List pending;
  pending.swap(FItems);
  while (!pending.empty()) {
    std::unique_ptr<TVoXMLItem> item = std::move(pending.back());
    pending.pop_back();
    for (auto& child : item->Items.FItems) pending.push_back(std::move(child));
    item->Items.FItems.clear();
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

void TVoXMLItem::Reset() {
  Items.Clear();
  Kind = xkTag;
  Name.clear();
  AttributesText.clear();
  FText.reset();
}

bool TVoXMLItem::HasValue() const { return FText && FText->HasValue; }

Variant TVoXMLItem::Value() const { return HasValue() ? Variant(FText->Value) : Variant(); }

const WideString& TVoXMLItem::ValueText() const { return FText ? FText->Value : kNoText; }

void TVoXMLItem::SetValue(WideStringView Text) {
  TextData& d = Data();
  d.Value.assign(Text);
  d.HasValue = true;
}

void TVoXMLItem::AppendValue(WideStringView Text) {
  if (Text.empty()) return;
  TextData& d = Data();
  d.Value.append(Text);
  d.HasValue = true;
}

const WideString& TVoXMLItem::Text() const { return FText ? FText->Text : kNoText; }
const WideString& TVoXMLItem::Tail() const { return FText ? FText->Tail : kNoText; }

void TVoXMLItem::AppendText(WideStringView Piece) {
  if (!Piece.empty()) Data().Text.append(Piece);
}

void TVoXMLItem::AppendTail(WideStringView Piece) {
  if (!Piece.empty()) Data().Tail.append(Piece);
}

void TVoXMLItem::ProcessAttributes() {
  if (AttributesText.empty()) return;
  TXMLAttributeReader reader(AttributesText);
  std::string_view name, value;
  while (reader.Next(name, value)) {
    TVoXMLItem* item = Items.AddItem(this);
    item->Kind = xkAttribute;
    item->Name.assign(name);
    item->SetValue(Utf8Value(value));
  }
  AttributesText.clear();
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
      Value = UnquoteAttributeValue(Utf8Value(value));
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
  TVoXMLItems::List& siblings = item->Parent->Items.FItems;
  // A finished item is nearly always the last child.
  for (auto it = siblings.end(); it != siblings.begin();) {
    if ((--it)->get() == item) {
      std::unique_ptr<TVoXMLItem> owned = std::move(*it);
      siblings.erase(it);
      owned->Items.Clear();
      return;
    }
  }
}

// ---------------------------------------------------------------------------
// Attribute texts

bool TXMLAttributeReader::Next(std::string_view& Name, std::string_view& Value) {
  const std::string_view t = FText;
  size_t& i = FPos;
  while (i < t.size()) {
    while (i < t.size() && IsWhite(t[i])) ++i;
    const size_t nameStart = i;
    while (i < t.size() && !IsWhite(t[i]) && t[i] != '=') ++i;
    const std::string_view name = t.substr(nameStart, i - nameStart);
    while (i < t.size() && IsWhite(t[i])) ++i;
    if (i >= t.size() || t[i] != '=') continue;  // a name without a value
    ++i;
    while (i < t.size() && IsWhite(t[i])) ++i;
    const size_t valueStart = i;
    if (i < t.size() && (t[i] == '"' || t[i] == '\'')) {
      const size_t close = t.find(t[i], i + 1);
      i = close == std::string_view::npos ? t.size() : close + 1;
    } else {
      while (i < t.size() && !IsWhite(t[i])) ++i;
    }
    const std::string_view value = t.substr(valueStart, i - valueStart);
    if (!name.empty() && !value.empty()) {
      Name = name;
      Value = value;
      return true;
    }
  }
  return false;
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
// Engine

TVoXMLEngine::TVoXMLEngine() : FRootItem(std::make_unique<TVoXMLItem>()) {}

TVoXMLEngine::~TVoXMLEngine() = default;

TVoXMLItem* TVoXMLEngine::FindItem(TVoXMLItem* Start, std::string_view Name) const {
  return (Start ? Start : FRootItem.get())->FindItem(Name);
}

}  // namespace gridlark
