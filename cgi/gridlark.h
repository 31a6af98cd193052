// The CGI request: read the query from the environment, choose a reader by
// the file's extension, load the workbook and write one sheet as a page.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "cgi/PageWriter.h"
#include "model/VoCells.h"

namespace gridlark {

struct TRequest {
  std::string FileName;  // decoded, exactly as the query spells it
  int32_t SheetIndex = 0;
  bool FirstPage = false;
  bool HideAbout = false;
};

// Decodes "+" and %-escapes ("%%" is one "%"). A "%" not followed by two
// hexadecimal digits raises EConvertError.
std::string UrlDecode(std::string_view text);

// Reads the request from the environment entries (a null-terminated array of
// "NAME=value" strings). Keys match in any letter case; a malformed file name
// escape leaves the file name empty.
TRequest ReadRequest(char** env);

// The reader for a file name, chosen by its upper-cased extension.
using TReaderFactory = std::function<std::unique_ptr<TSpreadSheetFile>(const std::string& fileName)>;
std::unique_ptr<TSpreadSheetFile> CreateReader(const std::string& fileName);

// Rows written with firstpage set.
inline constexpr int32_t kFirstPageRows = 56;
// Table cells (rows times columns) a page holds at most; a larger sheet is
// cut with a message, so a tiny file cannot make us write without end.
inline constexpr int64_t kMaxPageCells = 50'000'000;

// Answers one request: the CGI header and the complete page. A process that
// ends with the page may leave the loaded workbook unfreed (freeReader false):
// freeing millions of cells only costs time.
void RunRequest(char** env, TPageWriter& out, const TReaderFactory& factory = CreateReader, bool freeReader = true);

// The page texts.
namespace msg {
inline constexpr const char* NoFileName = "Filename is not defined or file is not found";
inline constexpr const char* SheetTooLarge = "The sheet has %d rows of %d columns; only the first %d rows are shown.";
inline constexpr const char* OutOfMemoryPage = "Out of memory";
}  // namespace msg

}  // namespace gridlark
