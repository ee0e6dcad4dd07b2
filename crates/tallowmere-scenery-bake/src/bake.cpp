#include "tallowmere/bake/bake.hpp"

#include <math.h>  // ::sincosf

#include <bit>
#include <cmath>

#include "convert.hpp"
#include "tallowmere/bake/height.hpp"
#include "tallowmere/bake/seeds.hpp"

namespace tallowmere::bake {

SceneSource::~SceneSource() = default;
MeshSource::~MeshSource() = default;

namespace {

using dat::file_type::ObjectDesc;

// Degrees to radians: the single-precision value nearest 0.0174533, widened.
const double kDegreesToRadians = static_cast<double>(std::bit_cast<float>(uint32_t{0x3C8EFA39}));

constexpr float kCellSize = 24.0f;
constexpr float kLandblockSize = 192.0f;

// The state of one landblock's bake: its inputs, its height grid and the footprints
// placed so far, which every later object is tested against. Buildings are few and
// tested one by one; the placed footprints go into an index over the landblock.
class LandblockBake {
 public:
  LandblockBake(const dat::landblock::CellLandblock& cell, uint32_t cell_id, HeightGrid grid,
                MeshSource& meshes, std::span<const Footprint> buildings, bool use_slope)
      : cell_(cell),
        landblock_id_(static_cast<uint16_t>(cell_id >> 16)),
        grid_(grid),
        meshes_(meshes),
        buildings_(buildings),
        use_slope_(use_slope) {}

  // Draws every object of the scene chosen for vertex (vx, vy), whose global grid
  // coordinates are (gx, gy), and appends those that survive to `out`.
  void bake_vertex(uint32_t vx, uint32_t vy, uint32_t gx, uint32_t gy,
                   std::span<const ObjectDesc> objects, std::vector<Placement>& out) {
    const VertexSeeds seeds = VertexSeeds::at(gx, gy);
    for (size_t j = 0; j < objects.size(); ++j) {
      place(objects[j], static_cast<uint32_t>(j), vx, vy, seeds, out);
    }
  }

 private:
  void place(const ObjectDesc& d, uint32_t j, uint32_t vx, uint32_t vy, const VertexSeeds& seeds,
             std::vector<Placement>& out) {
    if (!(static_cast<double>(d.probability) > seeds.probability_roll)) return;
    if (d.external_obj != 0) return;

    float lx = d.base_frame.origin.x;
    float ly = d.base_frame.origin.y;
    if (d.random_offset_x > 0) {
      lx = static_cast<float>(static_cast<double>(lx) + static_cast<double>(d.random_offset_x) *
                                                            seeds.roll(j, SALT_OFFSET_X));
    }
    if (d.random_offset_y > 0) {
      ly = static_cast<float>(static_cast<double>(ly) + static_cast<double>(d.random_offset_y) *
                                                            seeds.roll(j, SALT_OFFSET_Y));
    }

    // The quarter turn is shared by all objects of the vertex.
    float px, py;
    const double q = seeds.quarter_roll;
    if (q >= 0.75) {
      px = ly, py = -lx;
    } else if (q >= 0.5) {
      px = -lx, py = -ly;
    } else if (q >= 0.25) {
      px = -ly, py = lx;
    } else {
      px = lx, py = ly;
    }
    px += static_cast<float>(vx * 24);
    py += static_cast<float>(vy * 24);
    if (!(px >= 0.0f && px <= kLandblockSize && py >= 0.0f && py <= kLandblockSize)) return;

    // Exclusion bits of the vertex at the lower corner of the object's cell.
    const int32_t fx = detail::saturating_i32(std::floor(px / kCellSize));
    const int32_t fy = detail::saturating_i32(std::floor(py / kCellSize));
    if (fx >= 0 && fy >= 0) {
      const uint64_t e = static_cast<uint64_t>(fx) * 9u + static_cast<uint64_t>(fy);
      if (e < cell_.terrain.size() && excludes_scenery(cell_.terrain[e])) return;
    }

    if (use_slope_) {
      const float slope = slope_at(grid_, px, py);
      if (d.min_slope > slope || slope > d.max_slope) return;
    }

    float heading = 0.0f;
    if (d.max_rotation > 0) {
      heading = static_cast<float>(static_cast<double>(d.max_rotation) *
                                   seeds.roll(j, SALT_HEADING) * kDegreesToRadians);
    }

    float scale;
    if (d.min_scale == d.max_scale) {
      scale = d.max_scale;
    } else {
      scale = static_cast<float>(
          std::pow(static_cast<double>(d.max_scale) / static_cast<double>(d.min_scale),
                   seeds.roll(j, SALT_SCALE)) *
          static_cast<double>(d.min_scale));
    }

    const auto mesh = meshes_.lookup(d.obj_id);
    if (!mesh) return;
    float s, c;
    ::sincosf(heading, &s, &c);
    const Footprint footprint = mesh_footprint(*mesh, scale, s, c, px, py);

    if (collides(footprint, buildings_) || !placed_.insert_unless_overlapping(footprint)) return;

    // The height and the orientation are only needed by an object that stays: a
    // quarter of the candidates are turned away above.
    const float z = use_slope_ ? bilinear_height_from_grid(grid_, px, py)
                               : triangle_plane_height_from_grid(grid_, landblock_id_, px, py);
    float half_sin, half_cos;
    ::sincosf(heading * 0.5f, &half_sin, &half_cos);
    out.push_back(Placement{d.obj_id, px, py, z, half_cos, 0.0f, 0.0f, half_sin, scale, vx, vy, j});
  }

