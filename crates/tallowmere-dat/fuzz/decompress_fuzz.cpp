// The decompressor over arbitrary bytes never reads or writes out of bounds, never
// produces more than the stored size, and gives what a plain decoder gives, also into a
// reused buffer; the compressor's output expands back exactly.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

#include "../tests/reference_decompress.hpp"
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
  if (out != dat::check::reference_decompress(input)) std::abort();
  // Kept from one input to the next, so that it holds an earlier output's bytes.
  static dat::PayloadBuffer reused;
  dat::decompress_lrs_into(input, reused);
  if (!std::equal(reused.begin(), reused.end(), out.begin(), out.end())) std::abort();
  if (dat::decompress_lrs(writer::compress_lrs(input)) !=
      std::vector<uint8_t>(input.begin(), input.end()))
    std::abort();
  return 0;
}
