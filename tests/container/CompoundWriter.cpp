#include "CompoundWriter.h"

#include <algorithm>

namespace gridlark::test {

namespace {

constexpr uint32_t kFree = 0xFFFFFFFF, kEnd = 0xFFFFFFFE, kFatSect = 0xFFFFFFFD, kDifSect = 0xFFFFFFFC;

void Put16(std::vector<uint8_t>& b, size_t at, uint16_t v) {
  b[at] = uint8_t(v);
  b[at + 1] = uint8_t(v >> 8);
}
void Put32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
  Put16(b, at, uint16_t(v));
  Put16(b, at + 2, uint16_t(v >> 16));
}
void Put64(std::vector<uint8_t>& b, size_t at, uint64_t v) {
  Put32(b, at, uint32_t(v));
  Put32(b, at + 4, uint32_t(v >> 32));
}
uint32_t CeilDiv(size_t a, size_t b) { return uint32_t((a + b - 1) / b); }

std::u16string Upper(std::u16string s) {
  for (auto& c : s)
    if (c >= u'a' && c <= u'z') c = char16_t(c - 32);
  return s;
}

}  // namespace

int CompoundWriter::Add(int parent, std::u16string name, uint8_t type, std::vector<uint8_t> data) {
  Entry e{std::move(name), type, parent, std::move(data), {}};
  e.size = e.data.size();
  entries_.push_back(std::move(e));
  const int id = int(entries_.size()) - 1;
  entries_[size_t(parent)].children.push_back(id);
  return id;
}

int CompoundWriter::AddStorage(int parent, std::u16string name) { return Add(parent, std::move(name), 1, {}); }

int CompoundWriter::AddStream(int parent, std::u16string name, std::vector<uint8_t> data) {
  return Add(parent, std::move(name), 2, std::move(data));
}

// A balanced binary tree over the siblings, in the directory's name order
// (shorter names first, then by upper-cased name).
uint32_t CompoundWriter::Tree(std::vector<int> ids) {
  if (ids.empty()) return kFree;
  std::sort(ids.begin(), ids.end(), [&](int a, int b) {
    const auto& x = entries_[size_t(a)].name;
    const auto& y = entries_[size_t(b)].name;
    return x.size() != y.size() ? x.size() < y.size() : Upper(x) < Upper(y);
  });
  const size_t mid = ids.size() / 2;
  Entry& e = entries_[size_t(ids[mid])];
  e.left = Tree(std::vector<int>(ids.begin(), ids.begin() + long(mid)));
  e.right = Tree(std::vector<int>(ids.begin() + long(mid) + 1, ids.end()));
  return uint32_t(ids[mid]);
}

size_t CompoundWriter::EntryOffset(int id) const {
  const uint32_t perDir = SectorSize() / 128;
  return SectorOffset(dirSectors_[size_t(id) / perDir]) + (size_t(id) % perDir) * 128;
}

