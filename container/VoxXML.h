// A small, forgiving XML reader that turns a document into a tree of items.
// It is not validating and not namespace-aware: names are compared as plain
// text with their prefixes ("table:table-cell", "x:row"), end tags are not
// matched against start tags, and only elements, attributes, comments, CDATA
// sections, declarations and processing instructions are recognised.
//
// Two events let a caller refuse elements before any item is made for them
// (OnTag) and process and free finished elements while the document is still
// being read (OnAfterTag). The document is read in one pass from its stream
// in chunks, so a large worksheet part is never held whole in memory.
//
// A tree costs many times the size of its text (an item per element and per
// split attribute), so readers of large parts refuse what they do not need
// in OnTag and free rows and cells in OnAfterTag; reading a cell's
// attributes with TXMLAttributeReader over its AttributesText avoids making
// attribute items at all.
//
// Text is kept without loss. Names and attribute texts are byte strings in
// UTF-8; values are wide text. A document declared as UTF-8, or without a
// declaration, is decoded as UTF-8 piece by piece, and a piece that is not
// well-formed UTF-8 is read in the ANSI code page, as is every piece of a
// document that declares another encoding. UTF-16 documents (with a
// byte-order mark) are read in full. Entity and character references are
// left in element text; AttributeValue decodes them.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/AnsiText.h"
#include "platform/Classes.h"
#include "platform/Streams.h"
#include "platform/Variant.h"

namespace gridlark {

enum TVoXMLItemKind : uint8_t { xkTag = 0, xkAttribute = 1, xkComment = 2, xkCData = 3 };

class TVoXMLItem;
class TVoXMLEngine;
class TVoXMLParser;

// The child items of an item, owned, in the order they were added.
class TVoXMLItems {
 public:
  TVoXMLItems() = default;
  ~TVoXMLItems();
  TVoXMLItems(const TVoXMLItems&) = delete;
  TVoXMLItems& operator=(const TVoXMLItems&) = delete;

  // Appends a new item whose parent is Parent (its Level one more).
  TVoXMLItem* AddItem(TVoXMLItem* Parent);
  // Frees every item, the last first.
  void Clear();
  int Count() const { return int(FItems.size()); }
  bool Empty() const { return FItems.empty(); }
  // Raises EListError for an index outside the list.
  TVoXMLItem* Items(int Index) const;
  TVoXMLItem* operator[](int Index) const { return Items(Index); }
  TVoXMLItem* Last() const { return FItems.empty() ? nullptr : FItems.back().get(); }

  using List = std::vector<std::unique_ptr<TVoXMLItem>>;
  List::const_iterator begin() const { return FItems.begin(); }
  List::const_iterator end() const { return FItems.end(); }

 private:
  friend class TVoXMLItem;
  List FItems;
  // The item last freed from this list, emptied and kept for the next
  // AddItem: a worksheet makes and frees an item for every cell.
  std::unique_ptr<TVoXMLItem> FSpare;
};

// One tag, attribute, comment or CDATA section of a document.
class TVoXMLItem {
 public:
  explicit TVoXMLItem(TVoXMLItem* Parent = nullptr);
  ~TVoXMLItem();
  TVoXMLItem(const TVoXMLItem&) = delete;
  TVoXMLItem& operator=(const TVoXMLItem&) = delete;

  TVoXMLItemKind Kind = xkTag;
  // The tag or attribute name exactly as in the document, prefix included
  // ("table:name", "?xml", "![CDATA[", "!--").
  std::string Name;
  // The raw attribute text of a tag (UTF-8) until ProcessAttributes splits it.
  std::string AttributesText;
  // 0 for an item without a parent, otherwise the parent's Level plus 1.
  int32_t Level = 0;
  TVoXMLItems Items;
  TVoXMLItem* Parent = nullptr;  // not owned

  // The value: unassigned until text arrives. For a tag, the trimmed text
  // after its start tag followed by the trimmed text after each child's end
  // tag; for an attribute, the value as written with its quotes; for a
  // comment, "!--", its text and "--"; for a CDATA section, its content.
  bool HasValue() const;
  Variant Value() const;            // Empty when unassigned, else wide text
  WideStringView ValueText() const;  // empty when unassigned
  void SetValue(WideStringView Text);
  // Appends a piece of text to the value; nothing for an empty piece.
  void AppendValue(WideStringView Text);

  // The untrimmed text of a tag between its start tag and its first child
  // (or its end tag), and the untrimmed text after its end tag up to the
  // next tag. Together they give an element's text with its white space and
  // in document order: Text, then each child's content and Tail.
  WideStringView Text() const;
  WideStringView Tail() const;
  void AppendText(WideStringView Piece);
  void AppendTail(WideStringView Piece);

  // Splits AttributesText into xkAttribute child items (appended to Items)
  // and empties it; a second call does nothing.
  void ProcessAttributes();
  // The value with one level of quoting removed and entity and character
  // references decoded.
  WideString AttributeValue() const;
  // The AttributeValue of this tag's attribute Name (compared exactly),
  // whether or not its attributes were split; false when it has none.
  bool FindAttribute(std::string_view AttrName, WideString& Value) const;
  // Pre-order search of this item and its subtree: names compared byte for
  // byte (FindExact) or with ASCII letters in any case (FindItem).
  TVoXMLItem* FindExact(std::string_view ItemName);
  TVoXMLItem* FindItem(std::string_view ItemName);

  // Frees an item with its subtree, removes it from its parent's Items and
  // sets the pointer to nullptr. An item without a parent (the engine's
  // RootItem) belongs to its owner: only the pointer is cleared.
  static void Free(TVoXMLItem*& Item);

