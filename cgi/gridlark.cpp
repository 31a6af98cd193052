#include "cgi/gridlark.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "excel/VoXLS.h"
#include "lotus/VoWKS.h"
#include "platform/NumberText.h"
#include "platform/Streams.h"

namespace gridlark {
namespace {

constexpr std::string_view kQueryVar = "QUERY_STRING=";
constexpr const char* kHomeLink = "<A HREF=\"https://gridlark.example/\">Gridlark</A><BR>";

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool Contains(std::string_view s, std::string_view what) { return s.find(what) != std::string_view::npos; }

std::string_view CutAtAmpersand(std::string_view s) { return s.substr(0, s.find('&')); }

bool IsQuote(char c) { return c == '"' || c == '\''; }

}  // namespace

std::string UrlDecode(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '+') {
      out += ' ';
    } else if (c != '%') {
      out += c;
    } else if (i + 1 < text.size() && text[i + 1] == '%') {
      out += '%';
      ++i;
    } else {
      const int hi = i + 1 < text.size() ? HexDigit(text[i + 1]) : -1;
      const int lo = i + 2 < text.size() ? HexDigit(text[i + 2]) : -1;
      if (hi < 0 || lo < 0) throw EConvertError("Malformed %-escape in the query");
      out += char(hi * 16 + lo);
      i += 2;
    }
  }
  return out;
}

TRequest ReadRequest(char** env) {
  TRequest req;
  for (char** e = env; e && *e; ++e) {
    const std::string_view entry(*e);
    if (entry.substr(0, kQueryVar.size()) != kQueryVar) continue;
    // Keys are found in a lower-cased copy; values come from the entry itself
    // at the same offsets, so the file name keeps its letter case.
    const std::string lower = LowerAscii(entry);
    req.FirstPage = Contains(lower, "firstpage=1") || Contains(lower, "firstpage=true");
    if (const size_t p = lower.find("filename="); p != std::string::npos) {
      std::string name;
      try {
        name = UrlDecode(entry.substr(p + 9));
      } catch (const EConvertError&) {
        name.clear();  // the page says the file name is not defined
      }
      name.resize(CutAtAmpersand(name).size());
      if (!name.empty() && IsQuote(name.front())) name.erase(0, 1);
      if (!name.empty() && IsQuote(name.back())) name.pop_back();
      req.FileName = name;
    }
    if (const size_t p = lower.find("sheet="); p != std::string::npos) {
      int32_t index = 0;
      req.SheetIndex = TryStrToInt(CutAtAmpersand(std::string_view(lower).substr(p + 6)), index) ? index : 0;
    }
    req.HideAbout = Contains(lower, "hideabout=1") || Contains(lower, "hideabout=true");
  }
  return req;
}

namespace {

// Stands for a file family whose reader is not part of this build: it checks
// the name like every reader, then says it cannot read the file.
class TUnavailableReader : public TSpreadSheetFile {
 public:
  void LoadFromFile(const std::string& Name) override {
    TSpreadSheetFile::LoadFromFile(Name);
    throw EVoxFileFormatException("Files of this type cannot be read yet.");
  }
};

enum class Family { Lotus, Quattro, OpenDocument, ExcelPackage, ExcelBinary };

Family FamilyOf(const std::string& fileName) {
  static constexpr struct {
    const char* ext;
    Family family;
  } kTable[] = {
      {".WK1", Family::Lotus},         {".WK2", Family::Lotus},         {".WK3", Family::Lotus},
      {".WK4", Family::Lotus},         {".WR1", Family::Lotus},         {".WKS", Family::Lotus},
      {".WKE", Family::Lotus},         {".123", Family::Lotus},         {".WQ1", Family::Quattro},
      {".WQ2", Family::Quattro},       {".WKQ", Family::Quattro},       {".WB2", Family::Quattro},
      {".WB3", Family::Quattro},       {".WQ!", Family::Quattro},       {".QPW", Family::Quattro},
      {".ODS", Family::OpenDocument},  {".XLSX", Family::ExcelPackage}, {".XLSM", Family::ExcelPackage},
      {".XLTX", Family::ExcelPackage}, {".XLTM", Family::ExcelPackage}, {".XLAX", Family::ExcelPackage},
      {".XLAM", Family::ExcelPackage}, {".XLSB", Family::ExcelPackage}, {".XLTB", Family::ExcelPackage},
      {".XLAB", Family::ExcelPackage},
  };
  const std::string ext = UpperAscii(ExtractFileExt(fileName));
  for (const auto& row : kTable)
    if (ext == row.ext) return row.family;
  return Family::ExcelBinary;
}

}  // namespace

std::unique_ptr<TSpreadSheetFile> CreateReader(const std::string& fileName) {
  switch (FamilyOf(fileName)) {
    case Family::Lotus: return std::make_unique<TLotus123>();
    case Family::Quattro:
    case Family::OpenDocument: break;
    case Family::ExcelPackage: return std::make_unique<TMSExcelX>();
    case Family::ExcelBinary: return std::make_unique<TMSExcel>();
  }
  return std::make_unique<TUnavailableReader>();
}

