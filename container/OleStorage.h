// Compound documents (OLE structured storage files): our own read-only
// reader, offering the storage operations the readers use. A document is
// parsed once when it is opened (header, FAT through the DIFAT, mini FAT,
// directory tree); storages and streams opened from it share it by reference
// count and stay valid on their own.
//
// The bytes are untrusted: sector numbers out of range end a chain, chains
// that loop are cut where they meet themselves, directory entries reached
// twice or out of range are left out, as are later siblings of the same
// name, and a stream's size is cut to what its chain can deliver. So a damaged file gives short reads or EOleSysError,
// and memory stays proportional to the file.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "platform/AnsiText.h"
#include "platform/Streams.h"

namespace gridlark {

namespace msg {
inline constexpr const char* OleInvalidHeader = "The file is not a valid compound file.";
inline constexpr const char* OleCorrupt = "The compound file is corrupt.";
inline constexpr const char* OleNotFound = "%s could not be found.";
inline constexpr const char* OleSeekError = "An error occurred during a seek operation.";
inline constexpr const char* OleAccessDenied = "Access Denied.";
inline constexpr const char* OleInvalidPointer = "Invalid pointer error.";
}  // namespace msg

// Element types of STATSTG.type.
inline constexpr uint32_t STGTY_STORAGE = 1;
inline constexpr uint32_t STGTY_STREAM = 2;

// What enumeration and Stat tell about an element.
struct STATSTG {
  WideString pwcsName;
  uint32_t type = 0;
  uint64_t cbSize = 0;  // streams: the length in bytes; storages: 0
};

class TCompoundDocument;

// One stream of a document, with its own position.
class IStream {
 public:
  IStream(std::shared_ptr<const TCompoundDocument> doc, uint32_t entry);
  // Reads up to count bytes at the position; fewer at the end of the stream.
  int64_t Read(void* buffer, int64_t count);
  // Moves the position; past the end is allowed (reads then deliver nothing),
  // before the start raises EOleSysError.
  int64_t Seek(int64_t move, SeekOrigin origin);
  STATSTG Stat() const;
  uint64_t Size() const { return size_; }

 private:
  std::shared_ptr<const TCompoundDocument> doc_;
  uint32_t entry_;
  bool mini_ = false;
  uint32_t unit_ = 0;              // sector size of the chain
  std::vector<uint32_t> sectors_;  // the chain: regular or mini sector numbers
  uint64_t size_ = 0;
  int64_t pos_ = 0;
};

// The elements of one storage, in directory order.
class IEnumSTATSTG {
 public:
  IEnumSTATSTG(std::shared_ptr<const TCompoundDocument> doc, uint32_t storage);
  void Reset() { next_ = 0; }
  // The next element; false at the end.
  bool Next(STATSTG& element);

 private:
  std::shared_ptr<const TCompoundDocument> doc_;
  uint32_t storage_;
  size_t next_ = 0;
};

// The root or a sub-storage of a document.
class IStorage {
 public:
  IStorage(std::shared_ptr<const TCompoundDocument> doc, uint32_t entry) : doc_(std::move(doc)), entry_(entry) {}
  IEnumSTATSTG EnumElements() const { return IEnumSTATSTG(doc_, entry_); }
  // The child stream or storage of that name, compared without ASCII case;
  // nullptr when there is none or the child is of the other kind.
  std::shared_ptr<IStream> OpenStream(WideStringView name) const;
  std::shared_ptr<IStorage> OpenStorage(WideStringView name) const;
  STATSTG Stat() const;

 private:
  std::shared_ptr<const TCompoundDocument> doc_;
  uint32_t entry_;
};

// True when the bytes begin with the compound-document signature.
bool IsStorageData(std::span<const uint8_t> bytes);
// True when the file exists and begins with the signature.
bool StgIsStorageFile(const std::string& fileName);
// The root storage of a compound file; EOleSysError when the file cannot be
// read or is no sound compound document.
std::shared_ptr<IStorage> StgOpenStorage(const std::string& fileName);
// The root storage of a compound document held in memory (the program's
// stand-in for a storage over a global memory block); the bytes are kept.
std::shared_ptr<IStorage> StgOpenStorageOnMemory(std::vector<uint8_t> bytes);

// A TStream over one compound-document stream. Read-only: Write raises.
class TOleStream : public TStream {
 public:
  explicit TOleStream(std::shared_ptr<IStream> stream);
  int64_t Read(void* buffer, int64_t count) override;
  int64_t Seek(int64_t offset, SeekOrigin origin) override;
  int64_t Write(const void* buffer, int64_t count) override;
  int64_t Size() override;

 private:
  std::shared_ptr<IStream> stream_;
};

}  // namespace gridlark
