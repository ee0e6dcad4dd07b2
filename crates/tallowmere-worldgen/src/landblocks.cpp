// Landblock info records and interior cells: static objects and buildings placed on the
// terrain with headings about the vertical axis, building portals with odd and even
// stab counts, restriction tables on some landblocks, and one interior cell payload per
// cell the info counts.
#include <algorithm>
#include <cmath>

#include "generators.hpp"
#include "tallowmere/dat_writer/byte_writer.hpp"

namespace tallowmere::worldgen {

namespace {

namespace lb = dat::landblock;

// The terrain height nearest to landblock-local (x, y).
float ground(const dat::file_type::Region& region, const lb::CellLandblock& cell, float x,
             float y) {
  const auto vx = static_cast<uint32_t>(std::clamp(x / 24.0f + 0.5f, 0.0f, 8.0f));
  const auto vy = static_cast<uint32_t>(std::clamp(y / 24.0f + 0.5f, 0.0f, 8.0f));
  return region.height_table[cell.height[vx * 9 + vy]];
}

lb::Frame placed_frame(Rng& rng, const dat::file_type::Region& region,
                       const lb::CellLandblock& cell, float lo, float hi, double quarter_turns) {
  lb::Frame frame;
  const float x = rng.uniform(lo, hi);
  const float y = rng.uniform(lo, hi);
  frame.origin = {x, y, ground(region, cell, x, y)};
  frame.orientation = yaw_quaternion(random_heading(rng, quarter_turns));
  return frame;
}

lb::PortalInternal portal(Rng& rng, uint32_t cells) {
  lb::PortalInternal p;
  p.flags = static_cast<uint16_t>(rng.below(4));
  p.other_cell_id = static_cast<uint16_t>(0x0100 + rng.below(std::max<uint32_t>(1, cells)));
  p.other_portal_id = static_cast<uint16_t>(rng.below(6));
  p.num_stabs = static_cast<uint16_t>(rng.below(8));
  for (uint16_t k = 0; k < p.num_stabs; ++k) {
    p.stab_list.push_back(static_cast<uint16_t>(0x0100 + rng.below(std::max<uint32_t>(1, cells))));
  }
  return p;
}

// A coordinate on the quarter-unit grid that builders snap to.
float snapped(float v) {
  return std::round(v * 4) / 4;
}

// An interior cell in a layout of this generator's own: ids, surface and environment
// numbers, a frame, portals, visible cells and a few static objects. Nothing reads it;
// it gives the cell archive its real mix of small files.
std::vector<uint8_t> interior_cell(const Catalog& catalog, uint16_t landblock, uint32_t index,
                                   const lb::Frame& near) {
  Rng rng = Rng::stream(catalog.seed, Stream::InteriorCell, uint64_t{landblock} << 16 | index);
  const uint32_t id = uint32_t{landblock} << 16 | (0x0100 + index);
  const uint32_t flags = rng.below(16);
  writer::ByteWriter w;
  const auto surfaces = static_cast<uint8_t>(rng.between(1, 8));
  const auto portals = static_cast<uint8_t>(rng.between(0, 5));
  // Most cells see a few others; a few (large halls) see hundreds.
  const auto visible =
      static_cast<uint16_t>(rng.chance(0.05) ? rng.between(400, 1200) : rng.between(0, 40));
  w.u32(id).u32(flags).u32(id).u32(surfaces).u32(portals).u32(visible);
  // Surfaces come from the landblock's small palette.
  const uint32_t palette = 0x08000300u + (landblock % 61) * 4;
  for (uint8_t k = 0; k < surfaces; ++k) w.u32(palette + rng.below(6));
  w.u32(0x0D000100u + landblock % 256).u32(rng.below(16));
  w.f32(snapped(near.origin.x + rng.uniform(-8, 8)))
      .f32(snapped(near.origin.y + rng.uniform(-8, 8)));
  w.f32(snapped(near.origin.z - rng.uniform(0, 30)));
  w.f32(near.orientation.w).f32(0).f32(0).f32(near.orientation.z);
  for (uint8_t k = 0; k < portals; ++k) {
    w.u16(static_cast<uint16_t>(rng.below(4))).u16(static_cast<uint16_t>(rng.below(32)));
    w.u16(static_cast<uint16_t>(0x0100 + rng.below(64))).u16(static_cast<uint16_t>(rng.below(6)));
  }
  uint16_t cell = static_cast<uint16_t>(0x0100 + rng.below(8));
  for (uint16_t k = 0; k < visible; ++k) {
    w.u16(cell);
    cell = static_cast<uint16_t>(cell + (rng.chance(0.8) ? 1 : 2 + rng.below(3)));
  }
  if (flags & 2) {
    const uint32_t stabs = rng.count_between(1, 6);
    w.u32(stabs);
    for (uint32_t k = 0; k < stabs; ++k) {
      w.u32(rng.pick(catalog.static_objects));
      w.f32(snapped(rng.uniform(-10, 10))).f32(snapped(rng.uniform(-10, 10))).f32(0);
      w.f32(1).f32(0).f32(0).f32(0);
    }
  }
  if (flags & 8) w.u32(0x7F000000u | rng.below(0x10000));
  return w.take();
}

}  // namespace

LandblockContents make_landblock_contents(const Catalog& catalog,
                                          const dat::file_type::Region& region,
                                          const lb::CellLandblock& cell, uint16_t landblock) {
  Rng rng = Rng::stream(catalog.seed, Stream::Landblock, landblock);
  LandblockContents contents;
  lb::LandblockInfo& info = contents.info;
  info.id = uint32_t{landblock} << 16 | 0xFFFE;

  // Buildings, each with its own interior cells; a few landblocks hold a dungeon.
  std::vector<uint32_t> cells_of;
  if (!catalog.building_models.empty() && rng.chance(0.45)) {
    const uint32_t r = rng.below(10);
    const uint32_t count = r < 6 ? 1 : r < 9 ? 2 : 3;
    for (uint32_t b = 0; b < count; ++b) cells_of.push_back(rng.count_between(3, 14));
  }
  uint32_t cells = 0;
  for (uint32_t c : cells_of) cells += c;
  if (rng.chance(0.03)) cells += rng.count_between(20, 60);
  info.num_cells = cells;

  for (uint32_t b = 0; b < cells_of.size(); ++b) {
    lb::BuildInfo building;
    building.model_id = rng.pick(catalog.building_models);
    building.frame = placed_frame(rng, region, cell, 24, 168, 0.6);
    building.num_leaves = rng.count_between(1, 24);
    for (int k = rng.between(1, 4); k > 0; --k) building.portals.push_back(portal(rng, cells));
    building.num_portals = static_cast<uint32_t>(building.portals.size());
    info.buildings.push_back(std::move(building));
  }

  const uint32_t objects = rng.chance(0.25) ? 0 : rng.count_between(1, 24);
  for (uint32_t k = 0; k < objects && !catalog.static_objects.empty(); ++k) {
    lb::Stab stab;
    stab.id = rng.pick(catalog.static_objects);
    stab.frame = placed_frame(rng, region, cell, 0, 192, 0.2);
    info.objects.push_back(stab);
  }

  if (cells != 0 && rng.chance(0.25)) {
    info.pack_mask |= 0x1;
    lb::RestrictionTable table;
    table.bucket_size = 8;
    for (int k = rng.between(1, 8); k > 0; --k) {
      const uint32_t key = uint32_t{landblock} << 16 | (0x0100 + rng.below(cells));
      table.tables[key] = 0x7F000000u | rng.below(0x10000);
    }
    table.count = static_cast<uint16_t>(table.tables.size());
    info.restriction_tables = std::move(table);
  }
  if (rng.chance(0.1)) info.pack_mask |= 0x2;

  const lb::Frame centre =
      info.buildings.empty() ? lb::Frame{{96, 96, 0}, {}} : info.buildings[0].frame;
  for (uint32_t k = 0; k < cells; ++k) {
    contents.interior_cells.push_back(interior_cell(catalog, landblock, k, centre));
  }
  return contents;
}

}  // namespace tallowmere::worldgen
