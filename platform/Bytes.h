// Bounds-checked little-endian reading of untrusted bytes. Values are
// assembled byte by byte; a read that does not fit the data yields 0 (and a
// ByteCursor remembers that it ran short), never a read outside the buffer.
#pragma once

#include <cstdint>
#include <cstring>
#include <span>
#include <string_view>

namespace gridlark {

class ByteView {
 public:
  ByteView() = default;
  ByteView(std::span<const uint8_t> data) : data_(data) {}
  ByteView(const uint8_t* data, size_t size) : data_(data, size) {}

  size_t size() const { return data_.size(); }
  const uint8_t* data() const { return data_.data(); }
  std::span<const uint8_t> span() const { return data_; }
  // True when n bytes from `at` lie inside the data.
  bool Has(size_t at, size_t n) const { return at <= data_.size() && n <= data_.size() - at; }

  uint8_t U8(size_t at) const { return at < data_.size() ? data_[at] : 0; }
  uint16_t U16(size_t at) const { return Has(at, 2) ? uint16_t(data_[at] | (data_[at + 1] << 8)) : 0; }
  uint32_t U32(size_t at) const {
    return Has(at, 4) ? uint32_t(data_[at]) | (uint32_t(data_[at + 1]) << 8) | (uint32_t(data_[at + 2]) << 16) |
                            (uint32_t(data_[at + 3]) << 24)
                      : 0;
  }
  uint64_t U64(size_t at) const { return Has(at, 8) ? uint64_t(U32(at)) | (uint64_t(U32(at + 4)) << 32) : 0; }
  int16_t I16(size_t at) const { return int16_t(U16(at)); }
  int32_t I32(size_t at) const { return int32_t(U32(at)); }
  int64_t I64(size_t at) const { return int64_t(U64(at)); }
  double F64(size_t at) const {
    const uint64_t bits = U64(at);
    double d;
    std::memcpy(&d, &bits, sizeof d);
    return d;
  }
  // The bytes [at, at + n) clipped to the data.
  ByteView Sub(size_t at, size_t n) const {
    if (at >= data_.size()) return ByteView();
    return ByteView(data_.subspan(at, n < data_.size() - at ? n : data_.size() - at));
  }
  std::string_view Chars(size_t at, size_t n) const {
    const ByteView s = Sub(at, n);
    return std::string_view(reinterpret_cast<const char*>(s.data()), s.size());
  }

 private:
  std::span<const uint8_t> data_;
};

// A read position over a ByteView.
class ByteCursor {
 public:
  ByteCursor() = default;
  explicit ByteCursor(ByteView view, size_t pos = 0) : view_(view), pos_(pos) {}

  size_t Pos() const { return pos_; }
  void SetPos(size_t pos) { pos_ = pos; }
  size_t Remaining() const { return pos_ < view_.size() ? view_.size() - pos_ : 0; }
  // False once any read or skip ran past the end.
  bool Ok() const { return ok_; }

  uint8_t U8() { return Take(1) ? view_.U8(pos_ - 1) : 0; }
  uint16_t U16() { return Take(2) ? view_.U16(pos_ - 2) : 0; }
  uint32_t U32() { return Take(4) ? view_.U32(pos_ - 4) : 0; }
  uint64_t U64() { return Take(8) ? view_.U64(pos_ - 8) : 0; }
  int16_t I16() { return int16_t(U16()); }
  int32_t I32() { return int32_t(U32()); }
  double F64() { return Take(8) ? view_.F64(pos_ - 8) : 0; }
  bool Skip(size_t n) { return Take(n); }
  // Up to n bytes from the position (fewer at the end).
  ByteView Bytes(size_t n) {
    const ByteView out = view_.Sub(pos_, n);
    Take(n);
    return out;
  }

 private:
  bool Take(size_t n) {
    if (!view_.Has(pos_, n)) {
      ok_ = false;
      pos_ = view_.size() > pos_ ? view_.size() : pos_;
      return false;
    }
    pos_ += n;
    return true;
  }
  ByteView view_;
  size_t pos_ = 0;
  bool ok_ = true;
};

}  // namespace gridlark
