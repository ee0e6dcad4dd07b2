// ByteWriter: builds payloads in the archive's encodings (the inverse of the readers).
//
// Little-endian fixed-width values, PStrings with a 2-byte length prefix (raw bytes,
// no transcoding), zero padding up to a multiple of 4 counted from the first byte
// written, and the packed u32 form.
#pragma once

#include <bit>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "tallowmere/common/endian.hpp"

namespace tallowmere::writer {

class ByteWriter {
 public:
  ByteWriter& u8(uint8_t v) {
    bytes_.push_back(v);
    return *this;
  }
  ByteWriter& u16(uint16_t v) { return le(v, 2); }
  ByteWriter& i16(int16_t v) { return le(static_cast<uint16_t>(v), 2); }
  ByteWriter& u32(uint32_t v) { return le(v, 4); }
  ByteWriter& i32(int32_t v) { return le(static_cast<uint32_t>(v), 4); }
  ByteWriter& u64(uint64_t v) { return le(v, 8); }
  ByteWriter& f32(float v) { return le(std::bit_cast<uint32_t>(v), 4); }
  ByteWriter& f64(double v) { return le(std::bit_cast<uint64_t>(v), 8); }
  ByteWriter& bytes(std::span<const uint8_t> b) {
    bytes_.insert(bytes_.end(), b.begin(), b.end());
    return *this;
  }
  ByteWriter& zeros(size_t n) {
    bytes_.insert(bytes_.end(), n, 0);
    return *this;
  }
  // A PString with a 2-byte length prefix holding `text` as raw bytes.
  ByteWriter& pstring16(std::string_view text) {
    u16(static_cast<uint16_t>(text.size()));
    bytes_.insert(bytes_.end(), text.begin(), text.end());
    return *this;
  }
  // Zero bytes up to the next multiple of 4 of the total length.
  ByteWriter& align4() {
    while (bytes_.size() % 4 != 0) bytes_.push_back(0);
    return *this;
  }
  // The packed u32 form (1, 2 or 4 bytes); `v` must be at most 0x3FFFFFFF.
  ByteWriter& packed_u32(uint32_t v) {
    if (v < 0x80) return u8(static_cast<uint8_t>(v));
    if (v < 0x4000) return u8(static_cast<uint8_t>(0x80 | (v >> 8))).u8(static_cast<uint8_t>(v));
    return u8(static_cast<uint8_t>(0xC0 | (v >> 24)))
        .u8(static_cast<uint8_t>(v >> 16))
        .u16(static_cast<uint16_t>(v));
  }

  size_t size() const { return bytes_.size(); }
  const std::vector<uint8_t>& view() const { return bytes_; }
  std::vector<uint8_t> take() { return std::move(bytes_); }

 private:
  ByteWriter& le(uint64_t v, int width) {
    uint8_t raw[8];
    common::store_u64le(raw, v);
    bytes_.insert(bytes_.end(), raw, raw + width);
    return *this;
  }
  std::vector<uint8_t> bytes_;
};

}  // namespace tallowmere::writer
