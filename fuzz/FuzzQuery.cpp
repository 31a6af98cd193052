// The query of a request: decoding and key search over arbitrary bytes.
#include <cstddef>
#include <cstdint>
#include <string>

#include "cgi/gridlark.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string entry = "QUERY_STRING=" + std::string(reinterpret_cast<const char*>(data), size);
  // Embedded NULs end an environment entry.
  entry.resize(std::char_traits<char>::length(entry.c_str()));
  char* env[] = {entry.data(), nullptr};
  gridlark::ReadRequest(env);
  return 0;
}
