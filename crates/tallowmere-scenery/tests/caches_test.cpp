// The scene and mesh caches and the landblock bake over small archives laid out with the
// writer: what each lookup yields, when the archive is consulted, and how missing or
// damaged records shrink a bake without stopping it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <tuple>
#include <vector>

#include "tallowmere/dat/file_type/gfx_obj.hpp"
#include "tallowmere/dat_writer/archive_writer.hpp"
#include "tallowmere/dat_writer/model_records.hpp"
#include "tallowmere/dat_writer/world_records.hpp"
#include "tallowmere/scenery/caches.hpp"
#include "tallowmere/scenery/landblocks.hpp"

namespace tallowmere::scenery {
namespace {

using common::Vector3;
using dat::DatDatabase;
using dat::file_type::ObjectDesc;
using dat::file_type::Region;
using dat::file_type::Scene;
using dat::landblock::BuildInfo;
using dat::landblock::CellLandblock;
using dat::landblock::LandblockInfo;

constexpr uint32_t kScene = 0x12000001;
constexpr uint32_t kNoScene = 0x12000099;
constexpr uint32_t kSquare = 0x01000001;     // 2 x 2 square around the origin
constexpr uint32_t kNoVerts = 0x01000002;    // vertex type 2: no vertex records
constexpr uint32_t kTriangle = 0x01000003;   // three points
constexpr uint32_t kBigSquare = 0x01000004;  // 100 x 100 square around the origin
constexpr uint32_t kMissingGfx = 0x01000099;
constexpr uint32_t kMixedSetup = 0x02000001;   // square, missing part, triangle
constexpr uint32_t kHollowSetup = 0x02000002;  // every part without a mesh
constexpr uint32_t kEmptySetup = 0x02000003;   // no parts
constexpr uint32_t kOtherType = 0x03000001;    // present, but not a model type

const std::vector<Vector3> kSquarePoints = {{-1, -1, 5}, {1, -1, 5}, {1, 1, 5}, {-1, 1, 5}};
const std::vector<Vector3> kTrianglePoints = {{3, 0, 0}, {0, 4, 1}, {-2, -2, 2}};
const std::vector<Vector3> kBigSquarePoints = {
    {-50, -50, 0}, {50, -50, 0}, {50, 50, 0}, {-50, 50, 0}};

// An always-drawn, unscaled object at the origin of its vertex.
ObjectDesc always_drawn(uint32_t obj_id) {
  ObjectDesc d;
  d.obj_id = obj_id;
  d.probability = 2;
  d.min_scale = d.max_scale = 1;
  return d;
}

DatDatabase open_or_die(std::vector<uint8_t> bytes) {
  auto db = writer::open_archive_bytes(bytes);
  if (!db) {
    ADD_FAILURE() << "open: " << db.error().text();
    std::abort();
  }
  return std::move(*db);
}

DatDatabase portal_archive() {
  writer::ArchiveWriter w;
  Scene scene;
  scene.id = kScene;
  scene.objects = {always_drawn(kSquare)};
  w.add_file(kScene, writer::encode_scene(scene));
  w.add_file(kSquare,
             writer::encode_gfx_obj(writer::gfx_obj_from_positions(kSquare, kSquarePoints)));
  w.add_file(kTriangle,
             writer::encode_gfx_obj(writer::gfx_obj_from_positions(kTriangle, kTrianglePoints)));
  w.add_file(kBigSquare,
             writer::encode_gfx_obj(writer::gfx_obj_from_positions(kBigSquare, kBigSquarePoints)));
  writer::GfxObjSpec no_verts;
  no_verts.id = kNoVerts;
  no_verts.vertex_type = 2;
  w.add_file(kNoVerts, writer::encode_gfx_obj(no_verts));
  w.add_file(kMixedSetup, writer::encode_setup_model(writer::setup_model_from_parts(
                              kMixedSetup, {kSquare, kMissingGfx, kTriangle})));
  w.add_file(kHollowSetup, writer::encode_setup_model(writer::setup_model_from_parts(
                               kHollowSetup, {kMissingGfx, kNoVerts})));
  w.add_file(kEmptySetup,
             writer::encode_setup_model(writer::setup_model_from_parts(kEmptySetup, {})));
  w.add_file(kOtherType,
             writer::encode_gfx_obj(writer::gfx_obj_from_positions(kOtherType, kSquarePoints)));
  return open_or_die(w.finish());
}

const DatDatabase& portal() {
  static const DatDatabase db = portal_archive();
  return db;
}

using Point = std::tuple<float, float, float>;
std::vector<Point> sorted_points(std::span<const Vector3> mesh) {
  std::vector<Point> points;
  for (const auto& v : mesh) points.emplace_back(v.x, v.y, v.z);
  std::sort(points.begin(), points.end());
  return points;
}

TEST(SceneCache, MissingSceneIsFetchedOnceAndStaysAbsent) {
  SceneCache scenes(portal());
  EXPECT_FALSE(scenes.lookup_scene(kNoScene));
  EXPECT_FALSE(scenes.lookup(kNoScene));
  EXPECT_FALSE(scenes.lookup_scene(kNoScene));
  EXPECT_EQ(scenes.fetches(), 1u);
}

TEST(SceneCache, PresentSceneIsParsedOnceAndHandedOutAsCopies) {
  SceneCache scenes(portal());
  auto first = scenes.lookup_scene(kScene);
  ASSERT_TRUE(first);
  ASSERT_EQ(first->objects.size(), 1u);
  EXPECT_EQ(first->objects[0].obj_id, kSquare);
  first->objects.clear();  // the caller's copy; the cache keeps its own
  auto objects = scenes.lookup(kScene);
  ASSERT_TRUE(objects);
  EXPECT_EQ(objects->size(), 1u);
  EXPECT_EQ(scenes.fetches(), 1u);
}

TEST(MeshCache, GraphicsObjectMeshHoldsExactlyItsVertexOriginsAndIsCached) {
  MeshCache meshes(portal());
  auto mesh = meshes.lookup(kTriangle);
  ASSERT_TRUE(mesh);
  EXPECT_EQ(sorted_points(*mesh), sorted_points(kTrianglePoints));
  EXPECT_EQ(meshes.fetches(), 1u);

  auto again = meshes.lookup(kTriangle);
  ASSERT_TRUE(again);
  EXPECT_EQ(again->data(), mesh->data());  // the cached list itself, not a copy
  EXPECT_EQ(meshes.fetches(), 1u);

  // The standalone reader gives the same multiset.
  auto owned = gfx_local_mesh(portal(), kTriangle);
  ASSERT_TRUE(owned);
  EXPECT_EQ(sorted_points(*owned), sorted_points(kTrianglePoints));
}

TEST(MeshCache, ObjectsWithoutVerticesOrOfOtherTypesYieldNothing) {
  // The vertex-type-2 object parses; it simply has no vertex records.
  auto payload = portal().get_file(kNoVerts);
  ASSERT_TRUE(payload);
  common::Cursor cursor(*payload);
  auto gfx = dat::file_type::GfxObj::unpack(cursor);
  ASSERT_TRUE(gfx);
  EXPECT_EQ(gfx->vertex_array.vertex_type, 2u);

  MeshCache meshes(portal());
  EXPECT_FALSE(meshes.lookup(kNoVerts));
  EXPECT_FALSE(meshes.lookup(kMissingGfx));
  EXPECT_FALSE(meshes.lookup(kMissingGfx));  // remembered: not fetched again
  EXPECT_EQ(meshes.fetches(), 2u);
  EXPECT_FALSE(gfx_local_mesh(portal(), kNoVerts));

  MeshCache untouched(portal());
  EXPECT_FALSE(untouched.lookup(kOtherType));
  EXPECT_FALSE(untouched.lookup(0x00000000));
  EXPECT_EQ(untouched.fetches(), 0u);
}

TEST(MeshCache, SetupModelCombinesThePartsThatHaveMeshes) {
  MeshCache meshes(portal());
  auto mesh = meshes.lookup(kMixedSetup);
  ASSERT_TRUE(mesh);
  std::vector<Vector3> expected = kSquarePoints;
  expected.insert(expected.end(), kTrianglePoints.begin(), kTrianglePoints.end());
  EXPECT_EQ(sorted_points(*mesh), sorted_points(expected));
  const size_t fetched = meshes.fetches();
  EXPECT_TRUE(meshes.lookup(kMixedSetup));
  EXPECT_EQ(meshes.fetches(), fetched);
  // Parts are not cached under their own ids: the square is fetched on its own.
  EXPECT_TRUE(meshes.lookup(kSquare));
  EXPECT_EQ(meshes.fetches(), fetched + 1);

  EXPECT_FALSE(meshes.lookup(kHollowSetup));
  EXPECT_FALSE(meshes.lookup(kEmptySetup));
}

// ---- Landblock bake ----

constexpr uint16_t kLandblock = 0x0101;

Region one_scene_region() {
  Region region;
  region.terrain.terrain_types.resize(1);
  region.terrain.terrain_types[0].scene_type_indices = {0};
  region.scene.emplace();
  region.scene->scene_types.resize(1);
  region.scene->scene_types[0].scenes = {kScene};
  for (size_t i = 0; i < 256; ++i) region.height_table[i] = static_cast<float>(i);
  return region;
}

// Terrain type 0 and scene index 0 everywhere: every vertex offers kScene.
CellLandblock open_cell(uint16_t landblock) {
  CellLandblock cell;
  cell.id = uint32_t{landblock} << 16 | 0xFFFF;
  cell.terrain.assign(81, 0);
  cell.height.assign(81, 0);
  return cell;
}

BuildInfo building(uint32_t model_id, Vector3 origin, float yaw_half_angle) {
  BuildInfo b;
  b.model_id = model_id;
  b.frame.origin = origin;
  b.frame.orientation = {std::cos(yaw_half_angle), 0, 0, std::sin(yaw_half_angle)};
  return b;
}

enum class Info { Valid, Truncated, Absent };

// A cell archive holding landblock kLandblock with a big building in its middle, its
// landblock info as chosen.
DatDatabase cell_archive(Info info_kind) {
  writer::ArchiveWriter w(256);
  w.add_file(uint32_t{kLandblock} << 16 | 0xFFFF,
             writer::encode_cell_landblock(open_cell(kLandblock)));
  LandblockInfo info;
  info.id = uint32_t{kLandblock} << 16 | 0xFFFE;
  info.buildings = {building(kBigSquare, {96, 96, 0}, 0)};
  auto bytes = writer::encode_landblock_info(info);
  if (info_kind == Info::Truncated) bytes.resize(bytes.size() - 8);
  if (info_kind != Info::Absent) w.add_file(info.id, bytes);
  return open_or_die(w.finish());
}

TEST(BakeLandblocks, OneEntryPerIdInOrderAndMissingLandblocksHaveNoLines) {
  const Region region = one_scene_region();
  const DatDatabase cell = cell_archive(Info::Valid);
  const std::vector<uint16_t> ids = {kLandblock, 0x0555, kLandblock};
  BakeResult result = bake_landblocks(region, portal(), cell, ids);
  ASSERT_EQ(result.size(), 3u);
  EXPECT_EQ(result[0].landblock_id, kLandblock);
  EXPECT_EQ(result[1].landblock_id, 0x0555);
  EXPECT_EQ(result[2].landblock_id, kLandblock);
  EXPECT_FALSE(result[0].lines.empty());
  EXPECT_TRUE(result[1].lines.empty());
  EXPECT_EQ(result[2].lines, result[0].lines);
}

TEST(BakeLandblocks, MalformedLandblockInfoOnlyRemovesTheBuildings) {
  const Region region = one_scene_region();
  const std::vector<uint16_t> ids = {kLandblock};
  auto with_building = bake_landblocks(region, portal(), cell_archive(Info::Valid), ids);
  auto truncated = bake_landblocks(region, portal(), cell_archive(Info::Truncated), ids);
  auto without_info = bake_landblocks(region, portal(), cell_archive(Info::Absent), ids);
  ASSERT_EQ(truncated.size(), 1u);
  EXPECT_FALSE(truncated[0].lines.empty());
  EXPECT_EQ(truncated[0].lines, without_info[0].lines);
  // The building is an obstacle: with it fewer objects are placed.
  EXPECT_LT(with_building[0].lines.size(), without_info[0].lines.size());
}

TEST(BakeLandblocks, CallerOwnedCachesServeLaterBakesWithoutFetchingAgain) {
  const Region region = one_scene_region();
  const DatDatabase cell = cell_archive(Info::Valid);
  const std::vector<uint16_t> ids = {kLandblock};
  PortalCaches caches(portal());
  const BakeResult first = bake_landblocks(region, cell, ids, caches);
  const size_t scene_fetches = caches.scenes.fetches();
  const size_t mesh_fetches = caches.meshes.fetches();
  EXPECT_EQ(scene_fetches, 1u);
  EXPECT_EQ(mesh_fetches, 2u);  // the building's mesh and the scene's object

  const BakeResult second = bake_landblocks(region, cell, ids, caches);
  EXPECT_EQ(caches.scenes.fetches(), scene_fetches);
  EXPECT_EQ(caches.meshes.fetches(), mesh_fetches);
  ASSERT_EQ(second.size(), 1u);
  EXPECT_EQ(second[0].lines, first[0].lines);
  // Fresh caches give the same lines.
  EXPECT_EQ(bake_landblocks(region, portal(), cell, ids)[0].lines, first[0].lines);
}

TEST(BuildingFootprints, TurnByTwiceTheQuaternionAngleAndMoveByTheOrigin) {
  LandblockInfo info;
  const float half = 0.3f;
  info.buildings = {building(kMissingGfx, {0, 0, 0}, 0),  // no mesh: no footprint
                    building(kTriangle, {100.5f, 40.25f, 7}, half),
                    building(kOtherType, {0, 0, 0}, 0)};  // not a model: no footprint
  MeshCache meshes(portal());
  auto footprints = building_footprints(info, meshes);
  ASSERT_EQ(footprints.size(), 1u);

  const auto& q = info.buildings[1].frame.orientation;
  const float a = std::atan2(q.z, q.w);
  const float yaw = a + a;
  const float s = std::sin(yaw), c = std::cos(yaw);
  float min_x = INFINITY, min_y = INFINITY, max_x = -INFINITY, max_y = -INFINITY;
  for (const auto& v : kTrianglePoints) {
    const float cx = c * v.x, sy = s * v.y, cy = c * v.y, sx = s * v.x;
    const float wx = (cx - sy) + 100.5f;
    const float wy = (cy + sx) + 40.25f;
    min_x = std::min(min_x, wx);
    min_y = std::min(min_y, wy);
    max_x = std::max(max_x, wx);
    max_y = std::max(max_y, wy);
  }
  EXPECT_EQ(footprints[0].min_x, min_x);
  EXPECT_EQ(footprints[0].min_y, min_y);
  EXPECT_EQ(footprints[0].max_x, max_x);
  EXPECT_EQ(footprints[0].max_y, max_y);
  // A turn of 0.6 rad, not 0.3: the first point (3, 0) lands at 3 (cos 0.6, sin 0.6).
  EXPECT_NEAR(max_x, 100.5 + 3 * std::cos(0.6), 1e-4);
}

}  // namespace
}  // namespace tallowmere::scenery
