// Small OOXML packages for the .xlsx reader's tests, written over zlib by the
// test ZIP writer: a standard workbook from its parts, or any set of parts.
#pragma once

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "excel/VoXLS.h"

namespace gridlark::test {

using Parts = std::vector<std::pair<std::string, std::string>>;

// A ZIP archive of the parts, in order.
std::vector<uint8_t> Package(const Parts& parts);

// A worksheet part around the given sheetData content.
std::string Worksheet(const std::string& rows, const std::string& before = "");

// A workbook of sheets named "Sheet1"... whose worksheet parts hold the
// given sheetData contents, with an optional shared string part (the <si>
// items) and cell formats (the <xf> items of cellXfs, and numFmt items).
struct Book {
  explicit Book(std::vector<std::string> sheetRows = {}, std::string sharedStrings = {}, std::string formats = {},
                std::string xfs = {})
      : sheets(std::move(sheetRows)), strings(std::move(sharedStrings)), numFmts(std::move(formats)),
        cellXfs(std::move(xfs)) {}
  std::vector<std::string> sheets;
  std::string strings;  // empty: no shared string part
  std::string numFmts;
  std::string cellXfs;
  Parts extra;  // more parts, or replacements of the standard ones by name
  std::vector<uint8_t> Bytes() const;
};

// The reader after loading the bytes as a package.
std::unique_ptr<TMSExcelX> LoadPackage(const std::vector<uint8_t>& bytes);

// The page text of a cell of sheet 0 ("<hole>" where there is none).
std::string Cell(const TMSExcelX& x, int row, int col, int sheet = 0);

}  // namespace gridlark::test
