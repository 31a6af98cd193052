// Streams: an abstract byte stream with Read, Seek, Size and Position, and
// memory, file and read-only view streams. Short reads are normal: Read
// returns how many bytes it delivered; reads past the end deliver none.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace gridlark {

enum class SeekOrigin { Begin = 0, Current = 1, End = 2 };

class TStream {
 public:
  virtual ~TStream() = default;
  // Reads up to count bytes; returns the number delivered.
  virtual int64_t Read(void* buffer, int64_t count) = 0;
  // Moves the position; returns the new one. A position before the start
  // raises EStreamError; one past the end is allowed (reads deliver nothing).
  virtual int64_t Seek(int64_t offset, SeekOrigin origin) = 0;
  virtual int64_t Write(const void* buffer, int64_t count);
  virtual int64_t Size();

  int64_t Position() { return Seek(0, SeekOrigin::Current); }
  void SetPosition(int64_t pos) { Seek(pos, SeekOrigin::Begin); }
  // Reads exactly count bytes or raises EReadError "Stream read error".
  void ReadBuffer(void* buffer, int64_t count);
  void WriteBuffer(const void* buffer, int64_t count);
};

// Read-only stream over bytes it does not own.
class TSpanStream : public TStream {
 public:
  explicit TSpanStream(std::span<const uint8_t> data) : data_(data) {}
  int64_t Read(void* buffer, int64_t count) override;
  int64_t Seek(int64_t offset, SeekOrigin origin) override;
  int64_t Size() override { return int64_t(data_.size()); }

 protected:
  std::span<const uint8_t> data_;
  int64_t pos_ = 0;
};

// Growable stream that owns its bytes.
class TMemoryStream : public TStream {
 public:
  TMemoryStream() = default;
  explicit TMemoryStream(std::vector<uint8_t> data) : data_(std::move(data)) {}
  int64_t Read(void* buffer, int64_t count) override;
  int64_t Seek(int64_t offset, SeekOrigin origin) override;
  int64_t Write(const void* buffer, int64_t count) override;
  int64_t Size() override { return int64_t(data_.size()); }
  void SetSize(int64_t size);
  std::vector<uint8_t>& Bytes() { return data_; }
  const std::vector<uint8_t>& Bytes() const { return data_; }

 private:
  std::vector<uint8_t> data_;
  int64_t pos_ = 0;
};

// A file opened for reading. Opening fails with EFOpenError.
class TFileStream : public TStream {
 public:
  explicit TFileStream(const std::string& fileName);
  ~TFileStream() override;
  TFileStream(const TFileStream&) = delete;
  TFileStream& operator=(const TFileStream&) = delete;
  int64_t Read(void* buffer, int64_t count) override;
  int64_t Seek(int64_t offset, SeekOrigin origin) override;
  int64_t Size() override;

 private:
  int fd_ = -1;
};

// True when the name is an existing regular file (directories, devices and
// pipes do not count, so a request can never make us read a device).
bool FileExists(const std::string& fileName);
// The whole file, or EFOpenError / EReadError.
std::vector<uint8_t> ReadFileBytes(const std::string& fileName);
// Directory part of a file name including its trailing delimiter ("/", "\"
// or a drive colon); empty when there is none.
std::string ExtractFilePath(const std::string& fileName);
// Extension from the last dot of the name part, dot included; empty if none.
std::string ExtractFileExt(const std::string& fileName);

}  // namespace gridlark
