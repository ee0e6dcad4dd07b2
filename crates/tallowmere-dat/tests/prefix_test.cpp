// Every cut of an encoded record fails, and with exactly the error it fails with today.
//
// Each record below is encoded by the writer crate with every optional part present;
// each prefix of its bytes is parsed and the error is reduced to a shape: the root
// text, then for each frame "field Record@file", then (when there are frames) the
// cursor position after the rewinds. The shapes, run-length encoded by prefix length,
// are pinned. Every located frame must also point at a line of its source file that
// names the field, which is what the report's "at file:line" promises.
#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "tallowmere/common/record.hpp"
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
  if (out == "failed to fill whole buffer") out = "end";
  if (out == "not enough bytes in reader") out = "short";
  for (const auto& frame : error.frames()) {
    const auto& located = std::get<LocatedFrame>(frame);
    std::string file = located.location.file;
    file = file.substr(file.rfind('/') + 1);
    // "While parsing field 'x' in Y" becomes "x Y@file".
    const std::string& message = located.message;
    const size_t quote = message.find('\'', 21);
    out += " < " + message.substr(21, quote - 21) + " " + message.substr(quote + 5) + "@" +
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

// "end" stands for the root error "failed to fill whole buffer", "short" for "not
// enough bytes in reader"; a frame "While parsing field 'x' in Y" at file.cpp for
// "x Y@file".
constexpr const char* kEnd = "end";

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
  // Through the record reader itself, whose cursor shows the rewinds.
  auto runs = prefix_runs<LandblockInfo>(
      bytes, [](Cursor& c) { return common::read_record<LandblockInfo>(c); });
  // clang-format off
  expect_runs(runs, {
      {0, "end < id LandblockInfo@landblock | at 0"},
      {4, "end < num_cells LandblockInfo@landblock | at 0"},
      {8, "end < num_objects LandblockInfo@landblock | at 0"},
      {12, "end < id Stab@landblock < objects LandblockInfo@landblock | at 0"},
      {16, "end < x Vector3@math < origin Frame@landblock < frame Stab@landblock < objects LandblockInfo@landblock | at 0"},
      {20, "end < y Vector3@math < origin Frame@landblock < frame Stab@landblock < objects LandblockInfo@landblock | at 0"},
      {24, "end < z Vector3@math < origin Frame@landblock < frame Stab@landblock < objects LandblockInfo@landblock | at 0"},
      {28, "end < w Quaternion@math < orientation Frame@landblock < frame Stab@landblock < objects LandblockInfo@landblock | at 0"},
      {32, "end < x Quaternion@math < orientation Frame@landblock < frame Stab@landblock < objects LandblockInfo@landblock | at 0"},
      {36, "end < y Quaternion@math < orientation Frame@landblock < frame Stab@landblock < objects LandblockInfo@landblock | at 0"},
      {40, "end < z Quaternion@math < orientation Frame@landblock < frame Stab@landblock < objects LandblockInfo@landblock | at 0"},
      {44, "end < id Stab@landblock < objects LandblockInfo@landblock | at 0"},
      {48, "end < x Vector3@math < origin Frame@landblock < frame Stab@landblock < objects LandblockInfo@landblock | at 0"},
      {52, "end < y Vector3@math < origin Frame@landblock < frame Stab@landblock < objects LandblockInfo@landblock | at 0"},
      {56, "end < z Vector3@math < origin Frame@landblock < frame Stab@landblock < objects LandblockInfo@landblock | at 0"},
      {60, "end < w Quaternion@math < orientation Frame@landblock < frame Stab@landblock < objects LandblockInfo@landblock | at 0"},
      {64, "end < x Quaternion@math < orientation Frame@landblock < frame Stab@landblock < objects LandblockInfo@landblock | at 0"},
      {68, "end < y Quaternion@math < orientation Frame@landblock < frame Stab@landblock < objects LandblockInfo@landblock | at 0"},
      {72, "end < z Quaternion@math < orientation Frame@landblock < frame Stab@landblock < objects LandblockInfo@landblock | at 0"},
      {76, "end < num_buildings LandblockInfo@landblock | at 0"},
      {78, "end < pack_mask LandblockInfo@landblock | at 0"},
      {80, "end < model_id BuildInfo@landblock < buildings LandblockInfo@landblock | at 0"},
      {84, "end < x Vector3@math < origin Frame@landblock < frame BuildInfo@landblock < buildings LandblockInfo@landblock | at 0"},
      {88, "end < y Vector3@math < origin Frame@landblock < frame BuildInfo@landblock < buildings LandblockInfo@landblock | at 0"},
      {92, "end < z Vector3@math < origin Frame@landblock < frame BuildInfo@landblock < buildings LandblockInfo@landblock | at 0"},
      {96, "end < w Quaternion@math < orientation Frame@landblock < frame BuildInfo@landblock < buildings LandblockInfo@landblock | at 0"},
      {100, "end < x Quaternion@math < orientation Frame@landblock < frame BuildInfo@landblock < buildings LandblockInfo@landblock | at 0"},
      {104, "end < y Quaternion@math < orientation Frame@landblock < frame BuildInfo@landblock < buildings LandblockInfo@landblock | at 0"},
      {108, "end < z Quaternion@math < orientation Frame@landblock < frame BuildInfo@landblock < buildings LandblockInfo@landblock | at 0"},
      {112, "end < num_leaves BuildInfo@landblock < buildings LandblockInfo@landblock | at 0"},
      {116, "end < num_portals BuildInfo@landblock < buildings LandblockInfo@landblock | at 0"},
      {120, "end < flags PortalInternal@landblock < portals BuildInfo@landblock < buildings LandblockInfo@landblock | at 0"},
      {122, "end < other_cell_id PortalInternal@landblock < portals BuildInfo@landblock < buildings LandblockInfo@landblock | at 0"},
      {124, "end < other_portal_id PortalInternal@landblock < portals BuildInfo@landblock < buildings LandblockInfo@landblock | at 0"},
      {126, "end < num_stabs PortalInternal@landblock < portals BuildInfo@landblock < buildings LandblockInfo@landblock | at 0"},
      {128, "end < stab_list PortalInternal@landblock < portals BuildInfo@landblock < buildings LandblockInfo@landblock | at 0"},
      {130, "end < flags PortalInternal@landblock < portals BuildInfo@landblock < buildings LandblockInfo@landblock | at 0"},
      {134, "end < other_cell_id PortalInternal@landblock < portals BuildInfo@landblock < buildings LandblockInfo@landblock | at 0"},
      {136, "end < other_portal_id PortalInternal@landblock < portals BuildInfo@landblock < buildings LandblockInfo@landblock | at 0"},
      {138, "end < num_stabs PortalInternal@landblock < portals BuildInfo@landblock < buildings LandblockInfo@landblock | at 0"},
      {140, "end < stab_list PortalInternal@landblock < portals BuildInfo@landblock < buildings LandblockInfo@landblock | at 0"},
      {144, "end < count RestrictionTable@landblock < restriction_tables LandblockInfo@landblock | at 0"},
      {146, "end < _bucket_size RestrictionTable@landblock < restriction_tables LandblockInfo@landblock | at 0"},
      {148, "end < tables RestrictionTable@landblock < restriction_tables LandblockInfo@landblock | at 0"},
  });
  // clang-format on
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
  // clang-format off
  expect_runs(runs, {
      {0, "end"},
      {28, "end < x Vector3@math | at 28"},
      {32, "end < y Vector3@math | at 28"},
      {36, "end < z Vector3@math | at 28"},
      {40, "end < x Vector3@math | at 40"},
      {44, "end < y Vector3@math | at 40"},
      {48, "end < z Vector3@math | at 40"},
      {52, "end"},
      {60, "end < part_id LocationType@setup_model | at 60"},
      {64, "end < x Vector3@math < origin Frame@graphics < frame LocationType@setup_model | at 60"},
      {68, "end < y Vector3@math < origin Frame@graphics < frame LocationType@setup_model | at 60"},
      {72, "end < z Vector3@math < origin Frame@graphics < frame LocationType@setup_model | at 60"},
      {76, "end < w Quaternion@math < orientation Frame@graphics < frame LocationType@setup_model | at 60"},
      {80, "end < x Quaternion@math < orientation Frame@graphics < frame LocationType@setup_model | at 60"},
      {84, "end < y Quaternion@math < orientation Frame@graphics < frame LocationType@setup_model | at 60"},
      {88, "end < z Quaternion@math < orientation Frame@graphics < frame LocationType@setup_model | at 60"},
      {92, "end"},
      {100, "end < part_id LocationType@setup_model | at 100"},
      {104, "end < x Vector3@math < origin Frame@graphics < frame LocationType@setup_model | at 100"},
      {108, "end < y Vector3@math < origin Frame@graphics < frame LocationType@setup_model | at 100"},
      {112, "end < z Vector3@math < origin Frame@graphics < frame LocationType@setup_model | at 100"},
      {116, "end < w Quaternion@math < orientation Frame@graphics < frame LocationType@setup_model | at 100"},
      {120, "end < x Quaternion@math < orientation Frame@graphics < frame LocationType@setup_model | at 100"},
      {124, "end < y Quaternion@math < orientation Frame@graphics < frame LocationType@setup_model | at 100"},
      {128, "end < z Quaternion@math < orientation Frame@graphics < frame LocationType@setup_model | at 100"},
      {132, "end"},
      {140, "end < x Vector3@math < origin Frame@graphics | at 140"},
      {144, "end < y Vector3@math < origin Frame@graphics | at 140"},
      {148, "end < z Vector3@math < origin Frame@graphics | at 140"},
      {152, "end < w Quaternion@math < orientation Frame@graphics | at 140"},
      {156, "end < x Quaternion@math < orientation Frame@graphics | at 140"},
      {160, "end < y Quaternion@math < orientation Frame@graphics | at 140"},
      {164, "end < z Quaternion@math < orientation Frame@graphics | at 140"},
      {168, "end < x Vector3@math < origin Frame@graphics | at 168"},
      {172, "end < y Vector3@math < origin Frame@graphics | at 168"},
      {176, "end < z Vector3@math < origin Frame@graphics | at 168"},
      {180, "end < w Quaternion@math < orientation Frame@graphics | at 168"},
      {184, "end < x Quaternion@math < orientation Frame@graphics | at 168"},
      {188, "end < y Quaternion@math < orientation Frame@graphics | at 168"},
      {192, "end < z Quaternion@math < orientation Frame@graphics | at 168"},
      {196, "end"},
      {288, "end < x Vector3@math < origin CylSphere@setup_model | at 288"},
      {292, "end < y Vector3@math < origin CylSphere@setup_model | at 288"},
      {296, "end < z Vector3@math < origin CylSphere@setup_model | at 288"},
      {300, "end < radius CylSphere@setup_model | at 288"},
      {304, "end < height CylSphere@setup_model | at 288"},
      {308, "end"},
      {312, "end < x Vector3@math < center Sphere@math | at 312"},
      {316, "end < y Vector3@math < center Sphere@math | at 312"},
      {320, "end < z Vector3@math < center Sphere@math | at 312"},
      {324, "end < radius Sphere@math | at 312"},
      {328, "end"},
      {344, "end < x Vector3@math < center Sphere@math | at 344"},
      {348, "end < y Vector3@math < center Sphere@math | at 344"},
      {352, "end < z Vector3@math < center Sphere@math | at 344"},
      {356, "end < radius Sphere@math | at 344"},
      {360, "end < x Vector3@math < center Sphere@math | at 360"},
      {364, "end < y Vector3@math < center Sphere@math | at 360"},
      {368, "end < z Vector3@math < center Sphere@math | at 360"},
      {372, "end < radius Sphere@math | at 360"},
      {376, "end"},
      {384, "end < x Vector3@math < origin Frame@graphics < viewer_space_location LightInfo@setup_model | at 384"},
      {388, "end < y Vector3@math < origin Frame@graphics < viewer_space_location LightInfo@setup_model | at 384"},
      {392, "end < z Vector3@math < origin Frame@graphics < viewer_space_location LightInfo@setup_model | at 384"},
      {396, "end < w Quaternion@math < orientation Frame@graphics < viewer_space_location LightInfo@setup_model | at 384"},
      {400, "end < x Quaternion@math < orientation Frame@graphics < viewer_space_location LightInfo@setup_model | at 384"},
      {404, "end < y Quaternion@math < orientation Frame@graphics < viewer_space_location LightInfo@setup_model | at 384"},
      {408, "end < z Quaternion@math < orientation Frame@graphics < viewer_space_location LightInfo@setup_model | at 384"},
      {412, "end < color LightInfo@setup_model | at 384"},
      {416, "end < intensity LightInfo@setup_model | at 384"},
      {420, "end < falloff LightInfo@setup_model | at 384"},
      {424, "end < cone_angle LightInfo@setup_model | at 384"},
      {428, "end"},
  });
  // clang-format on
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
  // clang-format off
  expect_runs(runs, {
      {0, "end"},
      {27, "end < num_uvs SWVertex@graphics | at 27"},
      {29, "end < x Vector3@math < origin SWVertex@graphics | at 27"},
      {33, "end < y Vector3@math < origin SWVertex@graphics | at 27"},
      {37, "end < z Vector3@math < origin SWVertex@graphics | at 27"},
      {41, "end < x Vector3@math < normal SWVertex@graphics | at 27"},
      {45, "end < y Vector3@math < normal SWVertex@graphics | at 27"},
      {49, "end < z Vector3@math < normal SWVertex@graphics | at 27"},
      {53, "end"},
      {55, "end < num_uvs SWVertex@graphics | at 55"},
      {57, "end < x Vector3@math < origin SWVertex@graphics | at 55"},
      {61, "end < y Vector3@math < origin SWVertex@graphics | at 55"},
      {65, "end < z Vector3@math < origin SWVertex@graphics | at 55"},
      {69, "end < x Vector3@math < normal SWVertex@graphics | at 55"},
      {73, "end < y Vector3@math < normal SWVertex@graphics | at 55"},
      {77, "end < z Vector3@math < normal SWVertex@graphics | at 55"},
      {81, "end < u Vec2Duv@graphics < uvs SWVertex@graphics | at 55"},
      {85, "end < v Vec2Duv@graphics < uvs SWVertex@graphics | at 55"},
      {89, "end < u Vec2Duv@graphics < uvs SWVertex@graphics | at 55"},
      {93, "end < v Vec2Duv@graphics < uvs SWVertex@graphics | at 55"},
      {97, "end"},
      {99, "end < num_uvs SWVertex@graphics | at 99"},
      {101, "end < x Vector3@math < origin SWVertex@graphics | at 99"},
      {105, "end < y Vector3@math < origin SWVertex@graphics | at 99"},
      {109, "end < z Vector3@math < origin SWVertex@graphics | at 99"},
      {113, "end < x Vector3@math < normal SWVertex@graphics | at 99"},
      {117, "end < y Vector3@math < normal SWVertex@graphics | at 99"},
      {121, "end < z Vector3@math < normal SWVertex@graphics | at 99"},
      {125, "end"},
      {154, "end < x Vector3@math < normal Plane@math | at 154"},
      {158, "end < y Vector3@math < normal Plane@math | at 154"},
      {162, "end < z Vector3@math < normal Plane@math | at 154"},
      {166, "end < d Plane@math | at 154"},
      {170, "end"},
      {182, "end < x Vector3@math < center Sphere@math | at 182"},
      {186, "end < y Vector3@math < center Sphere@math | at 182"},
      {190, "end < z Vector3@math < center Sphere@math | at 182"},
      {194, "end < radius Sphere@math | at 182"},
      {198, "end"},
      {216, "end < x Vector3@math < center Sphere@math | at 216"},
      {220, "end < y Vector3@math < center Sphere@math | at 216"},
      {224, "end < z Vector3@math < center Sphere@math | at 216"},
      {228, "end < radius Sphere@math | at 216"},
      {232, "end"},
      {236, "end < x Vector3@math < center Sphere@math | at 236"},
      {240, "end < y Vector3@math < center Sphere@math | at 236"},
      {244, "end < z Vector3@math < center Sphere@math | at 236"},
      {248, "end < radius Sphere@math | at 236"},
      {252, "end < x Vector3@math | at 252"},
      {256, "end < y Vector3@math | at 252"},
      {260, "end < z Vector3@math | at 252"},
      {264, "end"},
      {311, "end < x Vector3@math < normal Plane@math | at 311"},
      {315, "end < y Vector3@math < normal Plane@math | at 311"},
      {319, "end < z Vector3@math < normal Plane@math | at 311"},
      {323, "end < d Plane@math | at 311"},
      {327, "end"},
      {331, "end < x Vector3@math < normal Plane@math | at 331"},
      {335, "end < y Vector3@math < normal Plane@math | at 331"},
      {339, "end < z Vector3@math < normal Plane@math | at 331"},
      {343, "end < d Plane@math | at 331"},
      {347, "end"},
      {363, "end < x Vector3@math < center Sphere@math | at 363"},
      {367, "end < y Vector3@math < center Sphere@math | at 363"},
      {371, "end < z Vector3@math < center Sphere@math | at 363"},
      {375, "end < radius Sphere@math | at 363"},
      {379, "end"},
      {389, "end < portal_index PortalPoly@physics | at 389"},
      {391, "end < poly_id PortalPoly@physics | at 389"},
      {393, "end < x Vector3@math < center Sphere@math | at 393"},
      {397, "end < y Vector3@math < center Sphere@math | at 393"},
      {401, "end < z Vector3@math < center Sphere@math | at 393"},
      {405, "end < radius Sphere@math | at 393"},
      {409, "end"},
  });
  // clang-format on
}

