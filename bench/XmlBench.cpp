// Throughput of the XML engine on a large worksheet part, beside the time
// zlib alone takes to inflate it.
//
//   bench_xml [rows] [only]   (default 160000 rows of 10 cells, about 73 MB;
//                             "only" runs just the streamed parse, to profile)
//
// The part is generated the way spreadsheet programs write it, deflated into
// a one-entry ZIP archive in memory and then read four ways:
//   inflate      zlib alone: the entry's decompression stream read to its end
//   stream+parse the entry streamed into LoadXML with worksheet handlers
//                (cells refused after their value is read, rows and cells
//                freed as they close), as the package reader does
//   parse        ParseXML over the inflated bytes with the same handlers
//   parse tree   ParseXML keeping the whole tree (no handlers)
// and the peak memory the streamed parse adds, next to the part's size. Run
// it on an otherwise idle machine: times are the best of three runs.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <fstream>
#include <string>

#include "container/VoxXML.h"
#include "container/VoxZipFile.h"

using namespace gridlark;

namespace {

std::string ColumnName(int c) {
  std::string s;
  for (++c; c > 0; c = (c - 1) / 26) s.insert(s.begin(), char('A' + (c - 1) % 26));
  return s;
}

// A small deterministic generator, so that values vary as real data do
// (sequential numbers would compress, and inflate, unrealistically well).
uint32_t Next(uint32_t& state) {
  state ^= state << 13;
  state ^= state >> 17;
  state ^= state << 5;
  return state;
}

std::string MakeWorksheet(int rows) {
  uint32_t seed = 2463534242u;
  std::string x =
      "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\r\n"
      "<worksheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" "
      "xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\">"
      "<dimension ref=\"A1:J" + std::to_string(rows) + "\"/><sheetViews><sheetView workbookViewId=\"0\"/></sheetViews>"
      "<sheetFormatPr defaultRowHeight=\"15\"/><cols><col min=\"1\" max=\"10\" width=\"12.5\" customWidth=\"1\"/></cols>"
      "<sheetData>";
  char buf[160];
  for (int r = 1; r <= rows; ++r) {
    x += "<row r=\"" + std::to_string(r) + "\" spans=\"1:10\">";
    for (int c = 0; c < 10; ++c) {
      const std::string ref = ColumnName(c) + std::to_string(r);
      switch (c % 5) {
        case 0: snprintf(buf, sizeof buf, "<c r=\"%s\" t=\"s\"><v>%u</v></c>", ref.c_str(), Next(seed) % 5000); break;
        case 1:
          snprintf(buf, sizeof buf, "<c r=\"%s\"><v>%u.%04u</v></c>", ref.c_str(), Next(seed) % 100000, Next(seed) % 10000);
          break;
        case 2: snprintf(buf, sizeof buf, "<c r=\"%s\" s=\"1\"><v>%u</v></c>", ref.c_str(), 40000 + Next(seed) % 3000); break;
        case 3:
          snprintf(buf, sizeof buf, "<c r=\"%s\"><f>B%d*2</f><v>%u</v></c>", ref.c_str(), r, Next(seed) % 1000000);
          break;
        default:
          snprintf(buf, sizeof buf, "<c r=\"%s\" t=\"inlineStr\"><is><t>text %u</t></is></c>", ref.c_str(),
                   Next(seed) % 100000);
          break;
      }
      x += buf;
    }
    x += "</row>";
  }
  x += "</sheetData><pageMargins left=\"0.7\" right=\"0.7\" top=\"0.75\" bottom=\"0.75\" header=\"0.3\" footer=\"0.3\"/>"
       "</worksheet>";
  return x;
}

void Put16(std::string& s, uint16_t v) { s += char(v & 0xFF), s += char(v >> 8); }
void Put32(std::string& s, uint32_t v) { Put16(s, uint16_t(v)), Put16(s, uint16_t(v >> 16)); }

std::string MakeZip(const std::string& name, const std::string& content) {
  z_stream z{};
  deflateInit2(&z, 6, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
  std::string data(deflateBound(&z, uLong(content.size())), '\0');
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(content.data()));
  z.avail_in = uInt(content.size());
  z.next_out = reinterpret_cast<Bytef*>(data.data());
  z.avail_out = uInt(data.size());
  deflate(&z, Z_FINISH);
  data.resize(z.total_out);
  deflateEnd(&z);
  const uint32_t crc = uint32_t(crc32_z(0, reinterpret_cast<const Bytef*>(content.data()), content.size()));
  std::string zip, central;
  for (std::string* h : {&zip, &central}) {
    Put32(*h, h == &zip ? 0x04034B50 : 0x02014B50);
    if (h == &central) Put16(*h, 20);
    Put16(*h, 20), Put16(*h, 0), Put16(*h, 8), Put16(*h, 0), Put16(*h, 0);
    Put32(*h, crc), Put32(*h, uint32_t(data.size())), Put32(*h, uint32_t(content.size()));
    Put16(*h, uint16_t(name.size())), Put16(*h, 0);
    if (h == &central) Put16(*h, 0), Put16(*h, 0), Put16(*h, 0), Put32(*h, 0), Put32(*h, 0);
    *h += name;
    if (h == &zip) *h += data;
  }
  const uint32_t cdAt = uint32_t(zip.size());
  zip += central;
  Put32(zip, 0x06054B50), Put16(zip, 0), Put16(zip, 0), Put16(zip, 1), Put16(zip, 1);
  Put32(zip, uint32_t(central.size())), Put32(zip, cdAt), Put16(zip, 0);
  return zip;
}

// Worksheet handlers in the manner of the package reader: only the elements
// that carry cells are built, every value is read where it stands, and rows
// and cells are freed as they close.
struct Sink {
  long cells = 0, chars = 0;
  void Attach(TVoXMLEngine& e) {
    e.OnTag = [this](TVoXMLEngine&, TVoXMLItem* parent, const TVoXMLTag& tag, bool& accept) {
      const std::string_view n = tag.Name();
      TVoXMLItem* cell = nullptr;
      if (n == "v") cell = parent;
      else if (n == "t" && parent->Name == "is") cell = parent->Parent;
      if (cell) {
        // One pass over the cell's attribute text; reference, type and style
        // are ASCII and need no wide text.
        std::string_view ref, type, style, name, value;
        TXMLAttributeReader attributes(cell->AttributesText);
        while (attributes.Next(name, value)) {
          if (name == "r") ref = value;
          else if (name == "t") type = value;
          else if (name == "s") style = value;
        }
        ++cells;
        chars += long(tag.Value().size() + ref.size() + type.size() + style.size());
        accept = false;
        return;
      }
      accept = n == "worksheet" || n == "sheetData" || n == "row" || n == "c" || n == "is" || n == "cols" || n == "col";
    };
    e.OnAfterTag = [](TVoXMLEngine&, TVoXMLItem*& node, bool&) {
      if (node->Name == "row" || node->Name == "c") TVoXMLItem::Free(node);
    };
  }
};

double Seconds(const std::function<void()>& f, int repeat = 3) {
  double best = 1e30;
  for (int i = 0; i < repeat; ++i) {
    const auto t0 = std::chrono::steady_clock::now();
    f();
    best = std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
  }
  return best;
}

// Resident and peak resident memory of this process, in kB.
long StatusKb(const char* key) {
  long kb = 0;
  if (FILE* f = fopen("/proc/self/status", "r")) {
    char line[256];
    while (fgets(line, sizeof line, f))
      if (strncmp(line, key, strlen(key)) == 0) kb = atol(line + strlen(key));
    fclose(f);
  }
  return kb;
}

// Resets the peak resident memory to the present one.
void ResetPeak() {
  if (FILE* f = fopen("/proc/self/clear_refs", "w")) {
    fputs("5", f);
    fclose(f);
  }
}

}  // namespace

