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
#include <bit>
#include <cstring>

#include "tallowmere/common/endian.hpp"
#include "tallowmere/dat/utils.hpp"

namespace tallowmere::dat {

std::vector<uint8_t> decompress_lrs(std::span<const uint8_t> data) {
  std::vector<uint8_t> out;
  decompress_lrs_into(data, out);
  return out;
}

void decompress_lrs_into(std::span<const uint8_t> data, std::vector<uint8_t>& out) {
  if (data.size() < 4) {
    out.assign(data.begin(), data.end());
    return;
  }
  const uint64_t target = common::load_u32le(data.data());
  out.clear();
  if (target == 0) return;

  const std::span<const uint8_t> in = data.subspan(4);
  const size_t m = in.size();
  // The most the stream can expand to: 17 bytes per 2-byte back-reference. Reserving
  // no more than that keeps a forged S from allocating memory the input cannot fill.
  const uint64_t half = m / 2;
  const uint64_t bound = half > (UINT64_MAX - 17) / 17 ? UINT64_MAX : half * 17 + 17;
  // Output goes into a buffer of that size, trimmed at the end; it cannot outgrow it.
  if (m == 0) return;
  const size_t limit = static_cast<size_t>(std::min(target, bound));
  out.resize(limit);
  uint8_t* const o = out.data();
  size_t pos = 0;

  // A whole flag group takes at most 17 input bytes and writes at most 8 * 17 bytes;
  // while that much input is left (and 8 more, see below) and that much room plus 16
  // bytes, the group is decoded without the checks below: no length needs clamping, no
  // bound can be reached. The literals before each back-reference are copied together
  // as one block of 8 bytes (the input holds 8 more bytes wherever a literal can start);
  // a back-reference from at least 8 bytes back is copied in blocks of 8 (at most 24
  // bytes). Bytes written past an item are overwritten by the next ones or trimmed at
  // the end.
  constexpr size_t kGroupInput = 17 + 8;
  constexpr size_t kGroupRoom = 8 * 17 + 16;
  size_t i = 0;
  uint8_t mask = 0;
  uint8_t flags = 0;
  for (;;) {
    if (mask == 0) {
      if (m - i >= kGroupInput && limit - pos >= kGroupRoom) {
        unsigned items = in[i++];  // the flag byte, consumed from the top
        unsigned left = 8;
        bool ended = false;
        for (;;) {
          const auto literals = std::min<unsigned>(
              left, static_cast<unsigned>(std::countl_zero(static_cast<uint8_t>(items))));
          std::memcpy(o + pos, in.data() + i, 8);
          pos += literals;
          i += literals;
          left -= literals;
          if (left == 0) break;
          items = (items << (literals + 1)) & 0xFF;
          --left;
          const uint8_t b0 = in[i];
          const uint8_t b1 = in[i + 1];
          const size_t distance = b0 | static_cast<size_t>(b1 & 0xF0) << 4;
          if (distance == 0 || pos == 0) {
            ended = true;
            break;
          }
          const size_t length = (b1 & 0x0Fu) + 2u;
          i += 2;
          if (distance <= pos) {
            const uint8_t* from = o + pos - distance;
            uint8_t* to = o + pos;
            if (distance >= 8) {
              // Blocks of 8 in order: each block's source lies before it, already
              // written, so an overlapping reference repeats its bytes as it should.
              for (size_t c = 0; c < length; c += 8) std::memcpy(to + c, from + c, 8);
            } else {
              for (size_t k = 0; k < length; ++k) to[k] = from[k];
            }
            pos += length;
          } else {
            for (size_t k = 0; k < length; ++k, ++pos) o[pos] = o[pos - std::min(pos, distance)];
          }
          if (left == 0) break;
        }
        if (ended || i >= m) break;
        continue;
      }
      flags = in[i++];
      mask = 0x80;
    }
    if ((flags & mask) != 0) {
      if (i + 1 >= m) break;
      const uint8_t b0 = in[i];
      const uint8_t b1 = in[i + 1];
      const size_t distance = b0 | static_cast<size_t>(b1 & 0xF0) << 4;
      if (distance == 0) break;
      if (pos == 0) break;  // nothing to copy from
      const size_t length = std::min<size_t>((b1 & 0x0F) + 2u, limit - pos);
      i += 2;
      if (distance >= length && distance <= pos) {
        std::copy_n(o + pos - distance, length, o + pos);  // source and target apart
        pos += length;
      } else {
        // Overlapping, or reaching back before the start (then from the first byte on).
        for (size_t k = 0; k < length; ++k, ++pos) o[pos] = o[pos - std::min(pos, distance)];
      }
      if (pos >= limit) break;
    } else {
      if (i >= m) break;  // a literal announced after the last input byte
      o[pos++] = in[i++];
      if (pos >= limit) break;
    }
    mask = static_cast<uint8_t>(mask >> 1);
    if (i >= m) break;
  }
  out.resize(pos);
}

}  // namespace tallowmere::dat
