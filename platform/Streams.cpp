#include "platform/Streams.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/Exceptions.h"

namespace gridlark {

int64_t TStream::Write(const void*, int64_t) { throw EStreamError(msg::StreamWriteError); }

int64_t TStream::Size() {
  const int64_t pos = Position();
  const int64_t size = Seek(0, SeekOrigin::End);
  Seek(pos, SeekOrigin::Begin);
  return size;
}

void TStream::ReadBuffer(void* buffer, int64_t count) {
  if (count > 0 && Read(buffer, count) != count) throw EReadError(msg::StreamReadError);
}

void TStream::WriteBuffer(const void* buffer, int64_t count) {
  if (count > 0 && Write(buffer, count) != count) throw EStreamError(msg::StreamWriteError);
}

namespace {

int64_t NewPosition(int64_t pos, int64_t size, int64_t offset, SeekOrigin origin) {
  int64_t base = origin == SeekOrigin::Begin ? 0 : origin == SeekOrigin::Current ? pos : size;
  if ((offset < 0 && base < -offset) || (offset > 0 && base > INT64_MAX - offset))
    throw EStreamError(msg::StreamSeekError);
  return base + offset;
}

int64_t CopyOut(std::span<const uint8_t> data, int64_t& pos, void* buffer, int64_t count) {
  if (count <= 0 || pos >= int64_t(data.size())) return 0;
  const int64_t n = std::min<int64_t>(count, int64_t(data.size()) - pos);
  std::memcpy(buffer, data.data() + pos, size_t(n));
  pos += n;
  return n;
}

}  // namespace

int64_t TSpanStream::Read(void* buffer, int64_t count) { return CopyOut(data_, pos_, buffer, count); }

int64_t TSpanStream::Seek(int64_t offset, SeekOrigin origin) {
  pos_ = NewPosition(pos_, int64_t(data_.size()), offset, origin);
  return pos_;
}

int64_t TMemoryStream::Read(void* buffer, int64_t count) { return CopyOut(data_, pos_, buffer, count); }

int64_t TMemoryStream::Seek(int64_t offset, SeekOrigin origin) {
  pos_ = NewPosition(pos_, int64_t(data_.size()), offset, origin);
  return pos_;
}

int64_t TMemoryStream::Write(const void* buffer, int64_t count) {
  if (count <= 0) return 0;
  if (pos_ + count > int64_t(data_.size())) data_.resize(size_t(pos_ + count));
  std::memcpy(data_.data() + pos_, buffer, size_t(count));
  pos_ += count;
  return count;
}

void TMemoryStream::SetSize(int64_t size) {
  data_.resize(size_t(std::max<int64_t>(size, 0)));
  pos_ = std::min<int64_t>(pos_, int64_t(data_.size()));
}

TFileStream::TFileStream(const std::string& fileName) {
  fd_ = ::open(fileName.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd_ < 0) throw EFOpenError(Format(msg::FileOpenError, fileName.c_str(), std::strerror(errno)));
}

TFileStream::~TFileStream() {
  if (fd_ >= 0) ::close(fd_);
}

int64_t TFileStream::Read(void* buffer, int64_t count) {
  int64_t done = 0;
  auto* out = static_cast<uint8_t*>(buffer);
  while (done < count) {
    const ssize_t n = ::read(fd_, out + done, size_t(std::min<int64_t>(count - done, 1 << 30)));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) throw EReadError(msg::StreamReadError);
    if (n == 0) break;
    done += n;
  }
  return done;
}

int64_t TFileStream::Seek(int64_t offset, SeekOrigin origin) {
  const int whence = origin == SeekOrigin::Begin ? SEEK_SET : origin == SeekOrigin::Current ? SEEK_CUR : SEEK_END;
  const off_t r = ::lseek(fd_, off_t(offset), whence);
  if (r < 0) throw EStreamError(msg::StreamSeekError);
  return int64_t(r);
}

int64_t TFileStream::Size() {
  struct stat st {};
  if (::fstat(fd_, &st) != 0) throw EStreamError(msg::StreamSeekError);
  return int64_t(st.st_size);
}

bool FileExists(const std::string& fileName) {
  struct stat st {};
  return !fileName.empty() && ::stat(fileName.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::vector<uint8_t> ReadFileBytes(const std::string& fileName) {
  TFileStream f(fileName);
  const int64_t size = f.Size();
  std::vector<uint8_t> data(size_t(std::max<int64_t>(size, 0)));
  data.resize(size_t(f.Read(data.data(), int64_t(data.size()))));
  return data;
}

std::string ExtractFilePath(const std::string& fileName) {
  const size_t p = fileName.find_last_of("/\\:");
  return p == std::string::npos ? std::string() : fileName.substr(0, p + 1);
}

std::string ExtractFileExt(const std::string& fileName) {
  const size_t p = fileName.find_last_of("./\\:");
  if (p == std::string::npos || fileName[p] != '.') return std::string();
  return fileName.substr(p);
}

}  // namespace gridlark
