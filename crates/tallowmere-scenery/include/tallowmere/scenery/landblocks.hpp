// Baking landblocks from an archive pair: the cell archive gives each landblock's
// terrain and buildings, the portal archive (through the caches) its scenes and meshes,
// and every placement becomes a placement line.
//
// Landblock ids are 16 bits, x in the high byte and y in the low byte; the cell archive
// keeps a landblock's terrain under (id << 16) | 0xFFFF and its landblock info under
// (id << 16) | 0xFFFE. Nothing here fails: a missing or malformed record only removes
// what it would have contributed.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "tallowmere/bake/bake.hpp"
#include "tallowmere/dat/file_type/region.hpp"
#include "tallowmere/dat/landblock.hpp"
#include "tallowmere/dat/lib.hpp"
#include "tallowmere/scenery/caches.hpp"
#include "tallowmere/scenery/placement_lines.hpp"

namespace tallowmere::scenery {

// The block of 13 x 13 landblocks the determinism check bakes: x from 0xA3 to 0xAF, y
// from 0xAE to 0xBA, id = x * 256 + y, x outermost (0xA3AE, 0xA3AF, ..., 0xAFBA).
[[nodiscard]] std::vector<uint16_t> ring_landblocks();

struct BakeOptions {
  // Bilinear height and the slope test instead of the triangulated surface.
  bool use_slope = false;
};

// One landblock's placement lines, in placement order.
struct LandblockLines {
  uint16_t landblock_id = 0;
  PlacementLines lines;

  friend bool operator==(const LandblockLines&, const LandblockLines&) = default;
};
// One entry per requested landblock, in request order.
using BakeResult = std::vector<LandblockLines>;

// The footprints of the buildings that have a mesh, in building order: each mesh
// vertex turned by twice the angle atan2f(qz, qw) of the building's orientation and
// moved by its origin (no scale, z ignored).
[[nodiscard]] std::vector<bake::Footprint> building_footprints(
    const dat::landblock::LandblockInfo& info, bake::MeshSource& meshes);

// What a landblock's bake reads from the cell archive: its terrain record and the
// footprints of its buildings.
struct LandblockGround {
  dat::landblock::CellLandblock terrain;
  std::vector<bake::Footprint> buildings;
};

// The ground of landblock `landblock_id`, or nothing when its cell landblock record is
// missing or malformed. A missing or malformed landblock info leaves no buildings.
[[nodiscard]] std::optional<LandblockGround> load_landblock_ground(const dat::DatDatabase& cell,
                                                                   uint16_t landblock_id,
                                                                   bake::MeshSource& meshes);

// The placements of one landblock. A landblock whose cell landblock record is missing
// or malformed has none; a missing or malformed landblock info only removes the
// buildings. Static objects are not obstacles.
[[nodiscard]] std::vector<bake::Placement> bake_landblock(const dat::file_type::Region& region,
                                                          const dat::DatDatabase& cell,
                                                          uint16_t landblock_id,
                                                          PortalCaches& caches,
                                                          const BakeOptions& options = {});

// The same through any scene and mesh source (the shared caches of a threaded bake).
[[nodiscard]] std::vector<bake::Placement> bake_landblock(
    const dat::file_type::Region& region, const dat::DatDatabase& cell, uint16_t landblock_id,
    bake::SceneSource& scenes, bake::MeshSource& meshes, const BakeOptions& options = {});

// A landblock's placements together with the ground they were baked on, for callers that
// need both (a picture of the bake) without reading the cell archive twice.
struct GroundedPlacements {
  std::optional<LandblockGround> ground;  // nothing without a cell landblock record: no placements
  std::vector<bake::Placement> placements;
};

// bake_landblock, keeping the ground it loaded.
[[nodiscard]] GroundedPlacements bake_landblock_with_ground(
    const dat::file_type::Region& region, const dat::DatDatabase& cell, uint16_t landblock_id,
    bake::SceneSource& scenes, bake::MeshSource& meshes, const BakeOptions& options = {});

// One placement line per placement, in order.
[[nodiscard]] PlacementLines placement_lines(std::span<const bake::Placement> placements);

// Every landblock whose cell landblock record ((id << 16) | 0xFFFF) is in the cell
// archive's directory, in increasing id order.
[[nodiscard]] std::vector<uint16_t> all_landblocks(const dat::DatDatabase& cell);

// Every landblock of `ids`, in order (repeats included), through caches the caller owns
// and may keep for later calls.
[[nodiscard]] BakeResult bake_landblocks(const dat::file_type::Region& region,
                                         const dat::DatDatabase& cell,
                                         std::span<const uint16_t> ids, PortalCaches& caches,
                                         const BakeOptions& options = {});

// The same with fresh caches that live for this call only, so that two calls share
// nothing and the second repeats every fetch and parse.
[[nodiscard]] BakeResult bake_landblocks(const dat::file_type::Region& region,
                                         const dat::DatDatabase& portal,
                                         const dat::DatDatabase& cell,
                                         std::span<const uint16_t> ids,
                                         const BakeOptions& options = {});

}  // namespace tallowmere::scenery
