#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "TestSupport.h"
#include "container/VoxXML.h"
#include "platform/Exceptions.h"

using namespace gridlark;

namespace {

std::string U8(WideStringView w) { return WideToUtf8(w); }

// The tree as text: kind, name, =value, ~untrimmed text, ^tail, {attribute
// text} and [children].
void DumpItem(const TVoXMLItem& item, std::string& out) {
  static const char kKinds[] = "TACD";
  out += kKinds[item.Kind];
  out += item.Name;
  // Appended piece by piece: "x" + std::string trips a false -Wrestrict in GCC 12.
  if (item.HasValue()) out.append("=").append(U8(item.ValueText()));
  if (!item.Text().empty()) out.append("~").append(U8(item.Text()));
  if (!item.Tail().empty()) out.append("^").append(U8(item.Tail()));
  if (!item.AttributesText.empty()) out += "{" + item.AttributesText + "}";
  if (!item.Items.Empty()) {
    out += "[";
    for (const auto& child : item.Items) DumpItem(*child, out);
    out += "]";
  }
  out += ";";
}

std::string Dump(const TVoXMLEngine& e) {
  std::string out;
  DumpItem(*e.RootItem(), out);
  return out;
}

std::string Parse(std::string_view xml, bool autoProcess = false) {
  TVoXMLEngine e;
  e.AttributesAutoProcess = autoProcess;
  e.ParseXML(xml);
  return Dump(e);
}

void Load(TVoXMLEngine& e, std::string_view bytes, int64_t size = 0) {
  TSpanStream s(std::span(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()));
  e.LoadXML(size, &s);
}

// Names of the elements closed, in order.
struct ClosedLog {
  std::string names;
  void Attach(TVoXMLEngine& e) {
    e.OnAfterTag = [this](TVoXMLEngine&, TVoXMLItem*& node, bool&) { names += node->Name + ","; };
  }
};

}  // namespace

TEST(XmlEngine, TreeShapeAndTextValues) {
  const std::string decl = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\r\n";
  struct Case {
    std::string xml, tree;
  } cases[] = {
      // Text after children joins the parent's trimmed value; the untrimmed
      // pieces stay as Text and Tail.
      {"<a> one <b>two</b> three </a>", "Ta=onethree~ one [Tb=two~two^ three ;];"},
      // The declaration is the root and never closes: the document nests in it.
      {decl + "<r><c/></r>",
       "T?xml~\r\n[Aversion=\"1.0\";Aencoding=\"UTF-8\";Astandalone=\"yes\";Tr[Tc;];];"},
      // Leading text and a byte-order mark are dropped.
      {"\xEF\xBB\xBF  <a>x</a>", "Ta=x~x;"},
      // Other declarations and processing instructions never close either.
      {"<!DOCTYPE x><?pi data?><a>t</a>", "T!DOCTYPE{ x}[T?pi{ data?}[Ta=t~t;];];"},
      // Comments and CDATA sections are items; the text after them belongs
      // to the enclosing element.
      {"<a><!-- note --> after <![CDATA[ <raw> ]]> tail</a>",
       "Ta=aftertail[C!--=!-- note --~!-- note --^ after ;D![CDATA[= <raw> ~ <raw> ^ tail;];"},
      {"<a><!--tight-->x</a>", "Ta=x[C!--tight--=!--tight--~!--tight--^x;];"},
      // Prefixed names are plain names.
      {"<x:sheetData><x:row/></x:sheetData>", "Tx:sheetData[Tx:row;];"},
      // An attribute text ends at '>', even inside quotes, but not at a '/'
      // inside either kind of quotes.
      {"<a href=\"x/y\" alt='p/q'>t</a>", "Ta=t~t{ href=\"x/y\" alt='p/q'};"},
      {"<a v=\"1>2\">t</a>", "Ta=2\">t~2\">t{ v=\"1};"},
      // Nothing after the document element of a document without a
      // declaration is read.
      {"<a>x</a><b>y</b><!-- c -->", "Ta=x~x;"},
      // Nothing but an element becomes the root.
      {"<!-- lead --><a>x</a>", "Ta=x~x;"},
      // A '<' followed by no name: its text goes to the open element.
      {"<a>x<>y</a>", "Ta=xy~xy;"},
      // A "/>" before any element is passed over.
      {"<>x/><a>y</a>", "Ta=y~y;"},
  };
  for (const auto& c : cases) EXPECT_EQ(Parse(c.xml), c.tree) << c.xml;
}

