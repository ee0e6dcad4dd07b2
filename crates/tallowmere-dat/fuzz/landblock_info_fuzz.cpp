// Landblock info over arbitrary bytes. A failure is framed, outermost in LandblockInfo;
// a parsed record re-encodes to bytes that parse to the same encoding (when its
// restriction table had no repeated key, which the encoding cannot express).
#include <cstdint>
#include <cstdlib>
#include <span>

#include "tallowmere/dat/landblock.hpp"
#include "tallowmere/dat_writer/world_records.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tallowmere;
  using dat::landblock::LandblockInfo;
  auto info = LandblockInfo::unpack(std::span<const uint8_t>(data, size));
  if (!info) {
    if (!info.error().is_backtrace()) std::abort();
    return 0;
  }
  const auto& table = info->restriction_tables;
  if (table && table->count != table->tables.size()) return 0;
  auto encoded = writer::encode_landblock_info(*info);
  auto again = LandblockInfo::unpack(encoded);
  if (!again || writer::encode_landblock_info(*again) != encoded) std::abort();
  return 0;
}
