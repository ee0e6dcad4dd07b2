// Setup models over arbitrary bytes: every input ends in a record or an error, never in
// a crash or an allocation beyond what the input could justify (counts are untrusted).
// The part id walk must agree with the full parse on every input.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <string>

#include "../tests/record_walk_check.hpp"

#include "tallowmere/dat/file_type/setup_model.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tallowmere;
  common::Cursor cursor(std::span<const uint8_t>(data, size));
  auto model = dat::file_type::SetupModel::unpack(cursor);
  if (!model) (void)model.error().text();
  if (const std::string mismatch = dat::check::part_ids_mismatch({data, size}); !mismatch.empty()) {
    std::fprintf(stderr, "part id walk: %s\n", mismatch.c_str());
    std::abort();
  }
  return 0;
}
