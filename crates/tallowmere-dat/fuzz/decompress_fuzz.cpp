// The decompressor over arbitrary bytes never reads or writes out of bounds and never
// produces more than the stored size; the compressor's output expands back exactly.
#include <cstdint>
#include <cstdlib>
#include <span>

#include "tallowmere/dat/utils.hpp"
#include "tallowmere/dat_writer/compressor.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tallowmere;
  std::span<const uint8_t> input(data, size);
  auto out = dat::decompress_lrs(input);
  if (size >= 4) {
    uint64_t stored =
        data[0] | uint64_t{data[1]} << 8 | uint64_t{data[2]} << 16 | uint64_t{data[3]} << 24;
    if (out.size() > stored) std::abort();
  }
  if (dat::decompress_lrs(writer::compress_lrs(input)) !=
      std::vector<uint8_t>(input.begin(), input.end()))
    std::abort();
  return 0;
}
