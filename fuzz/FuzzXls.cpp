// Excel binary workbooks: arbitrary bytes as a compound document, a plain
// BIFF file and a bare workbook stream, with the record guard letting the
// loops run on after errors.
#include <cstddef>
#include <cstdint>
#include <algorithm>
#include <exception>

#include "excel/VoXLS.h"
#include "platform/Streams.h"

using namespace gridlark;

namespace {

void Run(const uint8_t* data, size_t size, int mode) {
  TMSExcel x;
  x.LoadNULLs = mode & 1;
  x.SelectedSheet = (mode & 2) ? 1 : -1;
  if (mode & 4) x.OnErrorProcess = [](TCustomSpreadSheetFile*, const std::exception&, bool& abort) { abort = false; };
  try {
    const ByteView bytes(data, size);
    switch (mode >> 3) {
      case 0: {
        TSpanStream stream(bytes.span());
        x.LoadFromStream(stream);
        break;
      }
      case 1:
        x.Load();
        x.ReadPlainStream(bytes);
        break;
      default:
        x.Load();
        x.ReadWorkbookStream(bytes, (mode & 8) ? u"Workbook" : u"Book");
        break;
    }
  } catch (const std::exception&) {
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static constexpr uint8_t kCompound[4] = {0xD0, 0xCF, 0x11, 0xE0};
  if (size >= 4 && std::equal(kCompound, kCompound + 4, data)) {
    Run(data, size, 0);
    Run(data, size, 7);
  } else {
    Run(data, size, 8 | (size & 7));
    Run(data, size, 16 | (size & 7));
    Run(data, size, 24 | (size & 7));
  }
  return 0;
}
