// Every cut of an encoded record fails, and with exactly the error it fails with today.
//
// Each record below is encoded by the writer crate with every optional part present;
// each prefix of its bytes is parsed and the error is reduced to a shape: the root
// text, then for each frame "field in Record @ file", then (when there are frames) the
// cursor position after the rewinds. The shapes, run-length encoded by prefix length,
// are pinned. Every located frame must also point at a line of its source file that
// names the field, which is what the report's "at file:line" promises.
#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "tallowmere/dat/file_type/gfx_obj.hpp"
#include "tallowmere/dat/file_type/region.hpp"
#include "tallowmere/dat/file_type/setup_model.hpp"
#include "tallowmere/dat/landblock.hpp"
#include "tallowmere/dat/physics.hpp"
#include "tallowmere/dat_writer/byte_writer.hpp"
#include "tallowmere/dat_writer/model_records.hpp"
#include "tallowmere/dat_writer/world_records.hpp"

namespace tallowmere::dat {
namespace {

using common::Cursor;
using common::LocatedFrame;
using common::ParseError;

// (first prefix length of a run, shape of every prefix in the run)
using Runs = std::vector<std::pair<size_t, std::string>>;

std::string source_line(const common::SourceLocation& location) {
  std::ifstream in(std::string(TALLOWMERE_SOURCE_DIR) + "/" + location.file);
  std::string line;
  for (uint32_t i = 0; i < location.line && std::getline(in, line); ++i) {
  }
  return line;
}

std::string shape(const ParseError& error, uint64_t position) {
  std::string out = common::root_text(error.root());
  for (const auto& frame : error.frames()) {
    const auto& located = std::get<LocatedFrame>(frame);
    std::string file = located.location.file;
    file = file.substr(file.rfind('/') + 1);
    out += " < " + located.message.substr(std::string("While parsing field ").size()) + " @" +
           file.substr(0, file.rfind('.'));
    // "While parsing field 'x' in Y": the declaring line names 'x' as "x".
    const std::string field = located.message.substr(21, located.message.find('\'', 21) - 21);
    EXPECT_NE(source_line(located.location).find('"' + field + '"'), std::string::npos)
        << located.location.file << ":" << located.location.line << " does not declare " << field;
  }
  if (error.is_backtrace()) out += " | at " + std::to_string(position);
  return out;
}

// Parses every proper prefix of `bytes` (each must fail) and the whole (must succeed).
template <class T>
Runs prefix_runs(const std::vector<uint8_t>& bytes,
                 const std::function<common::ParseResult<T>(Cursor&)>& parse) {
  Runs runs;
  for (size_t n = 0; n < bytes.size(); ++n) {
    Cursor cursor(std::span<const uint8_t>(bytes).first(n));
    auto result = parse(cursor);
    if (result) {
      ADD_FAILURE() << "prefix " << n << " of " << bytes.size() << " parses";
      continue;
    }
    std::string s = shape(result.error(), cursor.position());
    if (runs.empty() || runs.back().second != s) runs.emplace_back(n, std::move(s));
  }
  Cursor whole(bytes);
  auto result = parse(whole);
  EXPECT_TRUE(result) << result.error().text();
  EXPECT_EQ(whole.position(), bytes.size());
  return runs;
}

// On a mismatch the actual runs are printed in the form of the expected table.
void expect_runs(const Runs& actual, const Runs& expected) {
  if (actual == expected) return;
  std::string listing;
  for (const auto& [from, s] : actual) {
    listing += "      {" + std::to_string(from) + ", \"" + s + "\"},\n";
  }
  ADD_FAILURE() << "prefix errors differ; actual runs:\n" << listing;
}

constexpr const char* kEnd = "failed to fill whole buffer";

// ---- Region ----

file_type::Region full_region() {
  using namespace file_type;
  Region r;
  r.id = 0x13000000;
  r.header_words = {1, 2};
  r.name = "Dereth";  // 2 + 6 bytes from offset 12: no padding
  for (size_t i = 0; i < r.height_table.size(); ++i) r.height_table[i] = float(i);
  r.game_time.time_value = 0.5;
  r.game_time.name = "calendar";                          // 2 + 8: 2 padding bytes
  r.game_time.times_of_day.push_back({1, true, "dawn"});  // 2 + 4: 2 padding bytes
  r.game_time.times_of_day.push_back({2, false, "x"});    // 2 + 1: 1 padding byte
  r.game_time.names = {"ab", "", "c"};
  r.game_time.seasons.push_back({3, "spring"});
  r.game_time.seasons.push_back({4, "winter!"});
  SkyDesc sky;
  sky.values = {0x3FF0000000000000, 7};
  DayGroup group{9, "day", {DayGroupItem{{1, 2, 3, 4, 5, 6, 7, 8, 9}}}, {}};
  group.sky_times.push_back(
      {{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}, {SkyTimeItem{{6, 5, 4, 3, 2, 1}}, SkyTimeItem{{1}}}});
  sky.day_groups.push_back(group);
  sky.day_groups.push_back(DayGroup{10, "night", {}, {}});
  r.sky = sky;
  r.sound = SoundDesc{{AmbientSTBDesc{2, {AmbientItem{{1, 2, 3, 4, 5}}}}, AmbientSTBDesc{3, {}}}};
  r.scene = SceneDesc{{SceneType{1, {0x12000001, 0x12000002}}, SceneType{2, {}}}};
  r.terrain.terrain_types.push_back({"grass", 3, {0, 1}});
  r.terrain.terrain_types.push_back({"sand", 4, {}});
  r.terrain.desc_words = {5, 6};
  r.terrain.pair_lists[0].push_back({1, 2});
  r.terrain.pair_lists[2].push_back({8, 9});
  r.terrain.wide_entries.push_back({1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11});
  r.misc = RegionMisc{{1, 2, 3, 4, 5, 6}};
  r.part_mask = writer::region_part_mask(r);
  return r;
}

// The region's parsers add no frames: a cut anywhere, the calendar name and the misc
// part included, fails with the bare end-of-data error.
TEST(EveryPrefix, RegionWithEveryPart) {
  const auto region = full_region();
  ASSERT_EQ(region.part_mask, 0x213u);
  const auto bytes = writer::encode_region(region);
  auto runs = prefix_runs<file_type::Region>(bytes, file_type::Region::unpack);
  expect_runs(runs, {{0, kEnd}});
}

// ---- Landblock info ----

TEST(EveryPrefix, LandblockInfoWithEveryPart) {
  using namespace landblock;
  LandblockInfo info;
  info.id = 0x1234FFFE;
  info.num_cells = 3;
  info.objects.push_back(Stab{0x01000001, {}});
  info.objects.push_back(Stab{0x01000002, {}});
  BuildInfo building;
  building.model_id = 0x01000003;
  building.num_leaves = 2;
  building.portals.push_back(PortalInternal{1, 2, 3, 1, {7}});
  building.portals.push_back(PortalInternal{4, 5, 6, 2, {8, 9}});
  building.num_portals = 2;
  info.buildings.push_back(building);
  info.pack_mask = 1;
  RestrictionTable table;
  table.count = 2;
  table.bucket_size = 8;
  table.tables = {{5, 1}, {6, 2}};
  info.restriction_tables = table;
  const auto bytes = writer::encode_landblock_info(info);
  auto runs = prefix_runs<LandblockInfo>(bytes, [](Cursor& c) {
    auto info = LandblockInfo::unpack(c.data());
    if (info) c.set_position(c.data().size());
    return info;
  });
  expect_runs(
      runs,
      {
          {0, "failed to fill whole buffer < 'id' in LandblockInfo @landblock | at 0"},
          {4, "failed to fill whole buffer < 'num_cells' in LandblockInfo @landblock | at 0"},
          {8, "failed to fill whole buffer < 'num_objects' in LandblockInfo @landblock | at 0"},
          {12,
           "failed to fill whole buffer < 'id' in Stab @landblock < 'objects' in LandblockInfo "
           "@landblock | at 0"},
          {16,
           "failed to fill whole buffer < 'x' in Vector3 @math < 'origin' in Frame @landblock < "
           "'frame' in Stab @landblock < 'objects' in LandblockInfo @landblock | at 0"},
          {20,
           "failed to fill whole buffer < 'y' in Vector3 @math < 'origin' in Frame @landblock < "
           "'frame' in Stab @landblock < 'objects' in LandblockInfo @landblock | at 0"},
          {24,
           "failed to fill whole buffer < 'z' in Vector3 @math < 'origin' in Frame @landblock < "
           "'frame' in Stab @landblock < 'objects' in LandblockInfo @landblock | at 0"},
          {28,
           "failed to fill whole buffer < 'w' in Quaternion @math < 'orientation' in Frame "
           "@landblock < 'frame' in Stab @landblock < 'objects' in LandblockInfo @landblock | at "
           "0"},
          {32,
           "failed to fill whole buffer < 'x' in Quaternion @math < 'orientation' in Frame "
           "@landblock < 'frame' in Stab @landblock < 'objects' in LandblockInfo @landblock | at "
           "0"},
          {36,
           "failed to fill whole buffer < 'y' in Quaternion @math < 'orientation' in Frame "
           "@landblock < 'frame' in Stab @landblock < 'objects' in LandblockInfo @landblock | at "
           "0"},
          {40,
           "failed to fill whole buffer < 'z' in Quaternion @math < 'orientation' in Frame "
           "@landblock < 'frame' in Stab @landblock < 'objects' in LandblockInfo @landblock | at "
           "0"},
          {44,
           "failed to fill whole buffer < 'id' in Stab @landblock < 'objects' in LandblockInfo "
           "@landblock | at 0"},
          {48,
           "failed to fill whole buffer < 'x' in Vector3 @math < 'origin' in Frame @landblock < "
           "'frame' in Stab @landblock < 'objects' in LandblockInfo @landblock | at 0"},
          {52,
           "failed to fill whole buffer < 'y' in Vector3 @math < 'origin' in Frame @landblock < "
           "'frame' in Stab @landblock < 'objects' in LandblockInfo @landblock | at 0"},
          {56,
           "failed to fill whole buffer < 'z' in Vector3 @math < 'origin' in Frame @landblock < "
           "'frame' in Stab @landblock < 'objects' in LandblockInfo @landblock | at 0"},
          {60,
           "failed to fill whole buffer < 'w' in Quaternion @math < 'orientation' in Frame "
           "@landblock < 'frame' in Stab @landblock < 'objects' in LandblockInfo @landblock | at "
           "0"},
          {64,
           "failed to fill whole buffer < 'x' in Quaternion @math < 'orientation' in Frame "
           "@landblock < 'frame' in Stab @landblock < 'objects' in LandblockInfo @landblock | at "
           "0"},
          {68,
           "failed to fill whole buffer < 'y' in Quaternion @math < 'orientation' in Frame "
           "@landblock < 'frame' in Stab @landblock < 'objects' in LandblockInfo @landblock | at "
           "0"},
          {72,
           "failed to fill whole buffer < 'z' in Quaternion @math < 'orientation' in Frame "
           "@landblock < 'frame' in Stab @landblock < 'objects' in LandblockInfo @landblock | at "
           "0"},
          {76, "failed to fill whole buffer < 'num_buildings' in LandblockInfo @landblock | at 0"},
          {78, "failed to fill whole buffer < 'pack_mask' in LandblockInfo @landblock | at 0"},
          {80,
           "failed to fill whole buffer < 'model_id' in BuildInfo @landblock < 'buildings' in "
           "LandblockInfo @landblock | at 0"},
          {84,
           "failed to fill whole buffer < 'x' in Vector3 @math < 'origin' in Frame @landblock < "
           "'frame' in BuildInfo @landblock < 'buildings' in LandblockInfo @landblock | at 0"},
          {88,
           "failed to fill whole buffer < 'y' in Vector3 @math < 'origin' in Frame @landblock < "
           "'frame' in BuildInfo @landblock < 'buildings' in LandblockInfo @landblock | at 0"},
          {92,
           "failed to fill whole buffer < 'z' in Vector3 @math < 'origin' in Frame @landblock < "
           "'frame' in BuildInfo @landblock < 'buildings' in LandblockInfo @landblock | at 0"},
          {96,
           "failed to fill whole buffer < 'w' in Quaternion @math < 'orientation' in Frame "
           "@landblock < 'frame' in BuildInfo @landblock < 'buildings' in LandblockInfo @landblock "
           "| at 0"},
          {100,
           "failed to fill whole buffer < 'x' in Quaternion @math < 'orientation' in Frame "
           "@landblock < 'frame' in BuildInfo @landblock < 'buildings' in LandblockInfo @landblock "
           "| at 0"},
          {104,
           "failed to fill whole buffer < 'y' in Quaternion @math < 'orientation' in Frame "
           "@landblock < 'frame' in BuildInfo @landblock < 'buildings' in LandblockInfo @landblock "
           "| at 0"},
          {108,
           "failed to fill whole buffer < 'z' in Quaternion @math < 'orientation' in Frame "
           "@landblock < 'frame' in BuildInfo @landblock < 'buildings' in LandblockInfo @landblock "
           "| at 0"},
          {112,
           "failed to fill whole buffer < 'num_leaves' in BuildInfo @landblock < 'buildings' in "
           "LandblockInfo @landblock | at 0"},
          {116,
           "failed to fill whole buffer < 'num_portals' in BuildInfo @landblock < 'buildings' in "
           "LandblockInfo @landblock | at 0"},
          {120,
           "failed to fill whole buffer < 'flags' in PortalInternal @landblock < 'portals' in "
           "BuildInfo @landblock < 'buildings' in LandblockInfo @landblock | at 0"},
          {122,
           "failed to fill whole buffer < 'other_cell_id' in PortalInternal @landblock < 'portals' "
           "in BuildInfo @landblock < 'buildings' in LandblockInfo @landblock | at 0"},
          {124,
           "failed to fill whole buffer < 'other_portal_id' in PortalInternal @landblock < "
           "'portals' in BuildInfo @landblock < 'buildings' in LandblockInfo @landblock | at 0"},
          {126,
           "failed to fill whole buffer < 'num_stabs' in PortalInternal @landblock < 'portals' in "
           "BuildInfo @landblock < 'buildings' in LandblockInfo @landblock | at 0"},
          {128,
           "failed to fill whole buffer < 'stab_list' in PortalInternal @landblock < 'portals' in "
           "BuildInfo @landblock < 'buildings' in LandblockInfo @landblock | at 0"},
          {130,
           "failed to fill whole buffer < 'flags' in PortalInternal @landblock < 'portals' in "
           "BuildInfo @landblock < 'buildings' in LandblockInfo @landblock | at 0"},
          {134,
           "failed to fill whole buffer < 'other_cell_id' in PortalInternal @landblock < 'portals' "
           "in BuildInfo @landblock < 'buildings' in LandblockInfo @landblock | at 0"},
          {136,
           "failed to fill whole buffer < 'other_portal_id' in PortalInternal @landblock < "
           "'portals' in BuildInfo @landblock < 'buildings' in LandblockInfo @landblock | at 0"},
          {138,
           "failed to fill whole buffer < 'num_stabs' in PortalInternal @landblock < 'portals' in "
           "BuildInfo @landblock < 'buildings' in LandblockInfo @landblock | at 0"},
          {140,
           "failed to fill whole buffer < 'stab_list' in PortalInternal @landblock < 'portals' in "
           "BuildInfo @landblock < 'buildings' in LandblockInfo @landblock | at 0"},
          {144,
           "failed to fill whole buffer < 'count' in RestrictionTable @landblock < "
           "'restriction_tables' in LandblockInfo @landblock | at 0"},
          {146,
           "failed to fill whole buffer < '_bucket_size' in RestrictionTable @landblock < "
           "'restriction_tables' in LandblockInfo @landblock | at 0"},
          {148,
           "failed to fill whole buffer < 'tables' in RestrictionTable @landblock < "
           "'restriction_tables' in LandblockInfo @landblock | at 0"},
      });
}

// ---- Setup model ----

TEST(EveryPrefix, SetupModelWithEveryPart) {
  using namespace file_type;
  writer::SetupModelSpec desc =
      writer::setup_model_from_parts(0x02000006, {0x01000010, 0x01000011});
  desc.flags = SetupModel::HAS_PARENT | SetupModel::HAS_DEFAULT_SCALE;
  desc.parent_index = {0xFFFFFFFF, 0};
  desc.default_scale = {{1, 1, 1}, {2, 2, 2}};
  desc.holding_locations = {{1, LocationType{2, {}}}};
  desc.connection_points = {{3, LocationType{1, {}}}};
  desc.placement_frames[0].second.hooks = {writer::make_hook(5, 1, -3), writer::make_hook(5, 2, 4),
                                           writer::make_hook(13, 2), writer::make_hook(0, 3)};
  desc.cyl_spheres = {CylSphere{{1, 2, 3}, 4, 5}};
  desc.spheres = {common::Sphere{{0, 0, 1}, 2}};
  desc.lights = {{2, LightInfo{{}, 0xFFFF8000, 1, 2, 3}}};
  desc.default_animation = 1;
  desc.default_script = 2;
  desc.default_motion_table = 3;
  desc.default_sound_table = 4;
  desc.default_script_table = 5;
  const auto bytes = writer::encode_setup_model(desc);
  auto runs = prefix_runs<SetupModel>(bytes, SetupModel::unpack);
  expect_runs(
      runs,
      {
          {0, "failed to fill whole buffer"},
          {28, "failed to fill whole buffer < 'x' in Vector3 @math | at 28"},
          {32, "failed to fill whole buffer < 'y' in Vector3 @math | at 28"},
          {36, "failed to fill whole buffer < 'z' in Vector3 @math | at 28"},
          {40, "failed to fill whole buffer < 'x' in Vector3 @math | at 40"},
          {44, "failed to fill whole buffer < 'y' in Vector3 @math | at 40"},
          {48, "failed to fill whole buffer < 'z' in Vector3 @math | at 40"},
          {52, "failed to fill whole buffer"},
          {60, "failed to fill whole buffer < 'part_id' in LocationType @setup_model | at 60"},
          {64,
           "failed to fill whole buffer < 'x' in Vector3 @math < 'origin' in Frame @graphics < "
           "'frame' in LocationType @setup_model | at 60"},
          {68,
           "failed to fill whole buffer < 'y' in Vector3 @math < 'origin' in Frame @graphics < "
           "'frame' in LocationType @setup_model | at 60"},
          {72,
           "failed to fill whole buffer < 'z' in Vector3 @math < 'origin' in Frame @graphics < "
           "'frame' in LocationType @setup_model | at 60"},
          {76,
           "failed to fill whole buffer < 'w' in Quaternion @math < 'orientation' in Frame "
           "@graphics < 'frame' in LocationType @setup_model | at 60"},
          {80,
           "failed to fill whole buffer < 'x' in Quaternion @math < 'orientation' in Frame "
           "@graphics < 'frame' in LocationType @setup_model | at 60"},
          {84,
           "failed to fill whole buffer < 'y' in Quaternion @math < 'orientation' in Frame "
           "@graphics < 'frame' in LocationType @setup_model | at 60"},
          {88,
           "failed to fill whole buffer < 'z' in Quaternion @math < 'orientation' in Frame "
           "@graphics < 'frame' in LocationType @setup_model | at 60"},
          {92, "failed to fill whole buffer"},
          {100, "failed to fill whole buffer < 'part_id' in LocationType @setup_model | at 100"},
          {104,
           "failed to fill whole buffer < 'x' in Vector3 @math < 'origin' in Frame @graphics < "
           "'frame' in LocationType @setup_model | at 100"},
          {108,
           "failed to fill whole buffer < 'y' in Vector3 @math < 'origin' in Frame @graphics < "
           "'frame' in LocationType @setup_model | at 100"},
          {112,
           "failed to fill whole buffer < 'z' in Vector3 @math < 'origin' in Frame @graphics < "
           "'frame' in LocationType @setup_model | at 100"},
          {116,
           "failed to fill whole buffer < 'w' in Quaternion @math < 'orientation' in Frame "
           "@graphics < 'frame' in LocationType @setup_model | at 100"},
          {120,
           "failed to fill whole buffer < 'x' in Quaternion @math < 'orientation' in Frame "
           "@graphics < 'frame' in LocationType @setup_model | at 100"},
          {124,
           "failed to fill whole buffer < 'y' in Quaternion @math < 'orientation' in Frame "
           "@graphics < 'frame' in LocationType @setup_model | at 100"},
          {128,
           "failed to fill whole buffer < 'z' in Quaternion @math < 'orientation' in Frame "
           "@graphics < 'frame' in LocationType @setup_model | at 100"},
          {132, "failed to fill whole buffer"},
          {140,
           "failed to fill whole buffer < 'x' in Vector3 @math < 'origin' in Frame @graphics | at "
           "140"},
          {144,
           "failed to fill whole buffer < 'y' in Vector3 @math < 'origin' in Frame @graphics | at "
           "140"},
          {148,
           "failed to fill whole buffer < 'z' in Vector3 @math < 'origin' in Frame @graphics | at "
           "140"},
          {152,
           "failed to fill whole buffer < 'w' in Quaternion @math < 'orientation' in Frame "
           "@graphics | at 140"},
          {156,
           "failed to fill whole buffer < 'x' in Quaternion @math < 'orientation' in Frame "
           "@graphics | at 140"},
          {160,
           "failed to fill whole buffer < 'y' in Quaternion @math < 'orientation' in Frame "
           "@graphics | at 140"},
          {164,
           "failed to fill whole buffer < 'z' in Quaternion @math < 'orientation' in Frame "
           "@graphics | at 140"},
          {168,
           "failed to fill whole buffer < 'x' in Vector3 @math < 'origin' in Frame @graphics | at "
           "168"},
          {172,
           "failed to fill whole buffer < 'y' in Vector3 @math < 'origin' in Frame @graphics | at "
           "168"},
          {176,
           "failed to fill whole buffer < 'z' in Vector3 @math < 'origin' in Frame @graphics | at "
           "168"},
          {180,
           "failed to fill whole buffer < 'w' in Quaternion @math < 'orientation' in Frame "
           "@graphics | at 168"},
          {184,
           "failed to fill whole buffer < 'x' in Quaternion @math < 'orientation' in Frame "
           "@graphics | at 168"},
          {188,
           "failed to fill whole buffer < 'y' in Quaternion @math < 'orientation' in Frame "
           "@graphics | at 168"},
          {192,
           "failed to fill whole buffer < 'z' in Quaternion @math < 'orientation' in Frame "
           "@graphics | at 168"},
          {196, "failed to fill whole buffer"},
          {288,
           "failed to fill whole buffer < 'x' in Vector3 @math < 'origin' in CylSphere "
           "@setup_model | at 288"},
          {292,
           "failed to fill whole buffer < 'y' in Vector3 @math < 'origin' in CylSphere "
           "@setup_model | at 288"},
          {296,
           "failed to fill whole buffer < 'z' in Vector3 @math < 'origin' in CylSphere "
           "@setup_model | at 288"},
          {300, "failed to fill whole buffer < 'radius' in CylSphere @setup_model | at 288"},
          {304, "failed to fill whole buffer < 'height' in CylSphere @setup_model | at 288"},
          {308, "failed to fill whole buffer"},
          {312,
           "failed to fill whole buffer < 'x' in Vector3 @math < 'center' in Sphere @math | at "
           "312"},
          {316,
           "failed to fill whole buffer < 'y' in Vector3 @math < 'center' in Sphere @math | at "
           "312"},
          {320,
           "failed to fill whole buffer < 'z' in Vector3 @math < 'center' in Sphere @math | at "
           "312"},
          {324, "failed to fill whole buffer < 'radius' in Sphere @math | at 312"},
          {328, "failed to fill whole buffer"},
          {344,
           "failed to fill whole buffer < 'x' in Vector3 @math < 'center' in Sphere @math | at "
           "344"},
          {348,
           "failed to fill whole buffer < 'y' in Vector3 @math < 'center' in Sphere @math | at "
           "344"},
          {352,
           "failed to fill whole buffer < 'z' in Vector3 @math < 'center' in Sphere @math | at "
           "344"},
          {356, "failed to fill whole buffer < 'radius' in Sphere @math | at 344"},
          {360,
           "failed to fill whole buffer < 'x' in Vector3 @math < 'center' in Sphere @math | at "
           "360"},
          {364,
           "failed to fill whole buffer < 'y' in Vector3 @math < 'center' in Sphere @math | at "
           "360"},
          {368,
           "failed to fill whole buffer < 'z' in Vector3 @math < 'center' in Sphere @math | at "
           "360"},
          {372, "failed to fill whole buffer < 'radius' in Sphere @math | at 360"},
          {376, "failed to fill whole buffer"},
          {384,
           "failed to fill whole buffer < 'x' in Vector3 @math < 'origin' in Frame @graphics < "
           "'viewer_space_location' in LightInfo @setup_model | at 384"},
          {388,
           "failed to fill whole buffer < 'y' in Vector3 @math < 'origin' in Frame @graphics < "
           "'viewer_space_location' in LightInfo @setup_model | at 384"},
          {392,
           "failed to fill whole buffer < 'z' in Vector3 @math < 'origin' in Frame @graphics < "
           "'viewer_space_location' in LightInfo @setup_model | at 384"},
          {396,
           "failed to fill whole buffer < 'w' in Quaternion @math < 'orientation' in Frame "
           "@graphics < 'viewer_space_location' in LightInfo @setup_model | at 384"},
          {400,
           "failed to fill whole buffer < 'x' in Quaternion @math < 'orientation' in Frame "
           "@graphics < 'viewer_space_location' in LightInfo @setup_model | at 384"},
          {404,
           "failed to fill whole buffer < 'y' in Quaternion @math < 'orientation' in Frame "
           "@graphics < 'viewer_space_location' in LightInfo @setup_model | at 384"},
          {408,
           "failed to fill whole buffer < 'z' in Quaternion @math < 'orientation' in Frame "
           "@graphics < 'viewer_space_location' in LightInfo @setup_model | at 384"},
          {412, "failed to fill whole buffer < 'color' in LightInfo @setup_model | at 384"},
          {416, "failed to fill whole buffer < 'intensity' in LightInfo @setup_model | at 384"},
          {420, "failed to fill whole buffer < 'falloff' in LightInfo @setup_model | at 384"},
          {424, "failed to fill whole buffer < 'cone_angle' in LightInfo @setup_model | at 384"},
          {428, "failed to fill whole buffer"},
      });
}

// ---- Graphics object and BSP trees ----

TEST(EveryPrefix, GfxObjWithEveryPart) {
  using namespace file_type;
  using writer::bsp_internal;
  using writer::bsp_leaf;
  writer::GfxObjSpec desc;
  desc.id = 0x0100ABCD;
  desc.flags = GfxObj::HAS_PHYSICS | GfxObj::HAS_DRAWING | GfxObj::HAS_DEGRADE;
  desc.surfaces = {0x08000010, 0x08000011};
  const common::Vector3 positions[] = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
  desc.vertices = writer::gfx_obj_from_positions(0, positions).vertices;
  desc.vertices[1].second.num_uvs = 2;
  desc.vertices[1].second.uvs = {{0.5f, 0.25f}, {1, 2}};
  desc.physics_polygons = {{0, writer::make_polygon({0, 1, 2})}};
  desc.physics_bsp = bsp_internal("BPIN", bsp_leaf(1, {0}), bsp_leaf(2));
  desc.sort_center = {0.5f, 0.5f, 0};
  desc.polygons = {{0, writer::make_polygon({2, 1, 0})}, {1, writer::make_polygon({0, 1})}};
  desc.polygons[1].second.poly_flags = graphics::Polygon::NO_NEG_UVS;
  desc.polygons[1].second.neg_uv_indices.clear();
  desc.drawing_bsp = bsp_internal(
      "BPnn", writer::bsp_portal(bsp_leaf(0), bsp_leaf(3), {1}, {{1, 2}}), std::nullopt, {0, 1});
  desc.degrade_id = 0x01000002;
  const auto bytes = writer::encode_gfx_obj(desc);
  auto runs = prefix_runs<GfxObj>(bytes, GfxObj::unpack);
  expect_runs(
      runs,
      {
          {0, "failed to fill whole buffer"},
          {27, "failed to fill whole buffer < 'num_uvs' in SWVertex @graphics | at 27"},
          {29,
           "failed to fill whole buffer < 'x' in Vector3 @math < 'origin' in SWVertex @graphics | "
           "at 27"},
          {33,
           "failed to fill whole buffer < 'y' in Vector3 @math < 'origin' in SWVertex @graphics | "
           "at 27"},
          {37,
           "failed to fill whole buffer < 'z' in Vector3 @math < 'origin' in SWVertex @graphics | "
           "at 27"},
          {41,
           "failed to fill whole buffer < 'x' in Vector3 @math < 'normal' in SWVertex @graphics | "
           "at 27"},
          {45,
           "failed to fill whole buffer < 'y' in Vector3 @math < 'normal' in SWVertex @graphics | "
           "at 27"},
          {49,
           "failed to fill whole buffer < 'z' in Vector3 @math < 'normal' in SWVertex @graphics | "
           "at 27"},
          {53, "failed to fill whole buffer"},
          {55, "failed to fill whole buffer < 'num_uvs' in SWVertex @graphics | at 55"},
          {57,
           "failed to fill whole buffer < 'x' in Vector3 @math < 'origin' in SWVertex @graphics | "
           "at 55"},
          {61,
           "failed to fill whole buffer < 'y' in Vector3 @math < 'origin' in SWVertex @graphics | "
           "at 55"},
          {65,
           "failed to fill whole buffer < 'z' in Vector3 @math < 'origin' in SWVertex @graphics | "
           "at 55"},
          {69,
           "failed to fill whole buffer < 'x' in Vector3 @math < 'normal' in SWVertex @graphics | "
           "at 55"},
          {73,
           "failed to fill whole buffer < 'y' in Vector3 @math < 'normal' in SWVertex @graphics | "
           "at 55"},
          {77,
           "failed to fill whole buffer < 'z' in Vector3 @math < 'normal' in SWVertex @graphics | "
           "at 55"},
          {81,
           "failed to fill whole buffer < 'u' in Vec2Duv @graphics < 'uvs' in SWVertex @graphics | "
           "at 55"},
          {85,
           "failed to fill whole buffer < 'v' in Vec2Duv @graphics < 'uvs' in SWVertex @graphics | "
           "at 55"},
          {89,
           "failed to fill whole buffer < 'u' in Vec2Duv @graphics < 'uvs' in SWVertex @graphics | "
           "at 55"},
          {93,
           "failed to fill whole buffer < 'v' in Vec2Duv @graphics < 'uvs' in SWVertex @graphics | "
           "at 55"},
          {97, "failed to fill whole buffer"},
          {99, "failed to fill whole buffer < 'num_uvs' in SWVertex @graphics | at 99"},
          {101,
           "failed to fill whole buffer < 'x' in Vector3 @math < 'origin' in SWVertex @graphics | "
           "at 99"},
          {105,
           "failed to fill whole buffer < 'y' in Vector3 @math < 'origin' in SWVertex @graphics | "
           "at 99"},
          {109,
           "failed to fill whole buffer < 'z' in Vector3 @math < 'origin' in SWVertex @graphics | "
           "at 99"},
          {113,
           "failed to fill whole buffer < 'x' in Vector3 @math < 'normal' in SWVertex @graphics | "
           "at 99"},
          {117,
           "failed to fill whole buffer < 'y' in Vector3 @math < 'normal' in SWVertex @graphics | "
           "at 99"},
          {121,
           "failed to fill whole buffer < 'z' in Vector3 @math < 'normal' in SWVertex @graphics | "
           "at 99"},
          {125, "failed to fill whole buffer"},
          {154,
           "failed to fill whole buffer < 'x' in Vector3 @math < 'normal' in Plane @math | at 154"},
          {158,
           "failed to fill whole buffer < 'y' in Vector3 @math < 'normal' in Plane @math | at 154"},
          {162,
           "failed to fill whole buffer < 'z' in Vector3 @math < 'normal' in Plane @math | at 154"},
          {166, "failed to fill whole buffer < 'd' in Plane @math | at 154"},
          {170, "failed to fill whole buffer"},
          {182,
           "failed to fill whole buffer < 'x' in Vector3 @math < 'center' in Sphere @math | at "
           "182"},
          {186,
           "failed to fill whole buffer < 'y' in Vector3 @math < 'center' in Sphere @math | at "
           "182"},
          {190,
           "failed to fill whole buffer < 'z' in Vector3 @math < 'center' in Sphere @math | at "
           "182"},
          {194, "failed to fill whole buffer < 'radius' in Sphere @math | at 182"},
          {198, "failed to fill whole buffer"},
          {216,
           "failed to fill whole buffer < 'x' in Vector3 @math < 'center' in Sphere @math | at "
           "216"},
          {220,
           "failed to fill whole buffer < 'y' in Vector3 @math < 'center' in Sphere @math | at "
           "216"},
          {224,
           "failed to fill whole buffer < 'z' in Vector3 @math < 'center' in Sphere @math | at "
           "216"},
          {228, "failed to fill whole buffer < 'radius' in Sphere @math | at 216"},
          {232, "failed to fill whole buffer"},
          {236,
           "failed to fill whole buffer < 'x' in Vector3 @math < 'center' in Sphere @math | at "
           "236"},
          {240,
           "failed to fill whole buffer < 'y' in Vector3 @math < 'center' in Sphere @math | at "
           "236"},
          {244,
           "failed to fill whole buffer < 'z' in Vector3 @math < 'center' in Sphere @math | at "
           "236"},
          {248, "failed to fill whole buffer < 'radius' in Sphere @math | at 236"},
          {252, "failed to fill whole buffer < 'x' in Vector3 @math | at 252"},
          {256, "failed to fill whole buffer < 'y' in Vector3 @math | at 252"},
          {260, "failed to fill whole buffer < 'z' in Vector3 @math | at 252"},
          {264, "failed to fill whole buffer"},
          {311,
           "failed to fill whole buffer < 'x' in Vector3 @math < 'normal' in Plane @math | at 311"},
          {315,
           "failed to fill whole buffer < 'y' in Vector3 @math < 'normal' in Plane @math | at 311"},
          {319,
           "failed to fill whole buffer < 'z' in Vector3 @math < 'normal' in Plane @math | at 311"},
          {323, "failed to fill whole buffer < 'd' in Plane @math | at 311"},
          {327, "failed to fill whole buffer"},
          {331,
           "failed to fill whole buffer < 'x' in Vector3 @math < 'normal' in Plane @math | at 331"},
          {335,
           "failed to fill whole buffer < 'y' in Vector3 @math < 'normal' in Plane @math | at 331"},
          {339,
           "failed to fill whole buffer < 'z' in Vector3 @math < 'normal' in Plane @math | at 331"},
          {343, "failed to fill whole buffer < 'd' in Plane @math | at 331"},
          {347, "failed to fill whole buffer"},
          {363,
           "failed to fill whole buffer < 'x' in Vector3 @math < 'center' in Sphere @math | at "
           "363"},
          {367,
           "failed to fill whole buffer < 'y' in Vector3 @math < 'center' in Sphere @math | at "
           "363"},
          {371,
           "failed to fill whole buffer < 'z' in Vector3 @math < 'center' in Sphere @math | at "
           "363"},
          {375, "failed to fill whole buffer < 'radius' in Sphere @math | at 363"},
          {379, "failed to fill whole buffer"},
          {389, "failed to fill whole buffer < 'portal_index' in PortalPoly @physics | at 389"},
          {391, "failed to fill whole buffer < 'poly_id' in PortalPoly @physics | at 389"},
          {393,
           "failed to fill whole buffer < 'x' in Vector3 @math < 'center' in Sphere @math | at "
           "393"},
          {397,
           "failed to fill whole buffer < 'y' in Vector3 @math < 'center' in Sphere @math | at "
           "393"},
          {401,
           "failed to fill whole buffer < 'z' in Vector3 @math < 'center' in Sphere @math | at "
           "393"},
          {405, "failed to fill whole buffer < 'radius' in Sphere @math | at 393"},
          {409, "failed to fill whole buffer"},
      });
}

TEST(EveryPrefix, BspTreeOfEachKind) {
  using namespace physics;
  using writer::bsp_internal;
  using writer::bsp_leaf;
  using writer::bsp_portal;
  const auto tree =
      bsp_internal("BPIN", bsp_portal(bsp_leaf(1, {4}), bsp_leaf(2), {5, 6}, {PortalPoly{1, 2}}),
                   bsp_internal("BpIN", std::nullopt, bsp_leaf(3, {7, 8})), {9});
  std::map<BspTreeKind, Runs> expected = {
      {BspTreeKind::Drawing,
       {
           {0, "failed to fill whole buffer"},
           {4,
            "failed to fill whole buffer < 'x' in Vector3 @math < 'normal' in Plane @math | at 4"},
           {8,
            "failed to fill whole buffer < 'y' in Vector3 @math < 'normal' in Plane @math | at 4"},
           {12,
            "failed to fill whole buffer < 'z' in Vector3 @math < 'normal' in Plane @math | at 4"},
           {16, "failed to fill whole buffer < 'd' in Plane @math | at 4"},
           {20, "failed to fill whole buffer"},
           {24,
            "failed to fill whole buffer < 'x' in Vector3 @math < 'normal' in Plane @math | at 24"},
           {28,
            "failed to fill whole buffer < 'y' in Vector3 @math < 'normal' in Plane @math | at 24"},
           {32,
            "failed to fill whole buffer < 'z' in Vector3 @math < 'normal' in Plane @math | at 24"},
           {36, "failed to fill whole buffer < 'd' in Plane @math | at 24"},
           {40, "failed to fill whole buffer"},
           {56,
            "failed to fill whole buffer < 'x' in Vector3 @math < 'center' in Sphere @math | at "
            "56"},
           {60,
            "failed to fill whole buffer < 'y' in Vector3 @math < 'center' in Sphere @math | at "
            "56"},
           {64,
            "failed to fill whole buffer < 'z' in Vector3 @math < 'center' in Sphere @math | at "
            "56"},
           {68, "failed to fill whole buffer < 'radius' in Sphere @math | at 56"},
           {72, "failed to fill whole buffer"},
           {84, "failed to fill whole buffer < 'portal_index' in PortalPoly @physics | at 84"},
           {86, "failed to fill whole buffer < 'poly_id' in PortalPoly @physics | at 84"},
           {88, "failed to fill whole buffer"},
           {92,
            "failed to fill whole buffer < 'x' in Vector3 @math < 'normal' in Plane @math | at 92"},
           {96,
            "failed to fill whole buffer < 'y' in Vector3 @math < 'normal' in Plane @math | at 92"},
           {100,
            "failed to fill whole buffer < 'z' in Vector3 @math < 'normal' in Plane @math | at 92"},
           {104, "failed to fill whole buffer < 'd' in Plane @math | at 92"},
           {108, "failed to fill whole buffer"},
           {116,
            "failed to fill whole buffer < 'x' in Vector3 @math < 'center' in Sphere @math | at "
            "116"},
           {120,
            "failed to fill whole buffer < 'y' in Vector3 @math < 'center' in Sphere @math | at "
            "116"},
           {124,
            "failed to fill whole buffer < 'z' in Vector3 @math < 'center' in Sphere @math | at "
            "116"},
           {128, "failed to fill whole buffer < 'radius' in Sphere @math | at 116"},
           {132, "failed to fill whole buffer"},
           {136,
            "failed to fill whole buffer < 'x' in Vector3 @math < 'center' in Sphere @math | at "
            "136"},
           {140,
            "failed to fill whole buffer < 'y' in Vector3 @math < 'center' in Sphere @math | at "
            "136"},
           {144,
            "failed to fill whole buffer < 'z' in Vector3 @math < 'center' in Sphere @math | at "
            "136"},
           {148, "failed to fill whole buffer < 'radius' in Sphere @math | at 136"},
           {152, "failed to fill whole buffer"},
       }},
      {BspTreeKind::Physics,
       {
           {0, "failed to fill whole buffer"},
           {4,
            "failed to fill whole buffer < 'x' in Vector3 @math < 'normal' in Plane @math | at 4"},
           {8,
            "failed to fill whole buffer < 'y' in Vector3 @math < 'normal' in Plane @math | at 4"},
           {12,
            "failed to fill whole buffer < 'z' in Vector3 @math < 'normal' in Plane @math | at 4"},
           {16, "failed to fill whole buffer < 'd' in Plane @math | at 4"},
           {20, "failed to fill whole buffer"},
           {24,
            "failed to fill whole buffer < 'x' in Vector3 @math < 'normal' in Plane @math | at 24"},
           {28,
            "failed to fill whole buffer < 'y' in Vector3 @math < 'normal' in Plane @math | at 24"},
           {32,
            "failed to fill whole buffer < 'z' in Vector3 @math < 'normal' in Plane @math | at 24"},
           {36, "failed to fill whole buffer < 'd' in Plane @math | at 24"},
           {40, "failed to fill whole buffer"},
           {52,
            "failed to fill whole buffer < 'x' in Vector3 @math < 'center' in Sphere @math | at "
            "52"},
           {56,
            "failed to fill whole buffer < 'y' in Vector3 @math < 'center' in Sphere @math | at "
            "52"},
           {60,
            "failed to fill whole buffer < 'z' in Vector3 @math < 'center' in Sphere @math | at "
            "52"},
           {64, "failed to fill whole buffer < 'radius' in Sphere @math | at 52"},
           {68, "failed to fill whole buffer"},
           {86,
            "failed to fill whole buffer < 'x' in Vector3 @math < 'center' in Sphere @math | at "
            "86"},
           {90,
            "failed to fill whole buffer < 'y' in Vector3 @math < 'center' in Sphere @math | at "
            "86"},
           {94,
            "failed to fill whole buffer < 'z' in Vector3 @math < 'center' in Sphere @math | at "
            "86"},
           {98, "failed to fill whole buffer < 'radius' in Sphere @math | at 86"},
           {102, "failed to fill whole buffer"},
           {110,
            "failed to fill whole buffer < 'x' in Vector3 @math < 'normal' in Plane @math | at "
            "110"},
           {114,
            "failed to fill whole buffer < 'y' in Vector3 @math < 'normal' in Plane @math | at "
            "110"},
           {118,
            "failed to fill whole buffer < 'z' in Vector3 @math < 'normal' in Plane @math | at "
            "110"},
           {122, "failed to fill whole buffer < 'd' in Plane @math | at 110"},
           {126, "failed to fill whole buffer"},
           {138,
            "failed to fill whole buffer < 'x' in Vector3 @math < 'center' in Sphere @math | at "
            "138"},
           {142,
            "failed to fill whole buffer < 'y' in Vector3 @math < 'center' in Sphere @math | at "
            "138"},
           {146,
            "failed to fill whole buffer < 'z' in Vector3 @math < 'center' in Sphere @math | at "
            "138"},
           {150, "failed to fill whole buffer < 'radius' in Sphere @math | at 138"},
           {154, "failed to fill whole buffer"},
           {162,
            "failed to fill whole buffer < 'x' in Vector3 @math < 'center' in Sphere @math | at "
            "162"},
           {166,
            "failed to fill whole buffer < 'y' in Vector3 @math < 'center' in Sphere @math | at "
            "162"},
           {170,
            "failed to fill whole buffer < 'z' in Vector3 @math < 'center' in Sphere @math | at "
            "162"},
           {174, "failed to fill whole buffer < 'radius' in Sphere @math | at 162"},
           {178,
            "failed to fill whole buffer < 'x' in Vector3 @math < 'center' in Sphere @math | at "
            "178"},
           {182,
            "failed to fill whole buffer < 'y' in Vector3 @math < 'center' in Sphere @math | at "
            "178"},
           {186,
            "failed to fill whole buffer < 'z' in Vector3 @math < 'center' in Sphere @math | at "
            "178"},
           {190, "failed to fill whole buffer < 'radius' in Sphere @math | at 178"},
       }},
      {BspTreeKind::Cell,
       {
           {0, "failed to fill whole buffer"},
           {4,
            "failed to fill whole buffer < 'x' in Vector3 @math < 'normal' in Plane @math | at 4"},
           {8,
            "failed to fill whole buffer < 'y' in Vector3 @math < 'normal' in Plane @math | at 4"},
           {12,
            "failed to fill whole buffer < 'z' in Vector3 @math < 'normal' in Plane @math | at 4"},
           {16, "failed to fill whole buffer < 'd' in Plane @math | at 4"},
           {20, "failed to fill whole buffer"},
           {24,
            "failed to fill whole buffer < 'x' in Vector3 @math < 'normal' in Plane @math | at 24"},
           {28,
            "failed to fill whole buffer < 'y' in Vector3 @math < 'normal' in Plane @math | at 24"},
           {32,
            "failed to fill whole buffer < 'z' in Vector3 @math < 'normal' in Plane @math | at 24"},
           {36, "failed to fill whole buffer < 'd' in Plane @math | at 24"},
           {40, "failed to fill whole buffer"},
           {60,
            "failed to fill whole buffer < 'x' in Vector3 @math < 'normal' in Plane @math | at 60"},
           {64,
            "failed to fill whole buffer < 'y' in Vector3 @math < 'normal' in Plane @math | at 60"},
           {68,
            "failed to fill whole buffer < 'z' in Vector3 @math < 'normal' in Plane @math | at 60"},
           {72, "failed to fill whole buffer < 'd' in Plane @math | at 60"},
           {76, "failed to fill whole buffer"},
       }},
  };
  for (auto& [kind, runs] : expected) {
    SCOPED_TRACE(int(kind));
    writer::ByteWriter w;
    writer::encode_bsp(w, tree, kind);
    const BspTreeKind k = kind;
    expect_runs(prefix_runs<BspNode>(w.view(), [k](Cursor& c) { return BspNode::read(c, k); }),
                runs);
  }
}

}  // namespace
}  // namespace tallowmere::dat
