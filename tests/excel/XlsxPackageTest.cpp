// The .xlsx package: which parts are read, the sheet list and how sheets find
// their worksheet parts, document properties, and the files that are no
// readable package.
#include <gtest/gtest.h>

#include "../container/CompoundWriter.h"
#include "../container/ZipBuilder.h"
#include "TestSupport.h"
#include "container/VoxZipFile.h"
#include "XlsxPackage.h"

namespace gridlark::test {
namespace {

const std::string kRelsHead =
    "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
    "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">";
const std::string kSheetRel = "Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/worksheet\"";

std::string Rel(const std::string& id, const std::string& target) {
  return "<Relationship Id=\"" + id + "\" " + kSheetRel + " Target=\"" + target + "\"/>";
}

std::string OneCell(const std::string& text) {
  return Worksheet("<row r=\"1\"><c r=\"A1\" t=\"inlineStr\"><is><t>" + text + "</t></is></c></row>");
}

std::vector<std::u16string> Captions(const TMSExcelX& x) {
  std::vector<std::u16string> out;
  for (int i = 0; i < x.Sheets.Count(); ++i) out.push_back(x.Sheets.Items(i).Caption);
  return out;
}

TEST(XlsxPackage, SheetsFindTheirPartsThroughRelationships) {
  // Listed in another order than their files; one target absolute; a chart
  // sheet; a sheet whose id matches nothing falls back to its position.
  const auto x = LoadPackage(Package({
      {"xl/workbook.xml",
       "<workbook xmlns:r=\"r\"><sheets><sheet name=\"First\" sheetId=\"1\" r:id=\"rId2\"/>"
       "<sheet name=\"Second\" sheetId=\"2\" r:id=\"rId1\"/><sheet name=\"R&amp;D &amp;#38;\" r:id=\"rId3\"/>"
       "<sheet name=\"Chart\" r:id=\"rId4\"/><sheet name=\"Lost\" r:id=\"rId9\"/></sheets></workbook>"},
      {"xl/_rels/workbook.xml.rels", kRelsHead + Rel("rId1", "worksheets/sheet1.xml") +
                                         Rel("RID2", "worksheets/sheet2.xml") + Rel("rId3", "/xl/data/third.xml") +
                                         Rel("rId4", "chartsheets/sheet1.xml") + "</Relationships>"},
      {"xl/worksheets/sheet1.xml", OneCell("one")},
      {"xl/worksheets/sheet2.xml", OneCell("two")},
      {"xl/data/third.xml", OneCell("three")},
      {"xl/chartsheets/sheet1.xml", "<chartsheet><sheetPr/><drawing r:id=\"rId1\"/></chartsheet>"},
      {"xl/sheet5.xml", OneCell("five")},
  }));
  EXPECT_EQ(Captions(*x), (std::vector<std::u16string>{u"First", u"Second", u"R&D &#38;", u"Chart", u"Lost"}));
  EXPECT_EQ(Cell(*x, 0, 0, 0), "two");
  EXPECT_EQ(Cell(*x, 0, 0, 1), "one");
  EXPECT_EQ(Cell(*x, 0, 0, 2), "three");
  EXPECT_EQ(x->Sheets.Items(3).Cells.RowCount, 0);
  EXPECT_EQ(Cell(*x, 0, 0, 4), "five");
  EXPECT_EQ(x->SheetNames.Get(0), u"!rId2!=First");
}

TEST(XlsxPackage, PrefixedWorkbookGivesTheSameSheetList) {
  const auto x = LoadPackage(Package({
      {"xl/workbook.xml",
       "<?xml version=\"1.0\"?><x:workbook xmlns:x=\"m\" xmlns:r=\"r\"><x:bookViews><x:workbookView/></x:bookViews>"
       "<x:sheets><x:sheet name=\"Alpha\" sheetId=\"1\" r:id=\"rId1\"/><x:sheet name=\"Beta\" sheetId=\"2\" "
       "r:id=\"rId2\"/></x:sheets></x:workbook>"},
      {"xl/_rels/workbook.xml.rels",
       kRelsHead + Rel("rId1", "worksheets/sheet1.xml") + Rel("rId2", "worksheets/sheet2.xml") + "</Relationships>"},
      {"xl/worksheets/sheet1.xml", OneCell("a")},
      {"xl/worksheets/sheet2.xml", OneCell("b")},
  }));
  EXPECT_EQ(Captions(*x), (std::vector<std::u16string>{u"Alpha", u"Beta"}));
  EXPECT_EQ(Cell(*x, 0, 0, 1), "b");
}

TEST(XlsxPackage, SheetListFallsBackToDocumentPropertiesThenDefaults) {
  const auto x = LoadPackage(Package({
      {"docProps/app.xml",
       "<Properties><HeadingPairs><vt:vector><vt:variant><vt:lpstr>Worksheets</vt:lpstr></vt:variant></vt:vector>"
       "</HeadingPairs><TitlesOfParts><vt:vector size=\"2\" baseType=\"lpstr\"><vt:lpstr>Costs &amp; Sales"
       "</vt:lpstr><vt:lpstr>Notes</vt:lpstr></vt:vector></TitlesOfParts></Properties>"},
      {"xl/worksheets/sheet1.xml", OneCell("first")},
      {"xl/worksheets/sheet2.xml", OneCell("second")},
  }));
  EXPECT_EQ(Captions(*x), (std::vector<std::u16string>{u"Costs & Sales", u"Notes"}));
  EXPECT_EQ(Cell(*x, 0, 0, 1), "second");

  const auto y = LoadPackage(Package({{"xl/styles.xml", "<styleSheet/>"}}));
  EXPECT_EQ(Captions(*y), (std::vector<std::u16string>{u"Sheet1", u"Sheet2", u"Sheet3"}));
}

TEST(XlsxPackage, WorkbookNamedByThePackageRelationships) {
  const auto x = LoadPackage(Package({
      {"_rels/.rels", kRelsHead + "<Relationship Id=\"rId1\" Type=\"http://schemas.openxmlformats.org/"
                                  "officeDocument/2006/relationships/officeDocument\" Target=\"/book/wb.xml\"/>"
                                  "</Relationships>"},
      {"book/wb.xml", "<workbook><sheets><sheet name=\"Moved\" r:id=\"rId1\"/></sheets></workbook>"},
      {"book/_rels/wb.xml.rels", kRelsHead + Rel("rId1", "sheets/s.xml") + "</Relationships>"},
      {"book/sharedStrings.xml", "<sst><si><t>shared</t></si></sst>"},
      {"book/sheets/s.xml", Worksheet("<row><c t=\"s\"><v>0</v></c></row>")},
  }));
  EXPECT_EQ(Captions(*x), (std::vector<std::u16string>{u"Moved"}));
  EXPECT_EQ(Cell(*x, 0, 0), "shared");
}

TEST(XlsxPackage, SelectedSheetReadsOnlyThatSheet) {
  TMSExcelX x;
  x.SelectedSheet = 1;
  std::vector<int32_t> sheetsWithCells;
  x.OnCellValue = [&](TCustomSpreadSheetFile*, int32_t sheet, int32_t, int32_t, int32_t, const Variant&, TAlignment,
                      TVoxCellType) { sheetsWithCells.push_back(sheet); };
  const auto bytes = Book({"<row><c><v>1</v></c></row>", "<row><c><v>2</v></c></row>"}).Bytes();
  TMemoryStream stream(bytes);
  x.LoadFromStream(stream);
  EXPECT_EQ(x.Sheets.Count(), 2);
  EXPECT_EQ(sheetsWithCells, std::vector<int32_t>{1});
}

TEST(XlsxPackage, DatesOfThe1904System) {
  Book book({"<row><c r=\"A1\" s=\"1\"><v>0</v></c><c r=\"B1\" t=\"d\"><v>2020-01-02</v></c></row>"});
  book.cellXfs = "<xf numFmtId=\"0\"/><xf numFmtId=\"14\"/>";
  book.extra = {{"xl/workbook.xml", "<workbook><workbookPr date1904=\"1\"/><sheets><sheet name=\"S\" r:id=\"rId1\"/>"
                                    "</sheets></workbook>"}};
  const auto x = LoadPackage(book.Bytes());
  EXPECT_EQ(Cell(*x, 0, 0), "1/1/1904");
  EXPECT_EQ(Cell(*x, 0, 1), "1/2/2020");
}

TEST(XlsxPackage, DocumentProperties) {
  Book book({""});
  book.extra = {
      {"docProps/core.xml",
       "<cp:coreProperties><dc:title>Q1 &amp; Q2</dc:title><dc:creator>Ann</dc:creator>"
       "<dcterms:created>2023-02-30T10:00:00Z</dcterms:created></cp:coreProperties>"},
      {"docProps/app.xml", "<Properties><Company>Acme</Company><Pages>3</Pages></Properties>"}};
  const auto x = LoadPackage(book.Bytes());
  EXPECT_EQ(x->SummaryInformation.Title, "Q1 & Q2");
  EXPECT_EQ(x->SummaryInformation.Author, "Ann");
  EXPECT_EQ(x->SummaryInformation.Company, "Acme");
  EXPECT_EQ(x->SummaryInformation.Created, 0);  // a day the calendar lacks loses that property only
  EXPECT_EQ(x->Sheets.Count(), 1);
}

TEST(XlsxPackage, StylesAndDefinedNames) {
  Book book({""});
  book.extra = {
      {"xl/styles.xml",
       "<styleSheet><numFmts><numFmt numFmtId=\"170\" formatCode=\"0.0&quot;%&quot;\"/></numFmts>"
       "<fonts><font><b/><sz val=\"11\"/><name val=\"Calibri\"/></font><font><i/><sz val=\"x\"/></font></fonts>"
       "<cellStyleXfs><xf numFmtId=\"14\"/></cellStyleXfs><cellXfs><xf numFmtId=\"170\" fontId=\"1\"/>"
       "<xf/></cellXfs></styleSheet>"},
      {"xl/workbook.xml",
       "<workbook><sheets><sheet name=\"S\" r:id=\"rId1\"/></sheets><definedNames><definedName name=\"Total\">"
       "S!$A$1&amp;S!$B$1</definedName></definedNames></workbook>"}};
  const auto x = LoadPackage(book.Bytes());
  ASSERT_EQ(x->XFList.size(), 2u);
  EXPECT_EQ(x->XFList[0].FormatIndex, 170);
  EXPECT_EQ(x->XFList[0].FontIndex, 1);
  EXPECT_EQ(x->XFList[1].FormatIndex, 0);
  EXPECT_EQ(x->Formats[170], "0.0\"%\"");
  EXPECT_FALSE(x->IsPercentFormat(0));
  ASSERT_EQ(x->Fonts.size(), 2u);
  EXPECT_TRUE(x->Fonts[0].Bold);
  EXPECT_EQ(x->Fonts[0].Name, u"Calibri");
  EXPECT_EQ(x->Fonts[0].Size, 11);
  EXPECT_TRUE(x->Fonts[1].Italic);
  ASSERT_EQ(x->DefinedNames.size(), 1u);
  EXPECT_EQ(x->DefinedNames[0].Name, "Total");
  EXPECT_EQ(x->DefinedNameFormulas[0], u"S!$A$1&S!$B$1");
}

TEST(XlsxPackage, FilesThatAreNoReadablePackage) {
  // Not a ZIP archive at all.
  try {
    LoadPackage(std::vector<uint8_t>{'<', 'h', 't', 'm', 'l', '>'});
    ADD_FAILURE() << "loaded";
  } catch (const EVoxFileFormatException& e) {
    EXPECT_STREQ(e.what(), "Invalid file version or file format.");
  }
  // A part whose content does not match its checksum.
  ZipBuilder zip;
  zip.Add("xl/workbook.xml", "<workbook><sheets><sheet name=\"S\"/></sheets></workbook>");
  zip.Add("xl/sharedStrings.xml", "<sst><si><t>x</t></si></sst>").crcXor = 1;
  try {
    LoadPackage(zip.Build());
    ADD_FAILURE() << "loaded";
  } catch (const EZipFileCRCError& e) {
    EXPECT_STREQ(e.what(), "CRC Error in \"xl/sharedStrings.xml\".");
  }
  // Binary workbooks are not read yet.
  const std::string xlsb = WriteTempFile("book.xlsb", Package({{"xl/workbook.bin", std::string(8, '\0')}}));
  TMSExcelX binary;
  try {
    binary.LoadFromFile(xlsb);
    ADD_FAILURE() << "loaded";
  } catch (const EVoxFileFormatException& e) {
    EXPECT_STREQ(e.what(), "Binary Excel workbooks (.xlsb) cannot be read yet.");
  }
  EXPECT_EQ(binary.Version, evExcel12Bin);
}

TEST(XlsxPackage, CompoundDocuments) {
  // An encrypted package: the password is asked for until the handler
  // gives up, then the load ends with the encryption message.
  CompoundWriter encrypted;
  encrypted.AddStream(0, u"EncryptionInfo", std::vector<uint8_t>(64, 4));
  encrypted.AddStream(0, u"EncryptedPackage", std::vector<uint8_t>(64, 0));
  TMSExcelX x;
  int asked = 0;
  x.OnPassword = [&](TCustomSpreadSheetFile*, std::string&, bool& more) { more = ++asked < 3; };
  try {
    x.LoadFromFile(WriteTempFile("secret.xlsx", encrypted.Build()));
    ADD_FAILURE() << "loaded";
  } catch (const EVoxUnknownEncryptionException& e) {
    EXPECT_STREQ(e.what(), "Unknown encryption for data file.");
  }
  EXPECT_EQ(asked, 3);
  EXPECT_TRUE(x.IsEncrypted());

  // Any other compound document (an .xls workbook under this name) is no package.
  CompoundWriter other;
  other.AddStream(0, u"Workbook", std::vector<uint8_t>(64, 0));
  TMSExcelX y;
  EXPECT_THROW(y.LoadFromFile(WriteTempFile("old.xlsx", other.Build())), EVoxFileFormatException);
}

}  // namespace
}  // namespace gridlark::test
