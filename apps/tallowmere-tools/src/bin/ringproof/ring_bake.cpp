#include "ring_bake.hpp"

#include <cmath>

#include "caches.hpp"
#include "placement_line.hpp"
#include "tallowmere/common/platform.hpp"
#include "tallowmere/common/text.hpp"

namespace tallowmere::ringproof {

std::vector<bake::Footprint> building_footprints(const dat::landblock::LandblockInfo& info,
                                                 MeshCache& meshes) {
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

RingResult bake_ring_to_lines(const dat::file_type::Region& region, const dat::DatDatabase& portal,
                              const dat::DatDatabase& cell, std::span<const uint16_t> ids) {
  MeshCache meshes(portal);
  SceneCache scenes(portal);
  RingResult result;
  result.reserve(ids.size());
  for (uint16_t id : ids) {
    RingEntry& entry = result.emplace_back(RingEntry{id, {}});
    const uint32_t cell_id = static_cast<uint32_t>(id) << 16;

    auto terrain_payload = cell.get_file(cell_id | 0xFFFF);
    if (!terrain_payload) continue;
    auto terrain = dat::landblock::CellLandblock::unpack(*terrain_payload);
    if (!terrain) continue;

    std::vector<bake::Footprint> buildings;
    if (auto info_payload = cell.get_file(cell_id | 0xFFFE)) {
      if (auto info = dat::landblock::LandblockInfo::unpack(*info_payload)) {
        buildings = building_footprints(*info, meshes);
      }
    }

    auto placements = bake::bake_landblock_impl(region, *terrain, cell_id, scenes, meshes,
                                                buildings, /*use_slope=*/false);
    entry.lines.reserve(placements.size());
    for (const auto& placement : placements) entry.lines.push_back(placement_line(placement));
  }
  return result;
}

std::string join_path(const std::string& directory, const std::string& name) {
  if (directory.empty()) return name;
  if (directory.back() == '/') return directory + name;
  return directory + "/" + name;
}

Expected<void, ErrorReport> write_lines(const std::string& directory, uint16_t landblock_id,
                                        std::span<const std::string> lines) {
  const std::string path = join_path(directory, placement_file_name(landblock_id));
  size_t total = 0;
  for (const auto& line : lines) total += line.size() + 1;
  std::string buffer;
  buffer.reserve(total);
  for (const auto& line : lines) {
    buffer += line;
    buffer += '\n';
  }
  auto written = common::write_file(
      path, {reinterpret_cast<const uint8_t*>(buffer.data()), buffer.size()});
  if (!written) return make_unexpected(with_context("write " + common::display_lossy(path), written.error()));
  return {};
}

}  // namespace tallowmere::ringproof
