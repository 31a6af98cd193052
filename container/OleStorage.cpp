#include "container/OleStorage.h"

#include <algorithm>
#include <cstring>

#include "platform/Bytes.h"
#include "platform/Exceptions.h"

namespace gridlark {

namespace {

constexpr uint8_t kSignature[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
constexpr uint32_t kFreeSector = 0xFFFFFFFF;  // FAT: a sector in no chain
constexpr uint32_t kHeaderDifatEntries = 109;
constexpr uint32_t kMiniSectorSize = 64;
constexpr uint32_t kEntrySize = 128;
constexpr uint8_t kTypeStorage = 1, kTypeStream = 2, kTypeRoot = 5;

uint64_t CeilDiv(uint64_t a, uint64_t b) { return a / b + (a % b != 0); }

}  // namespace

// The parsed document: its bytes, the FAT, the mini FAT, the mini stream's
// chain and the directory tree of the entries reachable from the root.
class TCompoundDocument {
 public:
  struct Entry {
    WideString name;
    uint8_t type = 0;
    uint32_t start = 0;
    uint64_t size = 0;
    WideString upper;                // the name with ASCII letters upper-cased
    std::vector<uint32_t> children;  // indexes into entries, in directory order
    std::vector<uint32_t> byName;    // the same, ordered by upper-cased name
  };

  explicit TCompoundDocument(std::vector<uint8_t> bytes);

  const Entry& At(uint32_t index) const { return entries_[index]; }
  // The child of a storage whose name equals `name` up to ASCII case.
  bool FindChild(uint32_t storage, WideStringView name, uint32_t& found) const;
  uint32_t SectorSize() const { return sectorSize_; }
  bool InMiniStream(const Entry& e) const { return e.type == kTypeStream && e.size < miniCutoff_; }
  // A stream's size cut to what its container could hold at most, without
  // walking its chain.
  uint64_t SizeBound(const Entry& e) const {
    const uint64_t room = InMiniStream(e) ? uint64_t(miniSectorCount_) * kMiniSectorSize
                                          : uint64_t(sectorCount_) * sectorSize_;
    return std::min(e.size, room);
  }
  // The chain from start, at most maxLength sectors long, cut at the first
  // sector out of range or met twice.
  std::vector<uint32_t> Chain(uint32_t start, uint64_t maxLength) const;
  std::vector<uint32_t> MiniChain(uint32_t start, uint64_t maxLength) const;
  // Copies up to n bytes of a regular or mini sector from offset on; fewer
  // when the file ends first.
  size_t CopySector(bool mini, uint32_t sector, uint32_t offset, uint8_t* out, size_t n) const;

 private:
  ByteView SectorBytes(uint32_t sector) const {
    return view_.Sub((uint64_t(sector) + 1) * sectorSize_, sectorSize_);
  }
  void ReadFat();
  void ReadDirectory();
  void IndexChildren(Entry& storage);

