// Cost of one landblock bake on a dense landblock: every vertex carries a scene of many
// always-drawn objects with meshes of a few hundred vertices, so most candidates reach
// the footprint stage and many collide.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <map>
#include <vector>

#include "tallowmere/bake/bake.hpp"

namespace {

using tallowmere::bake::Footprint;
using tallowmere::bake::Placement;
using tallowmere::common::Vector3;
using tallowmere::dat::file_type::ObjectDesc;

constexpr uint32_t kScenes = 4;
constexpr uint32_t kObjectsPerScene = 32;
constexpr uint32_t kMeshes = 8;
constexpr uint32_t kMeshVertices = 300;

// A small fixed generator so that the workload is the same everywhere.
struct Lcg {
  uint32_t state = 12345;
  float next(float lo, float hi) {
    state = state * 1664525u + 1013904223u;
    return lo + (hi - lo) * static_cast<float>(state >> 8) / 16777216.0f;
  }
};

class Scenes : public tallowmere::bake::SceneSource {
 public:
  std::optional<std::span<const ObjectDesc>> lookup(uint32_t id) override {
    auto it = scenes.find(id);
    if (it == scenes.end()) return std::nullopt;
    return it->second;
  }
  std::map<uint32_t, std::vector<ObjectDesc>> scenes;
};

class Meshes : public tallowmere::bake::MeshSource {
 public:
  std::optional<std::span<const Vector3>> lookup(uint32_t id) override {
    auto it = meshes.find(id);
    if (it == meshes.end()) return std::nullopt;
    return std::span<const Vector3>(it->second);
  }
  std::map<uint32_t, std::vector<Vector3>> meshes;
};

struct DenseLandblock {
  tallowmere::dat::file_type::Region region;
  tallowmere::dat::landblock::CellLandblock cell;
  Scenes scenes;
  Meshes meshes;
  std::vector<Footprint> buildings;

  DenseLandblock() {
    Lcg rng;
    for (size_t i = 0; i < 256; ++i) region.height_table[i] = static_cast<float>(i) * 2;
    region.terrain.terrain_types.resize(1);
    region.terrain.terrain_types[0].scene_type_indices = {0};
    region.scene.emplace();
    auto& ids = region.scene->scene_types.emplace_back().scenes;
    for (uint32_t s = 0; s < kScenes; ++s) {
      ids.push_back(0x12000000 + s);
      auto& objects = scenes.scenes[0x12000000 + s];
      for (uint32_t j = 0; j < kObjectsPerScene; ++j) {
        ObjectDesc d;
        d.obj_id = 0x01000000 + j % kMeshes;
        d.base_frame.origin = {rng.next(-12, 12), rng.next(-12, 12), 0};
        d.probability = 2;
        d.random_offset_x = rng.next(0, 8);
        d.random_offset_y = rng.next(0, 8);
        d.min_scale = rng.next(0.5f, 1);
        d.max_scale = rng.next(1, 1.5f);
        d.max_rotation = 360;
        d.max_slope = 2;
        objects.push_back(d);
      }
    }
    for (uint32_t m = 0; m < kMeshes; ++m) {
      auto& mesh = meshes.meshes[0x01000000 + m];
      const float size = rng.next(0.5f, 2.5f);
      for (uint32_t v = 0; v < kMeshVertices; ++v) {
        mesh.push_back({rng.next(-size, size), rng.next(-size, size), rng.next(0, 10)});
      }
    }
    cell.terrain.assign(81, 0);
    for (int i = 0; i < 81; ++i) cell.height.push_back(static_cast<uint8_t>((i * 37) % 256));
    buildings = {Footprint{40, 40, 70, 60}, Footprint{120, 100, 150, 140}};
  }
};

void BM_BakeDenseLandblock(benchmark::State& state) {
  DenseLandblock landblock;
  const bool use_slope = state.range(0) != 0;
  size_t placed = 0;
  for (auto _ : state) {
    std::vector<Placement> result = tallowmere::bake::bake_landblock_impl(
        landblock.region, landblock.cell, 0xA3AE0000, landblock.scenes, landblock.meshes,
        landblock.buildings, use_slope);
    placed = result.size();
    benchmark::DoNotOptimize(result.data());
  }
  const double candidates = 81.0 * kObjectsPerScene;
  state.counters["placed"] = static_cast<double>(placed);
  state.counters["candidates"] = candidates;
  state.counters["time_per_candidate"] = benchmark::Counter(
      candidates, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_BakeDenseLandblock)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

}  // namespace
