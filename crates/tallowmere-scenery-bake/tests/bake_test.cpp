#include "tallowmere/bake/bake.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <map>
#include <vector>

#include "tallowmere/bake/seeds.hpp"

namespace tallowmere::bake {
namespace {

using dat::file_type::ObjectDesc;
using dat::file_type::Region;
using dat::landblock::CellLandblock;

constexpr uint32_t kScene = 0x12000001;
constexpr uint32_t kMesh = 0x01000001;       // a 2 x 2 square around the origin
constexpr uint32_t kEmptyMesh = 0x01000002;  // no vertices
constexpr uint32_t kNoMesh = 0x01000003;     // unknown to the mesh source

// Terrain words: type 0, scene index 0 carries kScene; type 1 has no terrain type.
constexpr uint16_t kSceneWord = 0x0000;
constexpr uint16_t kBareWord = 0x0004;

class MapScenes : public SceneSource {
 public:
  std::optional<std::span<const ObjectDesc>> lookup(uint32_t scene_id) override {
    asked.push_back(scene_id);
    auto it = scenes.find(scene_id);
    if (it == scenes.end()) return std::nullopt;
    return it->second;
  }
  std::map<uint32_t, std::vector<ObjectDesc>> scenes;
  std::vector<uint32_t> asked;
};

class MapMeshes : public MeshSource {
 public:
  MapMeshes() {
    meshes[kMesh] = {{-1, -1, 5}, {1, -1, 5}, {1, 1, 5}, {-1, 1, 5}};
    meshes[kEmptyMesh] = {};
  }
  std::optional<std::span<const common::Vector3>> lookup(uint32_t object_id) override {
    auto it = meshes.find(object_id);
    if (it == meshes.end()) return std::nullopt;
    return std::span<const common::Vector3>(it->second);
  }
  std::map<uint32_t, std::vector<common::Vector3>> meshes;
};

Region scene_region() {
  Region region;
  region.terrain.terrain_types.resize(1);
  region.terrain.terrain_types[0].scene_type_indices = {0};
  region.scene.emplace();
  region.scene->scene_types.resize(1);
  region.scene->scene_types[0].scenes = {kScene};
  for (size_t i = 0; i < 256; ++i) region.height_table[i] = static_cast<float>(i);
  return region;
}

// A cell whose only scenery vertices are `sources`.
CellLandblock cell_with_sources(std::initializer_list<int> sources) {
  CellLandblock cell;
  cell.terrain.assign(81, kBareWord);
  cell.height.assign(81, 0);
  for (int i : sources) cell.terrain[static_cast<size_t>(i)] = kSceneWord;
  return cell;
}

// An always-drawn object at (x, y) of its cell before the quarter turn.
ObjectDesc object_at(float x, float y, uint32_t obj_id = kEmptyMesh) {
  ObjectDesc d;
  d.obj_id = obj_id;
  d.base_frame.origin = {x, y, 0};
  d.probability = 2;
  d.min_scale = d.max_scale = 1;
  return d;
}

struct Bake {
  Region region = scene_region();
  CellLandblock cell = cell_with_sources({0});
  MapScenes scenes;
  MapMeshes meshes;
  std::vector<Footprint> buildings;

