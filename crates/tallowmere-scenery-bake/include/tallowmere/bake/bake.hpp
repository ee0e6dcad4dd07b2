// The procedural scenery of one landblock.
//
// For every terrain vertex the bake picks a scene from the region's tables by a seeded
// hash, then draws each of the scene's objects: whether it appears, its displacement
// (turned by a per-vertex quarter turn), height, heading and scale, and whether its
// footprint collides with a building or with an object placed before it. Equal inputs
// always give byte-identical output; the only randomness is the hash of seeds.hpp.
//
// The bake knows nothing of archives: scenes and meshes come from the two sources
// below, and a missing scene or mesh only removes candidates.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "tallowmere/bake/footprint.hpp"
#include "tallowmere/common/math.hpp"
#include "tallowmere/dat/file_type/object_desc.hpp"
#include "tallowmere/dat/file_type/region.hpp"
#include "tallowmere/dat/landblock.hpp"

namespace tallowmere::bake {

// Whether terrain word `word` keeps scenery off the cell whose lower corner it belongs
// to: its exclusion bits (bits 0-1) are not both clear.
[[nodiscard]] constexpr bool excludes_scenery(uint16_t word) {
  return (word & 3u) != 0;
}

// The box around `mesh` (x and y of each vertex) scaled by `scale`, turned by `heading`
// radians about the vertical axis and moved to (px, py): the footprint a placed object
// claims. An empty mesh gives the empty box.
[[nodiscard]] Footprint object_footprint(std::span<const common::Vector3> mesh, float px, float py,
                                         float heading, float scale);

// One placed object: twelve 4-byte fields. The orientation is a rotation about the
// vertical axis only, (qw, 0, 0, qz) = (cos(heading / 2), 0, 0, sin(heading / 2)).
struct Placement {
  uint32_t obj_id;
  float x, y, z;  // landblock-local position; z is the terrain height there
  float qw, qx, qy, qz;
  float scale;
  uint32_t source_cell_x, source_cell_y;  // the source vertex, 0..8 each
  uint32_t source_obj_idx;                // position in the scene's object list
};
static_assert(sizeof(Placement) == 48);

// Maps a scene file id to that scene's object descriptions, or nothing when the scene
// cannot be had. The view stays valid until the next lookup on the same source.
class SceneSource {
 public:
  virtual ~SceneSource();
  [[nodiscard]] virtual std::optional<std::span<const dat::file_type::ObjectDesc>> lookup(
      uint32_t scene_id) = 0;
};

// Maps an object file id to the object's local vertices (only x and y are used), or
// nothing. The view stays valid until the next lookup on the same source.
class MeshSource {
 public:
  virtual ~MeshSource();
  [[nodiscard]] virtual std::optional<std::span<const common::Vector3>> lookup(
      uint32_t object_id) = 0;
};

// Bakes the landblock whose cell id (landblock id << 16) is `cell_id`. `buildings` are
// footprints that no object may overlap. With `use_slope` the height is bilinear and an
// object must stand on a slope within its bounds; without it the height comes from the
// triangulated surface and there is no slope test. Returns the placements ordered by
// vertex, then by position in the scene; a region without a scene description gives
// none. Never fails.
std::vector<Placement> bake_landblock_impl(const dat::file_type::Region& region,
                                           const dat::landblock::CellLandblock& cell_landblock,
                                           uint32_t cell_id, SceneSource& scenes,
                                           MeshSource& meshes, std::span<const Footprint> buildings,
                                           bool use_slope);

}  // namespace tallowmere::bake
