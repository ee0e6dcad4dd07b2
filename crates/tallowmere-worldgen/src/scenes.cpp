// Scenes: lists of object descriptions whose values span what the bake has to handle:
// probabilities from 0 to above 1, external objects, positive and non-positive random
// offsets (some reaching 192), equal and unequal scale bounds, no rotation and full
// rotation, origins on the cell's edge (x or y = 24) and outside it, and objects with a
// mesh, without one (other file types, missing files) or unparsable.
#include "generators.hpp"
#include "tallowmere/dat/file_type/scene.hpp"
#include "tallowmere/dat_writer/world_records.hpp"

namespace tallowmere::worldgen {

namespace {

namespace ft = dat::file_type;

uint32_t object_id(Rng& rng, const Catalog& catalog) {
  const uint32_t r = rng.below(100);
  if (r < 58 && !catalog.prop_gfx.empty()) return rng.pick(catalog.prop_gfx);
  if (r < 93 && !catalog.prop_setups.empty()) return rng.pick(catalog.prop_setups);
  if (r < 97 && !catalog.meshless.empty()) return rng.pick(catalog.meshless);
  if (!catalog.building_gfx.empty()) return rng.pick(catalog.building_gfx);
  return rng.pick(catalog.prop_gfx);
}

float coordinate(Rng& rng) {
  const uint32_t r = rng.below(100);
  if (r < 4) return 24.0f;  // on the cell's far edge: at a landblock edge for vx or vy 7
  if (r < 7) return rng.chance(0.5) ? rng.uniform(-6, -0.5f) : rng.uniform(25, 32);
  return rng.uniform(0, 24);
}

float random_offset(Rng& rng) {
  const uint32_t r = rng.below(100);
  if (r < 55) return rng.uniform(0.5f, 24);
  if (r < 75) return 0;
  if (r < 88) return rng.uniform(-8, -0.5f);
  if (r < 91) return 192;
  return rng.uniform(0.05f, 4);
}

ft::ObjectDesc object_desc(Rng& rng, const Catalog& catalog) {
  ft::ObjectDesc d;
  d.obj_id = object_id(rng, catalog);
  d.base_frame.origin = {coordinate(rng), coordinate(rng), rng.uniform(0, 0.5f)};
  d.base_frame.orientation = yaw_quaternion(random_heading(rng, 0.3));

  const uint32_t p = rng.below(100);
  static constexpr float kSure[] = {1.0f, 1.25f, 2.0f};
  d.probability = p < 8 ? 0.0f : p < 16 ? kSure[rng.below(3)] : rng.uniform(0.02f, 0.6f);
  d.random_offset_x = random_offset(rng);
  d.random_offset_y = random_offset(rng);
  if (rng.chance(0.4)) {
    const float s = rng.chance(0.5) ? 1.0f : rng.uniform(0.6f, 1.6f);
    d.min_scale = d.max_scale = s;
  } else {
    d.min_scale = rng.uniform(0.5f, 1.0f);
    d.max_scale = d.min_scale * rng.uniform(1.1f, 2.0f);
  }
  const uint32_t rot = rng.below(10);
  d.max_rotation = rot < 3 ? 0.0f : rot < 8 ? 360.0f : rng.uniform(5, 180);
  d.min_slope = rng.uniform(0, 0.2f);
  d.max_slope = rng.uniform(0.5f, 1.0f);
  d.aux_1 = rng.below(4);
  d.aux_2 = rng.below(1000);
  d.external_obj = rng.chance(0.04) ? 1 + rng.below(2) : 0;
  return d;
}

}  // namespace

std::vector<uint8_t> scene_payload(const Catalog& catalog, const Model& scene) {
  Rng rng = Rng::stream(catalog.seed, Stream::Scene, scene.id);
  ft::Scene record;
  record.id = scene.id;
  const uint32_t count = rng.chance(0.03) ? 0 : rng.count_between(1, 14);
  for (uint32_t k = 0; k < count; ++k) record.objects.push_back(object_desc(rng, catalog));
  return writer::encode_scene(record);
}

}  // namespace tallowmere::worldgen
