// Region over arbitrary bytes: parse errors are never framed (the region's parsers are
// hand-written), and a parsed region re-encodes to a payload that parses completely.
#include <cstdint>
#include <cstdlib>
#include <span>

#include "tallowmere/dat/file_type/region.hpp"
#include "tallowmere/dat_writer/world_records.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tallowmere;
  using dat::file_type::Region;
  common::Cursor cursor(std::span<const uint8_t>(data, size));
  auto region = Region::unpack(cursor);
  if (!region) {
    if (region.error().is_backtrace()) std::abort();
    return 0;
  }
  // Decoding can triple a name's length; past 16 KiB a name might not fit the 2-byte
  // length of the encoding.
  if (size > 16384) return 0;
  auto encoded = writer::encode_region(*region);
  common::Cursor again(encoded);
  if (!Region::unpack(again) || again.position() != encoded.size()) std::abort();
  return 0;
}
