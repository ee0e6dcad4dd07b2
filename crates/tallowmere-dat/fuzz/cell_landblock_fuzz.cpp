// Cell landblock over arbitrary bytes: a payload of at least 251 bytes parses with 81
// entries per list, a shorter one fails with exactly one frame, and a parsed record
// encodes back to the first 251 bytes of its input.
#include <cstdint>
#include <cstdlib>
#include <span>

#include "tallowmere/dat/landblock.hpp"
#include "tallowmere/dat_writer/world_records.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tallowmere;
  std::span<const uint8_t> bytes(data, size);
  auto cell = dat::landblock::CellLandblock::unpack(bytes);
  if (!cell) {
    if (size >= 251 || cell.error().frames().size() != 1) std::abort();
    return 0;
  }
  if (size < 251 || cell->terrain.size() != 81 || cell->height.size() != 81) std::abort();
  auto encoded = writer::encode_cell_landblock(*cell);
  for (size_t i = 0; i < 251; ++i) {
    if (encoded[i] != data[i]) std::abort();
  }
  return 0;
}
