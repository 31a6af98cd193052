// Excel packages: arbitrary bytes read as a whole package, and, for inputs
// that are no ZIP archive, the same bytes as the worksheet, the shared
// strings and the workbook part of a small stored package, so that the
// worksheet scan and the part handlers see arbitrary XML directly.
#include <zlib.h>

#include <cstddef>
#include <cstdint>
#include <exception>
#include <string>
#include <string_view>
#include <vector>

#include "excel/VoXLS.h"
#include "platform/Streams.h"

using namespace gridlark;

namespace {

void Put16(std::string& out, uint32_t v) {
  out += char(v & 0xFF);
  out += char((v >> 8) & 0xFF);
}
void Put32(std::string& out, uint32_t v) {
  Put16(out, v & 0xFFFF);
  Put16(out, v >> 16);
}

// A ZIP archive of stored entries.
std::string StoredZip(const std::vector<std::pair<std::string, std::string_view>>& parts) {
  std::string out, central;
  for (const auto& [name, data] : parts) {
    const uint32_t crc = uint32_t(crc32(0, reinterpret_cast<const Bytef*>(data.data()), uInt(data.size())));
    const uint32_t offset = uint32_t(out.size());
    Put32(out, 0x04034B50);
    Put16(out, 20), Put16(out, 0), Put16(out, 0), Put16(out, 0), Put16(out, 0);
    Put32(out, crc), Put32(out, uint32_t(data.size())), Put32(out, uint32_t(data.size()));
    Put16(out, uint16_t(name.size())), Put16(out, 0);
    out += name;
    out.append(data);
    Put32(central, 0x02014B50);
    Put16(central, 20), Put16(central, 20), Put16(central, 0), Put16(central, 0), Put16(central, 0), Put16(central, 0);
    Put32(central, crc), Put32(central, uint32_t(data.size())), Put32(central, uint32_t(data.size()));
    Put16(central, uint16_t(name.size())), Put16(central, 0), Put16(central, 0), Put16(central, 0), Put16(central, 0);
    Put32(central, 0), Put32(central, offset);
    central += name;
  }
  const uint32_t at = uint32_t(out.size());
  out += central;
  Put32(out, 0x06054B50);
  Put16(out, 0), Put16(out, 0), Put16(out, uint16_t(parts.size())), Put16(out, uint16_t(parts.size()));
  Put32(out, uint32_t(central.size())), Put32(out, at), Put16(out, 0);
  return out;
}

void Run(std::string_view bytes, int mode) {
  TMSExcelX x;
  // The store keeps rows densely up to the last one; a small load window
  // keeps each run fast while every cell is still parsed and reported.
  x.Range.LastRow = 4096;
  x.Range.LastCol = 1024;
  x.SelectedSheet = (mode & 1) ? 1 : -1;
  if (mode & 2) x.OnErrorProcess = [](TCustomSpreadSheetFile*, const std::exception&, bool& abort) { abort = false; };
  try {
    TSpanStream stream(std::span(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()));
    x.LoadFromStream(stream);
  } catch (const std::exception&) {
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  if (size >= 2 && bytes[0] == 'P' && bytes[1] == 'K') {
    Run(bytes, int(size & 3));
    return 0;
  }
  static const std::string kWorkbook =
      "<workbook><workbookPr date1904=\"1\"/><sheets><sheet name=\"A\" r:id=\"rId1\"/><sheet name=\"B\" "
      "r:id=\"rId2\"/></sheets></workbook>";
  static const std::string kRels =
      "<Relationships><Relationship Id=\"rId1\" Target=\"worksheets/sheet1.xml\"/><Relationship Id=\"rId2\" "
      "Target=\"/xl/worksheets/sheet1.xml\"/></Relationships>";
  static const std::string kStrings = "<sst><si><t>a</t></si><si><r><t>b</t></r></si></sst>";
  static const std::string kStyles =
      "<styleSheet><numFmts><numFmt numFmtId=\"164\" formatCode=\"yyyy\"/></numFmts><cellXfs><xf numFmtId=\"14\"/>"
      "<xf numFmtId=\"10\"/><xf numFmtId=\"164\"/></cellXfs></styleSheet>";
  // The input as the worksheet of an ordinary package.
  Run(StoredZip({{"xl/workbook.xml", kWorkbook}, {"xl/_rels/workbook.xml.rels", kRels},
                 {"xl/sharedStrings.xml", kStrings}, {"xl/styles.xml", kStyles}, {"xl/worksheets/sheet1.xml", bytes}}),
      int(size & 3));
  // The input as every other part, with a worksheet that uses them.
  static const std::string kSheet =
      "<worksheet><cols><col min=\"1\" max=\"3\" width=\"9\"/></cols><sheetData><row><c t=\"s\"><v>1</v></c>"
      "<c s=\"2\"><v>3</v></c><c s=\"0\"><v>4</v></c></row></sheetData></worksheet>";
  Run(StoredZip({{"xl/workbook.xml", bytes}, {"xl/_rels/workbook.xml.rels", bytes}, {"xl/sharedStrings.xml", bytes},
                 {"xl/styles.xml", bytes}, {"docProps/app.xml", bytes}, {"docProps/core.xml", bytes},
                 {"_rels/.rels", bytes}, {"xl/worksheets/sheet1.xml", kSheet}}),
      0);
  return 0;
}
