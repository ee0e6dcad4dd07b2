// The payload compressor: the inverse of dat::decompress_lrs.
//
// Output: the u32 little-endian size of `data`, then a token stream of flag bytes (most
// significant bit first; 0 a literal, 1 a back-reference of two bytes b0 b1 with
// distance b0 | (b1 & 0xF0) << 4 in 1..4095 and length (b1 & 0x0F) + 2 in 2..17). No
// end marker is written: the stored size bounds the decoder's output.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace tallowmere::writer {

// Greedy LZ matching over hash chains; `data` must be shorter than 4 GiB.
std::vector<uint8_t> compress_lrs(std::span<const uint8_t> data);

}  // namespace tallowmere::writer