  std::vector<uint8_t> bytes_;
  ByteView view_;
  uint32_t sectorSize_ = 512;
  uint32_t sectorCount_ = 0;
  uint32_t miniCutoff_ = 4096;
  std::vector<uint32_t> fat_;
  std::vector<uint32_t> miniFat_;
  std::vector<uint32_t> miniStream_;  // regular sectors holding the mini stream
  uint32_t miniSectorCount_ = 0;
  std::vector<Entry> entries_;        // entries_[0] is the root
};

TCompoundDocument::TCompoundDocument(std::vector<uint8_t> bytes) : bytes_(std::move(bytes)), view_(bytes_) {
  if (!IsStorageData(bytes_) || bytes_.size() < 512) throw EOleSysError(msg::OleInvalidHeader);
  const uint16_t shift = view_.U16(0x1E);
  if (shift != 9 && shift != 12) throw EOleSysError(msg::OleInvalidHeader);
  sectorSize_ = 1u << shift;
  // The header fills sector -1; a cut-off last sector still counts.
  const uint64_t body = bytes_.size() > sectorSize_ ? bytes_.size() - sectorSize_ : 0;
  sectorCount_ = uint32_t(std::min<uint64_t>(CeilDiv(body, sectorSize_), 0xFFFFFFFA));
  miniCutoff_ = view_.U32(0x38);
  ReadFat();
  ReadDirectory();

  // The mini stream is the root entry's stream; the mini FAT needs no more
  // sectors than the mini stream has mini sectors.
  const Entry& root = entries_[0];
  miniStream_ = Chain(root.start, CeilDiv(root.size, sectorSize_));
  const uint64_t miniBytes = std::min<uint64_t>(root.size, uint64_t(miniStream_.size()) * sectorSize_);
  miniSectorCount_ = uint32_t(CeilDiv(miniBytes, kMiniSectorSize));
  const std::vector<uint32_t> miniFatChain =
      Chain(view_.U32(0x3C), CeilDiv(uint64_t(miniSectorCount_) * 4, sectorSize_));
  miniFat_.reserve(miniFatChain.size() * (sectorSize_ / 4));
  for (uint32_t s : miniFatChain) {
    const ByteView sector = SectorBytes(s);
    for (uint32_t j = 0; j < sectorSize_ / 4; ++j)
      miniFat_.push_back(sector.Has(4 * j, 4) ? sector.U32(4 * j) : kFreeSector);
  }
}

void TCompoundDocument::ReadFat() {
  // FAT sectors come from the 109 header slots, then from the DIFAT chain.
  // Only as many as cover the file's sectors are read.
  const uint32_t perSector = sectorSize_ / 4;
  const uint64_t needed = CeilDiv(sectorCount_, perSector);
  std::vector<uint32_t> fatSectors;
  bool done = false;
  auto take = [&](uint32_t s) {
    if (s >= sectorCount_) done = true;
    else fatSectors.push_back(s);
  };
  for (uint32_t k = 0; k < kHeaderDifatEntries && !done && fatSectors.size() < needed; ++k)
    take(view_.U32(0x4C + 4 * k));
  std::vector<bool> seen(sectorCount_);
  uint32_t difat = view_.U32(0x44);
  while (!done && fatSectors.size() < needed && difat < sectorCount_ && !seen[difat]) {
    seen[difat] = true;
    const ByteView sector = SectorBytes(difat);
    for (uint32_t j = 0; j + 1 < perSector && !done && fatSectors.size() < needed; ++j) take(sector.U32(4 * j));
    difat = sector.U32(4 * (perSector - 1));
  }

  fat_.assign(sectorCount_, kFreeSector);
  for (size_t k = 0; k < fatSectors.size(); ++k) {
    const ByteView sector = SectorBytes(fatSectors[k]);
    for (uint32_t j = 0; j < perSector; ++j) {
      const uint64_t index = uint64_t(k) * perSector + j;
      if (index >= sectorCount_) break;
      if (sector.Has(4 * j, 4)) fat_[index] = sector.U32(4 * j);
    }
  }
}

void TCompoundDocument::ReadDirectory() {
  const std::vector<uint32_t> chain = Chain(view_.U32(0x30), sectorCount_);
  const uint32_t perSector = sectorSize_ / kEntrySize;
  const uint64_t entryCount = uint64_t(chain.size()) * perSector;
  auto raw = [&](uint32_t id) {
    return SectorBytes(chain[id / perSector]).Sub((id % perSector) * kEntrySize, kEntrySize);
  };
  auto make = [&](ByteView e) {
    Entry entry;
    const uint32_t chars = std::min<uint32_t>(e.U16(0x40), 64) / 2;
    for (uint32_t i = 0; i + 1 < chars; ++i) {
      const char16_t c = e.U16(2 * i);
      if (c == 0) break;
      entry.name.push_back(c);
    }
    entry.upper = UpperAscii(WideStringView(entry.name));
    entry.type = e.U8(0x42);
    entry.start = e.U32(0x74);
    entry.size = e.U64(0x78);
    // Version 3 files keep 32-bit sizes; writers leave garbage in the high half.
    if (sectorSize_ == 512) entry.size = uint32_t(entry.size);
    return entry;
  };
  if (entryCount == 0 || raw(0).U8(0x42) != kTypeRoot) throw EOleSysError(msg::OleCorrupt);

  // Each entry joins the tree at most once, so a directory whose links form
  // cycles or share subtrees still gives a finite tree.
  std::vector<bool> claimed(entryCount);
  claimed[0] = true;
  entries_.push_back(make(raw(0)));
  std::vector<std::pair<uint32_t, uint32_t>> pending{{0, raw(0).U32(0x4C)}};  // storage index, its child id
  auto usable = [&](uint32_t id) {
    if (id >= entryCount || claimed[id]) return false;
    const uint8_t type = raw(id).U8(0x42);
    return type == kTypeStorage || type == kTypeStream;
  };
  while (!pending.empty()) {
    const auto [storage, child] = pending.back();
    pending.pop_back();
    // In-order walk of the sibling tree, without recursion.
    std::vector<uint32_t> stack;
    uint32_t cur = child;
    for (;;) {
      while (usable(cur)) {
        claimed[cur] = true;
        stack.push_back(cur);
        cur = raw(cur).U32(0x44);
      }
      if (stack.empty()) break;
      const uint32_t id = stack.back();
      stack.pop_back();
      const ByteView e = raw(id);
      const uint32_t index = uint32_t(entries_.size());
      entries_.push_back(make(e));
      entries_[storage].children.push_back(index);
      if (entries_[index].type == kTypeStorage) pending.push_back({index, e.U32(0x4C)});
      cur = e.U32(0x48);
    }
  }
  for (Entry& e : entries_)
    if (e.type != kTypeStream) IndexChildren(e);
}

// Names are unique within a storage, compared without ASCII case; a later
// sibling of the same name is left out, as a name lookup would never find
// it. So each element is listed and opened once.
void TCompoundDocument::IndexChildren(Entry& storage) {
  std::vector<uint32_t>& order = storage.byName;
  order = storage.children;
  std::stable_sort(order.begin(), order.end(),
                   [this](uint32_t a, uint32_t b) { return entries_[a].upper < entries_[b].upper; });
  std::vector<uint32_t> dropped;
  order.erase(std::unique(order.begin(), order.end(),
                          [&](uint32_t a, uint32_t b) {
                            if (entries_[a].upper != entries_[b].upper) return false;
                            dropped.push_back(b);
                            return true;
                          }),
              order.end());
  if (dropped.empty()) return;
  std::sort(dropped.begin(), dropped.end());
  std::erase_if(storage.children, [&](uint32_t i) { return std::binary_search(dropped.begin(), dropped.end(), i); });
}

bool TCompoundDocument::FindChild(uint32_t storage, WideStringView name, uint32_t& found) const {
  const std::vector<uint32_t>& order = entries_[storage].byName;
  const WideString upper = UpperAscii(name);
  const auto it = std::lower_bound(order.begin(), order.end(), upper,
                                   [this](uint32_t a, const WideString& key) { return entries_[a].upper < key; });
  if (it == order.end() || entries_[*it].upper != upper) return false;
  found = *it;
  return true;
}

std::vector<uint32_t> TCompoundDocument::Chain(uint32_t start, uint64_t maxLength) const {
  std::vector<uint32_t> chain;
  std::vector<bool> seen;
  for (uint32_t s = start; s < sectorCount_ && chain.size() < maxLength; s = fat_[s]) {
    if (seen.empty()) seen.resize(sectorCount_);
    if (seen[s]) break;
    seen[s] = true;
    chain.push_back(s);
  }
  return chain;
}

std::vector<uint32_t> TCompoundDocument::MiniChain(uint32_t start, uint64_t maxLength) const {
  std::vector<uint32_t> chain;
  std::vector<bool> seen;
  for (uint32_t s = start; s < miniSectorCount_ && chain.size() < maxLength;
       s = s < miniFat_.size() ? miniFat_[s] : kFreeSector) {
    if (seen.empty()) seen.resize(miniSectorCount_);
    if (seen[s]) break;
    seen[s] = true;
    chain.push_back(s);
  }
  return chain;
}

size_t TCompoundDocument::CopySector(bool mini, uint32_t sector, uint32_t offset, uint8_t* out, size_t n) const {
  ByteView data;
  if (mini) {
    // Mini sectors lie inside the mini stream; 64 divides the sector size.
    const uint64_t at = uint64_t(sector) * kMiniSectorSize;
    const uint64_t index = at / sectorSize_;
    if (index >= miniStream_.size()) return 0;
    data = SectorBytes(miniStream_[index]).Sub(at % sectorSize_, kMiniSectorSize);
  } else {
    data = SectorBytes(sector);
  }
  const ByteView part = data.Sub(offset, n);
  if (part.size() > 0) std::memcpy(out, part.data(), part.size());
  return part.size();
}

// ---------------------------------------------------------------------------

IStream::IStream(std::shared_ptr<const TCompoundDocument> doc, uint32_t entry) : doc_(std::move(doc)), entry_(entry) {
  const TCompoundDocument::Entry& e = doc_->At(entry_);
  mini_ = doc_->InMiniStream(e);
  unit_ = mini_ ? kMiniSectorSize : doc_->SectorSize();
  const uint64_t sectors = CeilDiv(e.size, unit_);
  sectors_ = mini_ ? doc_->MiniChain(e.start, sectors) : doc_->Chain(e.start, sectors);
  // A size beyond what the chain holds is cut, so callers may trust it.
  size_ = std::min<uint64_t>(e.size, uint64_t(sectors_.size()) * unit_);
}

int64_t IStream::Read(void* buffer, int64_t count) {
  auto* out = static_cast<uint8_t*>(buffer);
  int64_t done = 0;
  while (done < count && uint64_t(pos_) < size_) {
    const uint64_t pos = uint64_t(pos_);
    const uint32_t offset = uint32_t(pos % unit_);
    const size_t want = size_t(std::min<uint64_t>({unit_ - offset, size_ - pos, uint64_t(count - done)}));
    const size_t got = doc_->CopySector(mini_, sectors_[pos / unit_], offset, out + done, want);
    done += int64_t(got);
    pos_ += int64_t(got);
    if (got < want) break;  // the file ends inside the stream
  }
  return done;
}

int64_t IStream::Seek(int64_t move, SeekOrigin origin) {
  const int64_t base = origin == SeekOrigin::Begin ? 0 : origin == SeekOrigin::Current ? pos_ : int64_t(size_);
  int64_t to;
  if (__builtin_add_overflow(base, move, &to) || to < 0) throw EOleSysError(msg::OleSeekError);
  pos_ = to;
  return pos_;
}

STATSTG IStream::Stat() const { return STATSTG{doc_->At(entry_).name, STGTY_STREAM, size_}; }

IEnumSTATSTG::IEnumSTATSTG(std::shared_ptr<const TCompoundDocument> doc, uint32_t storage)
    : doc_(std::move(doc)), storage_(storage) {}

bool IEnumSTATSTG::Next(STATSTG& element) {
  const auto& children = doc_->At(storage_).children;
  if (next_ >= children.size()) return false;
  const TCompoundDocument::Entry& e = doc_->At(children[next_++]);
  element.pwcsName = e.name;
  element.type = e.type == kTypeStorage ? STGTY_STORAGE : STGTY_STREAM;
  // Cheap and bounded by the file; an opened stream's Stat is exact.
  element.cbSize = e.type == kTypeStream ? doc_->SizeBound(e) : 0;
  return true;
}


std::shared_ptr<IStream> IStorage::OpenStream(WideStringView name) const {
  uint32_t index;
  if (!doc_->FindChild(entry_, name, index) || doc_->At(index).type != kTypeStream) return nullptr;
  return std::make_shared<IStream>(doc_, index);
}

std::shared_ptr<IStorage> IStorage::OpenStorage(WideStringView name) const {
  uint32_t index;
  if (!doc_->FindChild(entry_, name, index) || doc_->At(index).type != kTypeStorage) return nullptr;
  return std::make_shared<IStorage>(doc_, index);
}

STATSTG IStorage::Stat() const { return STATSTG{doc_->At(entry_).name, STGTY_STORAGE, 0}; }

bool IsStorageData(std::span<const uint8_t> bytes) {
  return bytes.size() >= sizeof kSignature && std::equal(std::begin(kSignature), std::end(kSignature), bytes.begin());
}

bool StgIsStorageFile(const std::string& fileName) {
  if (!FileExists(fileName)) return false;
  try {
    TFileStream file(fileName);
    uint8_t head[sizeof kSignature];
    return file.Read(head, sizeof head) == int64_t(sizeof head) && IsStorageData(head);
  } catch (const EStreamError&) {
    return false;
  }
}

std::shared_ptr<IStorage> StgOpenStorage(const std::string& fileName) {
  std::vector<uint8_t> bytes;
  try {
    bytes = ReadFileBytes(fileName);
  } catch (const EStreamError& e) {
    throw EOleSysError(e.Message());
  }
  return StgOpenStorageOnMemory(std::move(bytes));
}

std::shared_ptr<IStorage> StgOpenStorageOnMemory(std::vector<uint8_t> bytes) {
  return std::make_shared<IStorage>(std::make_shared<const TCompoundDocument>(std::move(bytes)), 0);
}

// ---------------------------------------------------------------------------

TOleStream::TOleStream(std::shared_ptr<IStream> stream) : stream_(std::move(stream)) {
  if (!stream_) throw EOleSysError(msg::OleInvalidPointer);
}

int64_t TOleStream::Read(void* buffer, int64_t count) { return stream_->Read(buffer, count); }

int64_t TOleStream::Seek(int64_t offset, SeekOrigin origin) { return stream_->Seek(offset, origin); }

int64_t TOleStream::Write(const void*, int64_t) { throw EOleSysError(msg::OleAccessDenied); }

int64_t TOleStream::Size() { return int64_t(stream_->Size()); }

}  // namespace gridlark