namespace {

// Alignment attribute by TAlignment.
constexpr std::string_view AlignAttributes[] = {"", " align=\"right\"", " align=\"center\""};
constexpr std::string_view kHole = "    <td>&nbsp</td>\r\n";
// "    <td" + AlignAttributes[a] + ">", ready made.
constexpr std::string_view kCellOpen[] = {"    <td>", "    <td align=\"right\">", "    <td align=\"center\">"};

// One cell line: the opening tag with the alignment attribute, the value as
// text ("&nbsp" when it is empty), the closing tag.
void WriteCell(TPageWriter& out, const TVoxCell& cell) {
  const Variant& v = cell.Value;
  out.Raw(kCellOpen[cell.Alignment <= taCenter ? cell.Alignment : 0]);
  constexpr size_t kRoom = kMaxNumberText + 16;
  char* p;
  switch (v.Type()) {
    case VarType::Boolean:
      out.Raw(v.Boolean() ? "True</td>\r\n" : "False</td>\r\n");
      return;
    case VarType::Integer:
      p = out.Room(kRoom);
      out.Commit(std::copy_n("</td>\r\n", 7, WriteIntText(p, v.Integer())));
      return;
    case VarType::Double:
      p = out.Room(kRoom);
      out.Commit(std::copy_n("</td>\r\n", 7, WriteFloatText(p, v.Double())));
      return;
    case VarType::Date:  // digits, separators and the AM/PM designators: nothing to escape
      p = out.Room(MaxDateTimeText() + 8);
      out.Commit(std::copy_n("</td>\r\n", 7, WriteDateTimeText(p, v.Double())));
      return;
    case VarType::String:
      if (v.NarrowText().empty()) out.Raw("&nbsp");
      else out.AnsiText(v.NarrowText());
      break;
    case VarType::WideString:
      if (v.WideText().empty()) out.Raw("&nbsp");
      else out.Text(v.WideText());
      break;
    case VarType::Empty:
    case VarType::Null: out.Raw("&nbsp"); break;
  }
  out.Raw("</td>\r\n");
}

void WriteTable(TPageWriter& out, const TSpreadSheetCells& cells, bool firstPage) {
  out.Line("<table border=\"1\">");
  int32_t rows = cells.RowCount;
  if (firstPage && rows > kFirstPageRows) rows = kFirstPageRows;
  const int32_t cols = cells.ColCount;
  const bool cut = cols > 0 && int64_t(rows) * cols > kMaxPageCells;
  if (cut) rows = int32_t(kMaxPageCells / cols);
  // Stored rows and, within them, stored cells come in order; every
  // position between them is a hole.
  const auto stored = cells.StoredRows();
  const auto positions = cells.StoredPositions();
  size_t next = 0;
  for (int32_t i = 0; i < rows; ++i) {
    out.Line("  <tr>");
    while (next < positions.size() && positions[next] < i) ++next;
    const auto entries = (next < positions.size() && positions[next] == i) ? stored[next].Cols.Entries()
                                                                          : std::span<const TSpreadSheetCols::Entry>();
    int32_t j = 0;
    for (const auto& entry : entries) {
      if (entry.Col >= cols) break;
      for (; j < entry.Col; ++j) out.Raw(kHole);
      WriteCell(out, entry.Cell);
      j = entry.Col + 1;
    }
    for (; j < cols; ++j) out.Raw(kHole);
    out.Line("  </tr>");
  }
  out.Line("</table>");
  if (cut) throw Exception(Format(msg::SheetTooLarge, cells.RowCount, cols, rows));
}

void WriteGeneratorLine(TPageWriter& out, const char* text) {
  out.Raw(text).Raw(", ").Raw(kHomeLink).EndLine();
}

}  // namespace

void RunRequest(char** env, TPageWriter& out, const TReaderFactory& factory, bool freeReader) {
  out.Line("Content-Type: text/html");
  out.Line("");
  const TRequest req = ReadRequest(env);

  out.Line("<html>");
  out.Line("<head>");
  out.Line("<meta name=\"GENERATOR\" content=\"Gridlark 3.0 conversion\">");
  out.Raw("<title>Gridlark 3.0 conversion");
  if (!req.FileName.empty()) {
    out.Raw(", ");
    out.SystemText(ExtractFilePath(req.FileName));
  }
  out.Raw("</title>").EndLine();
  out.Line("</head>");
  out.Line("<body>");
  if (!req.HideAbout) WriteGeneratorLine(out, "<br>Generated by Gridlark cgi-convertor");

  std::string error;
  std::unique_ptr<TSpreadSheetFile> reader;
  if (req.FileName.empty()) {
    error = msg::NoFileName;
  } else {
    try {
      reader = factory(req.FileName);
      reader->FileName = req.FileName;
      reader->LoadFromFile(req.FileName);
      // An index beyond the loaded sheets shows an empty sheet under the
      // caption it would get (SheetN), without creating the sheets between.
      const int32_t index = req.SheetIndex < 0 ? 0 : req.SheetIndex;
      const TSpreadSheet* sheet = index < reader->Sheets.Count() ? &reader->Sheets.Items(index) : nullptr;
      out.Raw("<h1").Raw(AlignAttributes[taCenter]).Raw(">");
      if (sheet) out.Text(sheet->Caption);
      else out.Text(kSheetCaptionPrefix + AnsiToWide(std::to_string(int64_t(index) + 1)));
      out.Raw("</h1>").EndLine();
      static const TSpreadSheetCells kNoCells;
      WriteTable(out, sheet ? sheet->Cells : kNoCells, req.FirstPage);
    } catch (const std::bad_alloc&) {
      error = msg::OutOfMemoryPage;
    } catch (const std::exception& e) {
      error = e.what();
      if (error.empty()) error = "Error";
    }
  }
  if (freeReader) reader.reset();
  else (void)reader.release();  // the process ends with the page; the system takes the memory back
  if (!error.empty()) {
    out.Raw("<h1>");
    out.SystemText(error);
    out.Raw("</h1>").EndLine();
  }
  out.Line("<hr>");
  if (!req.HideAbout) WriteGeneratorLine(out, "<br>Generated by GRIDLARK convertor");
  out.Line("</body>");
  out.Line("</html>");
  out.Flush();
}

}  // namespace gridlark