 private:
  friend class TVoXMLParser;
  friend class TVoXMLEngine;
  // The texts in one block: the untrimmed text, the tail, then the value
  // unless it is the text itself (the common case of one text piece without
  // surrounding blanks, kept once).
  struct TextData {
    WideString Buf;
    size_t TextLen = 0, TailLen = 0;
    bool HasValue = false, ValueIsText = false;
  };
  TextData& Data();
  void SeparateValue();
  // The first piece of text of a new item: Text, and Value trimmed.
  void StartText(WideStringView Piece, WideStringView Trimmed);
  void Reset();
  // Empties the item for reuse, keeping the capacity of its texts.
  void Recycle();
  // Appends the attribute items of an attribute text in UTF-8.
  void SplitAttributes(std::string_view Utf8Text);
  std::unique_ptr<TextData> FText;  // made when the first text arrives
};

// What OnTag sees of a tag, a comment or a CDATA section before an item is
// made for it. The texts are decoded on first use; the object and what it
// returns are valid only during the event.
class TVoXMLTag {
 public:
  TVoXMLItemKind Kind() const { return FKind; }
  std::string_view Name() const { return FName; }
  // The trimmed text after the start tag, up to the next tag (for comments
  // and CDATA sections, their value).
  const WideString& Value() const;
  // The same text untrimmed.
  const WideString& Text() const;
  // The raw attribute text.
  const WideString& Attributes() const;
  // The attribute text as it stands in the document, undecoded, for callers
  // that read ASCII attributes at speed (with TXMLAttributeReader).
  std::string_view RawAttributes() const { return FRawAttributes; }
  // The AttributeValue of the attribute Name (compared exactly); false when
  // the tag has none.
  bool FindAttribute(std::string_view AttrName, WideString& Value) const;

 private:
  friend class TVoXMLParser;
  TVoXMLItemKind FKind = xkTag;
  uint8_t FMode = 0;
  std::string_view FName, FRawText, FRawAttributes;
  mutable bool FHaveText = false, FHaveValue = false, FHaveAttributes = false;
  mutable WideString FText, FValue, FAttributes;
};

// Raised before an item is made for a tag (not for the first tag of a
// document, which becomes RootItem). ParentNode is the open item the tag
// would be added to; Accept comes in True, and False drops the tag with its
// subtree.
using TVoxXMLOnTagEvent =
    std::function<void(TVoXMLEngine& Sender, TVoXMLItem* ParentNode, const TVoXMLTag& Tag, bool& Accept)>;
// Raised after an element was closed. The handler may free the node
// (TVoXMLItem::Free) or any other finished item, but no open one; Cancel
// ends the parse, keeping the items read so far.
using TVoxXMLOnAfterTagEvent = std::function<void(TVoXMLEngine& Sender, TVoXMLItem*& Node, bool& Cancel)>;

class TVoXMLEngine : public TComponent {
 public:
  TVoXMLEngine();
  ~TVoXMLEngine() override;

  // Root of the tree: the first tag of the document (its XML declaration,
  // under which the document element then nests). Owned by the engine.
  TVoXMLItem* RootItem() const { return FRootItem.get(); }
  // When True, each tag's attributes are split into items as it is read.
  bool AttributesAutoProcess = false;
  // Bytes LoadXML asks its stream for at a time (more while one construct
  // is longer).
  size_t ReadChunk = size_t(1) << 18;
  // The longest single construct (a text, a comment, an attribute text)
  // LoadXML holds; a document whose construct runs longer is taken to end
  // there, so that no inflated part can make the window grow without bound.
  size_t MaxConstruct = size_t(256) << 20;
  TVoxXMLOnTagEvent OnTag;
  TVoxXMLOnAfterTagEvent OnAfterTag;

  // Reads a document from the stream and parses it into the tree, after
  // freeing the previous tree. Size 0 reads to the end of the stream and
  // looks for a UTF-16 byte-order mark; a non-zero Size is the stream
  // position at which the document ends (the uncompressed size of a ZIP
  // entry read through its decompression stream).
  void LoadXML(int64_t Size, TStream* Stream);
  // Parses the bytes into the tree below RootItem.
  void ParseXML(std::string_view Data);
  // FindItem from Start, or from RootItem when Start is nullptr.
  TVoXMLItem* FindItem(TVoXMLItem* Start, std::string_view Name) const;

  // True when the last document was read from UTF-16.
  bool Unicode() const { return FUnicode; }

 private:
  friend class TVoXMLParser;
  std::unique_ptr<TVoXMLItem> FRootItem;
  bool FUnicode = false;
};

// Walks the name=value pairs of an attribute text in order. A value is
// quoted (with either quote, up to the same quote) or runs to the next white
// space; blanks may stand around "=". A name without a value is passed over.
class TXMLAttributeReader {
 public:
  explicit TXMLAttributeReader(std::string_view Text) : FText(Text) {}
  // The next pair, its value as written (quotes included); false at the end.
  bool Next(std::string_view& Name, std::string_view& Value);
  // A value of a stored attribute text (UTF-8) as AttributeValue gives it.
  static void ValueText(std::string_view Raw, WideString& Out);

 private:
  std::string_view FText;
  size_t FPos = 0;
};

// The AttributeValue rule on a text: when it starts with a quote, a matching
// closing quote is removed with it, or else trailing blanks, "?" and copies
// of the quote are; then references are decoded.
WideString UnquoteAttributeValue(WideStringView Value);

}  // namespace gridlark
