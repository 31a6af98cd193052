// The ZIP archive reader over arbitrary bytes: the directory, every entry
// extracted whole, and every entry streamed.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "container/VoxZipFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace gridlark;
  TSpanStream stream(std::span(data, size));
  TZipArchive zip;
  zip.ReadFromStream(stream);
  for (int i = 0; i < zip.Count(); ++i) {
    std::string content;
    try {
      zip.ExtractFile(i, content);
    } catch (const Exception&) {
    }
    try {
      std::unique_ptr<TFixMemoryStream> source;
      std::unique_ptr<TStream> inflater;
      int64_t length = 0;
      zip.OpenEntryStream(i, source, inflater, length);
      char buffer[4096];
      int64_t done = 0;
      while (done < length) {
        const int64_t got = inflater->Read(buffer, sizeof buffer);
        if (got <= 0) break;
        done += got;
      }
    } catch (const Exception&) {
    }
  }
  zip.IndexOfFile("xl/workbook.xml");
  return 0;
}