std::vector<uint8_t> CompoundWriter::Build() {
  const uint32_t S = SectorSize(), perFat = S / 4, perDir = S / 128;

  // Small streams go to the mini stream, the others get sectors of their own.
  std::vector<uint8_t> miniStream;
  std::vector<uint32_t> miniFat;
  uint32_t regularSectors = 0;
  for (Entry& e : entries_) {
    if (e.type != 2) continue;
    if (e.data.empty()) {
      e.start = kEnd;
    } else if (e.data.size() < 4096) {
      e.start = uint32_t(miniFat.size());
      const uint32_t n = CeilDiv(e.data.size(), 64);
      for (uint32_t i = 0; i < n; ++i) miniFat.push_back(i + 1 < n ? e.start + i + 1 : kEnd);
      miniStream.insert(miniStream.end(), e.data.begin(), e.data.end());
      miniStream.resize(size_t(miniFat.size()) * 64, 0);
    } else {
      regularSectors += CeilDiv(e.data.size(), S);
    }
  }
  const uint32_t dirCount = CeilDiv(entries_.size(), perDir);
  const uint32_t miniFatCount = CeilDiv(miniFat.size(), perFat);
  const uint32_t miniSectors = CeilDiv(miniStream.size(), S);
  const uint32_t nonFat = dirCount + miniFatCount + miniSectors + regularSectors;
  uint32_t fat = 1, difat = 0;
  for (;;) {
    const uint32_t f = CeilDiv(nonFat + fat + difat, perFat);
    const uint32_t d = f > 109 ? CeilDiv(f - 109, perFat - 1) : 0;
    if (f == fat && d == difat) break;
    fat = f;
    difat = d;
  }
  fatCount_ = fat;
  const uint32_t total = fat + difat + nonFat;

  std::vector<uint32_t> fatTable(size_t(fat) * perFat, kFree);
  uint32_t next = 0;
  auto chain = [&](uint32_t count) {
    const uint32_t start = next;
    for (uint32_t i = 0; i < count; ++i) fatTable[next + i] = i + 1 < count ? next + i + 1 : kEnd;
    next += count;
    return count ? start : kEnd;
  };
  for (uint32_t i = 0; i < fat; ++i) fatTable[next++] = kFatSect;
  const uint32_t difatStart = next;
  for (uint32_t i = 0; i < difat; ++i) fatTable[next++] = kDifSect;
  const uint32_t dirStart = chain(dirCount);
  dirSectors_.clear();
  for (uint32_t i = 0; i < dirCount; ++i) dirSectors_.push_back(dirStart + i);
  miniFatStart_ = chain(miniFatCount);
  entries_[0].start = chain(miniSectors);
  entries_[0].size = miniStream.size();
  std::vector<std::pair<uint32_t, const Entry*>> regular;
  for (Entry& e : entries_)
    if (e.type == 2 && e.data.size() >= 4096) {
      e.start = chain(CeilDiv(e.data.size(), S));
      regular.push_back({e.start, &e});
    }
  for (Entry& e : entries_)
    if (e.type != 2) e.child = Tree(e.children);

  std::vector<uint8_t> out(size_t(total + 1) * S, 0);
  const uint8_t sig[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
  std::copy(std::begin(sig), std::end(sig), out.begin());
  Put16(out, 0x18, 0x3E);
  Put16(out, 0x1A, shift_ == 12 ? 4 : 3);
  Put16(out, 0x1C, 0xFFFE);
  Put16(out, 0x1E, uint16_t(shift_));
  Put16(out, 0x20, 6);
  Put32(out, 0x28, shift_ == 12 ? dirCount : 0);
  Put32(out, 0x2C, fat);
  Put32(out, 0x30, dirStart);
  Put32(out, 0x38, 4096);
  Put32(out, 0x3C, miniFatStart_);
  Put32(out, 0x40, miniFatCount);
  Put32(out, 0x44, difat ? difatStart : kEnd);
  Put32(out, 0x48, difat);
  for (uint32_t k = 0; k < 109; ++k) Put32(out, 0x4C + 4 * k, k < fat ? k : kFree);
  // DIFAT sectors: the FAT sectors beyond the header's 109, then the next link.
  for (uint32_t d = 0; d < difat; ++d) {
    const size_t at = SectorOffset(difatStart + d);
    for (uint32_t j = 0; j + 1 < perFat; ++j) {
      const uint32_t k = 109 + d * (perFat - 1) + j;
      Put32(out, at + 4 * j, k < fat ? k : kFree);
    }
    Put32(out, at + 4 * (perFat - 1), d + 1 < difat ? difatStart + d + 1 : kEnd);
  }
  for (size_t i = 0; i < fatTable.size(); ++i) Put32(out, SectorOffset(0) + 4 * i, fatTable[i]);
  for (size_t i = 0; i < size_t(miniFatCount) * perFat; ++i)
    Put32(out, SectorOffset(miniFatStart_) + 4 * i, i < miniFat.size() ? miniFat[i] : kFree);
  if (!miniStream.empty())
    std::copy(miniStream.begin(), miniStream.end(), out.begin() + long(SectorOffset(entries_[0].start)));
  for (const auto& [start, e] : regular)
    std::copy(e->data.begin(), e->data.end(), out.begin() + long(SectorOffset(start)));

  for (size_t id = 0; id < size_t(dirCount) * perDir; ++id) {
    const size_t at = EntryOffset(int(id));
    Put32(out, at + 0x44, kFree);
    Put32(out, at + 0x48, kFree);
    Put32(out, at + 0x4C, kFree);
    if (id >= entries_.size()) continue;
    const Entry& e = entries_[id];
    for (size_t i = 0; i < e.name.size() && i < 31; ++i) Put16(out, at + 2 * i, e.name[i]);
    Put16(out, at + 0x40, uint16_t((std::min<size_t>(e.name.size(), 31) + 1) * 2));
    out[at + 0x42] = e.type;
    out[at + 0x43] = 1;
    Put32(out, at + 0x44, e.left);
    Put32(out, at + 0x48, e.right);
    Put32(out, at + 0x4C, e.child);
    Put32(out, at + 0x74, e.type == 1 ? 0 : e.start);
    Put64(out, at + 0x78, e.size);
  }
  return out;
}

}  // namespace gridlark::test
