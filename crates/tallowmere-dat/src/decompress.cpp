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

namespace {

// A back-reference that lies wholly inside the output so far (distance <= pos), copied
// in blocks, written in order from the front; each block's source lies before its
// target, already written, so an overlapping reference repeats its bytes as the byte
// by byte copy would. It may write up to 24 bytes, past the reference's end.
inline void copy_back(uint8_t* to, size_t distance, size_t length) {
  const uint8_t* from = to - distance;
  if (distance >= 16) {
    // At most 17 bytes: one block of 16 whose source ends where it begins, then the
    // 17th byte (a byte of this block when the distance is exactly 16).
    std::memcpy(to, from, 16);
    to[16] = from[16];
  } else if (distance >= 8) {
    std::memcpy(to, from, 8);
    std::memcpy(to + 8, from + 8, 8);
    std::memcpy(to + 16, from + 16, 8);
  } else if (distance == 1) {
    std::memset(to, from[0], 17);  // a run of one byte
  } else {
    for (size_t k = 0; k < length; ++k) to[k] = from[k];
  }
}

// Decodes the token stream `in` into `o`, which has room for `limit` bytes (at least
// 1); returns the number of bytes produced.
size_t decode(std::span<const uint8_t> in, uint8_t* const o, const size_t limit) {
  const size_t m = in.size();
  const uint8_t* const src = in.data();
  size_t pos = 0;

  // A whole flag group takes at most 17 input bytes and writes at most 8 * 17 bytes;
  // while that much input is left (and 8 more, see below) and that much room plus 16
  // bytes, the group is decoded without the checks below: no length needs clamping, no
  // bound can be reached. Once a byte exists, only the end marker and a reference from
  // before the start need care, and both are caught by one comparison. The literals
  // before each back-reference are copied together as one block of 8 bytes (the input
  // holds 8 more bytes wherever a literal can start), a back-reference as copy_back
  // does. Bytes written past an item are overwritten by the next ones or trimmed at
  // the end.
  constexpr size_t kGroupInput = 17 + 8;
  constexpr size_t kGroupRoom = 8 * 17 + 16;
  // Fast groups start at an input position below fast_input_end, with a position in the
  // output from 1 to fast_output_last: pos - 1 < fast_output_last tests both bounds.
  const size_t fast_input_end = m >= kGroupInput ? m - kGroupInput + 1 : 0;
  const size_t fast_output_last = limit >= kGroupRoom ? limit - kGroupRoom : 0;
  size_t i = 0;
  uint8_t mask = 0;
  uint8_t flags = 0;
  for (;;) {
    if (mask == 0) {
      while (i < fast_input_end && pos - 1 < fast_output_last) {
        // The flag byte at the top of a word, with a 1 just below its last bit: the
        // leading zeros count the literals before the next back-reference, or before
        // that 1, which ends the group once it reaches the top alone.
        uint32_t items = uint32_t{src[i++]} << 24 | uint32_t{1} << 23;
        for (;;) {
          if (items == 0) __builtin_unreachable();  // the 1 below the flags is never shifted out
          const auto literals = static_cast<unsigned>(std::countl_zero(items));
          std::memcpy(o + pos, src + i, 8);
          pos += literals;
          i += literals;
          items <<= literals;
          if (items == uint32_t{1} << 31) break;
          items <<= 1;
          const uint8_t b0 = src[i];
          const uint8_t b1 = src[i + 1];
          const size_t distance = b0 | static_cast<size_t>(b1 & 0xF0) << 4;
          const size_t length = (b1 & 0x0Fu) + 2u;
          if (distance - 1 >= pos) {  // distance 0, or more than has been produced
            if (distance == 0) return pos;
            // From the first byte on until the reference reaches back into the output.
            for (size_t k = 0; k < length; ++k, ++pos) o[pos] = o[pos - std::min(pos, distance)];
          } else {
            copy_back(o + pos, distance, length);
            pos += length;
          }
          i += 2;
        }
      }
      flags = src[i++];
      mask = 0x80;
    }
    if ((flags & mask) != 0) {
      if (i + 1 >= m) break;
      const uint8_t b0 = src[i];
      const uint8_t b1 = src[i + 1];
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
      o[pos++] = src[i++];
      if (pos >= limit) break;
    }
    mask = static_cast<uint8_t>(mask >> 1);
    if (i >= m) break;
  }
  return pos;
}

template <class Buffer>
void decompress_into(std::span<const uint8_t> data, Buffer& out) {
  if (data.size() < 4) {
    out.assign(data.begin(), data.end());
    return;
  }
  const uint64_t target = common::load_u32le(data.data());
  const std::span<const uint8_t> in = data.subspan(4);
  const size_t m = in.size();
  if (target == 0 || m == 0) {
    out.clear();
    return;
  }
  // The most the stream can expand to: 17 bytes per 2-byte back-reference. Reserving
  // no more than that keeps a forged S from allocating memory the input cannot fill.
  const uint64_t half = m / 2;
  const uint64_t bound = half > (UINT64_MAX - 17) / 17 ? UINT64_MAX : half * 17 + 17;
  // Output goes into a buffer of that size, trimmed at the end; it cannot outgrow it.
  // Every byte kept is written by the decoder, so what the buffer held before (or how
  // it initialises what it grows by) never shows.
  const size_t limit = static_cast<size_t>(std::min(target, bound));
  out.resize(limit);
  out.resize(decode(in, out.data(), limit));
}

}  // namespace

std::vector<uint8_t> decompress_lrs(std::span<const uint8_t> data) {
  std::vector<uint8_t> out;
  decompress_lrs_into(data, out);
  return out;
}

void decompress_lrs_into(std::span<const uint8_t> data, std::vector<uint8_t>& out) {
  decompress_into(data, out);
}

void decompress_lrs_into(std::span<const uint8_t> data, PayloadBuffer& out) {
  decompress_into(data, out);
}

}  // namespace tallowmere::dat
