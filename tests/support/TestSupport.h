// Helpers shared by the tests: paths of fixtures and of the shared corpus,
// and a small record writer for binary fixtures.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "model/VoCells.h"

namespace gridlark::test {

// Path of a committed fixture under tests/fixtures.
std::string FixturePath(std::string_view relative);
// Directory of the shared real-world corpus, or empty when it is absent.
std::string CorpusDir();
// Path of a corpus file (check CorpusDir() or REQUIRE_CORPUS() first).
std::string CorpusPath(std::string_view relative);

// Writes bytes to a new file in the test's temporary directory; returns its path.
std::string WriteTempFile(std::string_view name, const std::vector<uint8_t>& bytes);

// Little-endian byte builder for binary fixtures.
class Bytes {
 public:
  Bytes& u8(uint8_t v) { data.push_back(v); return *this; }
  Bytes& u16(uint16_t v) { return u8(uint8_t(v)).u8(uint8_t(v >> 8)); }
  Bytes& u32(uint32_t v) { return u16(uint16_t(v)).u16(uint16_t(v >> 16)); }
  Bytes& u64(uint64_t v) { return u32(uint32_t(v)).u32(uint32_t(v >> 32)); }
  Bytes& f64(double v);
  Bytes& str(std::string_view s) { data.insert(data.end(), s.begin(), s.end()); return *this; }
  Bytes& raw(const std::vector<uint8_t>& b) { data.insert(data.end(), b.begin(), b.end()); return *this; }
  Bytes& zeros(size_t n) { data.insert(data.end(), n, 0); return *this; }
  size_t size() const { return data.size(); }
  std::vector<uint8_t> data;
};

// Runs the built program as a web server would, with QUERY_STRING set to
// query and nothing else in its environment; returns what it printed. A
// failure to run or an exit status other than 0 fails the current test.
std::string RunCgi(const std::string& query);

// The text of a cell as the page shows it (before HTML escaping), or "<hole>".
std::string CellText(const TSpreadSheetCells& cells, int row, int col);

// A cell a loaded workbook must show.
struct ExpectCell {
  int sheet, row, col;
  const char* text;
};

// Loads the file at path with reader and checks its sheet captions, in
// order, and the texts of the cells given.
void CheckWorkbook(TSpreadSheetFile& reader, const std::string& path,
                   std::initializer_list<const char16_t*> captions, std::initializer_list<ExpectCell> cells);

}  // namespace gridlark::test

// Skips the current test when the shared corpus is absent.
#define REQUIRE_CORPUS()                                                       \
  do {                                                                         \
    if (::gridlark::test::CorpusDir().empty())                                 \
      GTEST_SKIP() << "shared corpus not found beside the checkout; skipped"; \
  } while (0)
