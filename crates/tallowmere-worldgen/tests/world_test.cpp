// The demo world read back through the archive reader and the record parsers: every
// record parses except the ones damaged on purpose, which fail; references resolve; the
// archives have the real shape; and the records cover what the parsers must handle.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <map>
#include <set>
#include <string>

#include "generated_world.hpp"
#include "tallowmere/dat/file_type/gfx_obj.hpp"
#include "tallowmere/dat/file_type/region.hpp"
#include "tallowmere/dat/file_type/scene.hpp"
#include "tallowmere/dat/file_type/setup_model.hpp"
#include "tallowmere/dat/landblock.hpp"
#include "tallowmere/testing/demo_world.hpp"

namespace tallowmere::worldgen::testing {
namespace {

using tallowmere::testing::demo_world;
using tallowmere::testing::DemoWorld;

using common::Cursor;
namespace ft = dat::file_type;
namespace lb = dat::landblock;

std::vector<uint8_t> fetch(const dat::DatDatabase& db, uint32_t id) {
  auto bytes = db.get_file(id);
  EXPECT_TRUE(bytes.has_value()) << std::hex << id << ": " << bytes.error().text();
  return bytes ? std::move(*bytes) : std::vector<uint8_t>{};
}

template <class Record>
std::optional<Record> parse(const std::vector<uint8_t>& bytes) {
  Cursor cursor(bytes);
  auto record = Record::unpack(cursor);
  if (!record) return std::nullopt;
  return std::move(*record);
}

struct Archives {
  const dat::DatDatabase& portal;
  const dat::DatDatabase& cell;
  const Manifest& manifest;
};

Archives archives(const DemoWorld& w) {
  return {w.portal, w.cell, w.manifest};
}

// True when `id` refers to a file in the portal archive or to one missing on purpose.
bool resolves(const Archives& a, uint32_t id) {
  return a.portal.find(id) != nullptr || a.manifest.portal_damage(id) == Damage::Missing;
}

struct PortalTally {
  std::map<uint8_t, int> parsed;  // by file type
  int failed_as_intended = 0;
  int missing = 0;
};

// Fetches every portal file and parses every record; a record parses exactly when the
// manifest does not list it, and the files the manifest lists as missing are absent.
PortalTally check_portal_records(const Archives& a) {
  PortalTally tally;
  for (const dat::DatFileEntry& entry : a.portal.entries()) {
    const uint32_t id = entry.id;
    const std::vector<uint8_t> bytes = fetch(a.portal, id);
    const uint8_t type = static_cast<uint8_t>(id >> 24);
    bool ok = true;
    if (type == 0x01) {
      ok = parse<ft::GfxObj>(bytes).has_value();
    } else if (type == 0x02) {
      ok = parse<ft::SetupModel>(bytes).has_value();
    } else if (type == 0x12) {
      ok = parse<ft::Scene>(bytes).has_value();
    } else if (type == 0x13) {
      ok = parse<ft::Region>(bytes).has_value();
    } else {
      // Fillers start with their own id: a check of the payload's bytes after the
      // block chain and decompression.
      uint32_t first = 0;
      if (bytes.size() >= 4) std::memcpy(&first, bytes.data(), 4);
      EXPECT_EQ(first, id) << std::hex << id;
    }
    const auto damage = a.manifest.portal_damage(id);
    EXPECT_NE(damage, Damage::Missing) << std::hex << id;
    EXPECT_EQ(ok, !damage.has_value()) << std::hex << id;
    tally.parsed[type] += ok;
    tally.failed_as_intended += !ok;
  }
  for (const DamagedFile& f : a.manifest.portal) {
    if (f.damage != Damage::Missing) continue;
    ++tally.missing;
    auto bytes = a.portal.get_file(f.id);
    EXPECT_FALSE(bytes.has_value()) << std::hex << f.id;
    if (!bytes) {
      EXPECT_TRUE(std::holds_alternative<dat::DatError::NotFound>(bytes.error().value));
    }
  }
  return tally;
}

TEST(DemoWorld, PortalRecordsParseUnlessDamagedOnPurpose) {
  const DemoWorld& w = demo_world();
  const PortalTally tally = check_portal_records(archives(w));
  EXPECT_EQ(w.portal.entry_count(), w.files.summary.portal.files);
  EXPECT_GE(tally.parsed.at(0x01), 250);
  EXPECT_GE(tally.parsed.at(0x02), 120);
  EXPECT_GE(tally.parsed.at(0x12), 100);
  EXPECT_EQ(tally.parsed.at(0x13), 1);
  EXPECT_GT(tally.failed_as_intended, 3);
  EXPECT_GT(tally.missing, 3);
}

TEST(DemoWorld, RegionHasEveryPartAndTablesThatResolve) {
  const DemoWorld& w = demo_world();
  auto region = parse<ft::Region>(fetch(w.portal, 0x13000000));
  ASSERT_TRUE(region.has_value());
  EXPECT_EQ(region->part_mask, 0x213u);
  ASSERT_TRUE(region->sky && region->sound && region->scene && region->misc);
  EXPECT_FALSE(region->sky->day_groups.empty());
  EXPECT_FALSE(region->game_time.seasons.empty());

  const auto& heights = region->height_table;
  EXPECT_EQ(heights[0], 0.0f);
  EXPECT_TRUE(std::is_sorted(heights.begin(), heights.end()));
  EXPECT_NE(std::adjacent_find(heights.begin(), heights.end()), heights.end());
  EXPECT_GT(heights[255], 250.0f);
  EXPECT_LT(heights[255], 500.0f);

  const auto& types = region->terrain.terrain_types;
  ASSERT_EQ(types.size(), 32u);
  const size_t scene_types = region->scene->scene_types.size();
  int empty = 0, out_of_range = 0;
  for (const auto& type : types) {
    empty += type.scene_type_indices.empty();
    for (uint32_t k : type.scene_type_indices) out_of_range += k >= scene_types;
  }
  EXPECT_GT(empty, 0);
  EXPECT_GT(out_of_range, 0);

  int empty_lists = 0, damaged = 0;
  for (const auto& type : region->scene->scene_types) {
    empty_lists += type.scenes.empty();
    for (uint32_t id : type.scenes) {
      EXPECT_EQ(id >> 24, 0x12u);
      EXPECT_TRUE(resolves(archives(w), id)) << std::hex << id;
      damaged += w.manifest.portal_damage(id).has_value();
    }
  }
  EXPECT_GT(empty_lists, 0);
  EXPECT_GT(damaged, 0);
}

struct CellTally {
  int landblocks = 0, buildings = 0, odd_stabs = 0, even_stabs = 0, tables = 0;
  int excluded = 0, unused_bits = 0, shared_edges = 0;
};

// Every landblock x_min..x_max, y_min..y_max: its cell landblock and info parse exactly
// when the manifest does not list them, the info counts the interior cells that are
// there, buildings and static objects name portal files that exist, and neighbours
// agree on the heights of their shared edge.
CellTally check_cell_records(const Archives& a, uint32_t x_min, uint32_t x_max, uint32_t y_min,
                             uint32_t y_max) {
  std::map<uint16_t, uint32_t> interior;  // landblock -> interior cell entries
  for (const dat::DatFileEntry& entry : a.cell.entries()) {
    const uint16_t low = entry.id & 0xFFFF;
    if (low >= 0x0100 && low < 0xFFFE) {
      EXPECT_EQ(low, 0x0100 + interior[static_cast<uint16_t>(entry.id >> 16)]++)
          << std::hex << entry.id;
      EXPECT_FALSE(fetch(a.cell, entry.id).empty());
    }
  }
  std::map<uint32_t, bool> model_parses;
  const auto parses = [&](uint32_t id) {
    auto [it, fresh] = model_parses.try_emplace(id, false);
    if (fresh) {
      auto bytes = fetch(a.portal, id);
      it->second = id >> 24 == 0x02 ? parse<ft::SetupModel>(bytes).has_value()
                                    : parse<ft::GfxObj>(bytes).has_value();
    }
    return it->second;
  };

  CellTally t;
  std::map<uint16_t, std::vector<uint8_t>> heights;
  for (uint32_t x = x_min; x <= x_max; ++x) {
    for (uint32_t y = y_min; y <= y_max; ++y) {
      ++t.landblocks;
      const auto landblock = static_cast<uint16_t>(x << 8 | y);
      const uint32_t base = uint32_t{landblock} << 16;
      const auto cell_damage = a.manifest.cell_damage(base | 0xFFFF);
      if (cell_damage != Damage::Missing) {
        auto cell = lb::CellLandblock::unpack(fetch(a.cell, base | 0xFFFF));
        EXPECT_EQ(cell.has_value(), !cell_damage.has_value()) << std::hex << landblock;
        if (cell) {
          heights[landblock] = cell->height;
          for (uint16_t word : cell->terrain) {
            t.excluded += (word & 3) != 0;
            t.unused_bits += (word & 0x0780) != 0;
          }
        }
      } else {
        EXPECT_EQ(a.cell.find(base | 0xFFFF), nullptr);
      }

      const auto info_damage = a.manifest.cell_damage(base | 0xFFFE);
      if (info_damage == Damage::Missing) {
        EXPECT_EQ(a.cell.find(base | 0xFFFE), nullptr);
        continue;
      }
      auto info = lb::LandblockInfo::unpack(fetch(a.cell, base | 0xFFFE));
      EXPECT_EQ(info.has_value(), !info_damage.has_value()) << std::hex << landblock;
      if (!info) continue;
      EXPECT_EQ(info->num_cells, interior[landblock]) << std::hex << landblock;
      t.tables += info->restriction_tables.has_value();
      for (const auto& building : info->buildings) {
        ++t.buildings;
        EXPECT_TRUE(parses(building.model_id)) << std::hex << building.model_id;
        for (const auto& portal : building.portals) {
          (portal.num_stabs % 2 ? t.odd_stabs : t.even_stabs)++;
        }
      }
      for (const auto& stab : info->objects) EXPECT_TRUE(parses(stab.id)) << std::hex << stab.id;
    }
  }
  for (const auto& [landblock, h] : heights) {
    auto east = heights.find(static_cast<uint16_t>(landblock + 0x100));
    if (east == heights.end()) continue;
    for (size_t y = 0; y < 9; ++y) EXPECT_EQ(h[72 + y], east->second[y]) << std::hex << landblock;
    ++t.shared_edges;
  }
  return t;
}

TEST(DemoWorld, CellArchiveHoldsEveryLandblockAndItsInteriorCells) {
  const DemoWorld& w = demo_world();
  const CellTally t = check_cell_records(archives(w), 0xA2, 0xB0, 0xAD, 0xBB);
  EXPECT_EQ(t.landblocks, 225);
  EXPECT_GT(t.buildings, 50);
  EXPECT_GT(t.odd_stabs, 0);
  EXPECT_GT(t.even_stabs, 0);
  EXPECT_GT(t.tables, 0);
  EXPECT_GT(t.excluded, 0);
  EXPECT_GT(t.unused_bits, 0);
  EXPECT_GT(t.shared_edges, 150);
  // Every kind of damage, and only a few landblocks of each.
  for (Damage d : {Damage::Missing, Damage::Truncated}) {
    for (uint32_t low : {0xFFFFu, 0xFFFEu}) {
      auto n = std::count_if(
          w.manifest.cell.begin(), w.manifest.cell.end(),
          [&](const DamagedFile& f) { return f.damage == d && (f.id & 0xFFFF) == low; });
      EXPECT_GE(n, 1);
      EXPECT_LE(n, 10);
    }
  }
}

TEST(DemoWorld, ArchivesHaveTheRealShape) {
  const DemoWorld& w = demo_world();
  for (const auto* db : {&w.portal, &w.cell}) {
    const auto& header = db->header();
    EXPECT_EQ(header.block_size, db == &w.portal ? 1024u : 256u);
    // The root of a multi-level directory has children.
    auto root = db->read_file_data(header.root_offset, dat::kNodeSize);
    ASSERT_TRUE(root.has_value());
    uint32_t branch0 = 0;
    std::memcpy(&branch0, root->data(), 4);
    EXPECT_NE(branch0, 0u);

    size_t compressed = 0, long_chains = 0;
    for (const auto& entry : db->entries()) {
      compressed += entry.compressed();
      long_chains += entry.size > 8 * (header.block_size - 4);
    }
    const size_t files = db->entry_count();
    EXPECT_GT(compressed, files / 10);
    EXPECT_LT(compressed, files / 3);
    EXPECT_GT(long_chains, 0u);
  }
}

// Records of every shape the parsers distinguish.
TEST(DemoWorld, RecordsCoverEveryVariantTheParsersHandle) {
  const DemoWorld& w = demo_world();
  std::set<std::string> node_kinds;
  std::set<uint32_t> hook_types;
  std::set<size_t> type5_sizes;
  size_t most_vertices = 0, fewest_vertices = SIZE_MAX, with_uvs = 0;
  const auto walk = [&](const dat::physics::BspTree& tree) {
    for (const auto& n : tree.nodes) {
      if (n.leaf()) node_kinds.insert("LEAF");
      if (n.portal()) node_kinds.insert("PORT");
      if (const auto* i = n.internal()) {
        node_kinds.insert(std::string(i->node_type.begin(), i->node_type.end()));
      }
    }
  };

  struct SceneStats {
    bool never = false, always = false, external = false, non_positive_offset = false;
    bool offset_192 = false, on_edge = false, equal_scales = false, unequal_scales = false;
    bool no_rotation = false, rotation = false, other_type = false;
  } s;
  for (const auto& entry : w.portal.entries()) {
    if (w.manifest.portal_damage(entry.id)) continue;
    const auto bytes = fetch(w.portal, entry.id);
    if (entry.id >> 24 == 0x01) {
      auto gfx = parse<ft::GfxObj>(bytes);
      ASSERT_TRUE(gfx);
      walk(gfx->physics_bsp);
      walk(gfx->drawing_bsp);
      const size_t n = gfx->vertex_array.vertices.size();
      most_vertices = std::max(most_vertices, n);
      if (n) fewest_vertices = std::min(fewest_vertices, n);
      for (const auto& [id, v] : gfx->vertex_array.vertices) with_uvs += !v.uvs.empty();
    } else if (entry.id >> 24 == 0x02) {
      auto setup = parse<ft::SetupModel>(bytes);
      ASSERT_TRUE(setup);
      for (const auto& [key, placement] : setup->placement_frames) {
        EXPECT_EQ(placement.frames.size(), setup->parts.size());
        for (const auto& hook : setup->hooks_of(placement)) {
          hook_types.insert(hook.hook_type);
          if (hook.hook_type == 5) type5_sizes.insert(hook.data.size());
        }
      }
    } else if (entry.id >> 24 == 0x12) {
      auto scene = parse<ft::Scene>(bytes);
      ASSERT_TRUE(scene);
      for (const auto& d : scene->objects) {
        s.never |= d.probability == 0;
        s.always |= d.probability > 1;
        s.external |= d.external_obj != 0;
        s.non_positive_offset |= d.random_offset_x <= 0;
        s.offset_192 |= d.random_offset_x == 192 || d.random_offset_y == 192;
        s.on_edge |= d.base_frame.origin.x == 24 || d.base_frame.origin.y == 24;
        (d.min_scale == d.max_scale ? s.equal_scales : s.unequal_scales) = true;
        (d.max_rotation > 0 ? s.rotation : s.no_rotation) = true;
        const uint32_t type = d.obj_id >> 24;
        s.other_type |= type != 0x01 && type != 0x02;
        EXPECT_TRUE(resolves(archives(w), d.obj_id)) << std::hex << d.obj_id;
      }
    }
  }
  EXPECT_EQ(node_kinds, (std::set<std::string>{"LEAF", "PORT", "BPIN", "BPnN", "BPIn", "BPnn",
                                               "BpIN", "BpnN", "BpIn", "Bpnn", "BPOL"}));
  EXPECT_EQ(hook_types.size(), 27u);
  EXPECT_EQ(type5_sizes, (std::set<size_t>{4, 8}));
  EXPECT_GE(most_vertices, 100u);
  EXPECT_LE(fewest_vertices, 40u);
  EXPECT_GT(with_uvs, 0u);
  EXPECT_TRUE(s.never && s.always && s.external && s.non_positive_offset && s.offset_192);
  EXPECT_TRUE(s.on_edge && s.equal_scales && s.unequal_scales && s.no_rotation && s.rotation);
  EXPECT_TRUE(s.other_type);
}

TEST(WorldDeterminism, SameSeedGivesTheSameBytesAnotherSeedOthers) {
  const DemoWorld& w = demo_world();
  auto again = generate(1, Scale::Demo);
  EXPECT_EQ(read_all(again->portal_path), read_all(w.files.portal_path));
  EXPECT_EQ(read_all(again->cell_path), read_all(w.files.cell_path));
  // The fixture's summary, read back from its file, is the generator's.
  EXPECT_EQ(tallowmere::testing::summary_text(w.files.summary),
            tallowmere::testing::summary_text(again->summary));

  auto other = generate(2, Scale::Tiny);
  auto tiny = generate(1, Scale::Tiny);
  EXPECT_NE(read_all(other->portal_path), read_all(tiny->portal_path));
  EXPECT_NE(read_all(other->cell_path), read_all(tiny->cell_path));
}

TEST(WorldGeneration, UnwritablePathFailsWithThatPath) {
  TempDir dir;
  Options options;
  options.scale = Scale::Tiny;
  const std::string bad = dir.file("no-such-dir/client_portal.dat");
  auto world = generate_world(options, bad, dir.file("client_cell_1.dat"));
  ASSERT_FALSE(world.has_value());
  EXPECT_EQ(world.error().path, bad);
}

// Manual, not part of the suite: the full world read back whole. Run it with
// --gtest_also_run_disabled_tests --gtest_filter='FullWorld.*'.
TEST(FullWorld, DISABLED_EveryRecordParsesUnlessDamagedOnPurpose) {
  auto files = generate(1, Scale::Full);
  const dat::DatDatabase portal = DemoWorld::open(files->portal_path);
  const dat::DatDatabase cell = DemoWorld::open(files->cell_path);
  const Archives a{portal, cell, files->summary.manifest};
  EXPECT_GE(portal.entry_count(), 50000u);
  EXPECT_GE(cell.entry_count(), 500000u);
  const PortalTally p = check_portal_records(a);
  const CellTally c = check_cell_records(a, 0x00, 0xFE, 0x00, 0xFE);
  EXPECT_EQ(c.landblocks, 255 * 255);
  ::testing::Test::RecordProperty("portal_files", static_cast<int>(portal.entry_count()));
  ::testing::Test::RecordProperty("cell_files", static_cast<int>(cell.entry_count()));
  ::testing::Test::RecordProperty("failed_as_intended", p.failed_as_intended);
  ::testing::Test::RecordProperty("buildings", c.buildings);
}

}  // namespace
}  // namespace tallowmere::worldgen::testing
