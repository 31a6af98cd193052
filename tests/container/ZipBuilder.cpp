#include "ZipBuilder.h"

#include <zlib.h>

#include <stdexcept>

#include "TestSupport.h"

namespace gridlark::test {

std::string RawDeflate(std::string_view data) {
  z_stream z{};
  if (deflateInit2(&z, 9, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK) throw std::runtime_error("deflate");
  std::string out(deflateBound(&z, uLong(data.size())), '\0');
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  z.avail_in = uInt(data.size());
  z.next_out = reinterpret_cast<Bytef*>(out.data());
  z.avail_out = uInt(out.size());
  if (deflate(&z, Z_FINISH) != Z_STREAM_END) throw std::runtime_error("deflate");
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}

ZipBuilder::Entry& ZipBuilder::Add(std::string name, std::string content, bool deflate) {
  Entry& e = entries_.emplace_back();
  e.name = std::move(name);
  e.content = std::move(content);
  e.deflate = deflate;
  return e;
}

std::vector<uint8_t> ZipBuilder::Build(std::string_view comment, bool zip64) const {
  Bytes out, central;
  for (const Entry& e : entries_) {
    const std::string data = e.deflate ? RawDeflate(e.content) : e.content;
    const uint32_t crc = uint32_t(crc32(0, reinterpret_cast<const Bytef*>(e.content.data()), uInt(e.content.size()))) ^ e.crcXor;
    const uint16_t method = e.deflate ? 8 : 0;
    const uint16_t flags = e.dataDescriptor ? 8 : 0;
    const std::string& localName = e.localName.empty() ? e.name : e.localName;
    const uint32_t offset = uint32_t(out.size());
    const uint32_t mark = 0xFFFFFFFF;

    Bytes localExtra;
    if (e.zip64) localExtra.u16(1).u16(16).u64(e.content.size()).u64(data.size());
    out.u32(0x04034B50).u16(e.zip64 ? 45 : 20).u16(flags).u16(method).u16(0).u16(0);
    if (e.dataDescriptor) out.u32(0).u32(0).u32(0);
    else if (e.zip64) out.u32(crc).u32(mark).u32(mark);
    else out.u32(crc).u32(uint32_t(data.size())).u32(uint32_t(e.content.size()));
    out.u16(uint16_t(localName.size())).u16(uint16_t(localExtra.size())).str(localName).raw(localExtra.data).str(data);
    if (e.dataDescriptor) out.u32(0x08074B50).u32(crc).u32(uint32_t(data.size())).u32(uint32_t(e.content.size()));

    Bytes centralExtra;
    if (e.zip64) centralExtra.u16(1).u16(24).u64(e.content.size()).u64(data.size()).u64(offset);
    central.u32(0x02014B50).u16(20).u16(e.zip64 ? 45 : 20).u16(flags).u16(method).u16(0).u16(0).u32(crc);
    if (e.zip64) central.u32(mark).u32(mark);
    else central.u32(uint32_t(data.size())).u32(uint32_t(e.content.size()));
    central.u16(uint16_t(e.name.size())).u16(uint16_t(centralExtra.size())).u16(0).u16(0).u16(0).u32(0);
    central.u32(e.zip64 ? mark : offset).str(e.name).raw(centralExtra.data);
  }
  const uint64_t cdOffset = out.size();
  out.raw(central.data);
  const uint16_t count = uint16_t(entries_.size());
  if (zip64) {
    const uint64_t z64 = out.size();
    out.u32(0x06064B50).u64(44).u16(45).u16(45).u32(0).u32(0).u64(count).u64(count).u64(central.size()).u64(cdOffset);
    out.u32(0x07064B50).u32(0).u64(z64).u32(1);
    out.u32(0x06054B50).u16(0).u16(0).u16(0xFFFF).u16(0xFFFF).u32(0xFFFFFFFF).u32(0xFFFFFFFF);
  } else {
    out.u32(0x06054B50).u16(0).u16(0).u16(count).u16(count).u32(uint32_t(central.size())).u32(uint32_t(cdOffset));
  }
  out.u16(uint16_t(comment.size())).str(comment);
  return out.data;
}

}  // namespace gridlark::test
