// The primitive field readers shared by the record parsers, and the payload decompressor.
//
// Encodings (little-endian throughout):
//   PString          length (1, 2 or 4 bytes, chosen by the caller), then that many
//                    bytes; EF BB BF starts UTF-8, FF FE UTF-16LE, FE FF UTF-16BE,
//                    anything else is Windows-1252.
//   packed u32       1 byte 0x00-0x7F; 2 bytes 10xxxxxx b1; 4 bytes 11xxxxxx b1 w(u16 LE).
//   smart vec        packed u32 count, then count u32.
// Alignment is counted from the start of the payload.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "tallowmere/common/cursor.hpp"
#include "tallowmere/dat/payload_buffer.hpp"

namespace tallowmere::dat {

// A length-prefixed string decoded to UTF-8. `prefix_width` is 1, 2 or 4; any other
// width fails with the failed check "Unsupported PString length size".
[[nodiscard]] common::ParseResult<std::string> read_pstring(common::Cursor& cursor,
                                                            unsigned prefix_width);

// Moves the position up to the next multiple of 4 (reads nothing).
[[nodiscard]] common::ParseResult<void> align_to_4(common::Cursor& cursor);

[[nodiscard]] common::ParseResult<uint32_t> read_compressed_u32(common::Cursor& cursor);
[[nodiscard]] common::ParseResult<std::vector<uint32_t>> read_smart_vec(common::Cursor& cursor);

// Exactly `count` bytes; fewer fail with "not enough bytes in reader".
[[nodiscard]] common::ParseResult<std::vector<uint8_t>> read_byte_list(common::Cursor& cursor,
                                                                       uint64_t count);
// `count` little-endian u16, read in growing chunks so that a damaged count cannot
// force a large allocation; a short chunk fails with "failed to fill whole buffer".
[[nodiscard]] common::ParseResult<std::vector<uint16_t>> read_u16_list(common::Cursor& cursor,
                                                                       uint64_t count);

// How many elements of at least `min_element_size` bytes the rest of the payload could
// still hold, capped at `count`: the most any list may reserve before reading.
[[nodiscard]] inline uint64_t reservable(const common::Cursor& cursor, uint64_t count,
                                         uint64_t min_element_size) {
  uint64_t fit = min_element_size == 0 ? count : cursor.remaining() / min_element_size;
  return count < fit ? count : fit;
}

// Expands a compressed payload: a u32 decompressed size S, then the token stream of
// flag bytes (most significant bit first: 0 literal, 1 back-reference of two bytes
// b0 b1, distance b0 | (b1 & 0xF0) << 4, length (b1 & 0x0F) + 2, distance 0 ends).
// Never fails: a damaged stream yields a shorter output.
std::vector<uint8_t> decompress_lrs(std::span<const uint8_t> data);
// The same into `out`, whose capacity is reused.
void decompress_lrs_into(std::span<const uint8_t> data, std::vector<uint8_t>& out);
// The same into a buffer that spends nothing on zeroing the room it grows into.
void decompress_lrs_into(std::span<const uint8_t> data, PayloadBuffer& out);

}  // namespace tallowmere::dat
