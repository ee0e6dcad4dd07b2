#include "tallowmere/scenery/landblocks.hpp"

#include <cmath>

#include "tallowmere/scenery/placement_line.hpp"

namespace tallowmere::scenery {

std::vector<uint16_t> ring_landblocks() {
  std::vector<uint16_t> ring;
  ring.reserve(13 * 13);
  for (unsigned x = 0xA3; x <= 0xAF; ++x) {
    for (unsigned y = 0xAE; y <= 0xBA; ++y) ring.push_back(static_cast<uint16_t>(x * 256 + y));
  }
  return ring;
}

std::vector<bake::Footprint> building_footprints(const dat::landblock::LandblockInfo& info,
                                                 bake::MeshSource& meshes) {
  std::vector<bake::Footprint> footprints;
  for (const auto& building : info.buildings) {
    auto mesh = meshes.lookup(building.model_id);
    if (!mesh) continue;
    const auto& frame = building.frame;
    float a = ::atan2f(frame.orientation.z, frame.orientation.w);
    float yaw = a + a;
    float s, c;
    ::sincosf(yaw, &s, &c);
    const float ox = frame.origin.x, oy = frame.origin.y;
    bake::Footprint box;
    for (const auto& v : *mesh) {
      float wx = c * v.x - s * v.y + ox;
      float wy = c * v.y + s * v.x + oy;
      box.widen(wx, wy);
    }
    footprints.push_back(box);
  }
  return footprints;
}

std::vector<bake::Placement> bake_landblock(const dat::file_type::Region& region,
                                            const dat::DatDatabase& cell, uint16_t landblock_id,
                                            PortalCaches& caches, const BakeOptions& options) {
  return bake_landblock(region, cell, landblock_id, caches.scenes, caches.meshes, options);
}

std::optional<LandblockGround> load_landblock_ground(const dat::DatDatabase& cell,
                                                     uint16_t landblock_id,
                                                     bake::MeshSource& meshes) {
  const uint32_t cell_id = static_cast<uint32_t>(landblock_id) << 16;
  // Both payloads are parsed into records of their own, so one buffer per thread serves
  // every landblock.
  thread_local dat::PayloadBuffer payload;
  if (!cell.get_file_into(cell_id | 0xFFFF, payload)) return std::nullopt;
  auto terrain = dat::landblock::CellLandblock::unpack(payload);
  if (!terrain) return std::nullopt;

  LandblockGround ground{std::move(*terrain), {}};
  if (cell.get_file_into(cell_id | 0xFFFE, payload)) {
    if (auto info = dat::landblock::LandblockInfo::unpack(payload)) {
      ground.buildings = building_footprints(*info, meshes);
    }
  }
  return ground;
}

GroundedPlacements bake_landblock_with_ground(const dat::file_type::Region& region,
                                              const dat::DatDatabase& cell, uint16_t landblock_id,
                                              bake::SceneSource& scenes, bake::MeshSource& meshes,
                                              const BakeOptions& options) {
  GroundedPlacements baked{load_landblock_ground(cell, landblock_id, meshes), {}};
  if (baked.ground) {
    baked.placements = bake::bake_landblock_impl(
        region, baked.ground->terrain, static_cast<uint32_t>(landblock_id) << 16, scenes, meshes,
        baked.ground->buildings, options.use_slope);
  }
  return baked;
}

std::vector<bake::Placement> bake_landblock(const dat::file_type::Region& region,
                                            const dat::DatDatabase& cell, uint16_t landblock_id,
                                            bake::SceneSource& scenes, bake::MeshSource& meshes,
                                            const BakeOptions& options) {
  return bake_landblock_with_ground(region, cell, landblock_id, scenes, meshes, options).placements;
}

PlacementLines placement_lines(std::span<const bake::Placement> placements) {
  PlacementLines lines;
  // Room for lines of a typical length (about 190 characters); longer ones still fit,
  // with the text reallocated as it grows.
  lines.reserve(placements.size(), placements.size() * 200 + kPlacementLineMaxChars + 1);
  for (const auto& placement : placements) {
    lines.append_written(kPlacementLineMaxChars,
                         [&](char* out) { return write_placement_line(out, placement); });
  }
  return lines;
}

std::vector<uint16_t> all_landblocks(const dat::DatDatabase& cell) {
  std::vector<uint16_t> ids;
  for (const auto& entry : cell.entries()) {
    if ((entry.id & 0xFFFF) == 0xFFFF) ids.push_back(static_cast<uint16_t>(entry.id >> 16));
  }
  return ids;
}

BakeResult bake_landblocks(const dat::file_type::Region& region, const dat::DatDatabase& cell,
                           std::span<const uint16_t> ids, PortalCaches& caches,
                           const BakeOptions& options) {
  BakeResult result;
  result.reserve(ids.size());
  for (uint16_t id : ids) {
    result.push_back({id, placement_lines(bake_landblock(region, cell, id, caches, options))});
  }
  return result;
}

BakeResult bake_landblocks(const dat::file_type::Region& region, const dat::DatDatabase& portal,
                           const dat::DatDatabase& cell, std::span<const uint16_t> ids,
                           const BakeOptions& options) {
  PortalCaches caches(portal);
  return bake_landblocks(region, cell, ids, caches, options);
}

}  // namespace tallowmere::scenery
