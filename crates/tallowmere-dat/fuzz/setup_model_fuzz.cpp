// Setup models over arbitrary bytes: every input ends in a record or an error, never in
// a crash or an allocation beyond what the input could justify (counts are untrusted).
#include <cstdint>
#include <span>

#include "tallowmere/dat/file_type/setup_model.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tallowmere;
  common::Cursor cursor(std::span<const uint8_t>(data, size));
  auto model = dat::file_type::SetupModel::unpack(cursor);
  if (!model) (void)model.error().text();
  return 0;
}
