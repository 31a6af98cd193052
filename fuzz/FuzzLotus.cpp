// The Lotus 1-2-3 reader over arbitrary bytes, with the default handlers
// filling the cell store as a request would.
#include <cstddef>
#include <cstdint>
#include <exception>

#include "lotus/VoWKS.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  gridlark::TLotus123 reader;
  reader.LoadNULLs = size % 2 == 1;
  try {
    reader.Load();
    gridlark::TSpanStream stream(std::span<const uint8_t>(data, size));
    reader.ReadStream(stream);
  } catch (const std::exception&) {
    // A bad file ends the load with a message; nothing else may happen.
  }
  return 0;
}
