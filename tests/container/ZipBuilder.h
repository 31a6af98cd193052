// A small ZIP writer over zlib's deflate for test archives, with switches for
// the variants readers meet: stored or deflated entries, data descriptors,
// backslash names, ZIP64 fields, archive comments and damaged CRCs.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace gridlark::test {

// Raw deflate (no zlib header) of the bytes.
std::string RawDeflate(std::string_view data);

class ZipBuilder {
 public:
  struct Entry {
    std::string name;
    std::string content;
    bool deflate = true;
    bool dataDescriptor = false;  // sizes and CRC 0 in the local header, real ones in the central header
    bool zip64 = false;           // sizes and offset written as 0xFFFFFFFF with a ZIP64 extra field
    uint32_t crcXor = 0;          // damages both stored CRCs
    std::string localName;        // name in the local header when it differs from the central one
  };

  Entry& Add(std::string name, std::string content, bool deflate = true);
  // The archive bytes; zip64 writes the ZIP64 end record and locator with
  // markers in the classic end record.
  std::vector<uint8_t> Build(std::string_view comment = {}, bool zip64 = false) const;

 private:
  std::vector<Entry> entries_;
};

}  // namespace gridlark::test
