// The payload decompressor.
//
// Stored form: a u32 little-endian decompressed size S, then a token stream. Each flag
// byte announces eight items, most significant bit first: 0 is a literal byte, 1 a
// back-reference b0 b1 with distance b0 | (b1 & 0xF0) << 4 (0 ends the stream) and
// length (b1 & 0x0F) + 2, copied one byte at a time so that it may overlap itself.
// Output never exceeds S bytes. Input that ends early, an end marker, and the two
// malformed cases (a literal with no byte left, a back-reference into an empty output)
// all end decoding with the bytes produced so far; nothing is read or written out of
// bounds.
#include <algorithm>

#include "tallowmere/common/endian.hpp"
#include "tallowmere/dat/utils.hpp"

namespace tallowmere::dat {

std::vector<uint8_t> decompress_lrs(std::span<const uint8_t> data) {
  if (data.size() < 4) return std::vector<uint8_t>(data.begin(), data.end());
  const uint64_t target = common::load_u32le(data.data());
  std::vector<uint8_t> out;
  if (target == 0) return out;

  const std::span<const uint8_t> in = data.subspan(4);
  const size_t m = in.size();
  // The most the stream can expand to: 17 bytes per 2-byte back-reference. Reserving
  // no more than that keeps a forged S from allocating memory the input cannot fill.
  const uint64_t half = m / 2;
  const uint64_t bound = half > (UINT64_MAX - 17) / 17 ? UINT64_MAX : half * 17 + 17;
  out.reserve(static_cast<size_t>(std::min(target, bound)));
  if (m == 0) return out;

  size_t i = 0;
  uint8_t mask = 0;
  uint8_t flags = 0;
  for (;;) {
    if (mask == 0) {
      flags = in[i++];
      mask = 0x80;
    }
    if ((flags & mask) != 0) {
      if (i + 1 >= m) break;
      const uint8_t b0 = in[i];
      const uint8_t b1 = in[i + 1];
      const size_t distance = b0 | static_cast<size_t>(b1 & 0xF0) << 4;
      if (distance == 0) break;
      if (out.empty()) break;  // nothing to copy from
      const unsigned length = (b1 & 0x0F) + 2u;
      i += 2;
      for (unsigned k = 0; k < length && out.size() < target; ++k) {
        const uint8_t byte = out[out.size() - std::min(out.size(), distance)];
        out.push_back(byte);
      }
      if (out.size() >= target) break;
    } else {
      if (i >= m) break;  // a literal announced after the last input byte
      out.push_back(in[i++]);
      if (out.size() >= target) break;
    }
    mask = static_cast<uint8_t>(mask >> 1);
    if (i >= m) break;
  }
  return out;
}

}  // namespace tallowmere::dat
