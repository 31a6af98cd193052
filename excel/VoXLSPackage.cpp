// The OOXML package reader: opening the package (or refusing an encrypted
// one), the order in which its parts are read, the sheet list and how each
// sheet finds its worksheet part, shared strings, defined names, styles and
// the document properties.
#include <algorithm>

#include "container/OleStorage.h"
#include "container/VoxXML.h"
#include "container/VoxZipFile.h"
#include "excel/VoXLS.h"
#include "excel/VoXLSScan.h"
#include "platform/NumberText.h"
#include "platform/Streams.h"

namespace gridlark {
namespace {

// Element names are compared exactly; these parts are read with and without
// the "x:" prefix some producers write.
bool IsName(std::string_view name, std::string_view plain) {
  return name == plain || (name.size() == plain.size() + 2 && name.starts_with("x:") && name.substr(2) == plain);
}

bool IsAnyOf(std::string_view name, std::initializer_list<std::string_view> names) {
  return std::find(names.begin(), names.end(), name) != names.end();
}

std::string Decimal(int64_t n) { return std::to_string(n); }

// The value of an attribute as an integer; the fallback when it is absent
// or no integer.
int32_t IntAttribute(const TVoXMLItem& item, std::string_view name, int32_t fallback) {
  WideString text;
  int32_t value;
  return item.FindAttribute(name, text) && TryStrToInt(Trim(text), value) ? value : fallback;
}

}  // namespace

void DecodeXStringEscapes(WideString& Text) {
  size_t at = Text.find(u"_x");
  if (at == WideString::npos) return;
  const auto hex = [](char16_t c) -> int {
    if (c >= u'0' && c <= u'9') return c - u'0';
    if (c >= u'a' && c <= u'f') return c - u'a' + 10;
    if (c >= u'A' && c <= u'F') return c - u'A' + 10;
    return -1;
  };
  WideString out(Text, 0, at);
  size_t i = at;
  while (i < Text.size()) {
    if (Text[i] == u'_' && i + 6 < Text.size() && Text[i + 1] == u'x' && Text[i + 6] == u'_') {
      int value = 0;
      bool ok = true;
      for (size_t k = 2; k < 6 && ok; ++k) {
        const int d = hex(Text[i + k]);
        ok = d >= 0;
        value = value * 16 + d;
      }
      if (ok) {
        out.push_back(char16_t(value));
        i += 7;
        continue;
      }
    }
    out.push_back(Text[i++]);
  }
  Text = std::move(out);
}

TMSExcelX::TMSExcelX() { Version = evExcel12; }

TMSExcelX::~TMSExcelX() = default;

void TMSExcelX::Load() {
  TCustomMSExcel::Load();
  Encrypted = false;
  DateBase = 0;
  FormulaTexts.clear();
  formulaBlocks_.clear();
  formulaUsed_ = formulaRoom_ = 0;
  DefinedNameFormulas.clear();
  Fonts.clear();
  sharedValues_.clear();
  rels_.clear();
  relsRead_ = false;
}

void TMSExcelX::LoadFromFile(const std::string& Name) {
  TSpreadSheetFile::LoadFromFile(Name);
  const std::string ext = UpperAscii(ExtractFileExt(FileName));
  Version = (ext == ".XLSB" || ext == ".XLTB" || ext == ".XLAB") ? evExcel12Bin : evExcel12;
  if (StgIsStorageFile(FileName)) {
    // Excel keeps an encrypted package inside a compound document.
    CheckEncryptedPackage(*StgOpenStorage(FileName));
    return;
  }
  TFileStream stream(FileName);
  stream.SetPosition(0);
  ReadStream(stream);
}

void TMSExcelX::CheckEncryptedPackage(const IStorage& Root) {
  // A compound document without the encryption header is no package (an
  // .xls workbook under a package's name, say): say so rather than show an
  // empty sheet.
  if (!Root.OpenStream(u"EncryptionInfo")) throw EVoxFileFormatException(msg::InvalidFileFormat);
  Encrypted = true;
  RequestPassword();
  throw EVoxUnknownEncryptionException(msg::UnknownEncryption);
}

void TMSExcelX::ReadStream(TStream& Stream) {
  TCustomMSExcel::ReadStream(Stream);
  SummaryInformation.Clear();
  AddBuiltInFormats();
  // The archive and the relationships live for this call only.
  struct Release {
    TMSExcelX& x;
    ~Release() {
      x.zip_.reset();
      x.rels_.clear();
      x.relsRead_ = false;
    }
  } release{*this};
  zip_ = std::make_unique<TZipArchive>();
  zip_->ReadFromStream(Stream);
  // Not a ZIP archive at all (or an empty one): no package to show.
  if (zip_->Count() == 0) throw EVoxFileFormatException(msg::InvalidFileFormat);
  FindWorkbookPart();
  if (HasParseItem(ipiSummaryInformation)) {
    ReadSummary("docProps/app.xml");
    ReadSummary("docProps/core.xml");
  }
  if (HasParseItem(ipiText)) {
    ReadSheetList();
    ReadSharedStrings();
    if (Version != evExcel12Bin) ReadDefinedNames();
    ReadStyles();
    ReadSheets();
  }
}

void TMSExcelX::ParsePart(std::string_view PartName, TVoXMLEngine& Engine) {
  std::string data;
  zip_->ExtractFileByName(PartName, data);
  Engine.ParseXML(data);
}

void TMSExcelX::ReadBinaryPart(std::string_view) { throw EVoxFileFormatException(msg::BinaryPartsNotSupported); }

// ---------------------------------------------------------------------------
// Where the workbook part is

void TMSExcelX::FindWorkbookPart() {
  base_ = "xl/";
  workbookPart_ = "xl/workbook.xml";
  if (Version == evExcel12Bin || zip_->IndexOfFile(workbookPart_) >= 0) return;
  // Some producers put the workbook elsewhere; the package relationships
  // name it as the office document.
  std::string target;
  TVoXMLEngine engine;
  engine.OnTag = [&](TVoXMLEngine&, TVoXMLItem*, const TVoXMLTag& Tag, bool& Accept) {
    if (!SameTextAscii(Tag.Name(), "Relationship")) return;
    Accept = false;
    WideString type, to;
    if (target.empty() && Tag.FindAttribute("Type", type) && Tag.FindAttribute("Target", to) &&
        type.ends_with(u"/officeDocument"))
      target = WideToUtf8(to);
  };
  ParsePart("_rels/.rels", engine);
  if (!target.empty() && target.front() == '/') target.erase(0, 1);
  if (target.empty() || zip_->IndexOfFile(target) < 0) return;
  workbookPart_ = target;
  base_ = target.substr(0, target.rfind('/') + 1);
}

// ---------------------------------------------------------------------------
// Document properties

void TMSExcelX::ReadSummary(std::string_view PartName) {
  // Each element hands its name and text to the properties as it closes,
  // and leaves the tree.
  const auto take = [this](const TVoXMLItem& item) {
    WideString text(item.ValueText());
    DecodeHtmlEntities(text);
    try {
      SummaryInformation.SetPropertyByName(AnsiToWide(item.Name), text);
    } catch (const std::exception&) {
      // A date the calendar lacks loses that property only.
    }
  };
  TVoXMLEngine engine;
  engine.OnAfterTag = [&](TVoXMLEngine&, TVoXMLItem*& Node, bool&) {
    take(*Node);
    if (Node->Parent) TVoXMLItem::Free(Node);
  };
  ParsePart(PartName, engine);
}

// ---------------------------------------------------------------------------
// Sheet list

void TMSExcelX::ReadSheetList() {
  if (Version == evExcel12Bin) {
    ReadBinaryPart("xl/workbook.bin");
  } else {
    TVoXMLEngine engine;
    engine.OnTag = [this](TVoXMLEngine&, TVoXMLItem* Parent, const TVoXMLTag& Tag, bool& Accept) {
      SheetListTag(Parent, Tag, Accept);
    };
    ParsePart(workbookPart_, engine);
  }
  if (SheetNames.Count() == 0) {
    TVoXMLEngine engine;
    engine.OnTag = [this](TVoXMLEngine&, TVoXMLItem* Parent, const TVoXMLTag& Tag, bool& Accept) {
      SheetListTag(Parent, Tag, Accept);
    };
    ParsePart("docProps/app.xml", engine);
  }
  if (SheetNames.Count() == 0)
    for (int i = 1; i <= 3; ++i) SheetNames.Add(kSheetCaptionPrefix + AnsiToWide(Decimal(i)));
}

void TMSExcelX::SheetListTag(TVoXMLItem* ParentNode, const TVoXMLTag& Tag, bool& Accept) {
  const std::string_view name = Tag.Name();
  const std::string_view parent = ParentNode->Name;
  if ((name == "sheet" && (parent == "sheets" || parent == "workbook")) ||
      (name == "x:sheet" && (parent == "x:sheets" || parent == "x:workbook"))) {
    WideString sheetName;
    if (!Tag.FindAttribute("name", sheetName)) return;
    // The relationship id: "r:id", or the same attribute under another prefix.
    WideString id;
    TXMLAttributeReader reader(Tag.RawAttributes());
    std::string_view attr, value;
    while (reader.Next(attr, value)) {
      if (attr == "r:id" || (attr.ends_with(":id") && attr.size() > 3)) {
        Tag.FindAttribute(attr, id);
        break;
      }
    }
    if (SheetNames.Count() < kMaxStoreSheets) SheetNames.Add(u"!" + id + u"!=" + sheetName);
    Accept = false;
    return;
  }
  if ((name == "name" && parent == "sheet") || (name == "vt:lpstr" && parent == "vt:vector")) {
    WideString text = Tag.Value();
    DecodeHtmlEntities(text);
    if (SheetNames.Count() < kMaxStoreSheets) SheetNames.Add(text);
    Accept = false;
    return;
  }
  if (IsName(name, "workbookPr")) {
    // Workbooks in the 1904 date system count their serials from 1904-01-01.
    WideString flag;
    if (Tag.FindAttribute("date1904", flag)) {
      flag = Trim(flag);
      DateBase = (flag == u"1" || SameTextAscii(flag, u"true")) ? 1462 : 0;
    }
    Accept = false;
    return;
  }
  Accept = IsAnyOf(name, {"workbook", "x:workbook", "sheets", "x:sheets", "sheet", "x:sheet", "Properties",
                          "TitlesOfParts", "vt:vector"});
}

// ---------------------------------------------------------------------------
// Shared strings

void TMSExcelX::ReadSharedStrings() {
  if (Version == evExcel12Bin) {
    ReadBinaryPart("xl/sharedStrings.bin");
    return;
  }
  // One entry per item, also for an item without text, so that the indexes
  // of the cells keep pointing at their own strings. The text of an item is
  // its texts joined exactly as written, white space included, in plain
  // items and in runs; phonetic runs and run properties are passed over.
  struct Parser {
    TMSExcelX& x;
    enum Kind : uint8_t { kItem, kRun, kText, kRoot };
    std::vector<Kind> stack;
    bool escapes = false;  // the item's text may hold "_x" escapes
    void Declaration(std::string_view attributes) {
      TXMLAttributeReader reader(attributes);
      std::string_view name, value;
      while (reader.Next(name, value)) {
        if (name != "encoding") continue;
        const WideString encoding = UnquoteAttributeValue(AnsiToWide(value));
        x.ansiText_ = !encoding.empty() && !SameTextAscii(encoding, u"utf-8");
      }
    }
    bool Tag(std::string_view name, std::string_view attributes, bool& collect) {
      return SharedStringTag(name, attributes, collect);
    }
    void AfterTag(std::string_view text) { SharedStringAfterTag(text); }
    // A plain item, <si><t>text</t></si>, at once.
    bool ShortValueAllowed(std::string_view& open, std::string_view& close) const {
      open = "<t>";
      close = "</t></si>";
      return !stack.empty() && stack.back() == kItem;
    }
    // Plain items, <si><t>text</t></si> with any attributes and blanks
    // between the elements, and empty ones, one after the other; anything
    // else goes the step-by-step way. A zero byte follows End (see
    // TPartScanner), so bytes are matched up to the first mismatch.
    const char* Elements(const char* at, const char* end, int64_t& depth) {
      using Scanner = TPartScanner<Parser>;
      if (stack.empty() || depth + 4 >= Scanner::kMaxDepth) return at;
      const auto unprefixed = Scanner::Unprefixed;
      const auto skipText = Scanner::SkipText;
      const auto pastEndTag = Scanner::PastEndTag;
      const char* p = at;
      for (;;) {
        const char* n = unprefixed(p + 1);
        if (n[0] != 's' || n[1] != 'i' || Scanner::IsNameByte(n[2])) return p;
        const char* gt = Scanner::TagEnd(n + 2, end);
        if (!gt) return p;
        std::string_view text;
        const char* next;
        if (gt > n + 2 && gt[-1] == '/') {
          next = gt + 1;
        } else {
          const char* q = skipText(gt + 1);
          if (*q == 0 || q[1] == '/') return p;
          const char* t = unprefixed(q + 1);
          if (t[0] != 't' || Scanner::IsNameByte(t[1])) return p;
          const char* tagEnd = t[1] == '>' ? t + 1 : Scanner::TagEnd(t + 1, end);
          if (!tagEnd) return p;
          if (tagEnd[-1] != '/') {
            const char* from = tagEnd + 1;
            q = skipText(from);
            if (*q == 0 || q[1] != '/') return p;
            text = std::string_view(from, size_t(q - from));
            tagEnd = pastEndTag(q);
            if (!tagEnd) return p;
            --tagEnd;
          }
          q = skipText(tagEnd + 1);
          if (*q == 0 || q[1] != '/') return p;
          next = pastEndTag(q);
          if (!next) return p;
        }
        x.scratch_.clear();
        escapes = x.AppendDecodedText(text, x.scratch_);
        EndItem();
        p = skipText(next);
        if (*p == 0) return p;
      }
    }
    void ShortValue(std::string_view text) {
      stack.push_back(kText);
      SharedStringAfterTag(text);
      SharedStringAfterTag({});
    }
    bool SharedStringTag(std::string_view name, std::string_view, bool& collect) {
      if (stack.empty()) {
        stack.push_back(kRoot);
        return true;
      }
      if (IsName(name, "si") || IsName(name, "sstItem")) {
        x.scratch_.clear();
        escapes = false;
        stack.push_back(kItem);
      } else if (IsName(name, "r")) {
        stack.push_back(kRun);
      } else if (IsName(name, "t") && (stack.back() == kItem || stack.back() == kRun)) {
        collect = true;
        stack.push_back(kText);
      } else {
        return false;
      }
      return true;
    }
    void SharedStringAfterTag(std::string_view text) {
      if (stack.empty()) return;
      const Kind kind = stack.back();
      stack.pop_back();
      if (kind == kText) {
        escapes |= x.AppendDecodedText(text, x.scratch_);
      } else if (kind == kItem) {
        EndItem();
      }
    }
    // The item in scratch_ is complete.
    void EndItem() {
      if (escapes) DecodeXStringEscapes(x.scratch_);
      x.SharedStrings.Add(x.scratch_);
      x.sharedValues_.emplace_back(WideStringView(x.scratch_));
      x.scratch_.clear();
      escapes = false;
    }
  } parser{*this, {}, false};
  std::string data;
  zip_->ExtractFileByName(base_ + "sharedStrings.xml", data);
  ansiText_ = false;
  scratch_.clear();
  TPartScanner<Parser>(parser, data).Run();
  scratch_.clear();
}

// ---------------------------------------------------------------------------
// Defined names

void TMSExcelX::ReadDefinedNames() {
  TVoXMLEngine engine;
  engine.OnTag = [this](TVoXMLEngine&, TVoXMLItem* Parent, const TVoXMLTag& Tag, bool& Accept) {
    const std::string_view name = Tag.Name();
    if (IsName(name, "definedName") && IsName(Parent->Name, "definedNames")) {
      WideString text;
      if (Tag.FindAttribute("name", text)) {
        TXLSName& entry = DefinedNames.emplace_back();
        entry.Name = WideToAnsi(text);
        WideString formula = Tag.Value();
        DecodeHtmlEntities(formula);
        DefinedNameFormulas.push_back(std::move(formula));
      }
      Accept = false;
      return;
    }
    Accept = IsName(name, "workbook") || IsName(name, "definedNames");
  };
  ParsePart(workbookPart_, engine);
}

// ---------------------------------------------------------------------------
// Styles

void TMSExcelX::ReadStyles() {
  if (Version == evExcel12Bin) {
    ReadBinaryPart("xl/styles.bin");
    return;
  }
  // Fonts, number formats and cell formats (not the style formats) are
  // taken as they close, in document order: the n-th cell format is the
  // style index n of the cells. Other branches are never built.
  const auto plain = [](std::string_view n) { return n.starts_with("x:") ? n.substr(2) : n; };
  TVoXMLEngine engine;
  engine.OnTag = [&](TVoXMLEngine&, TVoXMLItem* Parent, const TVoXMLTag& Tag, bool& Accept) {
    const std::string_view name = plain(Tag.Name());
    Accept = plain(Parent->Name) == "font" ||
             IsAnyOf(name, {"styleSheet", "numFmts", "numFmt", "fonts", "font", "cellXfs", "xf"});
  };
  // Excel allows 64,000 cell formats and 512 fonts; more than this is no
  // workbook's.
  constexpr size_t kMaxFormats = size_t(1) << 20;
  engine.OnAfterTag = [&](TVoXMLEngine&, TVoXMLItem*& Node, bool&) {
    if (!Node->Parent) return;
    const std::string_view name = plain(Node->Name);
    const std::string_view parent = plain(Node->Parent->Name);
    if (name == "font" && parent == "fonts") {
      if (Fonts.size() < kMaxFormats) {
        TXLSXFont& font = Fonts.emplace_back();
        for (const auto& child : Node->Items) {
          const std::string_view c = plain(child->Name);
          if (c == "name") child->FindAttribute("val", font.Name);
          else if (c == "sz") font.Size = IntAttribute(*child, "val", 0);
          else if (c == "b") font.Bold = true;
          else if (c == "i") font.Italic = true;
          else if (c == "u" || c == "underline") font.Underline = true;
          else if (c == "strike") font.StrikeOut = true;
          else if (c == "color") font.ColorIndex = IntAttribute(*child, "indexed", -1);
        }
      }
    } else if (name == "xf" && parent == "cellXfs") {
      if (XFList.size() < kMaxFormats)
        AddFormat(false, "", IntAttribute(*Node, "numFmtId", 0), IntAttribute(*Node, "fontId", 0), -1, 0);
    } else if (name == "numFmt" && parent == "numFmts") {
      WideString code;
      Node->FindAttribute("formatCode", code);
      AddFormat(true, WideToAnsi(code), IntAttribute(*Node, "numFmtId", 0), 0, -1, 0);
    } else {
      return;
    }
    TVoXMLItem::Free(Node);
  };
  ParsePart(base_ + "styles.xml", engine);
}

// ---------------------------------------------------------------------------
// The sheet loop

std::string TMSExcelX::ResolveSheetTarget(const WideString& Id) {
  if (!relsRead_) {
    // Read once per load, not once per sheet.
    relsRead_ = true;
    const size_t slash = workbookPart_.rfind('/') + 1;
    const std::string relsPart =
        workbookPart_.substr(0, slash) + "_rels/" + workbookPart_.substr(slash) + ".rels";
    TVoXMLEngine engine;
    engine.OnTag = [this](TVoXMLEngine&, TVoXMLItem* Parent, const TVoXMLTag& Tag, bool& Accept) {
      if (!SameTextAscii(Tag.Name(), "Relationship")) return;
      Accept = false;
      WideString id, target;
      if (!SameTextAscii(Parent->Name, "Relationships") || !Tag.FindAttribute("Id", id)) return;
      Tag.FindAttribute("Target", target);
      std::string path = WideToUtf8(target);
      if (!path.empty() && path.front() == '/') path.erase(0, 1);
      rels_.emplace(UpperAscii(id), std::move(path));  // the first of equal ids wins
    };
    ParsePart(relsPart, engine);
  }
  const auto it = rels_.find(UpperAscii(Id));
  return it == rels_.end() ? std::string() : it->second;
}

void TMSExcelX::ReadSheets() {
  const int count = SheetNames.Count();
  for (int i = 0; i < count; ++i) {
    WideString caption = SheetNames.Get(i);
    WideString id;
    if (!caption.empty() && caption[0] == u'!') {
      const size_t p = caption.find(u"!=");
      if (p != WideString::npos && p > 0) {
        id = caption.substr(1, p - 1);
        caption.erase(0, p + 2);
      }
    }
    bool skip = false;
    if (OnSheet) OnSheet(this, caption, i, skip);
    if (skip) continue;
    const std::string number = Decimal(int64_t(i) + 1);
    const std::string part = id.empty() ? base_ + "worksheets/sheet" + number + ".xml" : ResolveSheetTarget(id);
    CurrentSheet = i;
    if (Version == evExcel12Bin) {
      ReadBinaryPart("xl/worksheets/sheet" + number + ".bin");
      continue;
    }
    int entry = zip_->IndexOfFile(part);
    if (entry < 0 && !part.starts_with(base_)) entry = zip_->IndexOfFile(base_ + part);
    if (entry < 0) entry = zip_->IndexOfFile(base_ + "sheet" + number + ".xml");
    if (entry >= 0) ReadWorksheet(i, entry);
  }
}

}  // namespace gridlark