  static bool collides(const Footprint& footprint, std::span<const Footprint> others) {
    for (const Footprint& other : others) {
      if (footprint.overlaps(other)) return true;
    }
    return false;
  }

  const dat::landblock::CellLandblock& cell_;
  const uint16_t landblock_id_;
  const HeightGrid grid_;
  MeshSource& meshes_;
  const std::span<const Footprint> buildings_;
  const bool use_slope_;
  FootprintIndex placed_;
};

// The scene ids that vertex word `w` may carry, or null when any table index is out of
// range.
const std::vector<uint32_t>* scenes_for(const dat::file_type::Region& region, uint16_t w) {
  const uint32_t t = (w >> 2) & 0x1Fu;
  const uint32_t s = w >> 11;
  const auto& terrain_types = region.terrain.terrain_types;
  if (t >= terrain_types.size()) return nullptr;
  const auto& indices = terrain_types[t].scene_type_indices;
  if (s >= indices.size()) return nullptr;
  const auto& scene_types = region.scene->scene_types;
  if (indices[s] >= scene_types.size()) return nullptr;
  return &scene_types[indices[s]].scenes;
}

}  // namespace

Footprint object_footprint(std::span<const common::Vector3> mesh, float px, float py, float heading,
                           float scale) {
  float s, c;
  ::sincosf(heading, &s, &c);
  return mesh_footprint(mesh, scale, s, c, px, py);
}

std::vector<Placement> bake_landblock_impl(const dat::file_type::Region& region,
                                           const dat::landblock::CellLandblock& cell_landblock,
                                           uint32_t cell_id, SceneSource& scenes,
                                           MeshSource& meshes, std::span<const Footprint> buildings,
                                           bool use_slope) {
  std::vector<Placement> out;
  if (!region.scene) return out;
  LandblockBake bake(cell_landblock, cell_id, vertex_heights(region, cell_landblock), meshes,
                     buildings, use_slope);
  const uint32_t lbx = cell_id >> 24, lby = (cell_id >> 16) & 0xFFu;
  for (size_t i = 0; i < cell_landblock.terrain.size(); ++i) {
    const std::vector<uint32_t>* ids = scenes_for(region, cell_landblock.terrain[i]);
    if (ids == nullptr || ids->empty()) continue;
    const auto vx = static_cast<uint32_t>(i / 9), vy = static_cast<uint32_t>(i % 9);
    const uint32_t gx = lbx * 8 + vx, gy = lby * 8 + vy;
    const uint32_t scene_id = (*ids)[scene_index(ids->size(), scene_hash(gx, gy))];
    const auto objects = scenes.lookup(scene_id);
    if (!objects || objects->empty()) continue;
    bake.bake_vertex(vx, vy, gx, gy, *objects, out);
  }
  return out;
}

}  // namespace tallowmere::bake
