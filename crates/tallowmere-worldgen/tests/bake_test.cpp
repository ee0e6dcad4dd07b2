// The demo world makes the scenery bake do real work: thousands of placements over the
// 169-landblock ring, with building footprints and earlier objects blocking some.
// Scenes and meshes come from maps filled by parsing the demo portal archive.
#include <gtest/gtest.h>

#include <map>

#include "tallowmere/bake/bake.hpp"
#include "tallowmere/dat/file_type/gfx_obj.hpp"
#include "tallowmere/dat/file_type/scene.hpp"
#include "tallowmere/dat/file_type/setup_model.hpp"
#include "tallowmere/scenery/landblocks.hpp"
#include "tallowmere/testing/demo_world.hpp"

namespace tallowmere::worldgen::testing {
namespace {

using tallowmere::testing::demo_world;
using tallowmere::testing::DemoWorld;

using common::Cursor;
using common::Vector3;
namespace ft = dat::file_type;

template <class Record>
std::optional<Record> load(const dat::DatDatabase& db, uint32_t id) {
  auto bytes = db.get_file(id);
  if (!bytes) return std::nullopt;
  Cursor cursor(*bytes);
  auto record = Record::unpack(cursor);
  if (!record) return std::nullopt;
  return std::move(*record);
}

std::optional<std::vector<Vector3>> gfx_mesh(const dat::DatDatabase& db, uint32_t id) {
  auto gfx = load<ft::GfxObj>(db, id);
  if (!gfx || gfx->vertex_array.vertices.empty()) return std::nullopt;
  std::vector<Vector3> points;
  for (const auto& [key, vertex] : gfx->vertex_array.vertices) points.push_back(vertex.origin);
  return points;
}

class MapScenes : public bake::SceneSource {
 public:
  std::optional<std::span<const ft::ObjectDesc>> lookup(uint32_t id) override {
    auto it = scenes.find(id);
    if (it == scenes.end()) return std::nullopt;
    return it->second;
  }
  std::map<uint32_t, std::vector<ft::ObjectDesc>> scenes;
};

class MapMeshes : public bake::MeshSource {
 public:
  std::optional<std::span<const Vector3>> lookup(uint32_t id) override {
    auto it = meshes.find(id);
    if (it == meshes.end()) return std::nullopt;
    if (flatten) return std::span<const Vector3>();
    return std::span<const Vector3>(it->second);
  }
  std::map<uint32_t, std::vector<Vector3>> meshes;
  bool flatten = false;  // every mesh answers with no vertices: nothing collides
};

struct Sources {
  MapScenes scenes;
  MapMeshes meshes;
};

// Scenes, and meshes as the tool's caches make them: a graphics object's vertices, or a
// setup model's parts' vertices combined.
Sources load_sources(const dat::DatDatabase& portal) {
  Sources s;
  for (const auto& entry : portal.entries()) {
    const uint32_t id = entry.id;
    if (id >> 24 == 0x12) {
      if (auto scene = load<ft::Scene>(portal, id)) s.scenes.scenes[id] = scene->objects;
    } else if (id >> 24 == 0x01) {
      if (auto mesh = gfx_mesh(portal, id)) s.meshes.meshes[id] = std::move(*mesh);
    } else if (id >> 24 == 0x02) {
      auto setup = load<ft::SetupModel>(portal, id);
      if (!setup) continue;
      std::vector<Vector3> combined;
      for (uint32_t part : setup->parts) {
        if (auto mesh = gfx_mesh(portal, part))
          combined.insert(combined.end(), mesh->begin(), mesh->end());
      }
      if (!combined.empty()) s.meshes.meshes[id] = std::move(combined);
    }
  }
  return s;
}

// Placements over the ring x 0xA3..0xAF, y 0xAE..0xBA.
size_t bake_ring(const DemoWorld& w, const ft::Region& region, Sources& s, bool with_buildings) {
  size_t placements = 0;
  for (uint32_t x = 0xA3; x <= 0xAF; ++x) {
    for (uint32_t y = 0xAE; y <= 0xBA; ++y) {
      const uint32_t cell_id = (x << 8 | y) << 16;
      auto cell_bytes = w.cell.get_file(cell_id | 0xFFFF);
      if (!cell_bytes) continue;
      auto cell = dat::landblock::CellLandblock::unpack(*cell_bytes);
      if (!cell) continue;
      std::vector<bake::Footprint> buildings;
      if (auto info_bytes = w.cell.get_file(cell_id | 0xFFFE); info_bytes && with_buildings) {
        if (auto info = dat::landblock::LandblockInfo::unpack(*info_bytes)) {
          buildings = scenery::building_footprints(*info, s.meshes);
        }
      }
      placements +=
          bake::bake_landblock_impl(region, *cell, cell_id, s.scenes, s.meshes, buildings, false)
              .size();
    }
  }
  return placements;
}

TEST(DemoWorldBake, RingGetsThousandsOfPlacementsSomeBlocked) {
  const DemoWorld& w = demo_world();
  auto region = load<ft::Region>(w.portal, 0x13000000);
  ASSERT_TRUE(region.has_value());
  Sources sources = load_sources(w.portal);

  const size_t placed = bake_ring(w, *region, sources, true);
  const size_t without_buildings = bake_ring(w, *region, sources, false);
  sources.meshes.flatten = true;
  const size_t without_collisions = bake_ring(w, *region, sources, false);
  ::testing::Test::RecordProperty("placements", static_cast<int>(placed));
  ::testing::Test::RecordProperty("without_buildings", static_cast<int>(without_buildings));
  ::testing::Test::RecordProperty("without_collisions", static_cast<int>(without_collisions));

  EXPECT_GE(placed, 3000u);
  EXPECT_GT(without_buildings, placed);
  EXPECT_GT(without_collisions, without_buildings + without_buildings / 10);
}

}  // namespace
}  // namespace tallowmere::worldgen::testing