TEST(EveryPrefix, BspTreeOfEachKind) {
  using namespace physics;
  using writer::bsp_internal;
  using writer::bsp_leaf;
  using writer::bsp_portal;
  const auto tree =
      bsp_internal("BPIN", bsp_portal(bsp_leaf(1, {4}), bsp_leaf(2), {5, 6}, {PortalPoly{1, 2}}),
                   bsp_internal("BpIN", std::nullopt, bsp_leaf(3, {7, 8})), {9});
  // clang-format off
  std::map<BspTreeKind, Runs> expected = {
      {BspTreeKind::Drawing, {
        {0, "end"},
        {4, "end < x Vector3@math < normal Plane@math | at 4"},
        {8, "end < y Vector3@math < normal Plane@math | at 4"},
        {12, "end < z Vector3@math < normal Plane@math | at 4"},
        {16, "end < d Plane@math | at 4"},
        {20, "end"},
        {24, "end < x Vector3@math < normal Plane@math | at 24"},
        {28, "end < y Vector3@math < normal Plane@math | at 24"},
        {32, "end < z Vector3@math < normal Plane@math | at 24"},
        {36, "end < d Plane@math | at 24"},
        {40, "end"},
        {56, "end < x Vector3@math < center Sphere@math | at 56"},
        {60, "end < y Vector3@math < center Sphere@math | at 56"},
        {64, "end < z Vector3@math < center Sphere@math | at 56"},
        {68, "end < radius Sphere@math | at 56"},
        {72, "end"},
        {84, "end < portal_index PortalPoly@physics | at 84"},
        {86, "end < poly_id PortalPoly@physics | at 84"},
        {88, "end"},
        {92, "end < x Vector3@math < normal Plane@math | at 92"},
        {96, "end < y Vector3@math < normal Plane@math | at 92"},
        {100, "end < z Vector3@math < normal Plane@math | at 92"},
        {104, "end < d Plane@math | at 92"},
        {108, "end"},
        {116, "end < x Vector3@math < center Sphere@math | at 116"},
        {120, "end < y Vector3@math < center Sphere@math | at 116"},
        {124, "end < z Vector3@math < center Sphere@math | at 116"},
        {128, "end < radius Sphere@math | at 116"},
        {132, "end"},
        {136, "end < x Vector3@math < center Sphere@math | at 136"},
        {140, "end < y Vector3@math < center Sphere@math | at 136"},
        {144, "end < z Vector3@math < center Sphere@math | at 136"},
        {148, "end < radius Sphere@math | at 136"},
        {152, "end"},
      }},
      {BspTreeKind::Physics, {
        {0, "end"},
        {4, "end < x Vector3@math < normal Plane@math | at 4"},
        {8, "end < y Vector3@math < normal Plane@math | at 4"},
        {12, "end < z Vector3@math < normal Plane@math | at 4"},
        {16, "end < d Plane@math | at 4"},
        {20, "end"},
        {24, "end < x Vector3@math < normal Plane@math | at 24"},
        {28, "end < y Vector3@math < normal Plane@math | at 24"},
        {32, "end < z Vector3@math < normal Plane@math | at 24"},
        {36, "end < d Plane@math | at 24"},
        {40, "end"},
        {52, "end < x Vector3@math < center Sphere@math | at 52"},
        {56, "end < y Vector3@math < center Sphere@math | at 52"},
        {60, "end < z Vector3@math < center Sphere@math | at 52"},
        {64, "end < radius Sphere@math | at 52"},
        {68, "end"},
        {86, "end < x Vector3@math < center Sphere@math | at 86"},
        {90, "end < y Vector3@math < center Sphere@math | at 86"},
        {94, "end < z Vector3@math < center Sphere@math | at 86"},
        {98, "end < radius Sphere@math | at 86"},
        {102, "end"},
        {110, "end < x Vector3@math < normal Plane@math | at 110"},
        {114, "end < y Vector3@math < normal Plane@math | at 110"},
        {118, "end < z Vector3@math < normal Plane@math | at 110"},
        {122, "end < d Plane@math | at 110"},
        {126, "end"},
        {138, "end < x Vector3@math < center Sphere@math | at 138"},
        {142, "end < y Vector3@math < center Sphere@math | at 138"},
        {146, "end < z Vector3@math < center Sphere@math | at 138"},
        {150, "end < radius Sphere@math | at 138"},
        {154, "end"},
        {162, "end < x Vector3@math < center Sphere@math | at 162"},
        {166, "end < y Vector3@math < center Sphere@math | at 162"},
        {170, "end < z Vector3@math < center Sphere@math | at 162"},
        {174, "end < radius Sphere@math | at 162"},
        {178, "end < x Vector3@math < center Sphere@math | at 178"},
        {182, "end < y Vector3@math < center Sphere@math | at 178"},
        {186, "end < z Vector3@math < center Sphere@math | at 178"},
        {190, "end < radius Sphere@math | at 178"},
      }},
      {BspTreeKind::Cell, {
        {0, "end"},
        {4, "end < x Vector3@math < normal Plane@math | at 4"},
        {8, "end < y Vector3@math < normal Plane@math | at 4"},
        {12, "end < z Vector3@math < normal Plane@math | at 4"},
        {16, "end < d Plane@math | at 4"},
        {20, "end"},
        {24, "end < x Vector3@math < normal Plane@math | at 24"},
        {28, "end < y Vector3@math < normal Plane@math | at 24"},
        {32, "end < z Vector3@math < normal Plane@math | at 24"},
        {36, "end < d Plane@math | at 24"},
        {40, "end"},
        {60, "end < x Vector3@math < normal Plane@math | at 60"},
        {64, "end < y Vector3@math < normal Plane@math | at 60"},
        {68, "end < z Vector3@math < normal Plane@math | at 60"},
        {72, "end < d Plane@math | at 60"},
        {76, "end"},
      }},
  };
  // clang-format on
  for (auto& [kind, runs] : expected) {
    SCOPED_TRACE(int(kind));
    writer::ByteWriter w;
    writer::encode_bsp(w, tree, kind);
    const BspTreeKind k = kind;
    expect_runs(prefix_runs<BspTree>(w.view(), [k](Cursor& c) { return BspTree::read(c, k); }),
                runs);
  }
}

}  // namespace
}  // namespace tallowmere::dat
