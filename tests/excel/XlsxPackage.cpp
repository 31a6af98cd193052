#include "XlsxPackage.h"

#include "../container/ZipBuilder.h"
#include "TestSupport.h"
#include "platform/Streams.h"

namespace gridlark::test {

std::vector<uint8_t> Package(const Parts& parts) {
  ZipBuilder zip;
  for (const auto& [name, content] : parts) zip.Add(name, content);
  return zip.Build();
}

std::string Worksheet(const std::string& rows, const std::string& before) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
         "<worksheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\">" +
         before + "<sheetData>" + rows + "</sheetData></worksheet>";
}

std::vector<uint8_t> Book::Bytes() const {
  std::string workbook =
      "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
      "<workbook xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" "
      "xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\"><sheets>";
  std::string rels =
      "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
      "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">";
  Parts parts;
  for (size_t i = 0; i < sheets.size(); ++i) {
    const std::string n = std::to_string(i + 1);
    workbook += "<sheet name=\"Sheet" + n + "\" sheetId=\"" + n + "\" r:id=\"rId" + n + "\"/>";
    rels += "<Relationship Id=\"rId" + n + "\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/"
            "relationships/worksheet\" Target=\"worksheets/sheet" + n + ".xml\"/>";
    parts.emplace_back("xl/worksheets/sheet" + n + ".xml", Worksheet(sheets[i]));
  }
  parts.emplace_back("xl/workbook.xml", workbook + "</sheets></workbook>");
  parts.emplace_back("xl/_rels/workbook.xml.rels", rels + "</Relationships>");
  if (!strings.empty())
    parts.emplace_back("xl/sharedStrings.xml",
                       "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
                       "<sst xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\">" + strings +
                           "</sst>");
  if (!numFmts.empty() || !cellXfs.empty())
    parts.emplace_back("xl/styles.xml",
                       "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
                       "<styleSheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\"><numFmts>" +
                           numFmts + "</numFmts><cellStyleXfs><xf numFmtId=\"14\"/></cellStyleXfs><cellXfs>" +
                           cellXfs + "</cellXfs></styleSheet>");
  for (const auto& [name, content] : extra) {
    bool replaced = false;
    for (auto& part : parts)
      if (part.first == name) {
        part.second = content;
        replaced = true;
      }
    if (!replaced) parts.emplace_back(name, content);
  }
  return Package(parts);
}

std::unique_ptr<TMSExcelX> LoadPackage(const std::vector<uint8_t>& bytes) {
  auto x = std::make_unique<TMSExcelX>();
  TMemoryStream stream(bytes);
  x->LoadFromStream(stream);
  return x;
}

std::string Cell(const TMSExcelX& x, int row, int col, int sheet) {
  if (sheet >= x.Sheets.Count()) return "<no sheet>";
  return CellText(x.Sheets.Items(sheet).Cells, row, col);
}

}  // namespace gridlark::test