TEST(XmlEngine, EmptyDocumentElementAtTheVeryEndStaysOpen) {
  for (const auto& [xml, closed] : std::vector<std::pair<std::string, std::string>>{
           {"<a/>", ""}, {"<a/>\n", "a,"}, {"<r><a/></r>", "a,r,"}, {"<r><a/>", ""}, {"<r><a/>\x1b", ""}}) {
    TVoXMLEngine e;
    ClosedLog log;
    log.Attach(e);
    Load(e, xml);
    EXPECT_EQ(log.names, closed) << xml;
  }
}

TEST(XmlEngine, TextIsDecodedWithoutLoss) {
  const std::string cyr = "\xD0\x96";              // U+0416
  const std::string emoji = "\xF0\x9F\x8D\xA3";    // U+1F363
  const std::string eAcute1252 = "\xE9";           // é in the ANSI code page
  const std::string utf8Decl = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>";
  struct Case {
    std::string decl, body, attr, bodyText, attrText;
  } cases[] = {
      {utf8Decl, cyr + emoji, cyr, cyr + emoji, cyr},
      {"<?xml version=\"1.0\" encoding='utf-8'?>", cyr, emoji, cyr, emoji},
      // Without a declaration UTF-8 is read as UTF-8 and anything else as ANSI.
      {"", cyr + emoji, cyr, cyr + emoji, cyr},
      {"", eAcute1252, eAcute1252, "\xC3\xA9", "\xC3\xA9"},
      // A piece that is not UTF-8 in a UTF-8 document is read as ANSI.
      {utf8Decl, "caf" + eAcute1252, eAcute1252, "caf\xC3\xA9", "\xC3\xA9"},
      // Another declared encoding: every byte through the ANSI code page.
      {"<?xml version=\"1.0\" encoding=\"windows-1252\"?>", cyr, cyr, "\xC3\x90\xE2\x80\x93",
       "\xC3\x90\xE2\x80\x93"},
  };
  for (const auto& c : cases) {
    const std::string xml = c.decl + "<a n=\"" + c.attr + "\">" + c.body + "</a>";
    TVoXMLEngine e;
    Load(e, xml);
    TVoXMLItem* a = e.FindItem(nullptr, "a");
    ASSERT_TRUE(a) << xml;
    EXPECT_EQ(U8(a->ValueText()), c.bodyText) << xml;
    WideString v;
    ASSERT_TRUE(a->FindAttribute("n", v));
    EXPECT_EQ(U8(v), c.attrText) << xml;
    a->ProcessAttributes();
    EXPECT_EQ(U8(a->FindExact("n")->AttributeValue()), c.attrText) << xml;
  }
}

TEST(XmlEngine, Utf16DocumentsInEitherByteOrder) {
  const WideString text = u"<?xml version=\"1.0\" encoding=\"UTF-16\"?><a n=\"\u0416\">\u20ac \U0001F363</a>";
  for (bool big : {false, true}) {
    std::string bytes = big ? "\xFE\xFF" : "\xFF\xFE";
    for (char16_t u : text) {
      const char lo = char(u & 0xFF), hi = char(u >> 8);
      bytes += big ? std::string{hi, lo} : std::string{lo, hi};
    }
    bytes += big ? std::string("\0", 1) : std::string("");  // an odd trailing byte is no unit
    TVoXMLEngine e;
    Load(e, bytes);
    EXPECT_TRUE(e.Unicode());
    TVoXMLItem* a = e.FindItem(nullptr, "a");
    ASSERT_TRUE(a);
    EXPECT_EQ(a->ValueText(), u"\u20ac \U0001F363");
    WideString v;
    ASSERT_TRUE(a->FindAttribute("n", v));
    EXPECT_EQ(v, u"\u0416");
  }
}

