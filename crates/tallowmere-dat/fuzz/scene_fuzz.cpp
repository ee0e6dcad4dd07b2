// Scene over arbitrary bytes: a parsed scene occupies exactly 8 + 76 bytes per entry and
// re-encodes to those bytes of the input.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <span>

#include "tallowmere/dat/file_type/scene.hpp"
#include "tallowmere/dat_writer/world_records.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tallowmere;
  common::Cursor cursor(std::span<const uint8_t>(data, size));
  auto scene = dat::file_type::Scene::unpack(cursor);
  if (!scene) return 0;
  auto encoded = writer::encode_scene(*scene);
  if (encoded.size() != cursor.position() || encoded.size() != 8 + 76 * scene->objects.size() ||
      std::memcmp(encoded.data(), data, encoded.size()) != 0) {
    std::abort();
  }
  return 0;
}
