// The decompressor over arbitrary bytes never reads or writes out of bounds, never
// produces more than the stored size, and gives what a plain decoder gives, also into a
// reused buffer; the compressor's output expands back exactly.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

#include "tallowmere/dat/utils.hpp"
#include "tallowmere/dat_writer/compressor.hpp"

namespace {

// The format decoded one item and one byte at a time, as simply as it can be written.
std::vector<uint8_t> reference(std::span<const uint8_t> stored) {
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

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tallowmere;
  std::span<const uint8_t> input(data, size);
  auto out = dat::decompress_lrs(input);
  if (size >= 4) {
    uint64_t stored =
        data[0] | uint64_t{data[1]} << 8 | uint64_t{data[2]} << 16 | uint64_t{data[3]} << 24;
    if (out.size() > stored) std::abort();
  }
  if (out != reference(input)) std::abort();
  // Kept from one input to the next, so that it holds an earlier output's bytes.
  static dat::PayloadBuffer reused;
  dat::decompress_lrs_into(input, reused);
  if (!std::equal(reused.begin(), reused.end(), out.begin(), out.end())) std::abort();
  if (dat::decompress_lrs(writer::compress_lrs(input)) !=
      std::vector<uint8_t>(input.begin(), input.end()))
    std::abort();
  return 0;
}
