#include "container/VoxZipFile.h"

#include <zlib.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "platform/AnsiText.h"

namespace gridlark {
namespace {

constexpr uint32_t kZip64Marker32 = 0xFFFFFFFF;
constexpr uint16_t kZip64Marker16 = 0xFFFF;
constexpr uint16_t kZip64ExtraId = 0x0001;
constexpr uint32_t kZip64LocatorSignature = 0x07064B50;
constexpr uint32_t kZip64EndSignature = 0x06064B50;
constexpr size_t kEndRecordSize = 22;
constexpr size_t kMaxCommentLength = 0xFFFF;
// Deflate expands at most about 1032:1, so a header's uncompressed size
// sizes an output buffer only up to what its data can produce, and never
// beyond this ceiling; larger real content grows the buffer as it arrives.
constexpr uint64_t kDeflateMaxRatio = 1032;
constexpr uint64_t kPresizeCeiling = uint64_t(64) << 20;

void ReadCommonHeader(ByteCursor& c, TCommonFileHeader& h) {
  h.VersionNeededToExtract = c.U16();
  h.GeneralPurposeBitFlag = c.U16();
  h.CompressionMethod = c.U16();
  h.LastModFileTime = c.U16();
  h.LastModFileDate = c.U16();
  h.Crc32 = c.U32();
  h.CompressedSize = c.U32();
  h.UncompressedSize = c.U32();
  h.FilenameLength = c.U16();
  h.ExtraFieldLength = c.U16();
}

std::string TakeString(ByteCursor& c, size_t n) {
  const ByteView b = c.Bytes(n);
  return std::string(reinterpret_cast<const char*>(b.data()), b.size());
}

// The data of the ZIP64 extended information block of an extra field, or an
// empty view.
ByteView Zip64Extra(std::string_view extra) {
  const ByteView v(reinterpret_cast<const uint8_t*>(extra.data()), extra.size());
  size_t at = 0;
  while (v.Has(at, 4)) {
    const uint16_t id = v.U16(at);
    const uint16_t size = v.U16(at + 2);
    if (id == kZip64ExtraId) return v.Sub(at + 4, size);
    at += 4 + size_t(size);
  }
  return ByteView();
}

// Replaces the 32-bit markers of a header by the 64-bit values of its ZIP64
// block, which holds them in this order, each only when marked.
void ApplyZip64(std::string_view extra, TCommonFileHeader& h, uint64_t* offset, uint16_t* disk) {
  const bool su = h.UncompressedSize == kZip64Marker32;
  const bool sc = h.CompressedSize == kZip64Marker32;
  const bool so = offset && *offset == kZip64Marker32;
  const bool sd = disk && *disk == kZip64Marker16;
  if (!su && !sc && !so && !sd) return;
  const ByteView z = Zip64Extra(extra);
  size_t at = 0;
  auto take = [&](uint64_t& value) {
    if (z.Has(at, 8)) value = z.U64(at);
    at += 8;
  };
  if (su) take(h.UncompressedSize);
  if (sc) take(h.CompressedSize);
  if (so) take(*offset);
  if (sd && z.Has(at, 4)) *disk = uint16_t(std::min<uint32_t>(z.U32(at), 0xFFFF));
}

}  // namespace

// ---------------------------------------------------------------------------
// Entries

void TLocalFile::ReadCentralHeader(ByteCursor& c) {
  CentralVersionMadeBy = c.U16();
  ReadCommonHeader(c, CentralHeader);
  CentralFileCommentLength = c.U16();
  CentralDiskNumberStart = c.U16();
  CentralInternalFileAttributes = c.U16();
  CentralExternalFileAttributes = c.U32();
  CentralRelativeOffsetOfLocalHeader = c.U32();
  CentralFileName = TakeString(c, CentralHeader.FilenameLength);
  CentralExtraField = TakeString(c, CentralHeader.ExtraFieldLength);
  CentralFileComment = TakeString(c, CentralFileCommentLength);
  ApplyZip64(CentralExtraField, CentralHeader, &CentralRelativeOffsetOfLocalHeader, &CentralDiskNumberStart);
}

size_t TLocalFile::ReadLocalHeader(ByteCursor& c, size_t MaxCopy) {
  TCommonFileHeader h;
  ReadCommonHeader(c, h);
  const size_t copy = size_t(h.FilenameLength) + h.ExtraFieldLength;
  if (copy > MaxCopy) return 0;
  LocalHeader = h;
  FileName = TakeString(c, LocalHeader.FilenameLength);
  std::replace(FileName.begin(), FileName.end(), '\\', '/');
  ExtraField = TakeString(c, LocalHeader.ExtraFieldLength);
  ApplyZip64(ExtraField, LocalHeader, nullptr, nullptr);
  const uint64_t n = DataSize();
  const ByteView data = c.Bytes(size_t(std::min<uint64_t>(n, SIZE_MAX)));
  CompressedData = std::string_view(reinterpret_cast<const char*>(data.data()), data.size());
  LocalHeaderLoaded = true;
  return copy;
}

void TLocalFile::Assign(const TLocalFile& Source) {
  if (this != &Source) *this = Source;
}

uint64_t TLocalFile::DataSize() const {
  return LocalHeader.CompressedSize != 0 ? LocalHeader.CompressedSize : CentralHeader.CompressedSize;
}

uint64_t TLocalFile::UncompressedSize() const {
  return LocalHeader.UncompressedSize != 0 ? LocalHeader.UncompressedSize : CentralHeader.UncompressedSize;
}

bool TLocalFile::IsStored() const {
  const uint16_t method = LocalHeaderLoaded ? LocalHeader.CompressionMethod : CentralHeader.CompressionMethod;
  if (method == kZipMethodStored) return true;
  if (method == kZipMethodDeflated) return false;
  return DataSize() == UncompressedSize();
}

TLocalFile& TLocalFiles::Add() {
  FItems.push_back(std::make_unique<TLocalFile>());
  return *FItems.back();
}

TLocalFile& TLocalFiles::Items(int Index) const {
  if (Index < 0 || Index >= Count()) throw EListError(Format(msg::ListIndexError, Index));
  return *FItems[size_t(Index)];
}

// ---------------------------------------------------------------------------
// Memory stream with the fixed capacity rule

TFixMemoryStream::~TFixMemoryStream() { std::free(FMemory); }

void TFixMemoryStream::SetCapacity(int64_t capacity) {
  if (capacity > 0) {
    if (capacity > INT64_MAX - 0x1FFF) throw EStreamError(msg::MemoryStreamError);
    capacity = (capacity + 0x1FFF) & ~int64_t(0x1FFF);
  }
  if (capacity == FCapacity) return;
  if (capacity <= 0) {
    std::free(FMemory);
    FMemory = nullptr;
    FCapacity = 0;
    return;
  }
  void* block = uint64_t(capacity) <= SIZE_MAX ? std::realloc(FMemory, size_t(capacity)) : nullptr;
  if (!block) throw EStreamError(msg::MemoryStreamError);
  FMemory = static_cast<uint8_t*>(block);
  FCapacity = capacity;
}

void TFixMemoryStream::SetSize(int64_t size) {
  if (size < 0) size = 0;
  SetCapacity(size);
  FSize = size;
  if (FPosition > size) FPosition = size;
}

int64_t TFixMemoryStream::Read(void* buffer, int64_t count) {
  if (count <= 0 || FPosition >= FSize) return 0;
  const int64_t n = std::min(count, FSize - FPosition);
  std::memcpy(buffer, FMemory + FPosition, size_t(n));
  FPosition += n;
  return n;
}

int64_t TFixMemoryStream::Seek(int64_t offset, SeekOrigin origin) {
  const int64_t base = origin == SeekOrigin::Begin ? 0 : origin == SeekOrigin::Current ? FPosition : FSize;
  if ((offset < 0 && base < -offset) || (offset > 0 && base > INT64_MAX - offset))
    throw EStreamError(msg::StreamSeekError);
  FPosition = base + offset;
  return FPosition;
}

int64_t TFixMemoryStream::Write(const void* buffer, int64_t count) {
  if (count <= 0) return 0;
  if (FPosition > INT64_MAX - count) throw EStreamError(msg::MemoryStreamError);
  const int64_t end = FPosition + count;
  if (end > FCapacity) SetCapacity(end);
  if (FPosition > FSize) std::memset(FMemory + FSize, 0, size_t(FPosition - FSize));
  std::memcpy(FMemory + FPosition, buffer, size_t(count));
  FPosition = end;
  if (end > FSize) FSize = end;
  return count;
}

// ---------------------------------------------------------------------------
// CRC-32

uint32_t CalcCRC32(std::string_view Data) {
  return uint32_t(crc32_z(0, reinterpret_cast<const Bytef*>(Data.data()), Data.size()));
}

// ---------------------------------------------------------------------------
// Archive

void TZipArchive::ReadFromStream(TStream& Stream) {
  FFiles.Clear();
  FEndOfCentralDir = TEndOfCentralDir();
  const int64_t start = Stream.Position();

  // The whole stream once: offsets in the archive are stream positions, and
  // the entries' data stay in memory for the archive's lifetime.
  auto storage = std::make_shared<std::string>();
  {
    Stream.SetPosition(0);
    const int64_t size = Stream.Size();
    if (size > 0) {
      storage->resize(size_t(size));
      storage->resize(size_t(std::max<int64_t>(Stream.Read(storage->data(), size), 0)));
    }
    // A stream may hold more than its size said.
    char more[4096];
    for (int64_t got; (got = Stream.Read(more, sizeof more)) > 0;) storage->append(more, size_t(got));
    Stream.SetPosition(start);
  }
  const ByteView v(reinterpret_cast<const uint8_t*>(storage->data()), storage->size());
  const size_t n = v.size();

  // The end record: searched backwards over an archive comment. A record
  // whose comment reaches exactly to the end wins; failing that, the one
  // nearest the end.
  size_t found = SIZE_MAX;
  if (n >= kEndRecordSize) {
    const size_t last = n - kEndRecordSize;
    const size_t first = last - std::min(last, kMaxCommentLength);
    size_t nearest = SIZE_MAX;
    for (size_t at = last + 1; at-- > first;) {
      if (v.U32(at) != kZipEndOfCentralDirSignature) continue;
      if (nearest == SIZE_MAX) nearest = at;
      if (at + kEndRecordSize + v.U16(at + 20) == n) {
        found = at;
        break;
      }
    }
    if (found == SIZE_MAX) found = nearest;
  }
  if (found == SIZE_MAX) {
    FEndOfCentralDir.CentralDirOffset = uint64_t(std::max<int64_t>(start, 0));
    return;
  }
  TEndOfCentralDir& e = FEndOfCentralDir;
  e.EndOfCentralDirSignature = v.U32(found);
  e.NumberOfThisDisk = v.U16(found + 4);
  e.NumberOfDiskWithCentralDir = v.U16(found + 6);
  e.EntriesOnThisDisk = v.U16(found + 8);
  e.TotalEntries = v.U16(found + 10);
  e.CentralDirSize = v.U32(found + 12);
  e.CentralDirOffset = v.U32(found + 16);
  e.ZipCommentLength = v.U16(found + 20);
  // ZIP64: the locator just before the end record points to the ZIP64 end
  // record, whose 64-bit values replace the marked ones.
  if ((e.TotalEntries == kZip64Marker16 || e.CentralDirSize == kZip64Marker32 ||
       e.CentralDirOffset == kZip64Marker32) &&
      found >= 20 && v.U32(found - 20) == kZip64LocatorSignature) {
    const uint64_t at = v.U64(found - 20 + 8);
    if (at < n && v.U32(size_t(at)) == kZip64EndSignature && v.Has(size_t(at), 56)) {
      if (e.TotalEntries == kZip64Marker16) e.TotalEntries = v.U64(size_t(at) + 32);
      if (e.CentralDirSize == kZip64Marker32) e.CentralDirSize = v.U64(size_t(at) + 40);
      if (e.CentralDirOffset == kZip64Marker32) e.CentralDirOffset = v.U64(size_t(at) + 48);
    }
  }

  if (e.CentralDirOffset >= n) return;
  ByteCursor dir(v, size_t(e.CentralDirOffset));
  // Names and extra fields of well-formed archives occupy distinct bytes, so
  // their copies never exceed the archive's size; local headers that overlap
  // (several entries pointing at one header) are not loaded beyond that.
  size_t budget = n + (size_t(1) << 16);
  for (uint64_t i = 0; i < e.TotalEntries && dir.Remaining() > 0; ++i) {
    if (dir.U32() != kZipCentralHeaderSignature) continue;  // no resynchronisation: the next 4 bytes follow
    TLocalFile& f = FFiles.Add();
    f.CentralFileHeaderSignature = kZipCentralHeaderSignature;
    f.FStorage = storage;
    f.ReadCentralHeader(dir);
    const uint64_t at = f.CentralRelativeOffsetOfLocalHeader;
    if (at < n && v.U32(size_t(at)) == kZipLocalHeaderSignature) {
      ByteCursor local(v, size_t(at) + 4);
      budget -= f.ReadLocalHeader(local, budget);
    }
  }
}

int TZipArchive::IndexOfFile(std::string_view Name) const {
  for (int i = 0; i < FFiles.Count(); ++i)
    if (SameTextAscii(FFiles[i].FileName, Name)) return i;
  return -1;
}

const TLocalFile& TZipArchive::Entry(int Index) const {
  if (Index < 0 || Index >= FFiles.Count()) throw Exception(msg::ZipIndexOutOfBounds);
  return FFiles[Index];
}

void TZipArchive::ExtractFile(int Index, std::string& Data) const {
  const TLocalFile& f = Entry(Index);
  Data.clear();
  if (f.IsStored()) {
    Data.assign(f.CompressedData);
  } else {
    const uint64_t size = f.UncompressedSize();
    TSpanStream source(std::span(reinterpret_cast<const uint8_t*>(f.CompressedData.data()), f.CompressedData.size()));
    const int64_t expected = int64_t(std::min<uint64_t>(size, INT64_MAX));
    TZDecompressionStream inflater(source, TZDecompressionStream::Format::RawDeflate, expected);
    const uint64_t producible = f.CompressedData.size() * kDeflateMaxRatio + 64;
    Data.reserve(size_t(std::min({size, producible, kPresizeCeiling})));
    uint64_t done = 0;
    size_t chunk = 1 << 16;
    while (done < size) {
      const size_t want = size_t(std::min<uint64_t>(chunk, size - done));
      Data.resize(size_t(done) + want);
      inflater.ReadBuffer(Data.data() + done, int64_t(want));  // raises "error" when the data end early
      done += want;
      chunk = std::min<size_t>(chunk * 2, size_t(1) << 24);
    }
  }
  const uint32_t crc = CalcCRC32(Data);
  if (crc != f.LocalHeader.Crc32 && crc != f.CentralHeader.Crc32)
    throw EZipFileCRCError(Format(msg::ZipCRCError, f.FileName.c_str()));
}

void TZipArchive::ExtractFileByName(std::string_view Name, std::string& Data) const {
  const int index = IndexOfFile(Name);
  if (index < 0) {
    Data.clear();
    return;
  }
  ExtractFile(index, Data);
}

void TZipArchive::OpenEntryStream(int Index, std::unique_ptr<TFixMemoryStream>& Source,
                                  std::unique_ptr<TStream>& Decompressor, int64_t& Size) const {
  const TLocalFile& f = Entry(Index);
  Decompressor.reset();
  Source = std::make_unique<TFixMemoryStream>();
  Size = int64_t(std::min<uint64_t>(f.UncompressedSize(), INT64_MAX));
  const std::string_view data = f.CompressedData;
  if (f.IsStored()) {
    // Stored content is handed out as it is, at most Size bytes of it.
    Source->SetSize(int64_t(data.size()));
    Source->SetPosition(0);
    Source->WriteBuffer(data.data(), int64_t(data.size()));
    Source->SetPosition(0);
    const size_t take = size_t(std::min<uint64_t>(uint64_t(Size), data.size()));
    Decompressor = std::make_unique<TSpanStream>(std::span(Source->Memory(), take));
    return;
  }
  // Raw deflate: a zlib stream header in front would only make zlib compute
  // an Adler-32 checksum that the entry does not carry.
  Source->SetSize(int64_t(data.size()));
  Source->SetPosition(0);
  Source->WriteBuffer(data.data(), int64_t(data.size()));
  Source->SetPosition(0);
  Decompressor = std::make_unique<TZDecompressionStream>(*Source, TZDecompressionStream::Format::RawDeflate, Size);
}

}  // namespace gridlark
