// The payload format decoded one item and one byte at a time, as simply as it can be
// written: what the decoder's faster paths must agree with. Shared by the unit tests and
// the fuzz target.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace tallowmere::dat::check {

inline std::vector<uint8_t> reference_decompress(std::span<const uint8_t> stored) {
  if (stored.size() < 4) return {stored.begin(), stored.end()};
  const size_t target = size_t{stored[0]} | size_t{stored[1]} << 8 | size_t{stored[2]} << 16 |
                        size_t{stored[3]} << 24;
  std::vector<uint8_t> out;
  size_t i = 4;
  while (i < stored.size() && out.size() < target) {
    const uint8_t flags = stored[i++];
    for (unsigned bit = 0x80; bit != 0 && out.size() < target; bit >>= 1) {
      if ((flags & bit) == 0) {
        if (i >= stored.size()) return out;
        out.push_back(stored[i++]);
        continue;
      }
      if (i + 1 >= stored.size()) return out;
      const size_t distance = stored[i] | (stored[i + 1] & 0xF0u) << 4;
      const size_t length = (stored[i + 1] & 0x0Fu) + 2;
      if (distance == 0 || out.empty()) return out;
      i += 2;
      for (size_t k = 0; k < length && out.size() < target; ++k)
        out.push_back(out[out.size() - std::min(out.size(), distance)]);
    }
  }
  return out;
}

}  // namespace tallowmere::dat::check
