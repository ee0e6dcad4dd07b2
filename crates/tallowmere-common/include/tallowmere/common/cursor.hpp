// Cursor: a read position over a borrowed payload, and the fixed-width readers.
//
// Every value in the archives is little-endian; f32 and f64 are IEEE-754 values taken
// bit for bit. The position is 64-bit and may lie beyond the end of the payload, where
// every read finds 0 bytes remaining. A read that finds too few bytes fails with the
// end-of-data error "failed to fill whole buffer" and leaves the position where it was.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>
#include <span>

#include "tallowmere/common/endian.hpp"
#include "tallowmere/common/expected.hpp"
#include "tallowmere/common/parse_error.hpp"

namespace tallowmere::common {

template <class T>
using ParseResult = Expected<T, ParseError>;

class Cursor {
 public:
  explicit Cursor(std::span<const uint8_t> data, uint64_t position = 0)
      : data_(data), position_(position) {}

  std::span<const uint8_t> data() const { return data_; }
  uint64_t position() const { return position_; }
  // Any position is allowed, including one beyond the end of the payload.
  void set_position(uint64_t position) { position_ = position; }

  uint64_t remaining() const { return position_ >= data_.size() ? 0 : data_.size() - position_; }

  // The next `n` bytes, advancing past them; fails with "failed to fill whole buffer"
  // (position unchanged) when fewer remain.
  [[nodiscard]] ParseResult<std::span<const uint8_t>> take(uint64_t n) {
    if (n > remaining()) return make_unexpected(ParseError(IoError::fill_buffer()));
    auto bytes = data_.subspan(static_cast<size_t>(position_), static_cast<size_t>(n));
    position_ += n;
    return bytes;
  }

  // Reads a fixed-width little-endian value into `out` when enough bytes remain; false
  // (nothing read, position unchanged) otherwise. The fast path of the field readers.
  template <class T>
  [[nodiscard]] bool try_read(T& out) {
    if (sizeof(T) > remaining()) return false;
    out = load_le<T>(data_.data() + position_);
    position_ += sizeof(T);
    return true;
  }

  // Moves the position forward by `n` bytes without reading them (they need not
  // exist). Fails only when the new position would overflow 64 bits.
  [[nodiscard]] ParseResult<void> skip(uint64_t n) {
    if (n > UINT64_MAX - position_) return make_unexpected(ParseError(IoError::invalid_seek()));
    position_ += n;
    return {};
  }

  // Moves the position up to the next multiple of `multiple` (a power of two), counted
  // from the start of the payload; reads nothing. Fails only on 64-bit overflow.
  [[nodiscard]] ParseResult<void> align(uint64_t multiple) {
    if ((position_ & (multiple - 1)) == 0) return {};
    const uint64_t base = position_ & ~(multiple - 1);
    if (base > UINT64_MAX - multiple) return make_unexpected(ParseError(IoError::invalid_seek()));
    position_ = base + multiple;
    return {};
  }

 private:
  std::span<const uint8_t> data_;
  uint64_t position_;
};

namespace detail {
template <class T>
[[nodiscard]] ParseResult<T> read_le(Cursor& cursor) {
  auto bytes = cursor.take(sizeof(T));
  if (!bytes) return make_unexpected(std::move(bytes).error());
  return load_le<T>(bytes->data());
}
}  // namespace detail

[[nodiscard]] inline ParseResult<uint8_t> read_u8(Cursor& c) {
  return detail::read_le<uint8_t>(c);
}
[[nodiscard]] inline ParseResult<uint16_t> read_u16(Cursor& c) {
  return detail::read_le<uint16_t>(c);
}
[[nodiscard]] inline ParseResult<int16_t> read_i16(Cursor& c) {
  return detail::read_le<int16_t>(c);
}
[[nodiscard]] inline ParseResult<uint32_t> read_u32(Cursor& c) {
  return detail::read_le<uint32_t>(c);
}
[[nodiscard]] inline ParseResult<int32_t> read_i32(Cursor& c) {
  return detail::read_le<int32_t>(c);
}
[[nodiscard]] inline ParseResult<uint64_t> read_u64(Cursor& c) {
  return detail::read_le<uint64_t>(c);
}
[[nodiscard]] inline ParseResult<float> read_f32(Cursor& c) {
  return detail::read_le<float>(c);
}
[[nodiscard]] inline ParseResult<double> read_f64(Cursor& c) {
  return detail::read_le<double>(c);
}

}  // namespace tallowmere::common