TEST(XmlEngine, AttributesSplitIntoItems) {
  TVoXMLEngine e;
  e.ParseXML("<c r=\"A1\" s = '7' t=\"s\" flag name='two words' q=\"a&amp;b\" x=\"What?\"><v>1</v></c>");
  TVoXMLItem* c = e.RootItem();
  EXPECT_EQ(c->Items.Count(), 1);  // not split yet
  WideString v;
  ASSERT_TRUE(c->FindAttribute("s", v));
  EXPECT_EQ(v, u"7");
  c->ProcessAttributes();  // after the children read so far
  std::string names;
  for (const auto& item : c->Items) names += item->Name + "=" + U8(item->ValueText()) + ";";
  EXPECT_EQ(names, "v=1;r=\"A1\";s='7';t=\"s\";name='two words';q=\"a&amp;b\";x=\"What?\";");
  EXPECT_TRUE(c->AttributesText.empty());
  c->ProcessAttributes();  // a second call does nothing
  EXPECT_EQ(c->Items.Count(), 7);
  EXPECT_EQ(c->FindExact("name")->AttributeValue(), u"two words");
  EXPECT_EQ(c->FindExact("q")->AttributeValue(), u"a&b");
  EXPECT_EQ(c->FindExact("x")->AttributeValue(), u"What?");
  EXPECT_FALSE(c->FindAttribute("flag", v));
  EXPECT_EQ(c->FindItem("V")->ValueText(), u"1");
  EXPECT_EQ(c->FindExact("V"), nullptr);

  // Lookups by name: FindItem ignores the case of ASCII letters, FindExact
  // does not.
  TVoXMLEngine d;
  d.ParseXML("<?xml version=\"1.0\" encoding=\"UTF-8\"?><r/>");
  ASSERT_NE(d.FindItem(nullptr, "ENCODING"), nullptr);
  EXPECT_EQ(d.FindItem(nullptr, "ENCODING")->AttributeValue(), u"UTF-8");
  EXPECT_EQ(d.RootItem()->FindExact("Encoding"), nullptr);

  // Automatic splitting puts the attributes ahead of the children.
  EXPECT_EQ(Parse("<a k=\"1\"><b/>\n</a>", true), "Ta[Ak=\"1\";Tb^\n;];");
}

TEST(XmlEngine, AttributeValueRemovesOneLevelOfQuoting) {
  struct Case {
    std::u16string stored, value;
  } cases[] = {
      {u"\"ce1\" ", u"ce1"},      // a value with its separator
      {u"\"UTF-8\"?", u"UTF-8"},  // the last value of a declaration
      {u"'x'", u"x"},
      {u"\"a \"", u"a "},  // a matching pair goes, the blank inside stays
      {u"\"cut", u"cut"},
      {u"\"", u""},
      {u"plain &lt;text&gt;", u"plain <text>"},
      {u"", u""},
  };
  for (const auto& c : cases) {
    TVoXMLItem item;
    item.SetValue(c.stored);
    EXPECT_EQ(item.AttributeValue(), c.value) << U8(c.stored);
  }
}

TEST(XmlEngine, OnTagSeesTheTagAndRefusesSubtrees) {
  TVoXMLEngine e;
  std::string seen;
  e.OnTag = [&](TVoXMLEngine&, TVoXMLItem* parent, const TVoXMLTag& tag, bool& accept) {
    seen += std::string(tag.Name()) + "<" + parent->Name + ">[" + U8(tag.Value()) + "|" + U8(tag.Text()) + "|" +
            U8(tag.Attributes()) + "]";
    accept = tag.Name() != "skip" && tag.Kind() != xkComment;
  };
  ClosedLog log;
  log.Attach(e);
  e.ParseXML(
      "<root><t xml:space=\"preserve\"> a b </t>"
      "<skip x=\"1\">in<n>deep</n><!-- <x> --><?pi <y>?><![CDATA[<z>]]><e/></skip> kept "
      "<skip/> also <!-- c --> more <next>n</next></root>");
  EXPECT_EQ(seen,
            "t<root>[a b| a b | xml:space=\"preserve\"]skip<root>[in|in| x=\"1\"]skip<root>[||]"
            "!--<root>[!-- c --|!-- c --|]next<root>[n|n|]");
  EXPECT_EQ(Dump(e), "Troot=keptalsomore[Tt=a b~ a b ^ kept  also  more { xml:space=\"preserve\"};Tnext=n~n;];");
  EXPECT_EQ(log.names, "t,next,root,");
  // The text after the refused elements and the comment stays in order.
  EXPECT_EQ(U8(e.RootItem()->Items[0]->Tail()), " kept  also  more ");
}

TEST(XmlEngine, OnAfterTagFreesAndCancels) {
  TVoXMLEngine e;
  int rows = 0;
  e.OnAfterTag = [&](TVoXMLEngine&, TVoXMLItem*& node, bool& cancel) {
    if (node->Name == "row") {
      ++rows;
      TVoXMLItem::Free(node);
      EXPECT_EQ(node, nullptr);
    }
    cancel = rows == 2;
  };
  e.ParseXML("<sheet><row><c>1</c></row><row><c>2</c></row><row><c>3</c></row></sheet>");
  EXPECT_EQ(rows, 2);
  EXPECT_EQ(Dump(e), "Tsheet;");
  TVoXMLItem* root = e.RootItem();
  TVoXMLItem::Free(root);  // the root belongs to the engine
  EXPECT_EQ(root, nullptr);
  EXPECT_EQ(Dump(e), "Tsheet;");
}

