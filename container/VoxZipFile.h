// ZIP archive reader: reads the directory of an archive held in a seekable
// stream, keeps the archive's bytes in memory, and hands out an entry's
// content either whole with its CRC-32 checked (ExtractFile) or as a
// decompression stream for large parts (OpenEntryStream). Deflate and stored
// entries are read, ZIP64 sizes and offsets included; nothing is written.
//
// Every size and offset of an archive is untrusted: headers, names and data
// that run past the end of the stream are shortened to the bytes that exist,
// and an entry's extraction then fails its CRC check or its inflate.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Bytes.h"
#include "platform/Classes.h"
#include "platform/Exceptions.h"
#include "platform/Streams.h"

struct z_stream_s;

namespace gridlark {

// An entry whose content does not match its stored CRC-32.
class EZipFileCRCError : public Exception { using Exception::Exception; };

namespace msg {
inline constexpr const char* ZipCRCError = "CRC Error in \"%s\".";
inline constexpr const char* ZipIndexOutOfBounds = "Index out of bounds";
}  // namespace msg

// The run of fields that local and central headers share, in file order.
// The sizes are 64-bit: where a header holds the ZIP64 marker 0xFFFFFFFF,
// the value from its ZIP64 extra field stands in its place.
struct TCommonFileHeader {
  uint16_t VersionNeededToExtract = 0;
  uint16_t GeneralPurposeBitFlag = 0;
  uint16_t CompressionMethod = 0;
  uint16_t LastModFileTime = 0;
  uint16_t LastModFileDate = 0;
  uint32_t Crc32 = 0;
  uint64_t CompressedSize = 0;
  uint64_t UncompressedSize = 0;
  uint16_t FilenameLength = 0;
  uint16_t ExtraFieldLength = 0;
};

// The end of central directory record (without the archive comment). The
// entry count, directory size and offset come from the ZIP64 end record when
// the archive has one.
struct TEndOfCentralDir {
  uint32_t EndOfCentralDirSignature = 0;
  uint16_t NumberOfThisDisk = 0;
  uint16_t NumberOfDiskWithCentralDir = 0;
  uint16_t EntriesOnThisDisk = 0;
  uint64_t TotalEntries = 0;
  uint64_t CentralDirSize = 0;
  uint64_t CentralDirOffset = 0;
  uint16_t ZipCommentLength = 0;
};

inline constexpr uint32_t kZipLocalHeaderSignature = 0x04034B50;
inline constexpr uint32_t kZipCentralHeaderSignature = 0x02014B50;
inline constexpr uint32_t kZipEndOfCentralDirSignature = 0x06054B50;
inline constexpr uint16_t kZipMethodStored = 0;
inline constexpr uint16_t kZipMethodDeflated = 8;

// One entry of an archive: its central directory header, its local header
// and its data as stored.
class TLocalFile {
 public:
  uint32_t LocalFileHeaderSignature = 0;  // never filled: the signature is consumed by the caller
  TCommonFileHeader LocalHeader;
  std::string FileName;  // local header name, every "\" replaced by "/"
  std::string ExtraField;
  // The entry's data bytes as stored; a view into the archive's bytes, which
  // the entry keeps alive.
  std::string_view CompressedData;
  uint32_t CentralFileHeaderSignature = 0;
  uint16_t CentralVersionMadeBy = 0;
  TCommonFileHeader CentralHeader;
  uint16_t CentralFileCommentLength = 0;
  uint16_t CentralDiskNumberStart = 0;
  uint16_t CentralInternalFileAttributes = 0;
  uint32_t CentralExternalFileAttributes = 0;
  uint64_t CentralRelativeOffsetOfLocalHeader = 0;  // an absolute position in the archive's stream
  std::string CentralFileName;  // unchanged
  std::string CentralExtraField;
  std::string CentralFileComment;
  bool LocalHeaderLoaded = false;

  // Read one header whose 4-byte signature the caller has already consumed.
  // The central header's 42 fixed bytes, then its name, extra field and
  // comment; ZIP64 values replace the markers they stand for.
  void ReadCentralHeader(ByteCursor& Cursor);
  // The local header's 26 fixed bytes, name, extra field and the data: the
  // local compressed size when not 0, else the central one. MaxCopy bounds
  // the bytes of name and extra field copied; a header that needs more is
  // not loaded. Returns the bytes copied.
  size_t ReadLocalHeader(ByteCursor& Cursor, size_t MaxCopy = SIZE_MAX);

  // Copies every field of Source.
  void Assign(const TLocalFile& Source);

  // The compressed size used for the data (local, else central) and the
  // uncompressed size (local when not 0, else central).
  uint64_t DataSize() const;
  uint64_t UncompressedSize() const;
  // True when the data are taken as they are stored rather than inflated:
  // method 0 (stored), or an unknown method whose two sizes are equal.
  bool IsStored() const;