  std::vector<Placement> run(uint16_t landblock_id, bool use_slope = false) {
    return bake_landblock_impl(region, cell, uint32_t{landblock_id} << 16, scenes, meshes,
                               buildings, use_slope);
  }
};

TEST(BakeSeeds, WorkedValuesAtOrigin) {
  EXPECT_EQ(K, 2.3283064e-10);
  EXPECT_EQ(scene_hash(0, 0), 2139937281u);
  EXPECT_EQ(unit(scene_hash(0, 0)), 0.49824296669508983);
  const VertexSeeds seeds = VertexSeeds::at(0, 0);
  EXPECT_EQ(seeds.b0, 0u);
  EXPECT_EQ(seeds.probability_roll, 0.9564170908498522);
  EXPECT_EQ(seeds.multiplier, 2406928457u);
  EXPECT_EQ(seeds.quarter_roll, 0.9062968357265418);
  EXPECT_EQ(seeds.roll(0, SALT_OFFSET_X), 0.4959647850065916);
  EXPECT_EQ(seeds.roll(0, SALT_OFFSET_Y), 0.21495343570404424);
  EXPECT_EQ(seeds.roll(0, SALT_HEADING), 0.7938690691934055);
  EXPECT_EQ(seeds.roll(0, SALT_SCALE), 0.33563411291166906);
}

TEST(BakeSeeds, WorkedValuesOfLandblockA3AEVertex0) {
  EXPECT_EQ(scene_hash(1304, 1392), 3596411865u);
  EXPECT_EQ(unit(scene_hash(1304, 1392)), 0.8373548762315436);
  const VertexSeeds seeds = VertexSeeds::at(1304, 1392);
  EXPECT_EQ(seeds.b0, 327287640u);
  EXPECT_EQ(seeds.probability_roll, 0.9954708190409646);
  EXPECT_EQ(seeds.multiplier, 1894623945u);
  EXPECT_EQ(seeds.quarter_roll, 0.1983819486640068);
  EXPECT_EQ(seeds.roll(0, SALT_OFFSET_X), 0.7600636542239669);
  EXPECT_EQ(seeds.roll(0, SALT_OFFSET_Y), 0.35507208273453444);
  EXPECT_EQ(seeds.roll(0, SALT_HEADING), 0.06956326270273352);
  EXPECT_EQ(seeds.roll(0, SALT_SCALE), 0.7126276346313472);
}

TEST(BakeSceneChoice, HashPicksTheSceneAndBadTablesPickNone) {
  Bake bake;
  bake.region.scene->scene_types[0].scenes = {0x12000010, 0x12000011, 0x12000012};
  bake.cell = cell_with_sources({0});
  bake.run(0x0000);  // 3 * 0.498... -> 1
  bake.run(0xA3AE);  // 3 * 0.837... -> 2
  EXPECT_EQ(bake.scenes.asked, (std::vector<uint32_t>{0x12000011, 0x12000012}));

  // Out-of-range terrain type, scene index or scene type, and an empty scene list.
  bake.scenes.asked.clear();
  bake.region.terrain.terrain_types.resize(2);
  bake.region.terrain.terrain_types[1].scene_type_indices = {0, 5};
  bake.region.scene->scene_types.resize(2);
  bake.region.scene->scene_types[1].scenes = {};
  bake.region.terrain.terrain_types[0].scene_type_indices = {0, 1};
  bake.cell.terrain = std::vector<uint16_t>(81, 0x0008);  // type 2
  bake.cell.terrain[1] = 0x1000 | 0x0004;                 // type 1, scene index 2
  bake.cell.terrain[2] = 0x0800 | 0x0004;                 // type 1 -> scene type 5
  bake.cell.terrain[3] = 0x0800;                          // type 0 -> empty scenes
  EXPECT_TRUE(bake.run(0x0000).empty());
  EXPECT_TRUE(bake.scenes.asked.empty());

  bake.region = scene_region();
  bake.region.scene->scene_types[0].scenes = {0x12000010, 0x12000011, 0x12000012};
  bake.cell = cell_with_sources({0, 1});
  bake.scenes.scenes[0x12000011] = {};  // empty and missing scenes place nothing
  EXPECT_TRUE(bake.run(0x0000).empty());
  EXPECT_EQ(bake.scenes.asked.size(), 2u);
}

TEST(BakeSceneChoice, RegionWithoutSceneDescriptionPlacesNothing) {
  Bake bake;
  bake.scenes.scenes[kScene] = {object_at(5, 5)};
  bake.cell = cell_with_sources({0, 1, 2, 40});
  ASSERT_FALSE(bake.run(0x0000).empty());
  bake.region.scene.reset();
  EXPECT_TRUE(bake.run(0x0000).empty());
}

// Landblock 0, vertex 0 draws probability roll 0.9564170908498522.
TEST(BakeObjectTests, ProbabilityMustExceedTheRollStrictly) {
  const double roll = 0.9564170908498522;
  const float below = static_cast<float>(roll) <= roll
                          ? static_cast<float>(roll)
                          : std::nextafter(static_cast<float>(roll), 0.0f);
  const float above = std::nextafter(below, 2.0f);
  ASSERT_GT(static_cast<double>(above), roll);

  Bake bake;
  ObjectDesc d = object_at(-5, 5);
  for (float p : {0.0f, 0.5f, below}) {
    d.probability = p;
    bake.scenes.scenes[kScene] = {d};
    EXPECT_TRUE(bake.run(0x0000).empty()) << p;
  }
  for (float p : {above, 1.0f, 7.0f}) {
    d.probability = p;
    bake.scenes.scenes[kScene] = {d};
    EXPECT_EQ(bake.run(0x0000).size(), 1u) << p;
  }
  d.external_obj = 1;
  bake.scenes.scenes[kScene] = {d};
  EXPECT_TRUE(bake.run(0x0000).empty());
}

// The same local point (-5, -7) from four vertices of landblock 0, one per quarter.
TEST(BakeObjectTests, QuarterTurnPerVertexThenCellOrigin) {
  Bake bake;
  bake.cell = cell_with_sources({1, 9, 19, 21});
  bake.scenes.scenes[kScene] = {object_at(-5, -7)};
  const auto placed = bake.run(0x0000);
  ASSERT_EQ(placed.size(), 4u);
  // vertex (0, 1), roll 0.33: (-ly, lx)
  EXPECT_EQ(placed[0].x, 7.0f);
  EXPECT_EQ(placed[0].y, 19.0f);
  // vertex (1, 0), roll 0.65: (-lx, -ly)
  EXPECT_EQ(placed[1].x, 29.0f);
  EXPECT_EQ(placed[1].y, 7.0f);
  // vertex (2, 1), roll 0.94: (ly, -lx)
  EXPECT_EQ(placed[2].x, 41.0f);
  EXPECT_EQ(placed[2].y, 29.0f);
  // vertex (2, 3), roll 0.04: unturned
  EXPECT_EQ(placed[3].x, 43.0f);
  EXPECT_EQ(placed[3].y, 65.0f);
}

TEST(BakeObjectTests, RandomOffsetsOnlyWhenPositive) {
  Bake bake;
  ObjectDesc displaced = object_at(-20, 3);
  displaced.random_offset_x = 10;
  displaced.random_offset_y = 4;
  ObjectDesc fixed = object_at(-20, 3);
  fixed.random_offset_x = 0;
  fixed.random_offset_y = -4;
  bake.scenes.scenes[kScene] = {displaced, fixed};
  const auto placed = bake.run(0x0000);
  ASSERT_EQ(placed.size(), 2u);
  // lx = f32(-20 + 10 * 0.4959647850065916), ly = f32(3 + 4 * 0.21495343570404424),
  // then turned to (ly, -lx).
  EXPECT_EQ(placed[0].x, 3.859813690185547f);
  EXPECT_EQ(placed[0].y, 15.040351867675781f);
  EXPECT_EQ(placed[1].x, 3.0f);
  EXPECT_EQ(placed[1].y, 20.0f);
}

// Landblock 0xA3AE, vertex 0 is not turned, so local points are landblock points.
TEST(BakeObjectTests, BoundsAreInclusiveAndExclusionUsesTheLowerCorner) {
  Bake bake;
  bake.scenes.scenes[kScene] = {object_at(0, 0),     object_at(192, 100),   object_at(100, 192),
                                object_at(192, 192), object_at(192.01f, 5), object_at(5, -0.01f),
                                object_at(30, 30)};
  auto placed = bake.run(0xA3AE);
  ASSERT_EQ(placed.size(), 5u);
  EXPECT_EQ(placed[1].x, 192.0f);
  EXPECT_EQ(placed[4].source_obj_idx, 6u);

  bake.cell.terrain[8 * 9 + 4] |= 1;  // (192, 100) -> vertex (8, 4)
  bake.cell.terrain[4 * 9 + 8] |= 2;  // (100, 192) -> vertex (4, 8)
  bake.cell.terrain[80] |= 3;         // (192, 192)
  bake.cell.terrain[1 * 9 + 2] |= 1;  // (30, 30) lies in cell (1, 1), not (1, 2)
  placed = bake.run(0xA3AE);
  ASSERT_EQ(placed.size(), 2u);
  EXPECT_EQ(placed[0].source_obj_idx, 0u);
  EXPECT_EQ(placed[1].source_obj_idx, 6u);

  bake.cell.terrain[1 * 9 + 1] |= 2;
  EXPECT_EQ(bake.run(0xA3AE).size(), 1u);
}

// Heights 2a + b give the plane z = x / 12 + y / 24 (slope atan(0.0932) = 0.0929).
TEST(BakeObjectTests, HeightModelAndSlopeBounds) {
  Bake bake;
  for (size_t i = 0; i < 81; ++i) bake.cell.height[i] = static_cast<uint8_t>(2 * (i / 9) + i % 9);
  ObjectDesc d = object_at(36, 48);
  d.min_slope = 0.5f;  // ignored without the slope model
  bake.scenes.scenes[kScene] = {d};
  auto placed = bake.run(0xA3AE, false);
  ASSERT_EQ(placed.size(), 1u);
  EXPECT_EQ(placed[0].z, 5.0f);

  EXPECT_TRUE(bake.run(0xA3AE, true).empty());
  d.min_slope = 0.0f;
  d.max_slope = 0.09f;
  bake.scenes.scenes[kScene] = {d};
  EXPECT_TRUE(bake.run(0xA3AE, true).empty());
  d.max_slope = 0.1f;
  bake.scenes.scenes[kScene] = {d};
  placed = bake.run(0xA3AE, true);
  ASSERT_EQ(placed.size(), 1u);
  EXPECT_EQ(placed[0].z, 5.0f);
}

// Landblock 0, vertex 0, object 0: heading roll 0.79386..., scale roll 0.33563...
TEST(BakeObjectTests, HeadingAndScale) {
  Bake bake;
  ObjectDesc d = object_at(-5, 5);
  bake.scenes.scenes[kScene] = {d};
  auto placed = bake.run(0x0000);
  ASSERT_EQ(placed.size(), 1u);
  EXPECT_EQ(placed[0].qw, 1.0f);
  EXPECT_EQ(placed[0].qz, 0.0f);
  EXPECT_EQ(placed[0].scale, 1.0f);

  d.max_rotation = 90;
  d.min_scale = 1;
  d.max_scale = 4;
  bake.scenes.scenes[kScene] = {d};
  placed = bake.run(0x0000);
  ASSERT_EQ(placed.size(), 1u);
  // heading = 90 degrees * 0.79386... = 1.2470071 rad
  EXPECT_NEAR(placed[0].qw, 0.8118377707539494, 1e-6);
  EXPECT_NEAR(placed[0].qz, 0.5838830653283738, 1e-6);
  EXPECT_EQ(placed[0].qx, 0.0f);
  EXPECT_EQ(placed[0].qy, 0.0f);
  EXPECT_NEAR(placed[0].scale, 1.5924721956253052, 1e-6);

  d.max_rotation = -90;
  d.min_scale = d.max_scale = 0;  // equal bounds are used as they are, even 0
  bake.scenes.scenes[kScene] = {d};
  placed = bake.run(0x0000);
  ASSERT_EQ(placed.size(), 1u);
  EXPECT_EQ(placed[0].qw, 1.0f);
  EXPECT_EQ(placed[0].scale, 0.0f);
}

TEST(BakeCollision, FootprintsOfBuildingsAndEarlierObjects) {
  Bake bake;
  // Unturned vertex 0 of 0xA3AE; the square mesh spans x +- 1, y +- 1.
  bake.scenes.scenes[kScene] = {
      object_at(10, 10, kMesh),      object_at(12, 10, kMesh),  // touches the first
      object_at(13.5f, 10, kMesh),                              // clear of the first
      object_at(11, 10, kEmptyMesh),                            // no footprint
      object_at(40, 40, kNoMesh),                               // no mesh
      object_at(60, 60, kMesh),      object_at(61, 61, kEmptyMesh)};
  auto placed = bake.run(0xA3AE);
  std::vector<uint32_t> indices;
  for (const Placement& p : placed) indices.push_back(p.source_obj_idx);
  EXPECT_EQ(indices, (std::vector<uint32_t>{0, 2, 3, 5, 6}));

  bake.buildings = {Footprint{55, 55, 59, 59}};  // touches the object at (60, 60)
  placed = bake.run(0xA3AE);
  ASSERT_EQ(placed.size(), 4u);
  EXPECT_EQ(placed[3].source_obj_idx, 6u);

  // Placed footprints persist across vertices: vertex 1 of 0xA3AE turns (x, y) into
  // (y, 24 - x), which puts its second object onto vertex 0's first.
  bake.buildings.clear();
  bake.cell = cell_with_sources({0, 1});
  bake.scenes.scenes[kScene] = {object_at(5, 23, kMesh), object_at(1, 5, kMesh)};
  placed = bake.run(0xA3AE);
  ASSERT_EQ(placed.size(), 3u);
  EXPECT_EQ(placed[2].source_cell_y, 1u);
  EXPECT_EQ(placed[2].source_obj_idx, 0u);
  EXPECT_EQ(placed[2].x, 23.0f);
  EXPECT_EQ(placed[2].y, 19.0f);
}

TEST(FootprintBox, EmptyBoxesOverlapNothing) {
  const Footprint empty;
  const Footprint unit_box{0, 0, 1, 1};
  EXPECT_FALSE(empty.overlaps(unit_box));
  EXPECT_FALSE(unit_box.overlaps(empty));
  EXPECT_FALSE(empty.overlaps(empty));
  EXPECT_TRUE(unit_box.overlaps(Footprint{1, 1, 2, 2}));  // corners touch
  EXPECT_FALSE(unit_box.overlaps(Footprint{1, 1.5f, 2, 2}));
  Footprint point;
  point.widen(3, 4);
  EXPECT_TRUE(point.overlaps(Footprint{3, 4, 3, 4}));
  EXPECT_FALSE(point.overlaps(empty));
}

}  // namespace
}  // namespace tallowmere::bake
