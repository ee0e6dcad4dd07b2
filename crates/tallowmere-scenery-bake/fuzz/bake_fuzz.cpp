// Landblock bake over arbitrary tables and raw floats (NaN, infinities, huge values):
// every index the bake forms must stay in range, every float-to-integer conversion must
// be defined, repeated bakes must agree byte for byte, and every placement must lie on
// the landblock.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <map>
#include <vector>

#include "tallowmere/bake/bake.hpp"

namespace {

using namespace tallowmere;

// Reads the input front to back; past its end every value is 0.
class Input {
 public:
  Input(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  uint8_t byte() { return pos_ < size_ ? data_[pos_++] : 0; }
  uint32_t u32() {
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v |= uint32_t{byte()} << (8 * i);
    return v;
  }
  float f32() {
    const uint32_t bits = u32();
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
  }

 private:
  const uint8_t* data_;
  size_t size_, pos_ = 0;
};

class Scenes : public bake::SceneSource {
 public:
  std::optional<std::span<const dat::file_type::ObjectDesc>> lookup(uint32_t id) override {
    auto it = scenes.find(id);
    if (it == scenes.end()) return std::nullopt;
    return it->second;
  }
  std::map<uint32_t, std::vector<dat::file_type::ObjectDesc>> scenes;
};

class Meshes : public bake::MeshSource {
 public:
  std::optional<std::span<const common::Vector3>> lookup(uint32_t id) override {
    auto it = meshes.find(id);
    if (it == meshes.end()) return std::nullopt;
    return std::span<const common::Vector3>(it->second);
  }
  std::map<uint32_t, std::vector<common::Vector3>> meshes;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Input in(data, size);
  const uint32_t cell_id = in.u32();
  const bool use_slope = in.byte() & 1;

  dat::file_type::Region region;
  const float heights[4] = {in.f32(), in.f32(), in.f32(), in.f32()};
  for (size_t i = 0; i < region.height_table.size(); ++i) region.height_table[i] = heights[i % 4];
  for (int t = in.byte() % 5; t > 0; --t) {
    auto& indices = region.terrain.terrain_types.emplace_back().scene_type_indices;
    for (int s = in.byte() % 5; s > 0; --s) indices.push_back(in.byte() % 6);
  }
  if (in.byte() & 1) {
    region.scene.emplace();
    for (int k = in.byte() % 5; k > 0; --k) {
      auto& ids = region.scene->scene_types.emplace_back().scenes;
      for (int s = in.byte() % 4; s > 0; --s) ids.push_back(0x12000000 + in.byte() % 5);
    }
  }

  dat::landblock::CellLandblock cell;
  for (int i = 0; i < 81; ++i) {
    const uint8_t low = in.byte();
    cell.terrain.push_back(static_cast<uint16_t>(low | in.byte() << 8));
    cell.height.push_back(in.byte());
  }

  Scenes scenes;
  for (uint32_t s = 0; s < 4; ++s) {
    auto& objects = scenes.scenes[0x12000000 + s];
    for (int n = in.byte() % 8; n > 0; --n) {
      dat::file_type::ObjectDesc d;
      d.obj_id = 0x01000000 + in.byte() % 4;
      d.base_frame.origin = {in.f32(), in.f32(), 0};
      d.probability = in.f32();
      d.random_offset_x = in.f32();
      d.random_offset_y = in.f32();
      d.min_scale = in.f32();
      d.max_scale = in.f32();
      d.max_rotation = in.f32();
      d.min_slope = in.f32();
      d.max_slope = in.f32();
      d.external_obj = in.byte() & 1;
      objects.push_back(d);
    }
  }
  Meshes meshes;
  for (uint32_t m = 0; m < 3; ++m) {
    auto& mesh = meshes.meshes[0x01000000 + m];
    for (int v = in.byte() % 8; v > 0; --v) mesh.push_back({in.f32(), in.f32(), 0});
  }
  std::vector<bake::Footprint> buildings;
  for (int b = in.byte() % 3; b > 0; --b) {
    buildings.push_back({in.f32(), in.f32(), in.f32(), in.f32()});
  }

  const auto first =
      bake::bake_landblock_impl(region, cell, cell_id, scenes, meshes, buildings, use_slope);
  const auto second =
      bake::bake_landblock_impl(region, cell, cell_id, scenes, meshes, buildings, use_slope);
  if (first.size() != second.size()) std::abort();
  if (!first.empty() &&
      std::memcmp(first.data(), second.data(), first.size() * sizeof(bake::Placement)) != 0) {
    std::abort();
  }
  for (const bake::Placement& p : first) {
    if (!(p.x >= 0 && p.x <= 192 && p.y >= 0 && p.y <= 192)) std::abort();
    if (p.source_cell_x > 8 || p.source_cell_y > 8) std::abort();
  }
  return 0;
}
