// A small writer of compound documents, used only by the tests: streams and
// storages under a root, version 3 (512-byte sectors) or 4 (4096-byte
// sectors), streams below 4096 bytes in the mini stream. The layout it
// reports lets a test damage one structure of the file on purpose.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace gridlark::test {

class CompoundWriter {
 public:
  explicit CompoundWriter(unsigned sectorShift = 9) : shift_(sectorShift) {}

  // Adds an element under the storage `parent` (0 = the root); returns its
  // directory entry id.
  int AddStorage(int parent, std::u16string name);
  int AddStream(int parent, std::u16string name, std::vector<uint8_t> data);

  std::vector<uint8_t> Build();

  // Layout of the last Build.
  uint32_t SectorSize() const { return 1u << shift_; }
  size_t SectorOffset(uint32_t sector) const { return size_t(sector + 1) << shift_; }
  // File offset of the FAT entry of a sector (the FAT is written first and in
  // one piece) and of the mini FAT entry of a mini sector.
  size_t FatEntryOffset(uint32_t sector) const { return SectorOffset(0) + 4 * size_t(sector); }
  size_t MiniFatEntryOffset(uint32_t miniSector) const { return SectorOffset(miniFatStart_) + 4 * size_t(miniSector); }
  size_t EntryOffset(int id) const;
  // First sector (regular or mini) of a stream.
  uint32_t StartSector(int id) const { return entries_[size_t(id)].start; }
  uint32_t FatSectorCount() const { return fatCount_; }

 private:
  struct Entry {
    std::u16string name;
    uint8_t type;  // 1 storage, 2 stream, 5 root
    int parent;
    std::vector<uint8_t> data;
    std::vector<int> children;
    uint32_t left = 0xFFFFFFFF, right = 0xFFFFFFFF, child = 0xFFFFFFFF;
    uint32_t start = 0xFFFFFFFE;
    uint64_t size = 0;
  };
  int Add(int parent, std::u16string name, uint8_t type, std::vector<uint8_t> data);
  uint32_t Tree(std::vector<int> ids);

  unsigned shift_;
  std::vector<Entry> entries_{Entry{u"Root Entry", 5, -1, {}, {}}};
  std::vector<uint32_t> dirSectors_;
  uint32_t miniFatStart_ = 0xFFFFFFFE;
  uint32_t fatCount_ = 0;
};

}  // namespace gridlark::test