int main(int argc, char** argv) {
  const int rows = argc > 1 ? std::atoi(argv[1]) : 160000;
  std::string xml = MakeWorksheet(rows);
  const double mb = double(xml.size()) / 1e6;
  const std::string zipBytes = MakeZip("xl/worksheets/sheet1.xml", xml);
  TSpanStream zipStream(std::span(reinterpret_cast<const uint8_t*>(zipBytes.data()), zipBytes.size()));
  TZipArchive zip;
  zip.ReadFromStream(zipStream);
  printf("worksheet part: %.1f MB inflated, %.1f MB deflated, %d rows\n", mb, zipBytes.size() / 1e6, rows);

  // Peak memory of the streamed parse, measured first, in a child without
  // the generated text.
  fflush(stdout);
  if (pid_t pid = fork(); pid == 0) {
    xml.clear();
    xml.shrink_to_fit();
    ResetPeak();
    const long before = StatusKb("VmRSS:");
    std::unique_ptr<TFixMemoryStream> source;
    std::unique_ptr<TStream> inflater;
    int64_t size = 0;
    zip.OpenEntryStream(0, source, inflater, size);
    TVoXMLEngine e;
    Sink s;
    s.Attach(e);
    e.LoadXML(size, inflater.get());
    const long peak = StatusKb("VmHWM:");
    printf("stream+parse peak memory: %.1f MB above the %.1f MB held before (%.3fx the inflated part)\n",
           (peak - before) / 1e3, before / 1e3, (peak - before) / 1e3 / mb);
    fflush(stdout);
    _exit(0);
  } else if (pid > 0) {
    waitpid(pid, nullptr, 0);
  }

  if (argc > 2 && std::string(argv[2]) == "only") {
    Sink s;
    for (int i = 0; i < 3; ++i) {
      std::unique_ptr<TFixMemoryStream> source;
      std::unique_ptr<TStream> inflater;
      int64_t size = 0;
      zip.OpenEntryStream(0, source, inflater, size);
      TVoXMLEngine e;
      s.Attach(e);
      e.LoadXML(size, inflater.get());
    }
    printf("cells seen: %ld\n", s.cells);
    return 0;
  }
  const double inflate = Seconds([&] {
    std::unique_ptr<TFixMemoryStream> source;
    std::unique_ptr<TStream> inflater;
    int64_t size = 0;
    zip.OpenEntryStream(0, source, inflater, size);
    static char buf[1 << 18];
    for (int64_t done = 0; done < size;) done += inflater->Read(buf, std::min<int64_t>(sizeof buf, size - done));
  });
  Sink sink;
  const double streamed = Seconds([&] {
    std::unique_ptr<TFixMemoryStream> source;
    std::unique_ptr<TStream> inflater;
    int64_t size = 0;
    zip.OpenEntryStream(0, source, inflater, size);
    TVoXMLEngine e;
    sink = Sink();
    sink.Attach(e);
    e.LoadXML(size, inflater.get());
  });
  const double parse = Seconds([&] {
    TVoXMLEngine e;
    Sink s;
    s.Attach(e);
    e.ParseXML(xml);
  });
  const double tree = Seconds([&] {
    TVoXMLEngine e;
    e.ParseXML(xml);
  }, 1);
  printf("cells seen: %ld\n", sink.cells);
  printf("%-14s %8.1f ms %8.1f MB/s\n", "inflate", inflate * 1e3, mb / inflate);
  printf("%-14s %8.1f ms %8.1f MB/s   %.2fx the inflate time\n", "stream+parse", streamed * 1e3, mb / streamed,
         streamed / inflate);
  printf("%-14s %8.1f ms %8.1f MB/s   (engine alone)\n", "parse", parse * 1e3, mb / parse);
  printf("%-14s %8.1f ms %8.1f MB/s   (whole tree kept)\n", "parse tree", tree * 1e3, mb / tree);

  return 0;
}