TEST(XmlEngine, LoadXmlSizesMarksAndReloads) {
  TVoXMLEngine e;
  const std::string doc = "<a>x</a><b>tail</b>";
  Load(e, doc, 6);  // a non-zero size is where the document ends
  EXPECT_EQ(Dump(e), "Ta=x~x;");
  Load(e, "<b>y</b>");  // a second load starts from a fresh root
  EXPECT_EQ(Dump(e), "Tb=y~y;");
  Load(e, "<b>y\x1b");  // a trailing ESC is dropped
  EXPECT_EQ(Dump(e), "Tb=y~y;");
  Load(e, std::string("<b>y\0<c>z</c></b>", 17));  // a NUL ends the document
  EXPECT_EQ(Dump(e), "Tb=y~y;");
  e.LoadXML(0, nullptr);
  EXPECT_EQ(Dump(e), "T;");
  // A construct longer than the window may hold ends the document there.
  e.ReadChunk = 16;
  e.MaxConstruct = 64;
  Load(e, "<a><b>short</b><c>" + std::string(1000, 'x') + "</c><d/></a>");
  EXPECT_EQ(e.FindItem(nullptr, "b")->ValueText(), u"short");
  ASSERT_NE(e.FindItem(nullptr, "c"), nullptr);
  EXPECT_LT(e.FindItem(nullptr, "c")->ValueText().size(), 1000u);
  EXPECT_EQ(e.FindItem(nullptr, "d"), nullptr);
  e.ReadChunk = size_t(1) << 18;
  e.MaxConstruct = size_t(256) << 20;
  // A stream positioned past its start: the rest is the document.
  TSpanStream s(std::span(reinterpret_cast<const uint8_t*>(doc.data()), doc.size()));
  s.SetPosition(8);
  e.LoadXML(0, &s);
  EXPECT_EQ(Dump(e), "Tb=tail~tail;");
}

// Reading a document a few bytes at a time must give the same tree and
// events as parsing it whole, wherever the chunk boundaries fall.
TEST(XmlEngine, ChunkBoundariesDoNotChangeTheResult) {
  const std::vector<std::string> docs = {
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<worksheet><sheetData><row r=\"1\"><c r=\"A1\" t=\"s\"><v>0</v></c>"
      "<c r=\"B1\"><f>SUM(A1)</f><v>1.5</v></c></row></sheetData><skip a=\"/>\"><x>1</x><!-- > --></skip></worksheet>\n",
      "<a>\xD0\x96\xF0\x9F\x8D\xA3 x</a>",
      "<r><![CDATA[a]]b]]>t<!--c-->u<?p?><e/>v</r>",
      "<r><t>one</t>\t<u/><f></f>g<f>h</f>i</r>",
      "<r x='a/b' y=\"c/d\"/>",
  };
  for (const auto& doc : docs) {
    auto run = [&](size_t chunk, std::string& events) {
      TVoXMLEngine e;
      e.ReadChunk = chunk;
      e.OnTag = [&](TVoXMLEngine&, TVoXMLItem*, const TVoXMLTag& tag, bool& accept) {
        events += std::string(tag.Name()) + "=" + U8(tag.Text()) + ";";
        accept = tag.Name() != "skip" && tag.Name() != "f";
      };
      e.OnAfterTag = [&](TVoXMLEngine&, TVoXMLItem*& node, bool&) { events += "/" + node->Name + ";"; };
      if (chunk == 0) e.ParseXML(doc);
      else Load(e, doc);
      return Dump(e);
    };
    std::string wholeEvents;
    const std::string whole = run(0, wholeEvents);
    for (size_t chunk : {1, 2, 3, 5, 8, 13}) {
      std::string events;
      EXPECT_EQ(run(chunk, events), whole) << doc << " chunk " << chunk;
      EXPECT_EQ(events, wholeEvents) << doc << " chunk " << chunk;
    }
  }
}

TEST(XmlEngine, DeepNestingIsCappedAndFreedSafely) {
  std::string doc;
  const int depth = 200000;
  for (int i = 0; i < depth; ++i) doc += "<a>";
  doc += "x";
  TVoXMLEngine e;
  e.ParseXML(doc);
  int levels = 0;
  for (const TVoXMLItem* item = e.RootItem(); !item->Items.Empty(); item = item->Items[0]) ++levels;
  EXPECT_LE(levels, 512);
  EXPECT_GE(levels, 500);
  EXPECT_EQ(e.FindItem(nullptr, "b"), nullptr);

  // A deep tree built by hand is freed without recursion.
  TVoXMLItem root;
  TVoXMLItem* item = &root;
  for (int i = 0; i < depth; ++i) item = item->Items.AddItem(item);
  EXPECT_EQ(item->Level, depth);
  EXPECT_EQ(root.FindExact("none"), nullptr);
}