 private:
  friend class TZipArchive;
  std::shared_ptr<const std::string> FStorage;  // the archive bytes CompressedData points into
};

// The entries of an archive, in central directory order; owned.
class TLocalFiles {
 public:
  TLocalFile& Add();
  int Count() const { return int(FItems.size()); }
  // Raise EListError for an index outside the list.
  TLocalFile& Items(int Index) const;
  TLocalFile& operator[](int Index) const { return Items(Index); }
  void Clear() { FItems.clear(); }

 private:
  std::vector<std::unique_ptr<TLocalFile>> FItems;
};

// A growable memory stream whose capacity is kept at multiples of 8192
// bytes. It raises EStreamError "Out of memory while expanding memory
// stream" when a capacity cannot be allocated.
class TFixMemoryStream : public TStream {
 public:
  TFixMemoryStream() = default;
  ~TFixMemoryStream() override;
  TFixMemoryStream(const TFixMemoryStream&) = delete;
  TFixMemoryStream& operator=(const TFixMemoryStream&) = delete;

  int64_t Read(void* buffer, int64_t count) override;
  int64_t Seek(int64_t offset, SeekOrigin origin) override;
  int64_t Write(const void* buffer, int64_t count) override;
  int64_t Size() override { return FSize; }
  void SetSize(int64_t size);
  int64_t Capacity() const { return FCapacity; }
  const uint8_t* Memory() const { return FMemory; }

 protected:
  // The capacity rule: a positive request is raised to the next multiple of
  // 8192; an unchanged capacity keeps the block; 0 frees it.
  virtual void SetCapacity(int64_t capacity);

 private:
  uint8_t* FMemory = nullptr;
  int64_t FCapacity = 0;
  int64_t FSize = 0;
  int64_t FPosition = 0;
};

// Reads the inflated form of a zlib or raw deflate stream from a source
// stream. Corrupt data raise EZDecompressionError with the message "error".
// With an expected size the stream delivers exactly that many bytes: data
// that end sooner raise the same error, and bytes beyond it are not read.
// Only forward reads are possible; Seek reports the position.
class TZDecompressionStream : public TStream {
 public:
  enum class Format { Zlib, RawDeflate };
  explicit TZDecompressionStream(TStream& Source, Format format = Format::Zlib, int64_t ExpectedSize = -1);
  ~TZDecompressionStream() override;
  TZDecompressionStream(const TZDecompressionStream&) = delete;
  TZDecompressionStream& operator=(const TZDecompressionStream&) = delete;

  int64_t Read(void* buffer, int64_t count) override;
  // Only Seek(0, Current) (the position) and forward moves by reading.
  int64_t Seek(int64_t offset, SeekOrigin origin) override;
  // The expected size when one was given; otherwise EStreamError.
  int64_t Size() override;

 private:
  TStream& FSource;
  std::unique_ptr<z_stream_s> FZ;
  std::unique_ptr<uint8_t[]> FInput;
  int64_t FExpected;
  int64_t FPosition = 0;
  bool FEnded = false;
};

// The CRC-32 of ZIP (reflected polynomial 0xEDB88320); 0 for no bytes.
uint32_t CalcCRC32(std::string_view Data);

// A ZIP archive read from a stream. Lives for one load.
class TZipArchive : public TComponent {
 public:
  TZipArchive() = default;

  // Reads the directory and keeps the archive's bytes; earlier entries are
  // discarded first. The end record is searched for backwards over an
  // archive comment; without one the archive has no entries.
  void ReadFromStream(TStream& Stream);
  // First entry whose FileName equals Name with ASCII letters compared
  // without regard to case; -1 when there is none.
  int IndexOfFile(std::string_view Name) const;
  // The CRC-checked content of an entry. Raises "Index out of bounds",
  // EZipFileCRCError, or EZDecompressionError "error".
  void ExtractFile(int Index, std::string& Data) const;
  // The content of the entry called Name, or empty when there is none.
  void ExtractFileByName(std::string_view Name, std::string& Data) const;
  // Prepares streamed reading of entry Index: Source holds the stored bytes,
  // Decompressor delivers exactly Size content bytes from it (inflating
  // deflated entries). The caller frees Decompressor before Source. No CRC
  // is checked on this path.
  void OpenEntryStream(int Index, std::unique_ptr<TFixMemoryStream>& Source, std::unique_ptr<TStream>& Decompressor,
                       int64_t& Size) const;

  const TLocalFiles& Files() const { return FFiles; }
  int Count() const { return FFiles.Count(); }
  const TEndOfCentralDir& EndOfCentralDir() const { return FEndOfCentralDir; }

 private:
  const TLocalFile& Entry(int Index) const;
  TLocalFiles FFiles;
  TEndOfCentralDir FEndOfCentralDir;
};

}  // namespace gridlark
