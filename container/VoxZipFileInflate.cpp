// The zlib decompression stream behind ZIP entries.
#include <zlib.h>

#include <algorithm>
#include <climits>

#include "container/VoxZipFile.h"

namespace gridlark {
namespace {

constexpr size_t kInputChunk = 1 << 16;

[[noreturn]] void DecompressionError() { throw EZDecompressionError(msg::DecompressionError); }

}  // namespace

TZDecompressionStream::TZDecompressionStream(TStream& Source, Format format, int64_t ExpectedSize)
    : FSource(Source), FZ(std::make_unique<z_stream_s>()), FInput(std::make_unique_for_overwrite<uint8_t[]>(kInputChunk)), FExpected(ExpectedSize) {
  *FZ = z_stream_s();
  if (inflateInit2(FZ.get(), format == Format::Zlib ? MAX_WBITS : -MAX_WBITS) != Z_OK) {
    FZ.reset();
    DecompressionError();
  }
}

TZDecompressionStream::~TZDecompressionStream() {
  if (FZ) inflateEnd(FZ.get());
}

int64_t TZDecompressionStream::Read(void* buffer, int64_t count) {
  if (count <= 0) return 0;
  if (FExpected >= 0) count = std::min(count, FExpected - FPosition);
  if (count <= 0) return 0;
  auto* out = static_cast<Bytef*>(buffer);
  int64_t produced = 0;
  while (produced < count && !FEnded) {
    if (FZ->avail_in == 0) {
      const int64_t got = FSource.Read(FInput.get(), int64_t(kInputChunk));
      if (got <= 0) break;  // the compressed data are exhausted
      FZ->next_in = FInput.get();
      FZ->avail_in = uInt(got);
    }
    const int64_t want = std::min<int64_t>(count - produced, UINT_MAX);
    FZ->next_out = out + produced;
    FZ->avail_out = uInt(want);
    const int r = inflate(FZ.get(), Z_NO_FLUSH);
    produced += want - int64_t(FZ->avail_out);
    if (r == Z_STREAM_END) {
      FEnded = true;
    } else if (r == Z_BUF_ERROR) {
      // No progress was possible: it needs input, which the next pass reads.
      if (FZ->avail_in != 0) DecompressionError();
    } else if (r != Z_OK) {
      DecompressionError();
    }
  }
  FPosition += produced;
  if (FExpected >= 0 && produced < count) DecompressionError();  // the data end before the size they claim
  return produced;
}

int64_t TZDecompressionStream::Seek(int64_t offset, SeekOrigin origin) {
  int64_t target;
  if (origin == SeekOrigin::Current && offset >= 0 && offset <= INT64_MAX - FPosition)
    target = FPosition + offset;
  else if (origin == SeekOrigin::Begin && offset >= FPosition)
    target = offset;
  else
    throw EStreamError(msg::StreamSeekError);
  uint8_t scratch[4096];
  while (FPosition < target) {
    if (Read(scratch, std::min<int64_t>(target - FPosition, sizeof scratch)) == 0) break;
  }
  return FPosition;
}

int64_t TZDecompressionStream::Size() {
  if (FExpected < 0) throw EStreamError(msg::StreamSeekError);
  return FExpected;
}

}  // namespace gridlark
